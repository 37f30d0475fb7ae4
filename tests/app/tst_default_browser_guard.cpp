#include "scripting_proxy.h"
#include "support/fakes/fake_notification_server.h"
#include "support/sandbox/sandboxed_desktop.h"
#include "support/test_files.h"

#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

// The resident on a sandboxed desktop with a private session bus (the test runs under dbus-run-session) and a
// fake notification server on it: another program taking the default browser is noticed and can be undone.
class DefaultBrowserGuardTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.isRegistered(), "run under dbus-run-session"); }

    void init()
    {
        m_server.shown.clear();
        m_server.closed.clear();
        m_desktop.emplace();
        m_desktop->setUpForResident(QStringLiteral(LINKHERD_APP_EXECUTABLE), QStringLiteral(LINKHERD_CLI_EXECUTABLE));
        m_desktop->setDefaultBrowser(u"org.linkherd.Linkherd"_s);
        startResident();
        QTRY_VERIFY_WITH_TIMEOUT(residentSaysItIsTheDefault(), 10'000);
    }

    void cleanup() { stopResident(); }

    // A takeover while Linkherd was not running is told at its next start, once.
    void aTakeoverWhileStoppedIsToldAtTheNextStart()
    {
        stopResident();
        m_desktop->setDefaultBrowser(u"fake"_s);
        startResident();
        QTRY_COMPARE_WITH_TIMEOUT(m_server.shown.size(), 1, noticeMs);
        QCOMPARE(m_server.shown[0].summary, u"Fake is now your default browser"_s);

        stopResident();
        startResident();
        QTest::qWait(2500);
        QCOMPARE(m_server.shown.size(), 1);
    }

    // A start that finds everything as the last one left it writes nothing (each write of a file syncs it to
    // disk, before the first link is served). Files are replaced whole when written, so the inode tells.
    void aStartThatChangesNothingWritesNothing()
    {
        const QString preferences = m_desktop->configHome() + u"/linkherd/preferences.ini"_s;
        QTRY_VERIFY(QFile::exists(preferences));
        stopResident();
        const QList<ino_t> before = {inode(preferences), inode(m_desktop->configHome() + u"/linkherd/rules.json"_s)};
        startResident();
        QVERIFY(residentSaysItIsTheDefault()); // answered after the resident's start-up, guard included
        QCOMPARE(QList<ino_t>({inode(preferences), inode(m_desktop->configHome() + u"/linkherd/rules.json"_s)}),
                 before);
    }

    // One notification; its buttons claim the links back, keep the other browser (nothing more is
    // said when yet another one takes over), or, left unanswered, make way for one about the next browser.
    void anotherProgramTakingTheDefaultIsNoticed_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("make Linkherd the default") << u"claim"_s;
        QTest::newRow("keep the browser") << u"keep"_s;
        QTest::newRow("no answer") << QString();
    }

    void anotherProgramTakingTheDefaultIsNoticed()
    {
        QFETCH(QString, answer);
        m_desktop->setDefaultBrowser(u"fake"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.shown.size(), 1, noticeMs);
        QCOMPARE(m_server.shown[0].summary, u"Fake is now your default browser"_s);
        QCOMPARE(m_server.shown[0].body, u"Links no longer go through Linkherd, so your rules do not run."_s);
        QCOMPARE(m_server.shown[0].actions,
                 QStringList({u"claim"_s, u"Make Linkherd the Default"_s, u"keep"_s, u"Keep Fake"_s}));

        if (answer == u"claim"_s) {
            m_server.press(1, answer);
            QTRY_VERIFY_WITH_TIMEOUT(residentSaysItIsTheDefault(), 10'000);
            QCOMPARE(m_desktop->runLinkherd({u"default"_s}).out, u"yes\n"_s);
            return;
        }
        if (answer == u"keep"_s) {
            m_server.press(1, answer);
            QTRY_VERIFY(TestFiles::read(m_desktop->configHome() + u"/linkherd/preferences.ini"_s)
                            .contains("keptDefaultBrowser=fake"));
        }
        m_desktop->setDefaultBrowser(u"other"_s);
        if (answer == u"keep"_s) {
            QTest::qWait(2500);
            QCOMPARE(m_server.shown.size(), 1);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(m_server.shown.size(), 2, noticeMs);
            QCOMPARE(m_server.shown[1].summary, u"Other is now your default browser"_s);
            QCOMPARE(m_server.closed, QList<uint>{1});
        }
    }

    // The user's own hand-back is not objected to; once Linkherd is the default again, the guard is back on.
    void handingBackIsNotObjectedTo()
    {
        QCOMPARE(m_desktop->runLinkherd({u"default"_s, u"--hand-back"_s, u"fake"_s}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!residentSaysItIsTheDefault(), 10'000);
        QTest::qWait(2500);
        QCOMPARE(m_server.shown.size(), 0);

        QCOMPARE(m_desktop->runLinkherd({u"default"_s, u"--set"_s}).out, u"yes\n"_s);
        QTRY_VERIFY_WITH_TIMEOUT(residentSaysItIsTheDefault(), 10'000);
        QTest::qWait(settleMs);
        m_desktop->setDefaultBrowser(u"other"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.shown.size(), 1, noticeMs);
        QCOMPARE(m_server.shown[0].summary, u"Other is now your default browser"_s);
    }

private:
    static ino_t inode(const QString& path)
    {
        struct stat status {};
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
    }

    void startResident()
    {
        m_resident.setProcessEnvironment(m_desktop->environment());
        m_resident.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_resident.start(QStringLiteral(LINKHERD_APP_EXECUTABLE), {u"--background"_s});
        QVERIFY(m_resident.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(residentAnswers(), 10'000);
    }

    void stopResident()
    {
        m_resident.terminate();
        if (!m_resident.waitForFinished(5000))
            m_resident.kill();
        m_resident.waitForFinished(5000);
    }

    // Long enough for the resident to have taken in a change of the files before the next one.
    static constexpr int settleMs = 1000;
    // How long a notice may take to arrive here: generous, so a slow machine passes; how quickly it comes is
    // measured in bench/, not asserted.
    static constexpr int noticeMs = 10'000;

    // The resident's scripting interface: its properties are invalid while it does not answer, and are answered
    // from its event loop, so once they are it has started watching.
    static bool residentAnswers() { return scripting().property("RuleCount").isValid(); }
    static bool residentSaysItIsTheDefault() { return scripting().property("IsDefaultBrowser").toBool(); }
    static OrgLinkherdLinkherdScriptingInterface scripting()
    {
        return {u"org.linkherd.Linkherd"_s, u"/org/linkherd/Linkherd"_s, QDBusConnection::sessionBus()};
    }

    FakeNotificationServer m_server;
    std::optional<SandboxedDesktop> m_desktop;
    QProcess m_resident;
};

QTEST_GUILESS_MAIN(DefaultBrowserGuardTest)
#include "tst_default_browser_guard.moc"
