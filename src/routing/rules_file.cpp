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

// Why a field is too long to be written; empty when it is not.
QString fieldTooLong(const QString& what, const QString& field)
{
    if (field.size() <= RulesFile::fieldLimit)
        return {};
    return u"%1 has %2 characters; a rule's pattern, browser, profile and source applications may have at most %3 "
           u"each"_s.arg(what, QString::number(field.size()), QString::number(RulesFile::fieldLimit));
}

QString firstFieldTooLong(const RulesDocument& document)
{
    QString error = fieldTooLong(u"The fallback's browser"_s, document.fallback.desktopID());
    if (error.isEmpty())
        error = fieldTooLong(u"The fallback's profile"_s, document.fallback.profile().value_or(QString()));
    if (!error.isEmpty())
        return error;
    // The message is put together only for the field that is too long: thousands of rules are checked on every save.
    const auto tooLong = [](const QString& field) { return field.size() > RulesFile::fieldLimit; };
    for (qsizetype index = 0; index < document.rules.size(); ++index) {
        const Rule& rule = document.rules[index];
        const QString profile = rule.destination.profile().value_or(QString());
        const auto number = [index] { return QString::number(index + 1); };
        if (tooLong(rule.pattern))
            return fieldTooLong(u"The pattern of rule "_s + number(), rule.pattern);
        if (tooLong(rule.destination.desktopID()))
            return fieldTooLong(u"The browser of rule "_s + number(), rule.destination.desktopID());
        if (tooLong(profile))
            return fieldTooLong(u"The profile of rule "_s + number(), profile);
        for (const QString& source : rule.sourceDesktopIDs) {
            if (tooLong(source))
                return fieldTooLong(u"A source application of rule "_s + number(), source);
        }
    }
    return {};
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

Result<QByteArray> encode(const RulesDocument& document)
{
    if (const QString tooLong = firstFieldTooLong(document); !tooLong.isEmpty())
        return Failure{tooLong};
    QByteArray bytes = RulesCodec::encode(document);
    // What could not be read back would be kept aside as unreadable at the next start.
    if (bytes.size() > BoundedFile::rulesFileLimit) {
        constexpr qsizetype mebibyte = 1024 * 1024;
        return Failure{u"The rules would take %1 MiB, more than Linkherd reads (%2 MiB)"_s.arg(
            QString::number((bytes.size() + mebibyte - 1) / mebibyte),
            QString::number(BoundedFile::rulesFileLimit / mebibyte))};
    }
    return bytes;
}

Result<QByteArray> write(const QString& path, const RulesDocument& document)
{
    // Refused before anything is touched, while the file still holds the rules as they were.
    Result<QByteArray> bytes = encode(document);
    if (!bytes)
        return Failure{bytes.error() + u"; nothing was written"_s};
    if (path == defaultPath()) {
        if (const Result<QString> directory = ensureDefaultDirectory(); !directory)
            return Failure{directory.error()};
    }
    if (const Result<void> written = writeFileAtomically(path, *bytes); !written)
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
