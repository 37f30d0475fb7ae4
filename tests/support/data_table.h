#pragma once

#include "support/test_files.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

// Tables that are pure test data live in tests/data/tables as a JSON array of rows: each an object with its
// "row" name and its values by column. A suite's _data() adds its columns and each row from these.
namespace DataTable {

// A file that does not read as a table stops the suite: an empty table would pass without testing anything.
inline QList<QJsonObject> rows(const QString& name)
{
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(TestFiles::read(TestFiles::dataPath(QStringLiteral("tables/") + name)), &error);
    if (!document.isArray() || document.array().isEmpty())
        qFatal("tests/data/tables/%s is no table of rows: %s", qPrintable(name), qPrintable(error.errorString()));
    QList<QJsonObject> rows;
    for (const QJsonValue& row : document.array())
        rows.append(row.toObject());
    return rows;
}

inline QByteArray rowName(const QJsonObject& row)
{
    return row[u"row"].toString().toUtf8();
}

inline QStringList strings(const QJsonValue& value)
{
    return value.toVariant().toStringList();
}

} // namespace DataTable
