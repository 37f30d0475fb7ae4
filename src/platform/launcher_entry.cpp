#include "launcher_entry.h"

#include "app_info.h"
#include "base/atomic_file.h"
#include "base/logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gio/gio.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr char desktopGroup[] = "Desktop Entry";
// Marks a copy as Linkherd's own, so that showing the entry never deletes one the user put there.
constexpr char madeByLinkherdKey[] = "X-Linkherd-Hidden-Copy";
// Indexing a user's applications folder takes some milliseconds.
constexpr int reindexTimeoutMs = 1000;

QString relativePath()
{
    return u"applications/"_s + QString::fromLatin1(AppInfo::ownBundleID) + u".desktop"_s;
}

struct KeyFileDeleter {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

Result<KeyFile> load(const QString& path)
{
    KeyFile file(g_key_file_new());
    GError* error = nullptr;
    if (!g_key_file_load_from_file(file.get(), QFile::encodeName(path).constData(),
                                   GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS), &error)) {
        const QString why = QString::fromUtf8(error->message);
        g_error_free(error);
        return Failure{u"%1 could not be read: %2"_s.arg(path, why)};
    }
    return file;
}

// GIO finds the applications for a link type in each folder's mimeinfo.cache, and a copy in the user's folder
// hides the installed entry's listing: the user's cache must name the copy for links to keep reaching Linkherd.
// The switch is flipped on the resident's main thread, which every link goes through, so a tool that hangs is
// given up on (no event loop runs meanwhile).
void reindex(const QString& folder)
{
    const QString tool = QStandardPaths::findExecutable(u"update-desktop-database"_s);
    if (tool.isEmpty())
        return;
    QProcess process;
    process.setProgram(tool);
    process.setArguments({u"--quiet"_s, folder});
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForFinished(reindexTimeoutMs)) {
        qCWarning(lcApp, "update-desktop-database took over %d ms on %s; not waiting for it", reindexTimeoutMs,
                  qUtf8Printable(folder));
        process.kill();
        process.waitForFinished(reindexTimeoutMs);
    }
}

bool isOwnCopy(const QString& path)
{
    const Result<KeyFile> file = load(path);
    return file && g_key_file_get_boolean(file->get(), desktopGroup, madeByLinkherdKey, nullptr);
}

} // namespace

QString LauncherEntry::userPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + relativePath();
}

QString LauncherEntry::installedPath()
{
    const QString own = QFileInfo(userPath()).absoluteFilePath();
    for (const QString& path : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, relativePath())) {
        if (QFileInfo(path).absoluteFilePath() != own)
            return path;
    }
    return {};
}

bool LauncherEntry::isHidden()
{
    return QFileInfo::exists(userPath()) && isOwnCopy(userPath());
}

Result<void> LauncherEntry::setHidden(bool hidden)
{
    const QString copy = userPath();
    const bool copyExists = QFileInfo::exists(copy);
    if (copyExists && !isOwnCopy(copy)) {
        return Failure{u"Linkherd's entry in %1 was not made by Linkherd; it is left as it is."_s.arg(
            QDir::toNativeSeparators(copy))};
    }
    if (!hidden) {
        QFile file(copy);
        if (copyExists && !file.remove())
            return Failure{u"%1 could not be removed: %2"_s.arg(copy, file.errorString())};
        if (copyExists)
            reindex(QFileInfo(copy).absolutePath());
        return {};
    }
    const QString installed = installedPath();
    if (installed.isEmpty())
        return Failure{u"Linkherd's desktop entry (%1) is not installed."_s.arg(relativePath())};
    Result<KeyFile> entry = load(installed);
    if (!entry)
        return Failure{entry.error()};
    g_key_file_set_boolean(entry->get(), desktopGroup, "NoDisplay", TRUE);
    g_key_file_set_boolean(entry->get(), desktopGroup, madeByLinkherdKey, TRUE);
    gsize length = 0;
    char* data = g_key_file_to_data(entry->get(), &length, nullptr);
    const QByteArray bytes(data, qsizetype(length));
    g_free(data);
    if (!QDir().mkpath(QFileInfo(copy).absolutePath()))
        return Failure{u"The folder %1 could not be created."_s.arg(QFileInfo(copy).absolutePath())};
    if (Result<void> written = writeFileAtomically(copy, bytes); !written)
        return written;
    reindex(QFileInfo(copy).absolutePath());
    return {};
}
