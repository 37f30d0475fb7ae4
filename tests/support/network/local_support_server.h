#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSslServer>
#include <QString>
#include <QUrl>

#include <chrono>

class QSslSocket;

// A support endpoint on 127.0.0.1 for tests: HTTPS with a certificate made for the test (makeCertificate, which
// runs openssl), recording every request as it arrived and answering as told. Reach it as https://localhost:port/
// with the certificate trusted through LINKHERD_SUPPORT_CA.
class LocalSupportServer final : public QObject {
    Q_OBJECT

public:
    struct Certificate {
        QString certificatePath; // PEM, also what LINKHERD_SUPPORT_CA names
        QString keyPath;
    };
    // A self-signed certificate for hostName (and 127.0.0.1) in folder; nullopt when openssl fails, with why.
    static std::optional<Certificate> makeCertificate(const QString& folder, const QString& hostName, QString* why);

    struct Answer {
        int status = 200;
        QByteArray body;
        // Above zero, the body follows the headers one byte at a time, this far apart (a hostile endpoint).
        std::chrono::milliseconds trickle{0};
    };

    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    explicit LocalSupportServer(const Certificate& certificate, QObject* parent = nullptr);

    bool isListening() const { return m_server.isListening(); }
    QUrl url() const;

    // For every request from now on.
    void setAnswer(const Answer& answer) { m_answer = answer; }
    // Holding, requests are answered only by release() (a stalled endpoint: never), with the answer set then.
    void setHolding(bool holding) { m_holding = holding; }
    void release();

    const QList<Request>& requests() const { return m_requests; }
    // Every connection that reached the server, whether or not its handshake succeeded.
    int connections() const { return m_connections; }
    // The connections still open, answered or not.
    int openConnections() const;
    // Forgets the requests and connections, and answers 200 at once again.
    void reset();

private:
    void read(QSslSocket* socket);
    void answer(QSslSocket* socket);

    QSslServer m_server;
    Answer m_answer;
    bool m_holding = false;
    QList<QPointer<QSslSocket>> m_held;
    QList<Request> m_requests;
    int m_connections = 0;
};
