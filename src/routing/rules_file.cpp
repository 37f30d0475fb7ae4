#include "rules_file.h"

#include "base/app_folders.h"
#include "base/atomic_file.h"
#include "base/bounded_file.h"
#include "rules_codec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

// Where saves of the file go: through every symbolic link in its place (QSaveFile follows them too).
QFileInfo resolvedFile(const QString& path)
{
    QFileInfo target(path);
    for (int depth = 0; depth < 64 && target.isSymLink(); ++depth)
        target.setFile(target.symLinkTarget());
    return target;
}

} // namespace

namespace RulesFile {

QString defaultPath()
{
    return AppFolders::configFile(u"rules.json");
}

Result<QString> ensureDefaultDirectory()
{
    return AppFolders::ensureConfig();
}

Result<std::optional<Contents>, Unreadable> read(const QString& path)
{
    if (!QFile::exists(path))
        return std::optional<Contents>();
    Result<QByteArray> bytes = BoundedFile::read(path, BoundedFile::rulesFileLimit);
    if (!bytes)
        return Unreadable{{}, bytes.error()};
    Result<RulesDocument> decoded = RulesCodec::decode(*bytes);
    if (!decoded)
        return Unreadable{std::move(bytes).value(), decoded.error()};
    return std::optional(Contents{std::move(bytes).value(), std::move(decoded).value()});
}

Result<QByteArray> write(const QString& path, const RulesDocument& document)
{
    if (path == defaultPath()) {
        if (const Result<QString> directory = ensureDefaultDirectory(); !directory)
            return Failure{directory.error()};
    }
    QByteArray bytes = RulesCodec::encode(document);
    // What could not be read back would be kept aside as unreadable at the next start: refused now, while the
    // file still holds the rules as they were.
    if (bytes.size() > BoundedFile::rulesFileLimit) {
        return Failure{u"%1: the rules would take %2 MiB, more than Linkherd reads (%3 MiB); nothing was written"_s.arg(
            path, QString::number(bytes.size() / (1024 * 1024)),
            QString::number(BoundedFile::rulesFileLimit / (1024 * 1024)))};
    }
    if (const Result<void> written = writeFileAtomically(path, bytes); !written)
        return Failure{written.error()};
    return bytes;
}

QString lockPath(const QString& path)
{
    const QFileInfo target = resolvedFile(path);
    return target.absoluteDir().filePath(u'.' + target.fileName() + u".lock"_s);
}

Result<FileLock, FileLock::Error> lock(const QString& path, std::chrono::milliseconds wait)
{
    if (path == defaultPath()) {
        if (const Result<QString> directory = ensureDefaultDirectory(); !directory)
            return FileLock::Error{false, directory.error()};
    }
    return FileLock::acquire(lockPath(path), wait);
}

Result<QByteArray> edit(const QString& path, const Change& change, std::chrono::milliseconds wait)
{
    const Result<FileLock, FileLock::Error> held = lock(path, wait);
    if (!held)
        return Failure{held.error().text};
    removeInterruptedSaves(path, interruptedSaveAgeUnderLock);
    Result<std::optional<Contents>, Unreadable> current = read(path);
    if (!current)
        return Failure{path + u": "_s + current.error().error};
    RulesDocument document = *current ? std::move(current.value()->document) : RulesDocument();
    if (const Result<void> changed = change(document); !changed)
        return Failure{changed.error()};
    Result<QByteArray> written = write(path, document);
    if (!written)
        return Failure{path + u": "_s + written.error()};
    return written;
}

Result<QString> keepUnreadableCopy(const QString& path, const QByteArray& bytes)
{
    if (bytes.isNull())
        return Failure{u"nothing could be read from it"_s};
    const QString stamp = QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd'T'HHmmss'Z'"_s);
    QString copyPath = path + u".unreadable-"_s + stamp;
    // A dangling link counts as taken: writing through it would put the copy who knows where.
    const auto taken = [](const QString& candidate) {
        const QFileInfo info(candidate);
        return info.exists() || info.isSymLink();
    };
    for (int attempt = 2; taken(copyPath); ++attempt)
        copyPath = path + u".unreadable-"_s + stamp + u'-' + QString::number(attempt);
    // NewOnly: whatever appears under the name in the meantime is left alone, and the copy fails.
    QFile copy(copyPath);
    if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return Failure{copy.errorString()};
    if (copy.write(bytes) != bytes.size() || !copy.flush()) {
        const QString error = copy.errorString();
        copy.remove();
        return Failure{error};
    }
    return copyPath;
}

QStringList removeInterruptedSaves(const QString& path, std::chrono::seconds olderThan)
{
    // QSaveFile writes into "<final name>.XXXXXX", the six X replaced by letters, and renames that over the
    // final file; a process killed in between leaves it. Six lower-case letters are left alone: that is how
    // people name their own copies (rules.json.backup), and a save's random name is all lower case only once
    // in 64.
    const QFileInfo target = resolvedFile(path);
    const QDir directory = target.absoluteDir();
    const QRegularExpression leftover(u"^"_s + QRegularExpression::escape(target.fileName()) +
                                      u"\\.(?![a-z]{6}$)[A-Za-z]{6}$"_s);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-olderThan.count());
    QStringList removed;
    const QFileInfoList entries =
        directory.entryInfoList({target.fileName() + u".??????"_s}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || !entry.isFile() || !leftover.match(entry.fileName()).hasMatch() ||
            entry.lastModified() >= before)
            continue;
        if (QFile::remove(entry.filePath()))
            removed.append(entry.filePath());
    }
    return removed;
}

} // namespace RulesFile
