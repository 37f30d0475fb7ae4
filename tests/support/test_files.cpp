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

void writeAtomicallyAsAnotherProgram(const QString& path, const QByteArray& bytes)
{
    const QString temporary = path + u".editor-tmp"_s;
    write(temporary, bytes);
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
        qFatal("cannot rename %s", qPrintable(temporary));
}

} // namespace TestFiles
