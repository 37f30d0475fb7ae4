#pragma once

#include "app_attest_client.h"
#include "base/result.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;

// Sends one message from the feedback form to the maker's support endpoint as a signed HTTPS POST: the message,
// its kind, an optional reply address, the application's name and version and the system version, nothing
// else. Each send is independent; nothing is retried. Main thread; the network work is Qt's.
class FeedbackService final : public QObject {
    Q_OBJECT

public:
    enum class Category { feedback, bug, feature };
    static constexpr std::array<Category, 3> allCategories{Category::feedback, Category::bug, Category::feature};
    // The text the request carries.
    static QString rawValue(Category category);
    // What the form shows.
    static QString title(Category category);

    struct Submission {
        Category category = Category::feedback;
        QString message; // trimmed by the form
        QString email;   // as typed
    };

    struct FeedbackError {
        enum class Kind { server, network, notConfigured };
        Kind kind = Kind::notConfigured;
        int status = 0;  // server
        QString message; // server (possibly empty), network
        QString host;    // network

        QString description() const;
    };
    using Outcome = Result<void, FeedbackError>;

    // The whole exchange (connecting, the handshake, the request, the answer's headers and what is read of its
    // body) ends within this, whatever the server does.
    static constexpr std::chrono::milliseconds defaultDeadline{20'000};

    explicit FeedbackService(QObject* parent = nullptr);
    ~FeedbackService() override;

    // Whether this build (or the environment) gives a usable signing key and endpoint; without one, send fails
    // with notConfigured and nothing goes over the network.
    static bool isConfigured();
    static QString appName();
    // The version the requests carry, for the form's privacy note.
    static QString appVersion();
    // The kernel's release as major.minor.patch.
    static QString systemVersion();
    // The e-mail as it is sent: trimmed of spaces and tabs; empty means none.
    static QString replyAddress(const QString& email);

    // Sends the submission and reports on the main thread, always later than this call returns and within the
    // deadline, through done. When context goes first (the window was closed), the request is aborted and its
    // connection let go: nothing is reported.
    void send(const Submission& submission, QObject* context, std::function<void(const Outcome&)> done);

    void setDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }

    // The request body: one JSON object of texts, compact, keys sorted, "/" escaped as "\/".
    static QByteArray body(const Submission& submission, const std::optional<AppAttestClient::Attestation>& attested);
    // X-Support-Signature: lower-case hex HMAC-SHA-256, keyed with key, over timestamp, a line feed, body.
    static QByteArray signature(QByteArrayView key, QByteArrayView timestamp, QByteArrayView body);
    static QByteArray userAgent();

private:
    QNetworkAccessManager* m_network = nullptr;
    std::chrono::milliseconds m_deadline = defaultDeadline;
};
