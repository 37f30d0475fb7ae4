#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>

// What every fuzz target shares: a property that does not hold ends the run like a crash, so libFuzzer keeps the
// input that broke it; the targets run in a home of their own, so nothing reads or writes the user's files.
namespace Fuzz {

// Stops the run with the property's name when it does not hold.
inline void check(bool holds, const char* property)
{
    if (holds)
        return;
    std::fprintf(stderr, "Property does not hold: %s\n", property);
    // Not abort(): SpiderMonkey's library defines its own, which crashes at address 0 and hides the property.
    __builtin_trap();
}

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

inline QString text(const uint8_t* data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Points HOME and the XDG folders at an empty temporary folder (no browsers installed, no rules) and creates the
// application object that the readers of settings and folders expect. Call once, from LLVMFuzzerInitialize.
inline QString setUpSandbox()
{
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/linkherd-fuzz-XXXXXX"));
    const QString path = home.path();
    for (const char* folder : {"config", "data", "cache", "state", "runtime", "share"})
        QDir(path).mkpath(QString::fromLatin1(folder));
    qputenv("HOME", path.toUtf8());
    qputenv("XDG_CONFIG_HOME", (path + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (path + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_DATA_DIRS", (path + QStringLiteral("/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (path + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_STATE_HOME", (path + QStringLiteral("/state")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (path + QStringLiteral("/runtime")).toUtf8());
    qputenv("QT_LOGGING_RULES", "*=false");
    static int argc = 1;
    static char name[] = "linkherd-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return path;
}

} // namespace Fuzz
