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

// Sends one message from the feedback form to the maker's support endpoint as a signed HTTPS POST: the message,
// its kind, an optional reply address, the application's name and version and the system version, nothing
// else. Each send is independent; nothing is retried. The request itself (FeedbackRequest, src/feedback_http)
// is made by the `linkherd` tool (`linkherd feedback send`), which this starts for each send, so that the
// resident never loads the network stack: the submission goes to the tool's standard input and the outcome
// comes back on its standard output (FeedbackRecords). Main thread.
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
        // failed: the tool that sends could not be run, or gave no readable answer; message says why.
        enum class Kind { server, network, notConfigured, failed };
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

    // toolPath: the `linkherd` tool; empty when it is not installed, and then every send fails.
    explicit FeedbackService(QString toolPath, QObject* parent = nullptr);
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

    // The tool, given this much more than the request's deadline to start and end, is stopped after it.
    static constexpr std::chrono::milliseconds toolMargin{10'000};

    // Sends the submission and reports on the main thread, always later than this call returns and within the
    // deadline and the tool's margin, through done. When context goes first (the window was closed), the tool is
    // killed, which aborts the request and lets its connection go: nothing is reported.
    void send(const Submission& submission, QObject* context, std::function<void(const Outcome&)> done);

    // The request body: one JSON object of texts, compact, keys sorted, "/" escaped as "\/".
    static QByteArray body(const Submission& submission, const std::optional<AppAttestClient::Attestation>& attested);
    // X-Support-Signature: lower-case hex HMAC-SHA-256, keyed with key, over timestamp, a line feed, body.
    static QByteArray signature(QByteArrayView key, QByteArrayView timestamp, QByteArrayView body);
    static QByteArray userAgent();

private:
    QString m_toolPath;
};
