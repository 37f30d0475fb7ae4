#include "feedback_records.h"

#include "base/json_writer.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

using Category = FeedbackService::Category;
using Kind = FeedbackService::FeedbackError::Kind;

constexpr std::array<std::pair<Kind, QStringView>, 4> kindNames{{{Kind::server, u"server"},
                                                                 {Kind::network, u"network"},
                                                                 {Kind::notConfigured, u"notConfigured"},
                                                                 {Kind::failed, u"failed"}}};

Result<QJsonObject> objectOf(const QByteArray& record)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(record, &error);
    if (error.error != QJsonParseError::NoError)
        return Failure{u"not JSON: "_s + error.errorString()};
    if (!document.isObject())
        return Failure{u"not a JSON object"_s};
    return document.object();
}

} // namespace

namespace FeedbackRecords {

QByteArray submission(const FeedbackService::Submission& submission)
{
    JsonWriter json(256 + 3 * submission.message.size(), JsonWriter::Layout::compact);
    json.beginObject();
    json.key("category");
    json.string(FeedbackService::rawValue(submission.category));
    json.key("email");
    json.string(submission.email);
    json.key("message");
    json.string(submission.message);
    json.endObject();
    return json.finish();
}

Result<FeedbackService::Submission> readSubmission(const QByteArray& record)
{
    const Result<QJsonObject> object = objectOf(record);
    if (!object)
        return Failure{object.error()};
    FeedbackService::Submission submission;
    const QString category = object->value(u"category"_s).toString();
    bool known = false;
    for (const Category each : FeedbackService::allCategories) {
        if (FeedbackService::rawValue(each) == category) {
            submission.category = each;
            known = true;
        }
    }
    if (!known)
        return Failure{u"\"category\" is not one of feedback, bug, feature"_s};
    const QJsonValue message = object->value(u"message"_s);
    const QJsonValue email = object->value(u"email"_s);
    if (!message.isString() || !(email.isString() || email.isUndefined()))
        return Failure{u"\"message\" and \"email\" must be text"_s};
    submission.message = message.toString();
    submission.email = email.toString();
    return submission;
}

QByteArray outcome(const FeedbackService::Outcome& outcome)
{
    JsonWriter json(256, JsonWriter::Layout::compact);
    json.beginObject();
    if (outcome) {
        json.key("sent");
        json.boolean(true);
    } else {
        const FeedbackService::FeedbackError& error = outcome.error();
        json.key("error");
        json.beginObject();
        json.key("host");
        json.string(error.host);
        json.key("kind");
        for (const auto& [kind, name] : kindNames) {
            if (kind == error.kind)
                json.string(name);
        }
        json.key("message");
        json.string(error.message);
        json.key("status");
        json.integer(error.status);
        json.endObject();
    }
    json.endObject();
    return json.finish();
}

Result<FeedbackService::Outcome> readOutcome(const QByteArray& record)
{
    const Result<QJsonObject> object = objectOf(record);
    if (!object)
        return Failure{object.error()};
    if (object->value(u"sent"_s) == QJsonValue(true))
        return FeedbackService::Outcome();
    const QJsonObject error = object->value(u"error"_s).toObject();
    const QString kindName = error.value(u"kind"_s).toString();
    for (const auto& [kind, name] : kindNames) {
        if (name == kindName) {
            return FeedbackService::Outcome(FeedbackService::FeedbackError{kind, error.value(u"status"_s).toInt(),
                                                                           error.value(u"message"_s).toString(),
                                                                           error.value(u"host"_s).toString()});
        }
    }
    return Failure{u"neither sent nor an error"_s};
}

} // namespace FeedbackRecords
