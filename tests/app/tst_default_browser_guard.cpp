#include "support/sandbox/sandboxed_desktop.h"
#include "support/test_files.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

// A notification server that shows buttons, as far as Linkherd uses one: it records what it is asked to show and
// to close, and the test presses buttons by sending ActionInvoked as a server does.
class FakeNotificationServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        QString summary;
        QString body;
        QStringList actions;
    };
    QList<Shown> shown; // the ID of each is its index + 1
    QList<uint> closed;

    void press(uint id, const QString& key)
    {
        QDBusMessage signal = QDBusMessage::createSignal(u"/org/freedesktop/Notifications"_s,
                                                         u"org.freedesktop.Notifications"_s, u"ActionInvoked"_s);
        signal << id << key;
        QDBusConnection::sessionBus().send(signal);
    }

public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int)
    {
        shown.append({summary, body, actions});
        return uint(shown.size());
    }
    void CloseNotification(uint id) { closed.append(id); }
};

// The resident on a sandboxed desktop with a private session bus (the test runs under dbus-run-session) and a
// fake notification server on it: another program taking the default browser is noticed and can be undone.
class DefaultBrowserGuardTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY2(bus.isConnected(), "run under dbus-run-session");
        QVERIFY(bus.registerObject(u"/org/freedesktop/Notifications"_s, &m_server, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(u"org.freedesktop.Notifications"_s));
    }

    void init()
    {
        m_server.shown.clear();
        m_server.closed.clear();
        m_desktop.emplace();
        m_desktop->setLinkherdExecutable(QStringLiteral(LINKHERD_CLI_EXECUTABLE));
        m_desktop->setEnvironmentVariable(u"DBUS_SESSION_BUS_ADDRESS"_s,
                                          qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
        m_desktop->setEnvironmentVariable(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        m_desktop->addBrowser({.id = u"fake"_s, .name = u"Fake"_s});
        m_desktop->addBrowser({.id = u"other"_s, .name = u"Other"_s});
        m_desktop->addLinkherdEntry(QStringLiteral(LINKHERD_APP_EXECUTABLE));
        m_desktop->refreshDesktopDatabase();
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
        // Answered from the resident's event loop, so it has started watching.
        QTRY_VERIFY_WITH_TIMEOUT(residentAnswers(), 10'000);
    }

    void stopResident()
    {
        m_resident.terminate();
        if (!m_resident.waitForFinished(5000))
            m_resident.kill();
        m_resident.waitForFinished(5000);
    }

    bool residentAnswers() const
    {
        QDBusMessage get = QDBusMessage::createMethodCall(u"org.linkherd.Linkherd"_s, u"/org/linkherd/Linkherd"_s,
                                                          u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        get << u"org.linkherd.Linkherd.Scripting"_s << u"RuleCount"_s;
        return QDBusConnection::sessionBus().call(get, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
    }

    // Long enough for the resident to have taken in a change of the files before the next one.
    static constexpr int settleMs = 1000;
    // How long a notice may take to arrive here: generous, so a slow machine passes; how quickly it comes is
    // measured in bench/, not asserted.
    static constexpr int noticeMs = 10'000;

    bool residentSaysItIsTheDefault() const
    {
        QDBusMessage get = QDBusMessage::createMethodCall(u"org.linkherd.Linkherd"_s, u"/org/linkherd/Linkherd"_s,
                                                          u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        get << u"org.linkherd.Linkherd.Scripting"_s << u"IsDefaultBrowser"_s;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 2000);
        return reply.type() == QDBusMessage::ReplyMessage &&
               reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
    }

    FakeNotificationServer m_server;
    std::optional<SandboxedDesktop> m_desktop;
    QProcess m_resident;
};

QTEST_GUILESS_MAIN(DefaultBrowserGuardTest)
#include "tst_default_browser_guard.moc"
