#include "platform/xdg/launcher_entry.h"
#include "scripting_proxy.h"
#include "support/fakes/fake_notification_server.h"
#include "support/fakes/status_notifier_panel.h"
#include "support/sandbox/sandboxed_desktop.h"
#include "support/test_files.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <sys/stat.h>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {
const QString linkherdName = u"org.linkherd.Linkherd"_s;
const QString app = QStringLiteral(LINKHERD_APP_EXECUTABLE);
using Links = QList<QStringList>; // each start's links

// The state letter and parent of a process from /proc/<pid>/stat, "pid (command) state ppid …", read from the last
// ')' as the command may hold spaces; empty when the process is gone (it may end before it is read).
QStringList processState(const QString& pid)
{
    QFile file(u"/proc/"_s + pid + u"/stat"_s);
    const QString stat = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    return stat.isEmpty() ? QStringList() : stat.mid(stat.lastIndexOf(u')') + 2).split(u' ').mid(0, 2);
}
} // namespace

// A browser that takes links over D-Bus (DBusActivatable=true), as far as Linkherd calls it: it records each Open.
class FakeDBusBrowser final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    QList<QStringList> links;
    QList<QVariantMap> platformData;

public Q_SLOTS:
    void Open(const QStringList& uris, const QVariantMap& platform_data)
    {
        links.append(uris);
        platformData.append(platform_data);
    }
    void Activate(const QVariantMap&) {}
};

// The user's systemd manager, as far as launchers use it: it records each StartTransientUnit and makes nothing.
class FakeSystemdManager final : public QDBusVirtualObject {
public:
    QHash<QString, QVariantMap> units; // by name: the mode, and the properties with PIDs as QList<uint>

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != u"StartTransientUnit" || message.signature() != u"ssa(sv)a(sa(sv))")
            return false;
        QVariantMap& unit = units[message.arguments()[0].toString()];
        unit.insert(u"mode"_s, message.arguments()[1]);
        for (const auto& [name, value] : qdbus_cast<QList<std::pair<QString, QDBusVariant>>>(message.arguments()[2]))
            unit.insert(name, name == u"PIDs" ? QVariant::fromValue(qdbus_cast<QList<uint>>(value.variant()))
                                              : value.variant());
        connection.send(
            message.createReply(QVariant::fromValue(QDBusObjectPath(u"/org/freedesktop/systemd1/job/1"_s))));
        return true;
    }
};

// The resident application on a sandboxed desktop with a private session bus (the test runs under
// dbus-run-session): links from `gio open`, from a second linkherd-app and over D-Bus reach the right fake
// browser, once, cleaned, in order.
class AppEndToEndTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Linkherd installed into a prefix other than the configured one, as `cmake --install --prefix` does.
    void initTestCase()
    {
        QVERIFY(m_installed.isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(LINKHERD_CMAKE_COMMAND),
                      {u"--install"_s, QStringLiteral(LINKHERD_BUILD_DIR), u"--prefix"_s, m_installed.path()});
        QVERIFY(install.waitForFinished(120'000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
    }

    void init()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"), "run under dbus-run-session");
        m_desktop.emplace();
        m_desktop->setUpForResident(app, QStringLiteral(LINKHERD_CLI_EXECUTABLE));
        m_desktop->setDefaultBrowser(u"fake"_s);
        m_rules = m_desktop->configHome() + u"/linkherd/rules.json"_s;
    }

    void cleanup()
    {
        stopInstance();
        for (QProcess* process : {&m_foreground, &m_display, &m_bus, &m_resident}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(5000);
        }
    }

    void gioOpenReachesTheRuleBrowserOnceCleaned()
    {
        startResidentWithRules(R"({"fallback": {"browser": {"bundleID": "fake"}}, "version": 1,
            "rewriter": {"parameters": ["utm_*"], "stripsTrackingParameters": true, "upgradesToHTTPS": true},
            "rules": [{"id": "6F1C2A9E-0B7D-4C3A-9E55-1D2B3C4D5E6F", "isEnabled": true, "match": "host",
                       "pattern": "example.com", "sourceBundleIDs": [], "destination": {"browser": {"bundleID": "other"}}}]})");
        QCOMPARE(m_desktop->runLinkherd({u"default"_s, u"--set"_s}).out, u"yes\n"_s);

        QCOMPARE(m_desktop->run(u"gio"_s, {u"open"_s, u"http://www.example.com/a?utm_source=news&id=7#top"_s}).exitCode,
                 0);
        QCOMPARE(m_desktop->waitForLinks(u"other"_s, 1), Links{{u"https://www.example.com/a?id=7#top"_s}});
        QTest::qWait(300);
        QCOMPARE(m_desktop->launches(u"other"_s).size(), 1);
        QVERIFY(m_desktop->launches(u"fake"_s).isEmpty());
        // The browser is the resident's own child, and once it has ended it is reaped.
        QTRY_COMPARE(zombieChildren(m_resident.processId()), 0);
    }

    // Out of the application menu, Linkherd is still one of the desktop's browsers: GIO lists the entry that hides it
    // for web links, so it can be made the default and receives links, and the resident started again takes the
    // switch from the desktop (what showing it again does to the entry is tst_platform_files's).
    void linksStillArriveWithLinkherdOutOfTheApplicationMenu()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_desktop->dataHome()));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_desktop->systemDataDirectory()));
        const auto restore = qScopeGuard([] {
            qunsetenv("XDG_DATA_HOME");
            qunsetenv("XDG_DATA_DIRS");
        });
        startResidentWithRules(R"({"fallback": {"browser": {"bundleID": "other"}}, "rules": [], "version": 1})");
        // The resident takes the entry's state over once it has started; hidden before that, this resident would
        // take the hidden state and leave nothing for the next to take.
        const QString preferences = m_desktop->configHome() + u"/linkherd/preferences.ini"_s;
        QTRY_VERIFY_WITH_TIMEOUT(TestFiles::read(preferences).contains("showsDockIcon=true"), 10'000);
        QVERIFY(LauncherEntry::setHidden(true));
        const QString listed = m_desktop->run(u"gio"_s, {u"mime"_s, u"x-scheme-handler/https"_s}).out;
        QVERIFY2(listed.section(u"Registered applications:"_s, 1).contains(u"\torg.linkherd.Linkherd.desktop"_s),
                 qPrintable(listed));
        QCOMPARE(m_desktop->runLinkherd({u"default"_s, u"--set"_s}).out, u"yes\n"_s);
        QCOMPARE(m_desktop->run(u"gio"_s, {u"open"_s, u"https://hidden.example/"_s}).exitCode, 0);
        QCOMPARE(m_desktop->waitForLaunches(u"other"_s, 1).size(), 1);
        restartResident();
        QVERIFY(!QTest::currentTestFailed());
        QTRY_VERIFY_WITH_TIMEOUT(TestFiles::read(preferences).contains("showsDockIcon=false"), 10'000);
        QVERIFY(m_desktop->launches(u"fake"_s).isEmpty());
    }

    // Nothing that waits for the opener (a terminal, a script reading its output) waits for Linkherd: the
    // opener returns once the link is handed over, whether the bus starts Linkherd or, on a bus without its
    // service file, linkherd-app starts it apart from its caller.
    void coldStartReturnsOnceTheLinkIsHandedOver_data()
    {
        QTest::addColumn<QString>("opener");
        QTest::addColumn<bool>("busKnowsLinkherd");
        QTest::newRow("xdg-open, the bus starts Linkherd") << u"xdg-open"_s << true;
        QTest::newRow("gio open, the bus starts Linkherd") << u"gio"_s << true;
        QTest::newRow("xdg-open, a bus without Linkherd's service") << u"xdg-open"_s << false;
        QTest::newRow("gio open, a bus without Linkherd's service") << u"gio"_s << false;
    }

    void coldStartReturnsOnceTheLinkIsHandedOver()
    {
        QFETCH(QString, opener);
        QFETCH(bool, busKnowsLinkherd);
        if (busKnowsLinkherd) {
            // The resident's debug lines, on the bus's error stream, tell in which order it did things.
            m_desktop->setEnvironmentVariable(u"QT_LOGGING_RULES"_s, u"org.linkherd.Linkherd.*.debug=true"_s);
            startBusKnowingInstalledService();
            // As installed: GIO calls Open on the bus itself.
            const QString entry = m_desktop->desktopEntryPath(u"org.linkherd.Linkherd"_s);
            TestFiles::write(entry, TestFiles::read(entry) + "DBusActivatable=true\n");
            m_desktop->refreshDesktopDatabase();
        }
        // xdg-open on a desktop it does not know (no XDG_CURRENT_DESKTOP) runs the entry's Exec and waits for it.
        m_desktop->unsetEnvironmentVariable(u"XDG_CURRENT_DESKTOP"_s);
        m_desktop->setEnvironmentVariable(u"DISPLAY"_s, u":99"_s);
        writeRules(R"({"fallback": {"browser": {"bundleID": "fake"}}, "rules": [], "version": 1})");
        QCOMPARE(m_desktop->runLinkherd({u"default"_s, u"--set"_s}).out, u"yes\n"_s);

        const QString link = u"https://cold.example/?id=1"_s;
        const QStringList command =
            opener == u"gio"_s ? QStringList{u"gio"_s, u"open"_s, link} : QStringList{u"xdg-open"_s, link};
        // The pipe's reader ends only when every process holding the pipe has let go of it. The resident never
        // ends by itself, so an opener that waited for it would run into the time limit: the pipe ending while the
        // resident runs on is the proof, however long a slow machine took to get there.
        const SandboxedDesktop::Run run = m_desktop->run(
            u"sh"_s, QStringList{u"-c"_s, u"{ \"$@\" 2>&1; echo \"exit $?\"; } | cat"_s, u"sh"_s} + command);
        QVERIFY2(run.exitCode == 0 && run.out.endsWith(u"exit 0\n"_s), qPrintable(run.out + run.err));
        QVERIFY(instanceIsOnTheBus());
        const QList<SandboxedDesktop::Launch> launches = m_desktop->waitForLaunches(u"fake"_s, 1);
        QCOMPARE(launches.size(), 1);
        QCOMPARE(launches[0].arguments.mid(1), QStringList{link});
        QTest::qWait(300);
        QCOMPARE(m_desktop->launches(u"fake"_s).size(), 1);
        if (busKnowsLinkherd) {
            // The browser was started before anything the link does not need (the tray icon, the guard, …).
            QByteArray log;
            QVERIFY(QTest::qWaitFor([&] { return (log += m_bus.readAllStandardError()).contains("handed over"); }));
            QVERIFY2(log.contains("started fake") && log.indexOf("started fake") < log.indexOf("handed over"), log);
        }
    }

    // From the application menu: no link, and the launcher is not kept waiting either; Linkherd stays.
    void coldStartWithoutLinksReturns()
    {
        const SandboxedDesktop::Run run = m_desktop->run(
            u"sh"_s, {u"-c"_s, u"{ \"$0\" 2>&1; echo \"exit $?\"; } | cat"_s, QStringLiteral(LINKHERD_APP_EXECUTABLE)});
        QVERIFY2(run.exitCode == 0 && run.out.endsWith(u"exit 0\n"_s), qPrintable(run.out + run.err));
        QVERIFY(instanceIsOnTheBus());
    }

    // Launching Linkherd again, without links, brings up the rules window; activating it again brings the same
    // window forward with the new activation.
    void launchWithoutLinksShowsTheRulesWindow()
    {
        startOnDisplay(R"({"fallback": {"ask": {}}, "rules": [], "version": 1})");
        QCOMPARE(m_desktop->run(app, {}).exitCode, 0);
        const QString window = windowsTitled(u"Rules"_s).value(0);
        QVERIFY2(!window.isEmpty(), "no Rules window");
        QCOMPARE(callResident(u"Activate"_s, {u"{'desktop-startup-id': <'S-7'>}"_s}).exitCode, 0);
        QTRY_COMPARE(startupIdOf(window), u"\"S-7\""_s);
    }

    // linkherd-app --settings / --feedback (the desktop entry's actions) ask the running Linkherd for that
    // window, and only for that; asked again, the same window comes forward.
    void windowFromTheCommandLineShowsOneWindow_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("title");
        QTest::newRow("settings") << u"--settings"_s << u"Linkherd Settings"_s;
        QTest::newRow("feedback") << u"--feedback"_s << u"Send Feedback"_s;
    }

    void windowFromTheCommandLineShowsOneWindow()
    {
        QFETCH(QString, option);
        QFETCH(QString, title);
        startOnDisplay(R"({"fallback": {"ask": {}}, "rules": [], "version": 1})");
        for (int launch = 0; launch < 2; ++launch)
            QCOMPARE(m_desktop->run(app, {option}).exitCode, 0);
        QCOMPARE(windowsTitled(title).size(), 1);
        QCOMPARE(windowsTitled(u"Rules"_s, false), QStringList());
    }

    // The activation that came with a link for the panel is the panel's: on X11 its window carries the startup ID,
    // from which the window manager takes the time of the click. The browser picked there does not get it.
    void browserPickedInThePanelGetsNoStaleActivation()
    {
        startOnDisplay(R"({"fallback": {"ask": {}}, "rules": [], "version": 1})");
        QVERIFY(opened(u"['https://ask.example/token']"_s,
                       u"{'activation-token': <'T-1'>, 'desktop-startup-id': <'S-1'>}"_s));
        const QString panel = windowsTitled(u"Open Link"_s).value(0);
        QVERIFY2(!panel.isEmpty(), "no Open Link panel");
        QCOMPARE(startupIdOf(panel), u"\"S-1\""_s);
        // Activating Linkherd again brings the waiting panel back with the new activation.
        QCOMPARE(callResident(u"Activate"_s, {u"{'desktop-startup-id': <'S-3'>}"_s}).exitCode, 0);
        QTRY_COMPARE(startupIdOf(panel), u"\"S-3\""_s);
        m_desktop->run(u"xdotool"_s, {u"windowfocus"_s, u"--sync"_s, panel});
        m_desktop->run(u"xdotool"_s, {u"key"_s, u"ctrl+1"_s});
        const QList<SandboxedDesktop::Launch> launches = m_desktop->waitForLaunches(u"fake"_s, 1);
        QCOMPARE(launches.size(), 1);
        QCOMPARE(launches[0].arguments.mid(1), QStringList{u"https://ask.example/token"_s});
        QVERIFY(!launches[0].environment.contains(u"XDG_ACTIVATION_TOKEN"_s));
        // Linkherd's own, for the key press that chose the browser.
        const QString startupID = launches[0].environment.value(u"DESKTOP_STARTUP_ID"_s);
        QVERIFY2(QRegularExpression(u"^linkherd-\\d+-\\d+_TIME[1-9]\\d*$"_s).match(startupID).hasMatch(),
                 qPrintable(startupID));
    }

    // Alt held while a link arrives skips the rules and asks; Escape then drops the link.
    void altHeldAsksInsteadOfTheRule()
    {
        startOnDisplay(R"({"fallback": {"browser": {"bundleID": "fake"}}, "rules": [], "version": 1})");
        m_desktop->run(u"xdotool"_s, {u"keydown"_s, u"alt"_s});
        QCOMPARE(m_desktop->run(app, {u"https://alt.example/"_s}).exitCode, 0);
        const QString panel = windowsTitled(u"Open Link"_s).value(0);
        m_desktop->run(u"xdotool"_s, {u"keyup"_s, u"alt"_s});
        QVERIFY2(!panel.isEmpty(), "no Open Link panel");
        m_desktop->run(u"xdotool"_s, {u"windowfocus"_s, u"--sync"_s, panel});
        m_desktop->run(u"xdotool"_s, {u"key"_s, u"Escape"_s});
        QTest::qWait(300);
        QVERIFY(m_desktop->launches(u"fake"_s).isEmpty());

        QCOMPARE(m_desktop->run(app, {u"https://alt.example/2"_s}).exitCode, 0);
        QCOMPARE(m_desktop->waitForLaunches(u"fake"_s, 1).size(), 1);
    }

    void activeWindowIsTheSourceOfAnUnplacedCaller_data()
    {
        QTest::addColumn<QStringList>("window"); // the active window client's arguments
        QTest::addColumn<QByteArray>("application");
        QTest::newRow("by its desktop ID") << QStringList{u"org.gnome.Evolution"_s} << "org.gnome.Evolution"_ba;
        QTest::newRow("by its StartupWMClass")
            << QStringList{u"--wm-class"_s, u"xmessage"_s, u"XMessage"_s} << "org.example.Mail"_ba;
    }

    // linkherd-app run from the test maps to no application through /proc; the active window's does, also one found
    // by the class its entry names in StartupWMClass, whatever its desktop ID.
    void activeWindowIsTheSourceOfAnUnplacedCaller()
    {
        QFETCH(QStringList, window);
        QFETCH(QByteArray, application);
        m_desktop->addBrowser({.id = u"org.example.Mail"_s,
                               .name = u"Mail"_s,
                               .mimeTypes = u"message/rfc822;"_s,
                               .extraKeys = {{u"StartupWMClass"_s, u"Xmessage"_s}}});
        m_desktop->refreshDesktopDatabase();
        startOnDisplay(rulesSendingLinksFrom(application));
        m_foreground.setProcessEnvironment(m_desktop->environment());
        m_foreground.start(QStringLiteral(LINKHERD_ACTIVE_WINDOW_CLIENT), window);
        QVERIFY2(m_foreground.waitForReadyRead(5000), "no active window");
        QCOMPARE(m_desktop->run(app, {u"https://example.com/mail"_s}).exitCode, 0);
        QCOMPARE(m_desktop->waitForLinks(u"other"_s, 1), Links{{u"https://example.com/mail"_s}});
        QVERIFY(m_desktop->launches(u"fake"_s).isEmpty());
    }

    // A browser installed while Linkherd runs takes the links its rule sends it, and once removed it no longer
    // does: the fallback does.
    void browsersInstalledOrRemovedWhileRunning()
    {
        startResidentWithRules(R"({"fallback": {"browser": {"bundleID": "fake"}}, "version": 1,
            "rules": [{"id": "6F1C2A9E-0B7D-4C3A-9E55-1D2B3C4D5E6F", "isEnabled": true, "match": "host",
                       "pattern": "example.com", "sourceBundleIDs": [], "destination": {"browser": {"bundleID": "late"}}}]})");
        // The resident has looked at the browsers before the new one comes.
        QCOMPARE(linkTakenBy(u"https://example.com/0"_s, {u"fake"_s}), u"fake"_s);

        // GIO notices a change of the entries after a moment; until then the links go where they went.
        int attempt = 0;
        const auto taker = [&] {
            return linkTakenBy(u"https://example.com/%1"_s.arg(++attempt), {u"late"_s, u"fake"_s});
        };
        m_desktop->addBrowser({.id = u"late"_s, .name = u"Late"_s});
        m_desktop->refreshDesktopDatabase();
        QTRY_COMPARE_WITH_TIMEOUT(taker(), u"late"_s, 20'000);
        QVERIFY(QFile::remove(m_desktop->desktopEntryPath(u"late"_s)));
        m_desktop->refreshDesktopDatabase();
        QTRY_COMPARE_WITH_TIMEOUT(taker(), u"fake"_s, 20'000);
    }

    // Each start of a browser goes into a scope of its own in app.slice, named after its desktop entry, as the
    // desktop's own launcher would put it; the browser is started directly, not through GIO's helper.
    void browsersStartInScopesOfTheirOwn()
    {
        FakeSystemdManager manager;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerVirtualObject(u"/org/freedesktop/systemd1"_s, &manager));
        QVERIFY(bus.registerService(u"org.freedesktop.systemd1"_s));
        const auto unregister = qScopeGuard([&] {
            bus.unregisterService(u"org.freedesktop.systemd1"_s);
            bus.unregisterObject(u"/org/freedesktop/systemd1"_s);
        });
        const QString id = u"org.example.web-browser"_s;
        m_desktop->addBrowser({.id = id, .name = u"Web"_s, .execStyle = FakeBrowser::ExecStyle::url});
        m_desktop->refreshDesktopDatabase();
        startResidentWithRules(R"({"fallback": {"browser": {"bundleID": "org.example.web-browser"}}, "version": 1,
            "rules": []})");
        const QStringList links{u"https://scope.example/1"_s, u"https://scope.example/2"_s};
        QCOMPARE(m_desktop->run(app, links, 10'000).exitCode, 0);
        const QList<SandboxedDesktop::Launch> launches = m_desktop->waitForLaunches(id, 2);
        QCOMPARE(launches.size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(manager.units.size(), 2, 10'000);
        for (const SandboxedDesktop::Launch& launch : launches) {
            QVariantMap unit = manager.units.value(u"app-org.example.web\\x2dbrowser-%1.scope"_s.arg(launch.pid));
            QCOMPARE(unit.value(u"PIDs"_s).value<QList<uint>>(), QList<uint>{uint(launch.pid)});
            unit.remove(u"PIDs"_s);
            QCOMPARE(unit, (QVariantMap{{u"mode"_s, u"fail"_s},
                                        {u"Slice"_s, u"app.slice"_s},
                                        {u"CollectMode"_s, u"inactive-or-failed"_s},
                                        {u"Description"_s, u"Web"_s}}));
            QCOMPARE(launch.arguments.size(), 2);
        }
    }

    // A browser that takes links over D-Bus gets the activation in its Open call's platform_data, also when its
    // entry does not ask for startup notification (GIO then leaves both out).
    void activationReachesADBusActivatableBrowser()
    {
        FakeDBusBrowser browser;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(u"/org/example/Web_Browser"_s, &browser, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(u"org.example.Web-Browser"_s));
        const auto unregister = qScopeGuard([&] {
            bus.unregisterService(u"org.example.Web-Browser"_s);
            bus.unregisterObject(u"/org/example/Web_Browser"_s);
        });
        m_desktop->addBrowser(
            {.id = u"org.example.Web-Browser"_s, .name = u"Web"_s, .extraKeys = {{u"DBusActivatable"_s, u"true"_s}}});
        m_desktop->refreshDesktopDatabase();
        startResidentWithRules(
            R"({"fallback": {"browser": {"bundleID": "org.example.Web-Browser"}}, "rules": [], "version": 1})");

        QVERIFY(opened(u"['https://example.com/d1', 'https://example.com/d2']"_s,
                       u"{'activation-token': <'T-4'>, 'desktop-startup-id': <'S-4'>}"_s));
        QTRY_COMPARE(browser.links.size(), 1);
        QCOMPARE(browser.links[0], (QStringList{u"https://example.com/d1"_s, u"https://example.com/d2"_s}));
        QCOMPARE(browser.platformData[0].value(u"activation-token"_s), QVariant(u"T-4"_s));
        QCOMPARE(browser.platformData[0].value(u"desktop-startup-id"_s), QVariant(u"S-4"_s));

        QVERIFY(opened(u"['https://example.com/d3']"_s));
        QTRY_COMPARE(browser.links.size(), 2);
        QCOMPARE(browser.links[1], QStringList{u"https://example.com/d3"_s});
        QVERIFY(!browser.platformData[1].contains(u"activation-token"_s));
        QVERIFY(!browser.platformData[1].contains(u"desktop-startup-id"_s));
    }

    // On the Exec path the token is in linkherd-app's environment; it goes with the links to the resident, also to
    // one that linkherd-app starts for them, which must not keep it for the next link.
    void execPathHandsItsActivationOver_data()
    {
        QTest::addColumn<bool>("residentRuns");
        QTest::newRow("resident running") << true;
        QTest::newRow("linkherd-app starts the resident") << false;
    }

    void execPathHandsItsActivationOver()
    {
        QFETCH(bool, residentRuns);
        if (residentRuns) {
            startResident();
        } else {
            writeRules(R"({"fallback": {"browser": {"bundleID": "fake"}}, "rules": [], "version": 1})");
        }
        QCOMPARE(m_desktop->run(u"env"_s, {u"XDG_ACTIVATION_TOKEN=T-2"_s, app, u"https://exec.example/1"_s}, 10'000)
                     .exitCode,
                 0);
        QCOMPARE(m_desktop->waitForLaunches(u"fake"_s, 1).size(), 1);
        QCOMPARE(m_desktop->run(app, {u"https://exec.example/2"_s}).exitCode, 0);
        const QList<SandboxedDesktop::Launch> launches = m_desktop->waitForLaunches(u"fake"_s, 2);
        QCOMPARE(launches.size(), 2);
        QCOMPARE(launches[0].environment.value(u"XDG_ACTIVATION_TOKEN"_s), u"T-2"_s);
        QVERIFY(!launches[0].environment.contains(u"DESKTOP_STARTUP_ID"_s));
        QCOMPARE(launches[1].arguments.mid(1), QStringList{u"https://exec.example/2"_s});
        QVERIFY(!launches[1].environment.contains(u"XDG_ACTIVATION_TOKEN"_s));
    }

    // A second launch's links reach the browser in order; the log (often the journal) says what Linkherd does, not
    // which links the user opens.
    void aSecondLaunchForwardsFiveLinksInOrder()
    {
        startResident(QProcess::SeparateChannels);
        QStringList links;
        for (int i = 1; i <= 5; ++i)
            links.append(u"https://example.org/%1"_s.arg(i));
        QCOMPARE(m_desktop->run(app, links, 10'000).exitCode, 0);
        // The browser takes several links at once (%U), so it gets all five in one start, in order.
        QCOMPARE(m_desktop->waitForLinks(u"fake"_s, 1), Links{links});
        QTest::qWait(200);
        QCOMPARE(m_desktop->launches(u"fake"_s).size(), 1);
        QCOMPARE(m_resident.state(), QProcess::Running);
        m_resident.terminate();
        QVERIFY(m_resident.waitForFinished(5000));
        const QByteArray log = m_resident.readAllStandardError();
        QVERIFY2(!log.contains("example.org"), log.constData());
    }

    void ruleForTheSourceApplication()
    {
        startResidentWithRules(rulesSendingLinksFrom("org.gnome.Evolution"));
        QVERIFY(opened(u"['https://example.com/mail']"_s, u"{'org.linkherd.source': <'ORG.GNOME.EVOLUTION'>}"_s));
        QVERIFY(opened(u"['https://example.com/other']"_s));
        QCOMPARE(m_desktop->waitForLinks(u"other"_s, 1), Links{{u"https://example.com/mail"_s}});
        QCOMPARE(m_desktop->waitForLinks(u"fake"_s, 1), Links{{u"https://example.com/other"_s}});
    }

    // The source comes from the caller itself: its sandbox's .flatpak-info, read through /proc.
    void ruleForASandboxedSourceApplication()
    {
        startResidentWithRules(rulesSendingLinksFrom("org.example.Sandboxed"));
        QTemporaryDir sandbox;
        TestFiles::write(sandbox.filePath(u".flatpak-info"_s),
                         "[Application]\nname=org.example.Sandboxed\nruntime=runtime/org.example.Platform/x86_64/1\n");
        const QString caller = QStringLiteral(LINKHERD_SANDBOXED_CALLER);
        const SandboxedDesktop::Run run = m_desktop->run(caller, {sandbox.path(), u"https://example.com/sandboxed"_s});
        if (run.exitCode == 77)
            QSKIP(qPrintable(u"This machine cannot make a sandbox: "_s + run.err));
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(m_desktop->waitForLinks(u"other"_s, 1), Links{{u"https://example.com/sandboxed"_s}});

        // The same link from outside the sandbox takes the fallback.
        TestFiles::write(sandbox.filePath(u".flatpak-info"_s), "");
        QCOMPARE(m_desktop->run(caller, {sandbox.path(), u"https://example.com/plain"_s}).exitCode, 0);
        QCOMPARE(m_desktop->waitForLinks(u"fake"_s, 1), Links{{u"https://example.com/plain"_s}});
    }

    // Thousands of texts that are not links in one Open: each used to open an alert in an event loop nested in
    // the one before, until the stack ran out.
    void hostileOpenLeavesTheResidentRouting()
    {
        startResident();
        QStringList texts;
        for (int i = 0; i < 6000; ++i)
            texts.append(u"'-x%1'"_s.arg(i));
        const SandboxedDesktop::Run run = callResident(u"Open"_s, {u"["_s + texts.join(u',') + u']', u"{}"_s});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(m_desktop->run(QStringLiteral(LINKHERD_APP_EXECUTABLE), {u"https://after.example/"_s}).exitCode, 0);
        const QList<SandboxedDesktop::Launch> launches = m_desktop->waitForLaunches(u"fake"_s, 1);
        QCOMPARE(launches.size(), 1);
        QCOMPARE(launches[0].arguments.mid(1), QStringList{u"https://after.example/"_s});
        QCOMPARE(m_resident.state(), QProcess::Running);
    }

    // Quitting closed every window first, and the "Open Link" panel took that as a cancel and stayed for the
    // next link: each Quit dropped one waiting link and Linkherd went on running.
    void quitEndsTheResidentWithLinksWaiting()
    {
        startResidentWithRules(R"({"fallback": {"ask": {}}, "rules": [], "version": 1})");
        const SandboxedDesktop::Run open = m_desktop->run(
            QStringLiteral(LINKHERD_APP_EXECUTABLE), {u"https://one.example/"_s, u"https://two.example/"_s}, 10'000);
        QCOMPARE(open.exitCode, 0);
        callResident(u"ActivateAction"_s, {u"quit"_s, u"[]"_s, u"{}"_s});
        QVERIFY(m_resident.waitForFinished(5000));
        QCOMPARE(m_resident.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_resident.exitCode(), 0);
    }

    // Through the resident's scripting interface (what it offers against its description is tst_scripting_bus's) a
    // rule is added and a link routed cleaned to its browser; the browsers and the default are the desktop's.
    void scriptingInterfaceOnTheResident()
    {
        startResidentWithRules(R"({"fallback": {"browser": {"bundleID": "fake"}}, "version": 1,
            "rewriter": {"parameters": ["utm_*"], "stripsTrackingParameters": true, "upgradesToHTTPS": false},
            "rules": []})");
        OrgLinkherdLinkherdScriptingInterface scripting(u"org.linkherd.Linkherd"_s, u"/org/linkherd/Linkherd"_s,
                                                        QDBusConnection::sessionBus());
        // The rule's bookkeeping and RulesChanged are tst_scripting_bus's; here the rule must reach the router.
        QDBusPendingReply<QString> id =
            scripting.AddRule({{u"pattern"_s, u"example.com"_s}, {u"browser"_s, u"other"_s}}, -1);
        id.waitForFinished();
        QVERIFY2(!id.isError(), qPrintable(id.error().message()));
        QVERIFY(TestFiles::read(m_rules).contains(id.value().toUtf8()));
        QCOMPARE(scripting.installedBrowsers(), (QStringList{u"fake"_s, u"other"_s}));
        QCOMPARE(scripting.isDefaultBrowser(), false);

        QVERIFY(!scripting.Route(u"https://example.com/?utm_source=a&b=1"_s).isError());
        QCOMPARE(m_desktop->waitForLinks(u"other"_s, 1), Links{{u"https://example.com/?b=1"_s}});
    }

    void helpAndVersionAnswerLikeTheTool_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("linkherd-app") << app;
        QTest::newRow("linkherd-resident") << QFileInfo(app).path() + u"/linkherd-resident"_s;
    }

    void helpAndVersionAnswerLikeTheTool()
    {
        QFETCH(QString, program);
        const QString name = QFileInfo(program).fileName();
        const SandboxedDesktop::Run version = m_desktop->run(program, {u"--version"_s});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, name + u' ' + m_desktop->runLinkherd({u"--version"_s}).out.section(u' ', 1));
        const SandboxedDesktop::Run help = m_desktop->run(program, {u"--help"_s});
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.startsWith(u"Usage: "_s + name + u" [URL...]\n"_s), qPrintable(help.out));
        // Nothing was started or handed over.
        QVERIFY(!instanceIsOnTheBus());
    }

    // A FIFO would block a reader until something writes to it: it is refused, the resident takes links with
    // the fallback it found, says so in a notification and leaves the FIFO as it is.
    void fifoAsTheRulesFileIsToldAndLeftAlone()
    {
        FakeNotificationServer server;
        QVERIFY(server.isRegistered());
        QVERIFY(QDir().mkpath(m_desktop->configHome() + u"/linkherd"_s));
        QCOMPARE(::mkfifo(QFile::encodeName(m_rules).constData(), 0600), 0);

        startResident();
        QTRY_VERIFY_WITH_TIMEOUT(instanceIsOnTheBus(), 10'000);
        QCOMPARE(m_desktop->run(QStringLiteral(LINKHERD_APP_EXECUTABLE), {u"https://fifo.example/"_s}).exitCode, 0);
        QCOMPARE(m_desktop->waitForLaunches(u"fake"_s, 1).size(), 1);
        QTRY_COMPARE(server.shown.size(), 1);
        QCOMPARE(server.shown[0].body, m_rules +
                                           u": Not a regular file\nLinkherd started with no rules. Your file could "
                                           u"not be kept aside (nothing could be read from it), so Linkherd leaves it "
                                           u"as it is and saves no changes until it can read it."_s);
        QVERIFY(QFileInfo(m_rules).isFile() == false && QFileInfo::exists(m_rules));
    }

    void rulesFolderThatCannotBeMadeIsFatal()
    {
        TestFiles::write(m_desktop->configHome() + u"/linkherd"_s, "a file where the folder should be");
        const SandboxedDesktop::Run run = m_desktop->run(app, {u"https://example.com/"_s});
        QVERIFY(run.exitCode != 0);
        QVERIFY2(run.err.contains(u"Linkherd could not open its rules"_s), qPrintable(run.err));
        QVERIFY(run.err.contains(u"The rules live in "_s + m_desktop->configHome() + u"/linkherd."_s));
        QVERIFY(m_desktop->launches(u"fake"_s).isEmpty());
    }

    // The tray icon appears when a tray host comes after Linkherd (a panel started later, the GNOME AppIndicator
    // extension switched on), and again when the host restarts. Its menu is the panel's to draw, and works.
    void trayIconFollowsALaterTrayHost()
    {
        startOnDisplay(R"({"fallback": {"browser": {"bundleID": "fake"}}, "rules": [], "version": 1})");
        // Answered from the resident's event loop: it has started, without a tray.
        QCOMPARE(OrgLinkherdLinkherdScriptingInterface(u"org.linkherd.Linkherd"_s, u"/org/linkherd/Linkherd"_s,
                                                       QDBusConnection::sessionBus())
                     .ruleCount(),
                 0u);
        FakeStatusNotifierWatcher watcher;
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QString service = u"org.kde.StatusNotifierWatcher"_s;
        QVERIFY(watcher.start());
        for (int start = 0; start < 2; ++start) {
            QTRY_COMPARE_WITH_TIMEOUT(watcher.items.size(), start + 1, 10'000);
            QCOMPARE(qint64(bus.interface()->servicePid(watcher.items[start]).value()), m_resident.processId());
            QVERIFY(bus.unregisterService(service));
            QVERIFY(bus.registerService(service));
        }
        // The icon by name, in Linkherd's own hicolor folder whatever the icon theme.
        QVERIFY(QFile::exists(StatusNotifierPanel::itemProperty(watcher.items[0], u"IconThemePath"_s).toString() +
                              u"/hicolor/22x22/apps/org.linkherd.Linkherd.png"_s));
        const StatusNotifierPanel::Menu menu = StatusNotifierPanel::menu(watcher.items[0]);
        QCOMPARE(menu.lines.value(0), u"Rules… [Control+R]"_s);
        QCOMPARE(menu.lines.value(menu.lines.size() - 1), u"Quit Linkherd [Control+Q]"_s);
        QCOMPARE(StatusNotifierPanel::click(watcher.items[0], menu.ids.last()).type(), QDBusMessage::ReplyMessage);
        QVERIFY(m_resident.waitForFinished(5000));
        QCOMPARE(m_resident.exitCode(), 0);
    }

private:
    // A bus of its own that knows the service folder of the installed Linkherd, for the whole test; processes on
    // the sandbox's desktop use it.
    void startBusKnowingInstalledService()
    {
        const QString config = m_desktop->root() + u"/session.conf"_s;
        TestFiles::write(config, "<busconfig><include>/usr/share/dbus-1/session.conf</include><servicedir>" +
                                     QFile::encodeName(m_installed.filePath(u"share/dbus-1/services"_s)) +
                                     "</servicedir></busconfig>");
        // What the bus starts must find this bus, not the one the test runs under.
        m_desktop->unsetEnvironmentVariable(u"DBUS_SESSION_BUS_ADDRESS"_s);
        m_bus.setProcessEnvironment(m_desktop->environment());
        m_bus.start(u"dbus-daemon"_s, {u"--config-file="_s + config, u"--nofork"_s, u"--print-address=1"_s});
        QVERIFY(m_bus.waitForReadyRead(5000));
        m_desktop->setEnvironmentVariable(u"DBUS_SESSION_BUS_ADDRESS"_s, QString::fromUtf8(m_bus.readLine().trimmed()));
    }

    // Quits the instance on the sandbox's bus, which the bus or linkherd-app may have started apart from this
    // test, and makes sure that it is gone.
    void stopInstance()
    {
        if (!m_desktop || !instanceIsOnTheBus())
            return;
        const uint pid = desktopBus().interface()->servicePid(linkherdName);
        callResident(u"ActivateAction"_s, {u"quit"_s, u"[]"_s, u"{}"_s});
        // An ended process that nobody has reaped yet counts as gone.
        const auto running = [pid] { return processState(QString::number(pid)).value(0, u"Z"_s) != u"Z"_s; };
        if (pid > 0 && !QTest::qWaitFor([&] { return !running(); }, 5000))
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }

    // The session bus of the sandbox's desktop: the test's own, or the one startBusKnowingInstalledService made.
    QDBusConnection desktopBus() const
    {
        const QString address = m_desktop->environment().value(u"DBUS_SESSION_BUS_ADDRESS"_s);
        return QDBusConnection::connectToBus(address, address);
    }

    void restartResident()
    {
        m_resident.terminate();
        QVERIFY(m_resident.waitForFinished(10'000));
        QTRY_VERIFY_WITH_TIMEOUT(!instanceIsOnTheBus(), 10'000);
        startResident();
        QTRY_VERIFY_WITH_TIMEOUT(instanceIsOnTheBus(), 10'000);
    }

    void startResident(QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel)
    {
        m_resident.setProcessEnvironment(m_desktop->environment());
        m_resident.setProcessChannelMode(channels);
        m_resident.start(app, {u"--background"_s});
        QVERIFY(m_resident.waitForStarted());
        // The first run writes the fallback once the services are up and the bus name is taken.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_rules), 10'000);
    }

    // Xvfb, and the resident on it with the given rules.
    void startOnDisplay(const QByteArray& rules)
    {
        m_display.start(u"Xvfb"_s,
                        {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x800x24"_s, u"-nolisten"_s, u"tcp"_s});
        QVERIFY2(m_display.waitForReadyRead(10'000), "Xvfb did not start");
        m_desktop->setEnvironmentVariable(u"DISPLAY"_s, u":"_s + QString::fromUtf8(m_display.readLine().trimmed()));
        m_desktop->setEnvironmentVariable(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        startResidentWithRules(rules);
    }

    // The mapped X windows with this title: once there is one, or at once when not waiting.
    QStringList windowsTitled(const QString& title, bool wait = true) const
    {
        QStringList arguments{u"search"_s, u"--onlyvisible"_s, u"--name"_s, u'^' + title + u'$'};
        if (wait)
            arguments.insert(1, u"--sync"_s);
        return m_desktop->run(u"xdotool"_s, arguments, 10'000).out.split(u'\n', Qt::SkipEmptyParts);
    }

    // The startup ID on an X window, quoted as xprop prints it.
    QString startupIdOf(const QString& window) const
    {
        return m_desktop->run(u"xprop"_s, {u"-id"_s, window, u"_NET_STARTUP_ID"_s}).out.trimmed().section(u" = "_s, 1);
    }

    // Links containing "example" from that application go to "other"; every other link to "fake".
    static QByteArray rulesSendingLinksFrom(const QByteArray& application)
    {
        // Plain string literals: moc misreads a raw string that is cut around an argument.
        return "{\"fallback\": {\"browser\": {\"bundleID\": \"fake\"}}, \"version\": 1, \"rules\": [{\"id\": "
               "\"6F1C2A9E-0B7D-4C3A-9E55-1D2B3C4D5E6F\", \"isEnabled\": true, \"match\": \"urlContains\", "
               "\"pattern\": \"example\", \"sourceBundleIDs\": [\"" +
               application + "\"], \"destination\": {\"browser\": {\"bundleID\": \"other\"}}}]}";
    }

    static int zombieChildren(qint64 parent)
    {
        const QStringList pids = QDir(u"/proc"_s).entryList({u"[0-9]*"_s}, QDir::Dirs);
        return int(std::count_if(pids.cbegin(), pids.cend(), [&](const QString& pid) {
            return processState(pid) == QStringList{u"Z"_s, QString::number(parent)};
        }));
    }

    // A method of org.freedesktop.Application on the resident, arguments as gdbus takes them.
    SandboxedDesktop::Run callResident(const QString& method, const QStringList& arguments) const
    {
        return m_desktop->run(u"gdbus"_s,
                              QStringList{u"call"_s, u"--session"_s, u"--dest"_s, u"org.linkherd.Linkherd"_s,
                                          u"--object-path"_s, u"/org/linkherd/Linkherd"_s, u"--method"_s,
                                          u"org.freedesktop.Application."_s + method} +
                                  arguments,
                              10'000);
    }

    bool instanceIsOnTheBus() const { return desktopBus().interface()->isServiceRegistered(linkherdName); }

    // Open on the resident, links and platform data as gdbus takes them.
    bool opened(const QString& links, const QString& platformData = u"{}"_s) const
    {
        return callResident(u"Open"_s, {links, platformData}).exitCode == 0;
    }

    // Hands the resident the link over the bus and returns which of the browsers started with it; empty when none
    // did within a few seconds.
    QString linkTakenBy(const QString& link, const QStringList& browsers) const
    {
        QString taker;
        std::ignore = opened(u"['%1']"_s.arg(link)) &&
                      QTest::qWaitFor(
                          [&] {
                              for (const QString& browser : browsers) {
                                  for (const SandboxedDesktop::Launch& launch : m_desktop->launches(browser))
                                      taker = launch.arguments.mid(1) == QStringList{link} ? browser : taker;
                              }
                              return !taker.isEmpty();
                          },
                          5000);
        return taker;
    }

    void writeRules(const QByteArray& json)
    {
        QDir().mkpath(m_desktop->configHome() + u"/linkherd"_s);
        TestFiles::write(m_rules, json);
    }

    // The resident, started on these rules: nothing waits for an outside edit to be taken over.
    void startResidentWithRules(const QByteArray& json)
    {
        writeRules(json);
        startResident();
        QTRY_VERIFY_WITH_TIMEOUT(instanceIsOnTheBus(), 10'000);
    }

    std::optional<SandboxedDesktop> m_desktop;
    QProcess m_resident;
    QProcess m_bus;
    QProcess m_display;
    QProcess m_foreground; // the application whose window is active
    QString m_rules;
    QTemporaryDir m_installed;
};

QTEST_GUILESS_MAIN(AppEndToEndTest)
#include "tst_app_end_to_end.moc"
