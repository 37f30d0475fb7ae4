#include "feedback_request.h"

#include "base/bounded_file.h"
#include "base/logging.h"
#include "feedback/app_attest_client.h"
#include "feedback/support_endpoint.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Only the "message" of an answer is ever shown; an answer larger than this is not read to its end.
constexpr qint64 answerLimit = 64 * 1024;
constexpr qint64 certificatesLimit = 4 * 1024 * 1024;

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

FeedbackRequest::Outcome outcomeOf(QNetworkReply& reply, const QString& host, const Ending& ending)
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

FeedbackRequest::FeedbackRequest(QObject* parent) : QObject(parent) {}

FeedbackRequest::~FeedbackRequest() = default;

void FeedbackRequest::send(const FeedbackService::Submission& submission, QObject* context,
                           std::function<void(const Outcome&)> done)
{
    const SupportEndpoint endpoint = SupportEndpoint::current();
    if (!endpoint.isConfigured()) {
        QMetaObject::invokeMethod(
            context, [done = std::move(done)] { done(FeedbackService::FeedbackError{}); }, Qt::QueuedConnection);
        return;
    }

    AppAttestClient& attestClient = AppAttestClient::shared();
    const std::optional<AppAttestClient::Attestation> attested = attestClient.attestation();
    const QByteArray payload = FeedbackService::body(submission, attested);
    const QByteArray timestamp = QByteArray::number(QDateTime::currentSecsSinceEpoch());

    QNetworkRequest request(endpoint.url);
    // The signed body goes to the endpoint and nowhere else; a redirect is an answer like any other but 200.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/json"_s);
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("X-Support-Timestamp", timestamp);
    request.setRawHeader("X-Support-Signature", FeedbackService::signature(endpoint.key, timestamp, payload));
    if (attested) {
        if (const std::optional<QString> assertion = attestClient.assertion(attested->keyID, timestamp, payload))
            request.setRawHeader("X-Support-Assertion", assertion->toLatin1());
    }
    request.setHeader(QNetworkRequest::UserAgentHeader, FeedbackService::userAgent());
    if (!endpoint.extraCertificates.isEmpty())
        request.setSslConfiguration(tlsWithExtraCertificates(endpoint.extraCertificates));

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
