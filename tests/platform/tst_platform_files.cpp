#include "instance_forwarding/instance_forwarding.h"
#include "platform/launch_activation.h"
#include "platform/xdg/config_files.h"
#include "platform/xdg/launcher_entry.h"
#include "platform/xdg/xdg_autostart_entry.h"
#include "support/test_files.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The desktop configuration files Linkherd edits itself, in place.
class PlatformFilesTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_directory.emplace().isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_directory->path()));
    }

    void editsOneKeyAndKeepsTheRest()
    {
        const QString path = m_directory->filePath(u"kdeglobals"_s);
        TestFiles::write(path, "# KDE\n[General]\nColorScheme=Breeze\nBrowserApplication[$e]=!firefox\n"
                               "BrowserApplication=firefox.desktop\n\n[KDE]\nSingleClick=false\n");
        QVERIFY(ConfigFiles::setValue(path, u"General"_s, u"BrowserApplication"_s, u"org.linkherd.Linkherd.desktop"_s));
        QCOMPARE(TestFiles::read(path),
                 "# KDE\n[General]\nColorScheme=Breeze\nBrowserApplication[$e]=!firefox\n"
                 "BrowserApplication=org.linkherd.Linkherd.desktop\n\n[KDE]\nSingleClick=false\n");

        QVERIFY(ConfigFiles::setValue(path, u"KDE"_s, u"AnimationDurationFactor"_s, u"0.5"_s));
        QVERIFY(TestFiles::read(path).endsWith("SingleClick=false\nAnimationDurationFactor=0.5\n"));
        QVERIFY(ConfigFiles::setValue(m_directory->filePath(u"new"_s), u"General"_s, u"Key"_s, u"v"_s));
        QCOMPARE(TestFiles::read(m_directory->filePath(u"new"_s)), "[General]\nKey=v\n");
    }

    void replacesOnlyWhatIsThere()
    {
        const QString path = m_directory->filePath(u"gnome-mimeapps.list"_s);
        const QByteArray before = "[Default Applications]\ntext/html=firefox.desktop;\n";
        TestFiles::write(path, before);
        QVERIFY(ConfigFiles::replaceValue(path, u"Default Applications"_s, u"x-scheme-handler/https"_s, u"x;"_s));
        QCOMPARE(TestFiles::read(path), before);
        QVERIFY(ConfigFiles::replaceValue(path, u"Default Applications"_s, u"text/html"_s, u"x.desktop;"_s));
        QCOMPARE(TestFiles::read(path), "[Default Applications]\ntext/html=x.desktop;\n");
    }

    // A FIFO would block the read until something writes to it; it is refused and left in place.
    void leavesWhatItCannotReadWhole()
    {
        const QString path = m_directory->filePath(u"mimeapps.list"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        const Result<void> edited = ConfigFiles::setValue(path, u"Default Applications"_s, u"text/html"_s, u"x;"_s);
        QVERIFY(!edited);
        QVERIFY2(edited.error().endsWith(u"Not a regular file"_s), qPrintable(edited.error()));
        QVERIFY(QFileInfo(path).exists() && !QFileInfo(path).isFile());
    }

    void autostartEntry()
    {
        XdgAutostartEntry entry;
        QCOMPARE(XdgAutostartEntry::path(), m_directory->filePath(u"autostart/org.linkherd.Linkherd.desktop"_s));
        QCOMPARE(entry.status(), AutostartEntry::Status::notRegistered);
        QVERIFY(entry.enable());
        QCOMPARE(entry.status(), AutostartEntry::Status::enabled);
        QVERIFY(TestFiles::read(XdgAutostartEntry::path()).contains("\nExec=linkherd-app"));

        // Switched off by the user in the session settings, without removing it.
        TestFiles::write(XdgAutostartEntry::path(),
                         "[Desktop Entry]\nType=Application\nExec=linkherd-app\nHidden=true\n");
        QCOMPARE(entry.status(), AutostartEntry::Status::notRegistered);
        QVERIFY(entry.disable());
        QVERIFY(!QFile::exists(XdgAutostartEntry::path()));
        QVERIFY(entry.disable());
    }

    // Out of the application menu, Linkherd's entry still names everything that brings links to it, and the
    // user's index of link types lists it; back in, the entry is as installed.
    void launcherEntryCopy()
    {
        const QString system = m_directory->filePath(u"system"_s), home = m_directory->filePath(u"home"_s);
        qputenv("XDG_DATA_HOME", QFile::encodeName(home));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(system));
        const QString installed = system + u"/applications/org.linkherd.Linkherd.desktop"_s;
        QVERIFY(QDir().mkpath(QFileInfo(installed).path()));
        TestFiles::write(installed, "[Desktop Entry]\nType=Application\nName=Linkherd\nName[de]=Linkherd\n"
                                    "Exec=linkherd-app %U\nDBusActivatable=true\n"
                                    "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
        QCOMPARE(LauncherEntry::installedPath(), installed);

        QVERIFY(LauncherEntry::setHidden(true));
        QVERIFY(LauncherEntry::isHidden());
        const QString copy = LauncherEntry::userPath();
        QCOMPARE(copy, home + u"/applications/org.linkherd.Linkherd.desktop"_s);
        const QByteArray written = TestFiles::read(copy);
        for (const QByteArray& line :
             {"NoDisplay=true\n"_ba, "Exec=linkherd-app %U\n"_ba, "DBusActivatable=true\n"_ba,
              "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n"_ba, "Name[de]=Linkherd\n"_ba})
            QVERIFY2(written.contains(line), line.constData());
        QVERIFY(TestFiles::read(home + u"/applications/mimeinfo.cache"_s)
                    .contains("x-scheme-handler/https=org.linkherd.Linkherd.desktop;"));
        QCOMPARE(LauncherEntry::installedPath(), installed);
        // A newer version installed meanwhile: hiding again brings the copy up to date.
        TestFiles::write(installed, TestFiles::read(installed).replace("x-scheme-handler/http;", ""));
        QVERIFY(LauncherEntry::setHidden(true));
        QVERIFY(TestFiles::read(copy).contains("\nMimeType=x-scheme-handler/https;\n"));

        QVERIFY(LauncherEntry::setHidden(false));
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(!LauncherEntry::isHidden());

        // Installed in the user's own folder (`--prefix ~/.local`), the entry itself is hidden, and shown again it
        // is the file as installed, byte for byte. A reinstall while hidden lists it again, and says so.
        const QByteArray own = "# Installed\n[Desktop Entry]\nType=Application\nName=Linkherd\nExec=linkherd-app %U\n"
                               "MimeType=x-scheme-handler/https;\n\n[Desktop Action settings]\nName=Settings\n";
        TestFiles::write(copy, own);
        QVERIFY(LauncherEntry::setHidden(true));
        QVERIFY(LauncherEntry::isHidden());
        QVERIFY2(TestFiles::read(copy).contains(
                     "MimeType=x-scheme-handler/https;\nX-Linkherd-Hidden=true\nNoDisplay=true\n\n[Desktop Action"),
                 TestFiles::read(copy).constData());
        QVERIFY(LauncherEntry::setHidden(false));
        QCOMPARE(TestFiles::read(copy), own);
        QVERIFY(LauncherEntry::setHidden(true));
        TestFiles::write(copy, own);
        QVERIFY(!LauncherEntry::isHidden());
        QVERIFY(QFile::remove(copy));

        // An indexer that hangs does not hold up the switch (and the resident's links): were it waited for, the
        // suite would run into CTest's time limit, which is shorter than the indexer's sleep.
        TestFiles::writeScript(m_directory->filePath(u"update-desktop-database"_s), "exec sleep 600");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_directory->path()) + ':' + path);
        const bool hidden = bool(LauncherEntry::setHidden(true));
        qputenv("PATH", path);
        QVERIFY(hidden);
    }

    void forwardingRefusesTextTheBusCannotCarry()
    {
        QVERIFY(InstanceForwarding::isText("https://bücher.example/ü"));
        QVERIFY(!InstanceForwarding::isText("https://example.com/\xff"));
        QVERIFY(!InstanceForwarding::isText(std::string("https://example.com/\0x", 22)));
        const InstanceForwarding::Answer answer =
            InstanceForwarding::forward({"https://example.com/", "https://example.com/\xc3"});
        QCOMPARE(answer.outcome, InstanceForwarding::Outcome::failed);
        QCOMPARE(answer.error, std::string("a link is not UTF-8 text"));
    }

    // The links go out with the connection's authentication, before the bus has answered. A bus that accepted
    // the authentication and then went away may have delivered them: they are not sent a second time.
    void forwardingSendsTheLinksOnce()
    {
        const QByteArray path = QFile::encodeName(m_directory->filePath(u"bus"_s));
        const int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
        QCOMPARE(bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        QCOMPARE(listen(listening, 4), 0);
        // Accepts the authentication of every connection and hangs up, until the listening socket is shut down.
        static constexpr char accepting[] = "OK 0123456789abcdef0123456789abcdef\r\n";
        std::atomic<int> accepted = 0;
        std::thread bus([&] {
            for (int connection; (connection = accept(listening, nullptr, nullptr)) >= 0;) {
                ++accepted;
                char request[512];
                if (read(connection, request, sizeof request) > 0) [[maybe_unused]]
                    const ssize_t written = write(connection, accepting, sizeof accepting - 1);
                close(connection);
            }
        });
        const QByteArray before = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path);
        const InstanceForwarding::Answer answer = InstanceForwarding::forward({"https://example.com/"});
        qputenv("DBUS_SESSION_BUS_ADDRESS", before);
        shutdown(listening, SHUT_RDWR);
        bus.join();
        close(listening);
        QCOMPARE(answer.outcome, InstanceForwarding::Outcome::failed);
        QCOMPARE(answer.error, std::string("the bus closed the connection"));
        QCOMPARE(accepted.load(), 1);
    }

    // What org.freedesktop.Application's caller puts into platform_data is not trusted: only strings of a sane
    // size count, and a value of another type (which QVariant would gladly turn into text) is ignored.
    void activationFromPlatformData_data()
    {
        QTest::addColumn<QVariantMap>("platformData");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("startupID");
        QTest::newRow("both") << QVariantMap{{u"activation-token"_s, u"T-1"_s}, {u"desktop-startup-id"_s, u"S-1"_s}}
                              << u"T-1"_s << u"S-1"_s;
        QTest::newRow("token only") << QVariantMap{{u"activation-token"_s, u"T-1"_s}} << u"T-1"_s << QString();
        QTest::newRow("none") << QVariantMap{{u"org.linkherd.source"_s, u"org.gnome.Evolution"_s}} << QString()
                              << QString();
        QTest::newRow("a number") << QVariantMap{{u"activation-token"_s, 7}, {u"desktop-startup-id"_s, u"S-1"_s}}
                                  << QString() << u"S-1"_s;
        QTest::newRow("bytes") << QVariantMap{{u"activation-token"_s, QByteArray("T-1")}} << QString() << QString();
        QTest::newRow("a list") << QVariantMap{{u"desktop-startup-id"_s, QStringList{u"S-1"_s}}} << QString()
                                << QString();
        QTest::newRow("a line break") << QVariantMap{{u"activation-token"_s, u"T-1\nXDG_ACTIVATION_TOKEN=T-9"_s}}
                                      << QString() << QString();
        QTest::newRow("too long") << QVariantMap{{u"activation-token"_s, QString(LaunchActivation::longest + 1, u'x')}}
                                  << QString() << QString();
    }

    void activationFromPlatformData()
    {
        QFETCH(QVariantMap, platformData);
        QFETCH(QString, token);
        QFETCH(QString, startupID);
        const LaunchActivation activation = LaunchActivation::fromPlatformData(platformData);
        QCOMPARE(activation.token, token);
        QCOMPARE(activation.startupID, startupID);
    }

    // Taken once: what a launch took is gone for every later one.
    void activationIsTakenOnce()
    {
        qputenv("XDG_ACTIVATION_TOKEN", "T-2");
        qputenv("DESKTOP_STARTUP_ID", "S-2");
        const HandOverActivation shared = shareActivation(LaunchActivation::takeFromEnvironment());
        QVERIFY(!qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));
        QVERIFY(!qEnvironmentVariableIsSet("DESKTOP_STARTUP_ID"));
        QCOMPARE(takeActivation(shared), (LaunchActivation{u"T-2"_s, u"S-2"_s}));
        QVERIFY(takeActivation(shared).isEmpty());
        QVERIFY(!shareActivation({}));
    }

private:
    std::optional<QTemporaryDir> m_directory;
};

QTEST_GUILESS_MAIN(PlatformFilesTest)
#include "tst_platform_files.moc"
