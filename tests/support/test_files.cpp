#include "test_files.h"

#include <QFile>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace TestFiles {

QString dataPath(const QString& relativePath)
{
    return QStringLiteral(LINKHERD_TEST_DATA) + u'/' + relativePath;
}

QStringList readmeBlocks(const QString& language)
{
    const QString readme = QString::fromUtf8(read(QStringLiteral(LINKHERD_README)));
    const QString opening = u"```"_s + language + u'\n';
    QStringList blocks;
    for (qsizetype start = readme.indexOf(opening); start >= 0; start = readme.indexOf(opening, start)) {
        start += opening.size();
        const qsizetype end = readme.indexOf(u"\n```"_s, start - 1);
        if (end < 0)
            break;
        blocks.append(readme.sliced(start, end + 1 - start));
        start = end + 4;
    }
    return blocks;
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
