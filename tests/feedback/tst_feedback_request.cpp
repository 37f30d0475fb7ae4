#include "feedback/feedback_records.h"
#include "feedback_http/feedback_request.h"
#include "support/network/local_support_server.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

Q_DECLARE_METATYPE(FeedbackService::Category)

using namespace Qt::StringLiterals;

constexpr char secret[] = "correct horse battery staple";
using Category = FeedbackService::Category;

// The service against an HTTPS endpoint on this machine: the request as it arrives, and each kind of answer.
class TestFeedbackRequest final : public QObject {
    Q_OBJECT

private:
    // Sends and waits for the outcome: empty for success, else the error's description.
    QString sendAndWait(FeedbackRequest& service, const FeedbackService::Submission& submission)
    {
        std::optional<FeedbackService::Outcome> outcome;
        service.send(submission, this, [&outcome](const FeedbackService::Outcome& result) { outcome = result; });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 30'000); }();
        if (!outcome)
            return u"(no outcome)"_s;
        return *outcome ? QString() : outcome->error().description();
    }

    QTemporaryDir m_folder;
    LocalSupportServer::Certificate m_localhost;
    LocalSupportServer::Certificate m_elsewhere;
    std::unique_ptr<LocalSupportServer> m_server;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QString why;
        const auto localhost = LocalSupportServer::makeCertificate(m_folder.path(), u"localhost"_s, &why);
        const auto elsewhere = LocalSupportServer::makeCertificate(m_folder.path(), u"elsewhere.example"_s, &why);
        QVERIFY2(localhost && elsewhere, qPrintable(why));
        m_localhost = *localhost;
        m_elsewhere = *elsewhere;
        m_server = std::make_unique<LocalSupportServer>(m_localhost);
        QVERIFY(m_server->isListening());
    }

    void init()
    {
        qputenv("LINKHERD_SUPPORT_URL", m_server->url().toEncoded());
        qputenv("LINKHERD_SUPPORT_SECRET", secret);
        qputenv("LINKHERD_SUPPORT_CA", m_localhost.certificatePath.toUtf8());
        m_server->reset();
    }

    void request_data()
    {
        QTest::addColumn<Category>("category");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("email");
        // The body with the system's version and the application's version filled in.
        QTest::addColumn<QString>("expectedBody");

        QTest::newRow("no e-mail")
            << Category::feedback << u"Works well"_s << QString()
            << u"{\"app\":\"Linkherd\",\"category\":\"feedback\",\"message\":\"Works well\",\"os\":\"%1\","
               u"\"platform\":\"Linux\",\"version\":\"%2\"}"_s;
        QTest::newRow("e-mail trimmed, slashes and breaks escaped")
            << Category::bug << u"Crashed on https://a.example/b\nthen \"quit\"\t"_s << u" \tme@example.org  "_s
            << u"{\"app\":\"Linkherd\",\"category\":\"bug\",\"email\":\"me@example.org\","
               u"\"message\":\"Crashed on https:\\/\\/a.example\\/b\\nthen "
               u"\\\"quit\\\"\\t\",\"os\":\"%1\",\"platform\":\"Linux\","
               u"\"version\":\"%2\"}"_s;
        QTest::newRow("e-mail of spaces left out, text beyond ASCII as it is")
            << Category::feature << u"Dark mode — please ☾"_s << u"   "_s
            << u"{\"app\":\"Linkherd\",\"category\":\"feature\",\"message\":\"Dark mode — please ☾\",\"os\":\"%1\","
               u"\"platform\":\"Linux\",\"version\":\"%2\"}"_s;
    }

    void request()
    {
        QFETCH(Category, category);
        QFETCH(QString, message);
        QFETCH(QString, email);
        QFETCH(QString, expectedBody);

        const QString os = FeedbackService::systemVersion();
        QVERIFY2(QRegularExpression(u"^\\d+\\.\\d+\\.\\d+$"_s).match(os).hasMatch(), qPrintable(os));
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        FeedbackRequest service;
        QCOMPARE(sendAndWait(service, {category, message, email}), QString());
        const qint64 after = QDateTime::currentSecsSinceEpoch();

        QCOMPARE(m_server->requests().size(), 1);
        const LocalSupportServer::Request& request = m_server->requests().first();
        QCOMPARE(request.method, "POST");
        QCOMPARE(request.path, "/api/support");
        QCOMPARE(request.body, expectedBody.arg(os, FeedbackService::appVersion()).toUtf8());
        QCOMPARE(request.headers.value("content-type"), "application/json");
        QCOMPARE(request.headers.value("accept"), "application/json");
        QCOMPARE(request.headers.value("user-agent"),
                 u"Linkherd/%1 (Linux %2)"_s.arg(FeedbackService::appVersion(), os).toUtf8());
        QVERIFY(!request.headers.contains("x-support-assertion"));
        const QByteArray timestamp = request.headers.value("x-support-timestamp");
        QVERIFY2(QByteArray::number(timestamp.toLongLong()) == timestamp, timestamp.constData());
        QVERIFY(timestamp.toLongLong() >= before && timestamp.toLongLong() <= after);
        QCOMPARE(request.headers.value("x-support-signature"),
                 FeedbackService::signature(secret, timestamp, request.body));
    }

    void signature()
    {
        // openssl dgst -sha256 -hmac key over "1700000000\n{"a":"b"}"
        QCOMPARE(FeedbackService::signature("key", "1700000000", "{\"a\":\"b\"}"),
                 "8405aca566289604a387135cc7b7b33c43ef5a9762d9cd5af2e990eae2bff700");
    }

    // Each answer ends the send within its deadline and lets its connection go, also from an endpoint that
    // answers a byte at a time ("trickling"); a 200 is taken at its headers.
    void answers_data()
    {
        QTest::addColumn<int>("status"); // 0: never answers
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected"); // empty: sent
        QTest::addColumn<bool>("trickles");

        QTest::newRow("200") << 200 << QByteArray("{\"ok\":true}") << QString() << false;
        QTest::newRow("201, empty") << 201 << QByteArray() << u"The server didn't accept it (201)."_s << false;
        QTest::newRow("401") << 401 << QByteArray("{\"message\":\"bad signature\"}")
                             << u"This build can't send feedback — please use the website."_s << false;
        QTest::newRow("429") << 429 << QByteArray() << u"Too many messages in a row — try again in a few minutes."_s
                             << false;
        QTest::newRow("500, message") << 500 << QByteArray("{\"message\":\"The inbox is full.\"}")
                                      << u"The inbox is full."_s << false;
        QTest::newRow("500, message not text")
            << 500 << QByteArray("{\"message\":42}") << u"The server didn't accept it (500)."_s << false;
        QTest::newRow("500, garbage") << 500 << QByteArray("<html>Bad Gateway")
                                      << u"The server didn't accept it (500)."_s << false;
        QTest::newRow("500, message past what is read")
            << 500 << QByteArray("{\"message\":\"Too long to read.\",\"padding\":\"" + QByteArray(200'000, 'x') + "\"}")
            << u"The server didn't accept it (500)."_s << false;
        QTest::newRow("stalled") << 0 << QByteArray() << u"Couldn't reach localhost: The request timed out."_s << false;
        QTest::newRow("trickling 200, a megabyte") << 200 << QByteArray(1'000'000, ' ') << QString() << true;
        QTest::newRow("trickling 500, short") << 500 << QByteArray("{\"message\":\"slow\"}" + QByteArray(1000, ' '))
                                              << u"The server didn't accept it (500)."_s << true;
    }

    void answers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, trickles);
        m_server->setAnswer({status, body, std::chrono::milliseconds(trickles ? 100 : 0)});
        m_server->setHolding(status == 0);
        FeedbackRequest service;
        service.setDeadline(std::chrono::seconds(1));
        QTEST(sendAndWait(service, {Category::bug, u"It broke."_s, {}}), "expected");
        QCOMPARE(m_server->requests().size(), 1);
        QTRY_COMPARE(m_server->openConnections(), 0);
    }

    // Closing the window cancels its send and lets the connection go: sends cancelled while the endpoint holds
    // them, more than the connections kept to one server, leave the next send free to reach it.
    void cancelledSendsLetTheirConnectionsGo()
    {
        m_server->setHolding(true);
        FeedbackRequest service;
        for (int sent = 1; sent <= 7; ++sent) {
            auto window = std::make_unique<QObject>();
            service.send({Category::bug, u"It broke."_s, {}}, window.get(), [](const FeedbackService::Outcome&) {});
            QTRY_COMPARE(m_server->requests().size(), sent);
        }
        QTRY_COMPARE(m_server->openConnections(), 0);
        m_server->setHolding(false);
        QCOMPARE(sendAndWait(service, {Category::bug, u"It broke."_s, {}}), QString());
    }

    // Certificates are verified: one trusted through LINKHERD_SUPPORT_CA but made for another host is refused.
    void certificateForAnotherHost()
    {
        LocalSupportServer elsewhere(m_elsewhere);
        qputenv("LINKHERD_SUPPORT_URL", elsewhere.url().toEncoded());
        qputenv("LINKHERD_SUPPORT_CA", m_elsewhere.certificatePath.toUtf8());
        FeedbackRequest service;
        const QString outcome = sendAndWait(service, {Category::bug, u"It broke."_s, {}});
        QVERIFY2(outcome.startsWith(u"Couldn't reach localhost: SSL handshake failed"_s), qPrintable(outcome));
        QCOMPARE(elsewhere.connections(), 1);
        QVERIFY(elsewhere.requests().isEmpty());
    }

    // What the window and `linkherd feedback send` pass each other reads back as it was written (written again,
    // it is the same record), and anything else is refused rather than taken for an outcome.
    void recordsReadBack()
    {
        using FeedbackError = FeedbackService::FeedbackError;
        const FeedbackService::Submission submission{Category::feature, u"Dark mode \"now\"\n👍"_s, u" me@x "_s};
        const Result<FeedbackService::Submission> read =
            FeedbackRecords::readSubmission(FeedbackRecords::submission(submission));
        QVERIFY(read);
        QCOMPARE(FeedbackRecords::submission(*read), FeedbackRecords::submission(submission));

        const QList<FeedbackService::Outcome> outcomes{
            {},
            FeedbackError{FeedbackError::Kind::server, 429, u"slow down"_s, {}},
            FeedbackError{FeedbackError::Kind::network, 0, u"refused"_s, u"localhost"_s},
            FeedbackError{},
            FeedbackError{FeedbackError::Kind::failed, 0, u"no"_s, {}}};
        for (const FeedbackService::Outcome& outcome : outcomes) {
            const Result<FeedbackService::Outcome> back =
                FeedbackRecords::readOutcome(FeedbackRecords::outcome(outcome));
            QVERIFY(back);
            QCOMPARE(FeedbackRecords::outcome(*back), FeedbackRecords::outcome(outcome));
        }
        for (const QByteArray& garbage : {QByteArray("Segmentation fault"), QByteArray("{}"), QByteArray("[]"),
                                          QByteArray(R"({"sent":false})"), QByteArray(R"({"error":{"kind":"x"}})")})
            QVERIFY2(!FeedbackRecords::readOutcome(garbage), garbage.constData());
        QVERIFY(!FeedbackRecords::readSubmission(R"({"category":"rant","message":"x"})"));
    }

    void notConfigured_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("scheme");

        QTest::newRow("no key") << QByteArray() << QByteArray("https");
        QTest::newRow("unexpanded key") << QByteArray("$(SUPPORT_SECRET)") << QByteArray("https");
        QTest::newRow("not https") << QByteArray(secret) << QByteArray("http");
    }

    void notConfigured()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, scheme);

        qputenv("LINKHERD_SUPPORT_SECRET", key);
        QUrl url = m_server->url();
        url.setScheme(QString::fromLatin1(scheme));
        qputenv("LINKHERD_SUPPORT_URL", url.toEncoded());
        QVERIFY(!FeedbackService::isConfigured());
        FeedbackRequest service;
        QCOMPARE(sendAndWait(service, {Category::feedback, u"Hello there"_s, {}}),
                 u"Feedback isn't available in this build."_s);
        QCOMPARE(m_server->connections(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFeedbackRequest)
#include "tst_feedback_request.moc"
