#include "finicky_report.h"

#include "base/json_writer.h"
#include "routing/rules_codec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace FinickyConfig {

QByteArray writeReport(const Imported& imported)
{
    JsonWriter json(1024 + 400 * imported.rules.size());
    json.beginObject();
    json.key("fallback");
    if (imported.fallback)
        RulesCodec::writeDestination(json, *imported.fallback);
    else
        json.null();
    json.key("notes");
    json.beginArray();
    for (const QString& note : imported.notes) {
        json.element();
        json.string(note);
    }
    json.endArray();
    json.key("rules");
    json.beginArray();
    for (const Rule& rule : imported.rules) {
        json.element();
        RulesCodec::writeRule(json, rule);
    }
    json.endArray();
    json.endObject();
    return json.finish();
}

Result<Imported> readReport(const QByteArray& report)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(report, &error);
    if (error.error != QJsonParseError::NoError)
        return Failure{u"the report is not JSON: "_s + error.errorString()};
    const QJsonObject object = document.object();
    const QJsonValue fallback = object.value(u"fallback"_s);
    const QJsonValue notes = object.value(u"notes"_s);
    if (!document.isObject() || !(fallback.isNull() || fallback.isObject()) || !notes.isArray() ||
        !object.value(u"rules"_s).isArray())
        return Failure{u"the report lacks its fallback, notes or rules"_s};

    Imported imported;
    for (const QJsonValue note : notes.toArray()) {
        if (!note.isString())
            return Failure{u"a note of the report is not text"_s};
        imported.notes.append(note.toString());
    }
    // The rules and the fallback are read as the rules file is, by the one reader that checks every field.
    QJsonObject rules{{u"version"_s, 1}, {u"rules"_s, object.value(u"rules"_s)}};
    rules.insert(u"fallback"_s, fallback.isNull() ? QJsonObject{{u"ask"_s, QJsonObject()}} : fallback);
    Result<RulesDocument> decoded = RulesCodec::decode(QJsonDocument(rules).toJson(QJsonDocument::Compact));
    if (!decoded)
        return Failure{u"the report's rules are not readable: "_s + decoded.error()};
    imported.rules = std::move(decoded.value().rules);
    if (!fallback.isNull())
        imported.fallback = decoded->fallback;
    return imported;
}

} // namespace FinickyConfig
