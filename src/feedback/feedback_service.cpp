#include "feedback_service.h"

#include "app_info.h"
#include "base/json_writer.h"
#include "base/logging.h"
#include "base/tool_process.h"
#include "feedback_records.h"
#include "support_endpoint.h"

#include <QDateTime>
#include <QMap>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <QSysInfo>

using namespace Qt::StringLiterals;

namespace {

bool isSpaceOrTab(QChar c)
{
    return c == u' ' || c == u'\t';
}

} // namespace

QString FeedbackService::rawValue(Category category)
{
    switch (category) {
    case Category::feedback:
        return u"feedback"_s;
    case Category::bug:
        return u"bug"_s;
    case Category::feature:
        return u"feature"_s;
    }
    Q_UNREACHABLE();
}

QString FeedbackService::title(Category category)
{
    switch (category) {
    case Category::feedback:
        return u"Feedback"_s;
    case Category::bug:
        return u"Bug"_s;
    case Category::feature:
        return u"Idea"_s;
    }
    Q_UNREACHABLE();
}

QString FeedbackService::FeedbackError::description() const
{
    switch (kind) {
    case Kind::server:
        if (status == 401)
            return u"This build can't send feedback — please use the website."_s;
        if (status == 429)
            return u"Too many messages in a row — try again in a few minutes."_s;
        return message.isEmpty() ? u"The server didn't accept it (%1)."_s.arg(status) : message;
    case Kind::network:
        return u"Couldn't reach %1: %2"_s.arg(host, message);
    case Kind::failed:
        return u"Couldn't send it: %1"_s.arg(message);
    case Kind::notConfigured:
        break;
    }
    return u"Feedback isn't available in this build."_s;
}

FeedbackService::FeedbackService(QString toolPath, QObject* parent) : QObject(parent), m_toolPath(std::move(toolPath))
{}

FeedbackService::~FeedbackService() = default;

bool FeedbackService::isConfigured()
{
    return SupportEndpoint::current().isConfigured();
}

QString FeedbackService::appName()
{
    return QString::fromUtf8(AppInfo::name);
}

QString FeedbackService::appVersion()
{
    return QString::fromUtf8(AppInfo::version);
}

QString FeedbackService::systemVersion()
{
    // "6.1.0-18-amd64", "6.8.12+deb12-amd64", "5.15": the leading numbers, always three of them.
    static const QRegularExpression numbers(u"^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"_s);
    const QRegularExpressionMatch match = numbers.match(QSysInfo::kernelVersion());
    QStringList parts;
    for (int index = 1; index <= 3; ++index)
        parts.append(QString::number(match.captured(index).toULongLong()));
    return parts.join(u'.');
}

QString FeedbackService::replyAddress(const QString& email)
{
    qsizetype begin = 0;
    qsizetype end = email.size();
    while (begin < end && isSpaceOrTab(email[begin]))
        ++begin;
    while (end > begin && isSpaceOrTab(email[end - 1]))
        --end;
    return email.sliced(begin, end - begin);
}

QByteArray FeedbackService::body(const Submission& submission,
                                 const std::optional<AppAttestClient::Attestation>& attested)
{
    QMap<QByteArray, QString> fields{
        {"app", appName()},
        {"category", rawValue(submission.category)},
        {"message", submission.message},
        {"version", appVersion()},
        {"platform", u"Linux"_s},
        {"os", systemVersion()},
    };
    if (const QString email = replyAddress(submission.email); !email.isEmpty())
        fields.insert("email", email);
    if (attested) {
        fields.insert("attest_key_id", attested->keyID);
        fields.insert("attest_attestation", attested->attestation);
    }
    JsonWriter json(256 + 3 * submission.message.size(), JsonWriter::Layout::compact);
    json.beginObject();
    for (auto field = fields.cbegin(); field != fields.cend(); ++field) {
        json.key(field.key());
        json.string(field.value());
    }
    json.endObject();
    return json.finish();
}

QByteArray FeedbackService::signature(QByteArrayView key, QByteArrayView timestamp, QByteArrayView body)
{
    QMessageAuthenticationCode code(QCryptographicHash::Sha256, key.toByteArray());
    code.addData(timestamp.data(), timestamp.size());
    code.addData("\n", 1);
    code.addData(body.data(), body.size());
    return code.result().toHex();
}

QByteArray FeedbackService::userAgent()
{
    return (appName().remove(u' ') + u'/' + appVersion() + u" (Linux "_s + systemVersion() + u')').toUtf8();
}

void FeedbackService::send(const Submission& submission, QObject* context, std::function<void(const Outcome&)> done)
{
    if (!isConfigured()) {
        QMetaObject::invokeMethod(
            context, [done = std::move(done)] { done(FeedbackError{}); }, Qt::QueuedConnection);
        return;
    }
    // Made a child of the context: a closed window takes the tool, and with it the request, along.
    auto* tool =
        new ToolProcess(m_toolPath, {u"feedback"_s, u"send"_s}, {.time = defaultDeadline + toolMargin}, context);
    tool->start(
        FeedbackRecords::submission(submission), [tool, done = std::move(done)](const ToolProcess::Outcome& ended) {
            tool->deleteLater();
            if (!ended) {
                done(FeedbackError{FeedbackError::Kind::failed, 0, ended.error(), {}});
                return;
            }
            const Result<Outcome> outcome = FeedbackRecords::readOutcome(ended->out);
            if (!outcome) {
                const QString complaint = ended->complaint();
                done(FeedbackError{FeedbackError::Kind::failed,
                                   0,
                                   complaint.isEmpty() ? u"linkherd gave no answer that could be read."_s : complaint,
                                   {}});
                return;
            }
            if (!*outcome)
                qCInfo(lcFeedback, "Feedback not sent: %s", qUtf8Printable(outcome->error().description()));
            done(*outcome);
        });
}
