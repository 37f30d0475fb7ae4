#include "gui/feedback/feedback_view.h"
#include "gui/feedback/feedback_window_controller.h"
#include "support/gui/widgets.h"
#include "support/network/local_support_server.h"
#include "support/test_files.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// The feedback window's form, its enabling rules and states, against an HTTPS endpoint on this machine, sent by
// the `linkherd` tool the window runs (or a stand-in for it that misbehaves).
class TestFeedbackWindow final : public QObject {
    Q_OBJECT

private:
    // The window on screen and active, for its shortcuts.
    FeedbackView* show()
    {
        m_controller->show();
        FeedbackView* view = m_controller->view();
        if (!QTest::qWaitForWindowActive(view->window()))
            qWarning("The feedback window is not active: its shortcuts do not reach it");
        return view;
    }

    QTemporaryDir m_folder;
    std::unique_ptr<LocalSupportServer> m_server;
    std::unique_ptr<FeedbackWindowController> m_controller;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QString why;
        const auto certificate = LocalSupportServer::makeCertificate(m_folder.path(), u"localhost"_s, &why);
        QVERIFY2(certificate, qPrintable(why));
        m_server = std::make_unique<LocalSupportServer>(*certificate);
        QVERIFY(m_server->isListening());
        qputenv("LINKHERD_SUPPORT_CA", certificate->certificatePath.toUtf8());
    }

    void init()
    {
        qputenv("LINKHERD_SUPPORT_URL", m_server->url().toEncoded());
        qputenv("LINKHERD_SUPPORT_SECRET", "a key");
        m_server->reset();
        m_controller = std::make_unique<FeedbackWindowController>(QStringLiteral(LINKHERD_CLI_EXECUTABLE));
    }

    void cleanup() { m_controller.reset(); }

    void sendEnabling_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("enabled");

        QTest::newRow("two characters") << u"ok"_s << false;
        QTest::newRow("three spaces and a line break") << u"   \n"_s << false;
        QTest::newRow("three characters among white space") << u"  o k\n"_s << true;
        QTest::newRow("two emoji") << u"👍🏽👍🏽"_s << false;
    }

    void sendEnabling()
    {
        QFETCH(QString, message);
        FeedbackView* view = show();
        view->messageEdit()->insertPlainText(message); // as typed or pasted; keyClicks takes Latin-1 only
        QTEST(view->sendButton()->isEnabled(), "enabled");
    }

    // Ctrl+Return sends as Send does. A failed send keeps what was typed and shows the server's words as text,
    // markup and all; sending again clears the error while the new send runs.
    void failedThenSentAgain()
    {
        const QString markup =
            u"<b>bold</b> <a href=\"http://evil.test/\">click</a> <img src=\"http://evil.test/x.png\">"_s;
        m_server->setAnswer({500, QJsonDocument(QJsonObject{{u"message"_s, markup}}).toJson()});
        FeedbackView* view = show();
        QTest::keyClicks(view->messageEdit(), u"Hello"_s);
        QTest::keyClick(view->messageEdit(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(view->isSending());
        QTRY_VERIFY_WITH_TIMEOUT(!view->isSending(), 30'000);
        QCOMPARE(m_server->requests().size(), 1);
        QVERIFY(view->errorLabel()->isVisible());
        QCOMPARE(view->errorLabel()->text(), markup);
        QCOMPARE(view->errorLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(view->messageEdit()->toPlainText(), u"Hello"_s);

        m_server->setAnswer({});
        m_server->setHolding(true);
        view->sendButton()->click();
        QVERIFY(view->isSending());
        QVERIFY(!view->errorLabel()->isVisible());
        QVERIFY(view->busyIndicator()->isVisible());
        QVERIFY(!view->sendButton()->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 2, 30'000);
        // Not a second send while one is in flight.
        QTest::keyClick(view->messageEdit(), Qt::Key_Return, Qt::ControlModifier);
        m_server->release();
        QTRY_VERIFY_WITH_TIMEOUT(view->isSent(), 30'000);
        QVERIFY(view->confirmation()->isVisible() && !view->form()->isVisible());
        QCOMPARE(m_server->requests().size(), 2);
    }

    // Every control is named. Cancel while sending closes the window and ends the send with it, connection and all.
    void cancelEndsTheSend()
    {
        m_server->setHolding(true);
        FeedbackView* view = show();
        Widgets::verifyControlsNamed(*view, *view);
        if (QTest::currentTestFailed())
            return;
        QTest::keyClicks(view->messageEdit(), u"Hello"_s);
        view->sendButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 30'000);
        view->cancelButton()->click();
        QVERIFY(!m_controller->window());
        QTRY_COMPARE(m_server->openConnections(), 0);
    }

    // A tool that crashes, prints what is not an outcome, or is not there: the error says so and what was typed
    // stays for another try.
    void toolFailures_data()
    {
        QTest::addColumn<QByteArray>("script"); // empty: no tool at all
        QTest::addColumn<QString>("error");

        QTest::newRow("crashes") << QByteArray("kill -SEGV $$")
                                 << u"Couldn't send it: stand-in stopped unexpectedly."_s;
        QTest::newRow("garbage") << QByteArray("echo '<b>nonsense</b>'")
                                 << u"Couldn't send it: linkherd gave no answer that could be read."_s;
        QTest::newRow("complains") << QByteArray("echo 'linkherd: out of sorts' >&2; exit 1")
                                   << u"Couldn't send it: out of sorts"_s;
        QTest::newRow("missing") << QByteArray()
                                 << u"Couldn't send it: The linkherd tool is not installed next to Linkherd."_s;
    }

    void toolFailures()
    {
        QFETCH(QByteArray, script);
        const QString tool =
            script.isEmpty() ? QString() : TestFiles::writeScript(m_folder.filePath(u"stand-in"_s), script);
        m_controller = std::make_unique<FeedbackWindowController>(tool);
        FeedbackView* view = show();
        QTest::keyClicks(view->messageEdit(), u"Hello"_s);
        view->sendButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!view->isSending(), 30'000);
        QTEST(view->errorLabel()->text(), "error");
        QVERIFY(view->errorLabel()->isVisible());
        QCOMPARE(view->messageEdit()->toPlainText(), u"Hello"_s);
        QVERIFY(view->sendButton()->isEnabled());
    }

    void sentAndReopened_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("replyLine"); // empty: none shown

        QTest::newRow("no e-mail") << QString() << QString();
        QTest::newRow("e-mail of spaces") << u"   "_s << QString();
        QTest::newRow("e-mail among spaces") << u"  me@example.org \t"_s << u"I'll reply to me@example.org."_s;
        QTest::newRow("e-mail with markup") << u"<b>me</b>@example.org"_s << u"I'll reply to <b>me</b>@example.org."_s;
    }

    // The confirmation, then Done (Return): the next opening starts empty.
    void sentAndReopened()
    {
        QFETCH(QString, email);
        QFETCH(QString, replyLine);

        FeedbackView* view = show();
        view->categoryButton(FeedbackService::Category::feature)->click();
        QTest::keyClicks(view->messageEdit(), u"Dark mode"_s);
        view->emailField()->setText(email);
        view->sendButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(view->isSent(), 30'000);
        QVERIFY(m_server->requests().first().body.contains("\"category\":\"feature\""));
        QCOMPARE(view->replyLine()->isVisible(), !replyLine.isEmpty());
        if (!replyLine.isEmpty())
            QCOMPARE(view->replyLine()->text(), replyLine);
        QCOMPARE(view->replyLine()->textFormat(), Qt::PlainText);
        QTest::keyClick(view->doneButton(), Qt::Key_Return);
        QVERIFY(!m_controller->window());

        view = show();
        QVERIFY(view->form()->isVisible());
        QCOMPARE(view->category(), FeedbackService::Category::feedback);
        QCOMPARE(view->messageEdit()->toPlainText(), QString());
        QCOMPARE(view->emailField()->text(), QString());
    }

    void notConfigured()
    {
        qputenv("LINKHERD_SUPPORT_SECRET", "");
        FeedbackView* view = show();
        QCOMPARE(view->note()->text(), u"Feedback isn't available in this build — please use the website."_s);
        QTest::keyClicks(view->messageEdit(), u"Hello there"_s);
        QVERIFY(!view->sendButton()->isEnabled());
        QTest::keyClick(view->messageEdit(), Qt::Key_Return, Qt::ControlModifier);
        view->sendButton()->click();
        QVERIFY(!view->isSending());
        QVERIFY(!view->errorLabel()->isVisible());
        QCOMPARE(m_server->connections(), 0);
    }
};

QTEST_MAIN(TestFeedbackWindow)
#include "tst_feedback_window.moc"
