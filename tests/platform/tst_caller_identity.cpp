#include "platform/proc/caller_identity.h"
#include "platform/proc/proc_files.h"
#include "support/test_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString appSlice = u"0::/user.slice/user-1000.slice/user@1000.service/app.slice/"_s;
const QString uuid = u"2b5f1c0e-1a2b-4c3d-8e9f-0123456789ab"_s;

} // namespace

// Which application a process belongs to, from the names desktops, Flatpak, Snap and D-Bus give their units.
class CallerIdentityTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cgroup_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("application"); // empty: none

        const auto unit = [](const QString& path, const QString& application) {
            QTest::newRow(qPrintable(path)) << appSlice + path + u'\n' << application;
        };
        unit(u"app-gnome-org.gnome.Evolution-12345.scope"_s, u"org.gnome.Evolution"_s);
        unit(u"app-gnome-firefox-5678.scope"_s, u"firefox"_s);
        unit(u"app-gnome-google\\x2dchrome-9999.scope"_s, u"google-chrome"_s);
        unit(u"app-gnome-org.gnome.Evolution\\x2dalarm\\x2dnotify-2437.scope"_s, u"org.gnome.Evolution-alarm-notify"_s);
        unit(u"app-gnome-org.example.Caf\\xc3\\xa9-1.scope"_s, u"org.example.Caf\u00e9"_s);
        unit(u"app-gnome-org.gnome.Terminal-4242.scope"_s, u"org.gnome.Terminal"_s);
        unit(u"app-gnome-google-chrome-9999.scope"_s, u"google-chrome"_s); // a launcher that forgot to escape
        unit(u"app-org.kde.dolphin-1234.scope"_s, u"org.kde.dolphin"_s);
        unit(u"app-org.example.web\\x2dbrowser-4242.scope"_s,
             u"org.example.web-browser"_s); // where Linkherd starts browsers
        unit(u"app-flatpak-com.slack.Slack-98765.scope"_s, u"com.slack.Slack"_s);
        unit(u"app-org.kde.konsole@1a2b.service"_s, u"org.kde.konsole"_s);
        unit(u"app-org.kde.amarok.service"_s, u"org.kde.amarok"_s);
        unit(u"app-org.gnome.Evolution\\x2dalarm\\x2dnotify@autostart.service"_s,
             u"org.gnome.Evolution-alarm-notify"_s);
        unit(u"app-org.gnome.Evolution\\x2dalarm\\x2dnotify-autostart.service"_s,
             u"org.gnome.Evolution-alarm-notify"_s);
        unit(u"app-org.gnome.Terminal.slice/vte-spawn-"_s + uuid + u".scope"_s, u"org.gnome.Terminal"_s);
        unit(u"app-org.gnome.Terminal.slice/gnome-terminal-server.service"_s, u"org.gnome.Terminal"_s);
        unit(u"dbus-:1.2-org.gnome.Nautilus@0.service"_s, u"org.gnome.Nautilus"_s);
        unit(u"snap.firefox.firefox."_s + uuid + u".scope"_s, u"firefox_firefox"_s);
        unit(u"snap.signal-desktop.signal-desktop-"_s + uuid + u".scope"_s, u"signal-desktop_signal-desktop"_s);
        unit(u"snap.firefox_beta.firefox."_s + uuid + u".scope"_s, u"firefox+beta_firefox"_s);
        unit(u"snap.foo.daemon.service"_s, u"foo_daemon"_s);

        unit(u"gnome-terminal-server.service"_s, QString());
        unit(u"app-graphical.slice/vte-spawn-"_s + uuid + u".scope"_s, QString());
        unit(u"snap.firefox.hook.configure."_s + uuid + u".scope"_s, QString());
        unit(u"app-firefox.scope"_s, QString());
        unit(u"app-gnome--1.scope"_s, QString());
        unit(u"app-gnome-foo\\x2-1.scope"_s, QString());
        unit(u"app-gnome-org.linkherd.Linkherd-777.scope"_s, QString());
        unit(u"app-org.linkherd.linkherd@1.service"_s, QString());

        const QString dolphin =
            u"/user.slice/user-1000.slice/user@1000.service/app.slice/app-org.kde.dolphin-1.scope"_s;
        QTest::newRow("session") << u"0::/user.slice/user-1000.slice/session-2.scope\n"_s << QString();
        QTest::newRow("user manager") << u"0::/user.slice/user-1000.slice/user@1000.service/init.scope\n"_s
                                      << QString();
        QTest::newRow("init") << u"0::/init.scope\n"_s << QString();
        QTest::newRow("v1 hybrid") << u"12:pids:/user.slice\n1:name=systemd:"_s + dolphin + u"\n0::"_s + dolphin
                                   << u"org.kde.dolphin"_s;
        QTest::newRow("v1") << u"4:memory:/user.slice\n1:name=systemd:"_s + dolphin + u'\n' << u"org.kde.dolphin"_s;
        QTest::newRow("v1 controllers ignored")
            << u"4:cpu:/app-gnome-firefox-1.scope\n1:name=systemd:/user.slice/user-1000.slice/session-2.scope\n"_s
            << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("garbage") << u"not a cgroup file"_s << QString();
    }

    void cgroup()
    {
        QFETCH(QString, text);
        QFETCH(QString, application);
        QCOMPARE(ProcFiles::applicationOfCgroup(text).value_or(QString()), application);
    }

    void flatpakInfo_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("application");

        QTest::newRow("application") << u"[Application]\nname=com.slack.Slack\nruntime=runtime/org.freedesktop."
                                        u"Platform/x86_64/23.08\n\n[Instance]\ninstance-id=1\n"_s
                                     << u"com.slack.Slack"_s;
        QTest::newRow("spaced") << u"# sandbox\n[Application]\n  name = org.mozilla.firefox \n"_s
                                << u"org.mozilla.firefox"_s;
        QTest::newRow("other group first")
            << u"[Instance]\nname=x\n[Application]\nname=org.gnome.Maps\n"_s << u"org.gnome.Maps"_s;
        QTest::newRow("runtime only") << u"[Runtime]\nname=org.freedesktop.Platform\n"_s << QString();
        QTest::newRow("no name") << u"[Application]\nname=\n"_s << QString();
        QTest::newRow("Linkherd") << u"[Application]\nname=org.linkherd.Linkherd\n"_s << QString();
    }

    void flatpakInfo()
    {
        QFETCH(QString, text);
        QFETCH(QString, application);
        QCOMPARE(ProcFiles::applicationOfFlatpakInfo(text).value_or(QString()), application);
    }

    void stat_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("command"); // empty: unreadable
        QTest::addColumn<qint64>("parent");

        QTest::newRow("plain") << u"4242 (xdg-open) S 4200 4242 4200 0 -1 4194560 120\n"_s << u"xdg-open"_s
                               << qint64(4200);
        QTest::newRow("parenthesis in name") << u"77 (evil) S 1) S 9 77"_s << u"evil) S 1"_s << qint64(9);
        QTest::newRow("no name") << u"12 xdg-open S 3"_s << QString() << qint64(0);
        QTest::newRow("cut short") << u"12 (sh) S"_s << QString() << qint64(0);
    }

    void stat()
    {
        QFETCH(QString, text);
        QFETCH(QString, command);
        QFETCH(qint64, parent);
        QCOMPARE(ProcFiles::parseStat(text).value_or(ProcFiles::Stat{}), (ProcFiles::Stat{command, parent}));
    }

    void initTestCase()
    {
        QVERIFY(m_proc.isValid());
        // Pid 1 is never asked: its unit would otherwise answer for every orphan.
        addProcess(1, u"systemd"_s, 0, u"app-gnome-org.example.Init-1.scope"_s);
        addProcess(10, u"evolution"_s, 1, u"app-gnome-org.gnome.Evolution-10.scope"_s);
        addProcess(20, u"sh"_s, 10, u"app-gnome-org.gnome.Evolution-10.scope"_s);
        // Openers are passed over even in a unit of their own.
        addProcess(30, u"xdg-open"_s, 20, u"app-gnome-xdg\\x2dopen-30.scope"_s);
        addProcess(40, u"linkherd"_s, 30, u"app-org.linkherd.Linkherd@1.service"_s);
        addProcess(50, u"slack"_s, 1, u"app-gnome-firefox-50.scope"_s);
        TestFiles::write(m_proc.filePath(u"50/root/.flatpak-info"_s), "[Application]\nname=com.slack.Slack\n");
        addProcess(60, u"bash"_s, 61, u"vte-spawn-1.scope"_s);
        addProcess(61, u"tmux: server"_s, 1, u"tmux-spawn-1.scope"_s);
        addProcess(70, u"gio"_s, 71, QString());
        addProcess(80, u"worker"_s, 81, QString());
        addProcess(81, u"worker"_s, 80, QString());
        addProcess(100, u"deep"_s, 1, u"app-org.example.Deep-100.scope"_s);
        for (qint64 pid = 101; pid < 130; ++pid)
            addProcess(pid, u"worker"_s, pid - 1, QString());
    }

    void callerChain_data()
    {
        QTest::addColumn<qint64>("pid");
        QTest::addColumn<QString>("application");

        QTest::newRow("xdg-open from sh from Evolution") << qint64(30) << u"org.gnome.Evolution"_s;
        QTest::newRow("Linkherd asks its parent") << qint64(40) << u"org.gnome.Evolution"_s;
        QTest::newRow("Flatpak before cgroup") << qint64(50) << u"com.slack.Slack"_s;
        QTest::newRow("up to pid 1") << qint64(60) << QString();
        QTest::newRow("parent gone") << qint64(70) << QString();
        QTest::newRow("loop") << qint64(80) << QString();
        QTest::newRow("ten levels up") << qint64(110) << u"org.example.Deep"_s;
        QTest::newRow("thirty levels up") << qint64(129) << QString();
        QTest::newRow("no pid") << qint64(0) << QString();
    }

    void callerChain()
    {
        QFETCH(qint64, pid);
        QFETCH(QString, application);
        ProcCallerIdentity identity(m_proc.path());
        QCOMPARE(identity.applicationOfCallerChain(pid).value_or(QString()), application);
    }

private:
    void addProcess(qint64 pid, const QString& command, qint64 parent, const QString& unit)
    {
        const QString directory = m_proc.filePath(QString::number(pid));
        QVERIFY(QDir().mkpath(directory + u"/root"_s));
        TestFiles::write(directory + u"/stat"_s,
                         u"%1 (%2) S %3 %1 %1 0 -1 4194560\n"_s.arg(pid).arg(command).arg(parent).toUtf8());
        TestFiles::write(directory + u"/cgroup"_s, (appSlice + unit + u'\n').toUtf8());
    }

    QTemporaryDir m_proc;
};

QTEST_GUILESS_MAIN(CallerIdentityTest)
#include "tst_caller_identity.moc"
