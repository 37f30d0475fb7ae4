#include "local_support_server.h"

#include "support/test_files.h"

#include <QProcess>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

// A request held until its body is complete; the socket keeps what came so far.
constexpr char received[] = "linkherd.received";

std::optional<LocalSupportServer::Certificate>
LocalSupportServer::makeCertificate(const QString& folder, const QString& hostName, QString* why)
{
    const Certificate certificate{folder + u'/' + hostName + u".pem"_s, folder + u'/' + hostName + u".key"_s};
    QProcess openssl;
    openssl.start(u"openssl"_s,
                  {u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s,
                   u"-nodes"_s, u"-days"_s, u"2"_s, u"-subj"_s, u"/CN="_s + hostName, u"-addext"_s,
                   u"subjectAltName=DNS:%1,IP:127.0.0.1"_s.arg(hostName), u"-keyout"_s, certificate.keyPath, u"-out"_s,
                   certificate.certificatePath});
    if (!openssl.waitForFinished(60'000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        *why = u"openssl could not make a certificate: "_s + openssl.errorString() + u' ' +
               QString::fromLocal8Bit(openssl.readAllStandardError());
        return std::nullopt;
    }
    return certificate;
}

LocalSupportServer::LocalSupportServer(const Certificate& certificate, QObject* parent) : QObject(parent)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(TestFiles::read(certificate.certificatePath), QSsl::Pem));
    tls.setPrivateKey(QSslKey(TestFiles::read(certificate.keyPath), QSsl::Ec, QSsl::Pem));
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_server.setSslConfiguration(tls);
    connect(&m_server, &QSslServer::startedEncryptionHandshake, this, [this] { ++m_connections; });
    connect(&m_server, &QSslServer::pendingConnectionAvailable, this, [this] {
        while (auto* socket = qobject_cast<QSslSocket*>(m_server.nextPendingConnection())) {
            socket->setParent(this);
            connect(socket, &QSslSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
            read(socket);
        }
    });
    m_server.listen(QHostAddress::LocalHost);
}

QUrl LocalSupportServer::url() const
{
    return QUrl(u"https://localhost:%1/api/support"_s.arg(m_server.serverPort()));
}

void LocalSupportServer::read(QSslSocket* socket)
{
    const QByteArray bytes = socket->property(received).toByteArray() + socket->readAll();
    socket->setProperty(received, bytes);
    const qsizetype headerEnd = bytes.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    Request request;
    const QList<QByteArray> lines = bytes.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    for (qsizetype index = 1; index < lines.size(); ++index) {
        const qsizetype colon = lines[index].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[index].left(colon).trimmed().toLower(), lines[index].mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length").toLongLong();
    if (bytes.size() < headerEnd + 4 + length)
        return;
    request.body = bytes.mid(headerEnd + 4, length);
    socket->setProperty(received, QByteArray());
    m_requests.append(request);
    if (m_holding)
        m_held.append(socket);
    else
        answer(socket);
}

void LocalSupportServer::answer(QSslSocket* socket)
{
    socket->write("HTTP/1.1 " + QByteArray::number(m_answer.status) +
                  " Answer\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                  QByteArray::number(m_answer.body.size()) + "\r\n\r\n");
    if (m_answer.trickle <= std::chrono::milliseconds::zero()) {
        socket->write(m_answer.body);
        socket->disconnectFromHost();
        return;
    }
    auto* timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [socket, body = m_answer.body, sent = qsizetype(0)]() mutable {
        if (sent < body.size())
            socket->write(body.sliced(sent++, 1));
        else
            socket->disconnectFromHost();
    });
    timer->start(m_answer.trickle);
}

int LocalSupportServer::openConnections() const
{
    const QList<QSslSocket*> sockets = findChildren<QSslSocket*>();
    return static_cast<int>(std::count_if(sockets.cbegin(), sockets.cend(), [](const QSslSocket* socket) {
        return socket->state() == QAbstractSocket::ConnectedState;
    }));
}

void LocalSupportServer::release()
{
    m_holding = false;
    for (const QPointer<QSslSocket>& socket : std::exchange(m_held, {})) {
        if (socket)
            answer(socket);
    }
}

void LocalSupportServer::reset()
{
    m_answer = {};
    m_holding = false;
    m_held.clear();
    m_requests.clear();
    m_connections = 0;
}
