#include "config_files.h"

#include "base/atomic_file.h"
#include "base/bounded_file.h"

#include <QFileInfo>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace ConfigFiles {

namespace {

// mimeapps.list and kdeglobals are a few kilobytes; anything near this is not one of them.
constexpr qint64 configFileLimit = qint64(4) * 1024 * 1024;

bool isGroupHeader(const QString& line)
{
    const QString trimmed = line.trimmed();
    return trimmed.startsWith(u'[') && trimmed.endsWith(u']');
}

bool isKeyLine(const QString& line, const QString& key)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(key))
        return false;
    const QString rest = trimmed.mid(key.size()).trimmed();
    return rest.startsWith(u'=');
}

// The file's lines; none for a missing file. A file that cannot be read whole is an error, never a part.
Result<QStringList> readLines(const QString& path)
{
    QStringList lines;
    if (QFileInfo::exists(path)) {
        const Result<QByteArray> bytes = BoundedFile::read(path, configFileLimit);
        if (!bytes)
            return Failure{u"%1: %2"_s.arg(path, bytes.error())};
        lines = QString::fromUtf8(bytes.value()).split(u'\n');
        if (!lines.isEmpty() && lines.back().isEmpty())
            lines.removeLast();
    }
    return lines;
}

// The first line of group's body and the line after it; groupStart is -1 when the group is missing.
std::pair<qsizetype, qsizetype> findGroup(const QStringList& lines, const QString& group)
{
    const QString header = u'[' + group + u']';
    qsizetype groupStart = -1;
    qsizetype groupEnd = lines.size();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!isGroupHeader(lines[i]))
            continue;
        if (groupStart >= 0) {
            groupEnd = i;
            break;
        }
        if (lines[i].trimmed() == header)
            groupStart = i;
    }
    return {groupStart, groupEnd};
}

Result<void> write(const QString& path, const QStringList& lines)
{
    const Result<void> written = writeFileAtomically(path, (lines.join(u'\n') + u'\n').toUtf8());
    if (!written)
        return Failure{u"%1: %2"_s.arg(path, written.error())};
    return {};
}

Result<void> edit(const QString& path, const QString& group, const QString& key, const QString& value,
                  bool onlyWhenPresent)
{
    // Rewriting a file from a part of it would lose the rest.
    Result<QStringList> read = readLines(path);
    if (!read)
        return Failure{read.error()};
    QStringList lines = std::move(read.value());

    const QString header = u'[' + group + u']';
    const QString newLine = key + u'=' + value;
    const auto [groupStart, groupEnd] = findGroup(lines, group);

    bool found = false;
    if (groupStart >= 0) {
        for (qsizetype i = groupStart + 1; i < groupEnd; ++i) {
            if (isKeyLine(lines[i], key)) {
                lines[i] = newLine;
                found = true;
            }
        }
    }
    if (!found) {
        if (onlyWhenPresent)
            return {};
        if (groupStart < 0) {
            if (!lines.isEmpty() && !lines.back().trimmed().isEmpty())
                lines.append(QString());
            lines.append(header);
            lines.append(newLine);
        } else {
            qsizetype insertAt = groupEnd;
            while (insertAt > groupStart + 1 && lines[insertAt - 1].trimmed().isEmpty())
                --insertAt;
            lines.insert(insertAt, newLine);
        }
    }

    return write(path, lines);
}

} // namespace

Result<std::optional<QString>> value(const QString& path, const QString& group, const QString& key)
{
    const Result<QStringList> lines = readLines(path);
    if (!lines)
        return Failure{lines.error()};
    const auto [groupStart, groupEnd] = findGroup(lines.value(), group);
    std::optional<QString> found;
    for (qsizetype i = groupStart + 1; groupStart >= 0 && i < groupEnd; ++i) {
        const QString& line = lines.value()[i];
        if (isKeyLine(line, key))
            found = line.mid(line.indexOf(u'=') + 1).trimmed();
    }
    return found;
}

Result<void> setValue(const QString& path, const QString& group, const QString& key, const QString& value)
{
    return edit(path, group, key, value, false);
}

Result<void> replaceValue(const QString& path, const QString& group, const QString& key, const QString& value)
{
    return edit(path, group, key, value, true);
}

Result<void> removeValue(const QString& path, const QString& group, const QString& key)
{
    Result<QStringList> read = readLines(path);
    if (!read)
        return Failure{read.error()};
    QStringList lines = std::move(read.value());
    const auto [groupStart, groupEnd] = findGroup(lines, group);
    qsizetype removed = 0;
    for (qsizetype i = groupEnd - 1; groupStart >= 0 && i > groupStart; --i) {
        if (isKeyLine(lines[i], key)) {
            lines.removeAt(i);
            ++removed;
        }
    }
    return removed == 0 ? Result<void>() : write(path, lines);
}

} // namespace ConfigFiles
