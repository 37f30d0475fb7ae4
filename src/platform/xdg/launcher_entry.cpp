#include "launcher_entry.h"

#include "app_info.h"
#include "base/atomic_file.h"
#include "base/logging.h"
#include "config_files.h"

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
constexpr char copyMarkKey[] = "X-Linkherd-Hidden-Copy";
// Marks the NoDisplay=true that Linkherd added to an entry in the user's folder, so that showing takes away only
// what hiding added.
constexpr char inPlaceMarkKey[] = "X-Linkherd-Hidden";
// Indexing a user's applications folder takes some milliseconds.
constexpr int reindexTimeoutMs = 1000;

QString relativePath()
{
    return u"applications/"_s + QString::fromLatin1(AppInfo::ownDesktopID) + u".desktop"_s;
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

bool isMarked(const QString& path, const char* mark)
{
    const Result<KeyFile> file = load(path);
    return file && g_key_file_get_boolean(file->get(), desktopGroup, mark, nullptr);
}

// The installed entry with NoDisplay=true and the copy's mark, as the copy's bytes.
Result<QByteArray> hiddenCopyOf(const QString& installed)
{
    Result<KeyFile> entry = load(installed);
    if (!entry)
        return Failure{entry.error()};
    g_key_file_set_boolean(entry->get(), desktopGroup, "NoDisplay", TRUE);
    g_key_file_set_boolean(entry->get(), desktopGroup, copyMarkKey, TRUE);
    gsize length = 0;
    char* data = g_key_file_to_data(entry->get(), &length, nullptr);
    QByteArray bytes(data, qsizetype(length));
    g_free(data);
    return bytes;
}

Result<void> hideWithCopy(const QString& copy)
{
    const QString installed = LauncherEntry::installedPath();
    if (installed.isEmpty())
        return Failure{u"Linkherd's desktop entry (%1) is not installed."_s.arg(relativePath())};
    const Result<QByteArray> bytes = hiddenCopyOf(installed);
    if (!bytes)
        return Failure{bytes.error()};
    QFile existing(copy);
    if (existing.open(QIODevice::ReadOnly) && existing.read(bytes->size() + 1) == *bytes)
        return {};
    existing.close();
    if (!QDir().mkpath(QFileInfo(copy).absolutePath()))
        return Failure{u"The folder %1 could not be created."_s.arg(QFileInfo(copy).absolutePath())};
    if (Result<void> written = writeFileAtomically(copy, *bytes); !written)
        return written;
    reindex(QFileInfo(copy).absolutePath());
    return {};
}

// The mark first and NoDisplay last, and the other way round when showing: a change cut short leaves the entry
// listed, and the mark alone is taken away by the next show.
Result<void> hideInPlace(const QString& entry)
{
    const QString group = QString::fromLatin1(desktopGroup);
    if (Result<void> marked = ConfigFiles::setValue(entry, group, QString::fromLatin1(inPlaceMarkKey), u"true"_s);
        !marked)
        return marked;
    return ConfigFiles::setValue(entry, group, u"NoDisplay"_s, u"true"_s);
}

Result<void> showInPlace(const QString& entry)
{
    const QString group = QString::fromLatin1(desktopGroup);
    if (Result<void> shown = ConfigFiles::removeValue(entry, group, u"NoDisplay"_s); !shown)
        return shown;
    return ConfigFiles::removeValue(entry, group, QString::fromLatin1(inPlaceMarkKey));
}

bool isHiddenInPlace(const QString& entry)
{
    const Result<KeyFile> file = load(entry);
    return file && g_key_file_get_boolean(file->get(), desktopGroup, inPlaceMarkKey, nullptr) &&
           g_key_file_get_boolean(file->get(), desktopGroup, "NoDisplay", nullptr);
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
    const QString entry = userPath();
    return QFileInfo::exists(entry) && (isMarked(entry, copyMarkKey) || isHiddenInPlace(entry));
}

Result<void> LauncherEntry::setHidden(bool hidden)
{
    const QString entry = userPath();
    if (!QFileInfo::exists(entry))
        return hidden ? hideWithCopy(entry) : Result<void>();
    if (isMarked(entry, copyMarkKey)) {
        if (hidden)
            return hideWithCopy(entry);
        QFile file(entry);
        if (!file.remove())
            return Failure{u"%1 could not be removed: %2"_s.arg(entry, file.errorString())};
        reindex(QFileInfo(entry).absolutePath());
        return {};
    }
    // The entry in the user's folder is the one in force: Linkherd installed there, or one the user made.
    if (hidden)
        return isHiddenInPlace(entry) ? Result<void>() : hideInPlace(entry);
    return showInPlace(entry);
}
