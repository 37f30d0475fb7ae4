#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// Small file helpers for tests that work in temporary directories.
namespace TestFiles {

// A file under tests/data.
QString dataPath(const QString& relativePath);
QByteArray read(const QString& path);
void write(const QString& path, const QByteArray& bytes);
// What another program's atomic save does: write a temporary file next to the target, then rename it over.
void writeAtomicallyAsAnotherProgram(const QString& path, const QByteArray& bytes);
// A stand-in for a program the code under test runs (the `linkherd` tool): an executable shell script at path
// with this body after its #! line. Returns path.
QString writeScript(const QString& path, const QByteArray& body);
// The project README's fenced blocks marked as this language ("json", "sh"; "" for plain text), each without its
// fences, in order: for tests that hold the README's examples to what the programs do.
QStringList readmeBlocks(const QString& language);

// One command of a transcript under tests/data: a `$ ` line (its arguments split with QProcess::splitCommand's
// quoting) and the lines after it, up to a blank or `#` line, which are what the command prints.
struct TranscriptEntry {
    QString commandLine;
    QStringList arguments;
    QString output;
};
// The transcript's commands in order; a line outside any command stops the test program.
QList<TranscriptEntry> transcript(const QString& relativePath);

// A table that is pure test data: tests/data/tables/NAME, a JSON array of rows, each an object with its "row" name
// and its values by column, which a suite's _data() adds. A file that does not read as a table stops the suite: an
// empty table would pass without testing anything.
QList<QJsonObject> tableRows(const QString& name);
inline QStringList strings(const QJsonValue& column)
{
    return column.toVariant().toStringList();
}

} // namespace TestFiles
