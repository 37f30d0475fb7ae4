#include "test_files.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace TestFiles {

QString dataPath(const QString& relativePath)
{
    return QStringLiteral(LINKHERD_TEST_DATA) + u'/' + relativePath;
}

QStringList readmeBlocks(const QString& language)
{
    const QString readme = QString::fromUtf8(read(QStringLiteral(LINKHERD_README)));
    QStringList blocks;
    std::optional<QString> block; // inside a fence, and of the language asked for: its text so far
    bool inFence = false;
    for (const QString& line : readme.split(u'\n')) {
        if (!line.startsWith(u"```"_s)) {
            if (block)
                *block += line + u'\n';
        } else if (inFence) {
            if (block)
                blocks.append(*block);
            block.reset();
            inFence = false;
        } else {
            inFence = true;
            if (line.mid(3) == language)
                block.emplace();
        }
    }
    return blocks;
}

QList<TranscriptEntry> transcript(const QString& relativePath)
{
    QList<TranscriptEntry> entries;
    bool inEntry = false;
    for (const QString& line : QString::fromUtf8(read(dataPath(relativePath))).split(u'\n')) {
        if (line == u"$"_s || line.startsWith(u"$ "_s)) {
            entries.append({line.mid(2), QProcess::splitCommand(line.mid(2)), QString()});
            inEntry = true;
        } else if (line.isEmpty() || line.startsWith(u'#')) {
            inEntry = false;
        } else if (inEntry) {
            entries.last().output += line + u'\n';
        } else {
            qFatal("%s: a line outside a command: %s", qPrintable(relativePath), qPrintable(line));
        }
    }
    return entries;
}

QList<QJsonObject> tableRows(const QString& name)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(read(dataPath(u"tables/"_s + name)), &error);
    if (!document.isArray() || document.array().isEmpty())
        qFatal("tests/data/tables/%s is no table of rows: %s", qPrintable(name), qPrintable(error.errorString()));
    QList<QJsonObject> rows;
    for (const QJsonValue& row : document.array())
        rows.append(row.toObject());
    return rows;
}

QByteArray read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QString writeScript(const QString& path, const QByteArray& body)
{
    write(path, "#!/bin/sh\n" + body + '\n');
    if (!QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        qFatal("cannot make %s executable", qPrintable(path));
    return path;
}

void writeAtomicallyAsAnotherProgram(const QString& path, const QByteArray& bytes)
{
    const QString temporary = path + u".editor-tmp"_s;
    write(temporary, bytes);
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
        qFatal("cannot rename %s", qPrintable(temporary));
}

} // namespace TestFiles
