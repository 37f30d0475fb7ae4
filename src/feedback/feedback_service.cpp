#include "feedback_service.h"

#include "app_info.h"
#include "base/bounded_file.h"
#include "base/json_writer.h"
#include "base/logging.h"
#include "support_endpoint.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QMessageAuthenticationCode>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSysInfo>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Only the "message" of an answer is ever shown; an answer larger than this is not read to its end.
constexpr qint64 answerLimit = 64 * 1024;
constexpr qint64 certificatesLimit = 4 * 1024 * 1024;

bool isSpaceOrTab(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The failures of the transport itself, as opposed to an HTTP answer that Qt also counts as an error (401, 500).
bool isTransportFailure(QNetworkReply::NetworkError error)
{
    return (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
           error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::ProtocolFailure;
}

// The system's certificates and those of LINKHERD_SUPPORT_CA. Verification itself stays as Qt does it.
QSslConfiguration tlsWithExtraCertificates(const QString& path)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    const Result<QByteArray> pem = BoundedFile::read(path, certificatesLimit);
    const QList<QSslCertificate> extra =
        pem ? QSslCertificate::fromData(pem.value(), QSsl::Pem) : QList<QSslCertificate>();
    if (extra.isEmpty())
        qCWarning(lcFeedback, "LINKHERD_SUPPORT_CA %s gives no certificate: %s", qUtf8Printable(path),
                  pem ? "no PEM certificate in it" : qUtf8Printable(pem.error()));
    tls.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
    return tls;
}

// A request the service ended itself: the answer was cut short (a 200 needs no body; a body past the limit is not
// read), or the deadline passed.
struct Ending {
    bool answerCut = false;
    bool timedOut = false;
};

FeedbackService::Outcome outcomeOf(QNetworkReply& reply, const QString& host, const Ending& ending)
{
    using FeedbackError = FeedbackService::FeedbackError;
    // An abort here is the service's own; what it means is told by what had arrived by then.
    const bool endedHere = ending.answerCut || ending.timedOut;
    if (!endedHere && isTransportFailure(reply.error()))
        return FeedbackError{FeedbackError::Kind::network, 0, reply.errorString(), host};
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        return FeedbackError{FeedbackError::Kind::network, 0,
                             ending.timedOut ? u"The request timed out."_s : u"no response"_s, host};
    }
    if (status.toInt() == 200)
        return {};
    QString message;
    if (!endedHere) {
        const QJsonDocument answer = QJsonDocument::fromJson(reply.readAll());
        if (const QJsonValue value = answer.object().value(u"message"_s); value.isString())
            message = value.toString();
    }
    return FeedbackError{FeedbackError::Kind::server, status.toInt(), message, {}};
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
    case Kind::notConfigured:
        break;
    }
    return u"Feedback isn't available in this build."_s;
}

FeedbackService::FeedbackService(QObject* parent) : QObject(parent) {}

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
    const SupportEndpoint endpoint = SupportEndpoint::current();
    if (!endpoint.isConfigured()) {
        QMetaObject::invokeMethod(
            context, [done = std::move(done)] { done(FeedbackError{}); }, Qt::QueuedConnection);
        return;
    }

    AppAttestClient& attestClient = AppAttestClient::shared();
    const std::optional<AppAttestClient::Attestation> attested = attestClient.attestation();
    const QByteArray payload = body(submission, attested);
    const QByteArray timestamp = QByteArray::number(QDateTime::currentSecsSinceEpoch());

    QNetworkRequest request(endpoint.url);
    // The signed body goes to the endpoint and nowhere else; a redirect is an answer like any other but 200.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/json"_s);
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("X-Support-Timestamp", timestamp);
    request.setRawHeader("X-Support-Signature", signature(endpoint.key, timestamp, payload));
    if (attested) {
        if (const std::optional<QString> assertion = attestClient.assertion(attested->keyID, timestamp, payload))
            request.setRawHeader("X-Support-Assertion", assertion->toLatin1());
    }
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    if (!endpoint.extraCertificates.isEmpty())
        request.setSslConfiguration(tlsWithExtraCertificates(endpoint.extraCertificates));

    // Made at the first send: the resident that never sends feedback never loads the network stack's state.
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkReply* reply = m_network->post(request, payload);
    // A hostile or broken endpoint could answer slowly without end, or at length; every request ends by the
    // deadline, a 200 at its headers (its body is never used), and an answer past the limit unread.
    auto ending = std::make_shared<Ending>();
    const auto cut = [reply, ending] {
        ending->answerCut = true;
        reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, cut] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200 ||
            (length.isValid() && length.toLongLong() > answerLimit))
            cut();
    });
    connect(reply, &QNetworkReply::downloadProgress, reply, [cut](qint64 received, qint64) {
        if (received > answerLimit)
            cut();
    });
    QTimer::singleShot(m_deadline, reply, [reply, ending] {
        ending->timedOut = true;
        reply->abort();
    });
    // A closed window is a cancelled send: its connection is let go at once, not left to the server.
    connect(context, &QObject::destroyed, reply, &QNetworkReply::abort);
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    connect(reply, &QNetworkReply::finished, context, [reply, ending, host = endpoint.host(), done = std::move(done)] {
        const Outcome outcome = outcomeOf(*reply, host, *ending);
        if (!outcome)
            qCInfo(lcFeedback, "Feedback not sent: %s", qUtf8Printable(outcome.error().description()));
        done(outcome);
    });
}
