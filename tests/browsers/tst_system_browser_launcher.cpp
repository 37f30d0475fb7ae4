#include "browsers/browser_windows.h"
#include "browsers/system_browser_launcher.h"
#include "support/fakes/fake_platform.h"
#include "support/test_files.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class BrowserLauncherTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void profileCommand_data()
    {
        QTest::addColumn<QStringList>("exec");
        QTest::addColumn<QString>("flatpakID");
        QTest::addColumn<QStringList>("command");
        const QString link = u"https://e.com/a?b=1&c=2#d"_s;
        QTest::newRow("native, %U in the middle")
            << QStringList{u"/opt/google/chrome/chrome"_s, u"%U"_s, u"--enable-x"_s} << QString()
            << QStringList{u"/opt/google/chrome/chrome"_s, u"--enable-x"_s, u"--profile-directory=Profile 1"_s, link};
        QTest::newRow("native, %u and %i, %% kept as %")
            << QStringList{u"brave"_s, u"%i"_s, u"--x=%%"_s, u"%u"_s} << QString()
            << QStringList{u"brave"_s, u"--x=%%"_s, u"--profile-directory=Profile 1"_s, link};
        QTest::newRow("flatpak") << QStringList{u"/usr/bin/flatpak"_s,
                                                u"run"_s,
                                                u"--branch=stable"_s,
                                                u"--command=chromium"_s,
                                                u"--file-forwarding"_s,
                                                u"org.chromium.Chromium"_s,
                                                u"@@u"_s,
                                                u"%U"_s,
                                                u"@@"_s}
                                 << u"org.chromium.Chromium"_s
                                 << QStringList{u"/usr/bin/flatpak"_s,
                                                u"run"_s,
                                                u"--branch=stable"_s,
                                                u"--command=chromium"_s,
                                                u"--file-forwarding"_s,
                                                u"org.chromium.Chromium"_s,
                                                u"--profile-directory=Profile 1"_s,
                                                u"@@u"_s,
                                                link,
                                                u"@@"_s};
        QTest::newRow("flatpak without a field code")
            << QStringList{u"flatpak"_s, u"run"_s, u"com.brave.Browser"_s} << u"com.brave.Browser"_s
            << QStringList{u"flatpak"_s, u"run"_s, u"com.brave.Browser"_s, u"--profile-directory=Profile 1"_s, link};
        QTest::newRow("flatpak ID missing from Exec")
            << QStringList{u"flatpak"_s, u"run"_s} << u"com.brave.Browser"_s << QStringList();
        QTest::newRow("no Exec") << QStringList() << QString() << QStringList();
    }

    void profileCommand()
    {
        QFETCH(QStringList, exec);
        QFETCH(QString, flatpakID);
        QFETCH(QStringList, command);
        QCOMPARE(
            profileLaunchCommand(exec, flatpakID, {u"--profile-directory=Profile 1"_s}, u"https://e.com/a?b=1&c=2#d"_s),
            command);
    }

    void init()
    {
        QVERIFY(m_home.emplace().isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->path()));
        QDir().mkpath(m_home->filePath(u"google-chrome"_s));
        TestFiles::write(m_home->filePath(u"google-chrome/Local State"_s),
                         R"({"profile": {"info_cache": {"Default": {"name": "Me"}, "Profile 3": {"name": "Work"}}}})");
        // A real executable stands in for the browser: the launcher checks that it exists.
        m_chrome = fakeEntry(u"google-chrome"_s, u"Google Chrome"_s);
        m_chrome.exec = {u"/bin/true"_s, u"%U"_s};
        m_catalog = FakeApplicationCatalog();
        m_catalog.browsers = {m_chrome, fakeEntry(u"firefox"_s, u"Firefox"_s), fakeEntry(u"netsurf"_s, u"NetSurf"_s)};
        m_launcher = FakeApplicationLauncher();
    }

    void profileLaunchStartsTheExecutableWithTheLinkAsOneArgument()
    {
        SystemBrowserLauncher launcher(m_catalog, m_launcher);
        int failures = 0;
        launcher.open(u"https://e.com/search?q=a%20b&x=1#top"_s, browser(m_chrome), u"Profile 3"_s,
                      Destination::Window::usual, nullptr, [&](const QString&) { ++failures; });
        const QStringList expected = {u"/bin/true"_s, u"--profile-directory=Profile 3"_s,
                                      u"https://e.com/search?q=a%20b&x=1#top"_s};
        QCOMPARE(m_launcher.spawns, QList<QStringList>{expected});
        QVERIFY(m_launcher.opens.isEmpty());
        QTest::qWait(10);
        QCOMPARE(failures, 0);
    }

    // Firefox opens a link in a profile by its absolute folder, whichever install kind, whether the profile is
    // listed in profiles.ini or is a member of a profile group.
    void firefoxProfileLaunch_data()
    {
        QTest::addColumn<QString>("desktopID");
        QTest::addColumn<QStringList>("exec");
        QTest::addColumn<QString>("flatpakID");
        QTest::addColumn<QString>("root"); // under HOME
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("expected"); // "<root>" for the root's absolute path
        const QString link = u"https://e.com/"_s;
        QTest::newRow("native, relative path")
            << u"firefox-esr"_s << QStringList{u"/bin/true"_s, u"%u"_s} << QString() << u".mozilla/firefox"_s
            << u"w0rk.Work"_s << QStringList{u"/bin/true"_s, u"--profile"_s, u"<root>/w0rk.Work"_s, link};
        QTest::newRow("native, absolute path")
            << u"firefox-esr"_s << QStringList{u"/bin/true"_s, u"%u"_s} << QString() << u".mozilla/firefox"_s
            << u"/srv/profiles/elsewhere"_s
            << QStringList{u"/bin/true"_s, u"--profile"_s, u"/srv/profiles/elsewhere"_s, link};
        QTest::newRow("snap")
            << u"firefox_firefox"_s
            << QStringList{u"env"_s,
                           u"BAMF_DESKTOP_FILE_HINT=/var/lib/snapd/desktop/applications/firefox_firefox.desktop"_s,
                           u"/snap/bin/firefox"_s, u"%u"_s}
            << QString() << u"snap/firefox/common/.mozilla/firefox"_s << u"abc123.default-esr"_s
            << QStringList{u"env"_s,
                           u"BAMF_DESKTOP_FILE_HINT=/var/lib/snapd/desktop/applications/firefox_firefox.desktop"_s,
                           u"/snap/bin/firefox"_s,
                           u"--profile"_s,
                           u"<root>/abc123.default-esr"_s,
                           link};
        QTest::newRow("flatpak") << u"org.mozilla.firefox"_s << QStringList{u"/bin/true"_s,
                                                                            u"run"_s,
                                                                            u"--command=firefox"_s,
                                                                            u"--file-forwarding"_s,
                                                                            u"org.mozilla.firefox"_s,
                                                                            u"@@u"_s,
                                                                            u"%u"_s,
                                                                            u"@@"_s}
                                 << u"org.mozilla.firefox"_s << u".var/app/org.mozilla.firefox/.mozilla/firefox"_s
                                 << u"w0rk.Work"_s
                                 << QStringList{u"/bin/true"_s,
                                                u"run"_s,
                                                u"--command=firefox"_s,
                                                u"--file-forwarding"_s,
                                                u"org.mozilla.firefox"_s,
                                                u"--profile"_s,
                                                u"<root>/w0rk.Work"_s,
                                                u"@@u"_s,
                                                link,
                                                u"@@"_s};
    }

    void firefoxProfileLaunch()
    {
        QFETCH(QString, desktopID);
        QFETCH(QStringList, exec);
        QFETCH(QString, flatpakID);
        QFETCH(QString, root);
        QFETCH(QString, profile);
        QFETCH(QStringList, expected);
        qputenv("HOME", QFile::encodeName(m_home->path()));
        const QString rootPath = m_home->filePath(root);
        QVERIFY(QDir().mkpath(rootPath));
        TestFiles::write(rootPath + u"/profiles.ini"_s,
                         TestFiles::read(TestFiles::dataPath(u"profiles/firefox/profiles.ini"_s)));
        DesktopEntry firefox = fakeEntry(desktopID, u"Firefox"_s);
        firefox.exec = exec;
        firefox.flatpakID = flatpakID;
        m_catalog.browsers.append(firefox);

        SystemBrowserLauncher launcher(m_catalog, m_launcher);
        launcher.open(u"https://e.com/"_s, browser(firefox), profile, Destination::Window::usual, nullptr, nullptr);
        QCOMPARE(m_launcher.spawns, QList<QStringList>{expected.replaceInStrings(u"<root>"_s, rootPath)});

        // A profile that is gone opens the browser without one.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Firefox has no profile gone.default"_s));
        launcher.open(u"https://e.com/"_s, browser(firefox), u"gone.default"_s, Destination::Window::usual, nullptr,
                      nullptr);
        QTRY_COMPARE(m_launcher.opens.size(), 1);
        QCOMPARE(m_launcher.spawns.size(), 1);
    }

    // The entry's action says how, when its command is the entry's own with options added; else the family's
    // options; else the browser cannot.
    void windowOptions_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("exec");
        QTest::addColumn<QStringList>("privateExec");
        QTest::addColumn<QStringList>("privateOptions"); // {"-"}: cannot
        QTest::addColumn<QStringList>("newOptions");
        const QStringList cannot{u"-"_s};
        const QStringList snap{u"env"_s, u"BAMF_DESKTOP_FILE_HINT=/x.desktop"_s, u"/snap/bin/firefox"_s};
        const QStringList flatpak{u"flatpak"_s, u"run"_s, u"org.mozilla.firefox"_s, u"@@u"_s, u"%u"_s, u"@@"_s};
        QTest::newRow("action") << u"x-browser"_s << QStringList{u"/usr/bin/x"_s, u"%u"_s}
                                << QStringList{u"/usr/bin/x"_s, u"--private"_s, u"-n"_s, u"%u"_s}
                                << QStringList{u"--private"_s, u"-n"_s} << cannot;
        QTest::newRow("Snap action") << u"firefox_firefox"_s << snap + QStringList{u"%u"_s}
                                     << snap + QStringList{u"--private-window"_s, u"%u"_s}
                                     << QStringList{u"--private-window"_s} << QStringList{u"--new-window"_s};
        QTest::newRow("Flatpak action")
            << u"org.mozilla.firefox"_s << flatpak
            << QStringList{u"flatpak"_s, u"run"_s, u"org.mozilla.firefox"_s, u"--private-window"_s, u"@@u"_s,
                           u"%u"_s,      u"@@"_s}
            << QStringList{u"--private-window"_s} << QStringList{u"--new-window"_s};
        QTest::newRow("action running something else, family then")
            << u"google-chrome"_s << QStringList{u"/opt/chrome"_s, u"%U"_s}
            << QStringList{u"sh"_s, u"-c"_s, u"chrome --incognito"_s} << QStringList{u"--incognito"_s}
            << QStringList{u"--new-window"_s};
        QTest::newRow("Firefox") << u"firefox-esr"_s << QStringList{u"/usr/lib/firefox-esr/firefox-esr"_s, u"%u"_s}
                                 << QStringList() << QStringList{u"--private-window"_s}
                                 << QStringList{u"--new-window"_s};
        QTest::newRow("Edge") << u"microsoft-edge"_s << QStringList{u"edge"_s} << QStringList()
                              << QStringList{u"--inprivate"_s} << QStringList{u"--new-window"_s};
        QTest::newRow("Opera") << u"opera"_s << QStringList{u"opera"_s} << QStringList() << QStringList{u"--private"_s}
                               << QStringList{u"--new-window"_s};
        QTest::newRow("GNOME Web") << u"org.gnome.Epiphany"_s << QStringList{u"epiphany"_s} << QStringList()
                                   << QStringList{u"--incognito-mode"_s} << QStringList{u"--new-window"_s};
        QTest::newRow("unknown") << u"x-browser"_s << QStringList{u"x"_s} << QStringList() << cannot << cannot;
    }

    void windowOptions()
    {
        QFETCH(QString, id);
        QFETCH(QStringList, exec);
        QFETCH(QStringList, privateExec);
        QFETCH(QStringList, privateOptions);
        QFETCH(QStringList, newOptions);
        DesktopEntry entry = fakeEntry(id, u"X"_s);
        entry.exec = exec;
        entry.privateWindowExec = privateExec;
        const auto expected = [](const QStringList& options) {
            return options == QStringList{u"-"_s} ? std::nullopt : std::optional<QStringList>(options);
        };
        QCOMPARE(BrowserWindows::windowOptions(entry, Destination::Window::privateWindow), expected(privateOptions));
        QCOMPARE(BrowserWindows::windowOptions(entry, Destination::Window::newWindow), expected(newOptions));
        QCOMPARE(BrowserWindows::windowOptions(entry, Destination::Window::usual), QStringList());
    }

    // The profile's options come first, then the window's, then the link: Firefox takes the link as the value of
    // --private-window.
    void profileAndWindowTogether()
    {
        qputenv("HOME", QFile::encodeName(m_home->path()));
        QVERIFY(QDir().mkpath(m_home->filePath(u".mozilla/firefox"_s)));
        TestFiles::write(m_home->filePath(u".mozilla/firefox/profiles.ini"_s),
                         "[Profile0]\nName=Work\nIsRelative=1\nPath=w.Work\n");
        m_catalog.browsers[1].exec = {u"/bin/true"_s, u"%u"_s};
        const Browsers::Browser firefox = browser(*m_catalog.application(u"firefox"_s));
        SystemBrowserLauncher launcher(m_catalog, m_launcher);
        launcher.open(u"https://e.com/"_s, firefox, u"w.Work"_s, Destination::Window::privateWindow, nullptr, nullptr);
        launcher.open(u"https://e.com/"_s, browser(m_chrome), std::nullopt, Destination::Window::newWindow, nullptr,
                      nullptr);
        QCOMPARE(m_launcher.spawns,
                 (QList<QStringList>{{u"/bin/true"_s, u"--profile"_s, m_home->filePath(u".mozilla/firefox/w.Work"_s),
                                      u"--private-window"_s, u"https://e.com/"_s},
                                     {u"/bin/true"_s, u"--new-window"_s, u"https://e.com/"_s}}));

        // A browser that cannot open the window gets the link as usual.
        QTest::ignoreMessage(QtWarningMsg,
                             "NetSurf cannot open links in a private window; opening it in its usual window");
        launcher.open(u"https://e.com/"_s, browser(*m_catalog.application(u"netsurf"_s)), std::nullopt,
                      Destination::Window::privateWindow, nullptr, nullptr);
        QTRY_COMPARE(m_launcher.opens.size(), 1);
        QCOMPARE(m_launcher.spawns.size(), 2);
    }

    void profileThatCannotBeHonouredFallsBackToAPlainOpen_data()
    {
        QTest::addColumn<QString>("desktopID");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("message");
        QTest::newRow("browser without profiles") << u"netsurf"_s << u"Default"_s << u"/bin/true"_s << QString();
        QTest::newRow("empty profile") << u"google-chrome"_s << QString() << u"/bin/true"_s << QString();
        QTest::newRow("profile the browser does not list")
            << u"google-chrome"_s << u"Profile 9"_s << u"/bin/true"_s << u"Google Chrome has no profile Profile 9"_s;
        QTest::newRow("executable missing")
            << u"google-chrome"_s << u"Default"_s << u"/nonexistent/chrome"_s
            << u"No executable inside Google Chrome; opening the link as its entry says"_s;
    }

    void profileThatCannotBeHonouredFallsBackToAPlainOpen()
    {
        QFETCH(QString, desktopID);
        QFETCH(QString, profile);
        QFETCH(QString, executable);
        QFETCH(QString, message);
        m_catalog.browsers[0].exec = {executable, u"%U"_s};
        if (!message.isEmpty())
            QTest::ignoreMessage(message.startsWith(u"No"_s) ? QtCriticalMsg : QtWarningMsg,
                                 QRegularExpression(message));
        SystemBrowserLauncher launcher(m_catalog, m_launcher);
        launcher.open(u"https://e.com/"_s, browser(*m_catalog.application(desktopID)), profile,
                      Destination::Window::usual, nullptr, nullptr);
        QVERIFY(m_launcher.spawns.isEmpty());
        QTRY_COMPARE(m_launcher.opens.size(), 1);
        QCOMPARE(m_launcher.opens[0].applicationPath, u"/apps/"_s + desktopID + u".desktop"_s);
    }

    // Links asked for in one turn leave together, consecutive ones for one browser in one launch, and
    // nothing overtakes a link asked for earlier.
    void plainOpensOfOneTurnLeaveTogetherInOrder()
    {
        const Browsers::Browser firefox = browser(*m_catalog.application(u"firefox"_s));
        std::optional<SystemBrowserLauncher> launcher(std::in_place, m_catalog, m_launcher);
        int settled = 0;
        launcher->onSettled = [&] { ++settled; };
        launcher->open(u"https://e.com/1"_s, firefox, nullptr);
        launcher->open(u"https://e.com/2"_s, firefox, std::nullopt, Destination::Window::usual, nullptr, nullptr);
        launcher->open(u"https://e.com/3"_s, browser(m_chrome), nullptr);
        launcher->open(u"https://e.com/4"_s, firefox, nullptr);
        QVERIFY(m_launcher.linksPerLaunch.isEmpty());
        QTRY_COMPARE(m_launcher.linksPerLaunch.size(), 3);
        QCOMPARE(m_launcher.linksPerLaunch,
                 (QList<QStringList>{
                     {u"https://e.com/1"_s, u"https://e.com/2"_s}, {u"https://e.com/3"_s}, {u"https://e.com/4"_s}}));
        QTRY_COMPARE(settled, 4);

        // A profile launch is immediate, so the plain links before it are sent first.
        launcher->open(u"https://e.com/5"_s, firefox, nullptr);
        launcher->open(u"https://e.com/6"_s, browser(m_chrome), u"Default"_s, Destination::Window::usual, nullptr,
                       nullptr);
        QCOMPARE(m_launcher.linksPerLaunch.size(), 4);
        QCOMPARE(m_launcher.linksPerLaunch.last(), QStringList{u"https://e.com/5"_s});
        QCOMPARE(m_launcher.spawns.size(), 1);

        // At the end of a hand-over what waits goes out at once, not at the end of the turn.
        launcher->open(u"https://e.com/7"_s, firefox, nullptr);
        launcher->open(u"https://e.com/8"_s, firefox, nullptr);
        launcher->launchWaiting();
        QCOMPARE(m_launcher.linksPerLaunch.last(), (QStringList{u"https://e.com/7"_s, u"https://e.com/8"_s}));

        // A launcher that goes away sends what it still holds.
        launcher->open(u"https://e.com/9"_s, firefox, nullptr);
        launcher.reset();
        QCOMPARE(m_launcher.linksPerLaunch.last(), QStringList{u"https://e.com/9"_s});
        QTRY_COMPARE(settled, 9);
    }

    // A hand-over's activation goes with its links' first launch and no other: links of another hand-over in the
    // same turn, its own links for another browser and the next turn's launches go without it.
    void activationGoesWithOneLaunchOfItsHandOver()
    {
        const Browsers::Browser firefox = browser(*m_catalog.application(u"firefox"_s));
        SystemBrowserLauncher launcher(m_catalog, m_launcher);
        const LaunchActivation first{u"T-1"_s, u"S-1"_s};
        const LaunchActivation second{u"T-2"_s, QString()};
        const HandOverActivation handOver = shareActivation(first);
        launcher.open(u"https://e.com/1"_s, firefox, std::nullopt, Destination::Window::usual, handOver, nullptr);
        launcher.open(u"https://e.com/2"_s, firefox, std::nullopt, Destination::Window::usual, handOver, nullptr);
        launcher.open(u"https://e.com/3"_s, firefox, std::nullopt, Destination::Window::usual, shareActivation(second),
                      nullptr);
        launcher.open(u"https://e.com/4"_s, firefox, std::nullopt, Destination::Window::usual, nullptr, nullptr);
        launcher.open(u"https://e.com/5"_s, browser(m_chrome), std::nullopt, Destination::Window::usual, handOver,
                      nullptr);
        QTRY_COMPARE(m_launcher.linksPerLaunch.size(), 4);
        QCOMPARE(m_launcher.linksPerLaunch, (QList<QStringList>{{u"https://e.com/1"_s, u"https://e.com/2"_s},
                                                                {u"https://e.com/3"_s},
                                                                {u"https://e.com/4"_s},
                                                                {u"https://e.com/5"_s}}));
        QCOMPARE(m_launcher.activations, (QList<LaunchActivation>{first, second, {}, {}}));

        // A profile launch spawns the browser itself, with the activation in its environment.
        const HandOverActivation later = shareActivation(second);
        launcher.open(u"https://e.com/6"_s, browser(m_chrome), u"Default"_s, Destination::Window::usual, later,
                      nullptr);
        launcher.open(u"https://e.com/7"_s, firefox, std::nullopt, Destination::Window::usual, later, nullptr);
        QTRY_COMPARE(m_launcher.activations.size(), 6);
        QCOMPARE(m_launcher.spawns.size(), 1);
        QCOMPARE(m_launcher.activations.mid(4), (QList<LaunchActivation>{second, {}}));
    }

    void failedLaunchReachesEveryLinkOfIt()
    {
        m_launcher.openError = u"No such browser"_s;
        const Browsers::Browser firefox = browser(*m_catalog.application(u"firefox"_s));
        SystemBrowserLauncher launcher(m_catalog, m_launcher);
        QStringList failed;
        launcher.open(u"https://e.com/1"_s, firefox, [&](const QString&) { failed << u"1"_s; });
        launcher.open(u"https://e.com/2"_s, firefox, [&](const QString&) { failed << u"2"_s; });
        QTRY_COMPARE(failed, (QStringList{u"1"_s, u"2"_s}));
        QCOMPARE(m_launcher.linksPerLaunch.size(), 1);
    }

    void failureReachesTheHandlerOnceAndLater()
    {
        m_launcher.openError = u"No such browser"_s;
        m_launcher.spawnError = u"Permission denied"_s;
        SystemBrowserLauncher launcher(m_catalog, m_launcher);
        int settled = 0;
        launcher.onSettled = [&] { ++settled; };
        QStringList errors;
        QTest::ignoreMessage(QtCriticalMsg, "Could not start Google Chrome: Permission denied");
        launcher.open(u"https://e.com/"_s, browser(m_chrome), u"Default"_s, Destination::Window::usual, nullptr,
                      [&](const QString& e) { errors << e; });
        QVERIFY(errors.isEmpty());
        QTRY_COMPARE(settled, 1);
        QCOMPARE(errors, QStringList{u"No such browser"_s}); // the open's error; the spawn's is only logged
        QTest::qWait(20);
        QCOMPARE(errors.size(), 1);
    }

    void textThatIsNotALinkIsRefused()
    {
        SystemBrowserLauncher launcher(m_catalog, m_launcher);
        QStringList errors;
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"not a link"_s));
        launcher.open(u"--remote-debugging-port=9222"_s, browser(m_chrome), u"Default"_s, Destination::Window::usual,
                      nullptr, [&](const QString& e) { errors << e; });
        QTRY_COMPARE(errors.size(), 1);
        QVERIFY(m_launcher.spawns.isEmpty() && m_launcher.opens.isEmpty());
    }

    // Starting a program with a longer argument fails ("Argument list too long") after the cost of trying,
    // so such a link is refused up front, also for a profile.
    void linkLongerThanOneArgumentIsRefused_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("refused");
        const QString start = u"https://e.com/?q="_s;
        const qsizetype room = ArgumentLimits::ofThisSystem().longestArgument - start.size();
        QTest::newRow("as long as an argument can be") << start + QString(room, u'a') << QString() << false;
        QTest::newRow("a byte longer") << start + QString(room + 1, u'a') << QString() << true;
        QTest::newRow("a byte longer, in a profile") << start + QString(room + 1, u'a') << u"Default"_s << true;
        QTest::newRow("counted in UTF-8") << start + QString(room / 2 + 1, u'ü') << QString() << true;
        QTest::newRow("20 MB") << start + QString(20'000'000, u'a') << QString() << true;
    }

    void linkLongerThanOneArgumentIsRefused()
    {
        QFETCH(QString, link);
        QFETCH(QString, profile);
        QFETCH(bool, refused);
        SystemBrowserLauncher launcher(m_catalog, m_launcher);
        QStringList errors;
        if (refused)
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^Refusing to hand Google Chrome a link of"_s));
        launcher.open(link, browser(m_chrome), profile, Destination::Window::usual, nullptr,
                      [&](const QString& error) { errors << error; });
        if (!refused) {
            QTRY_COMPARE(m_launcher.opens.size(), 1);
            return;
        }
        QTRY_COMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith(u"The link is too long to hand to a browser"_s), qPrintable(errors[0]));
        QVERIFY(m_launcher.spawns.isEmpty() && m_launcher.opens.isEmpty());
    }

    // All the arguments of one start share one limit: the links of one turn go out in as many launches as
    // it takes, still in order.
    void linksBeyondOneStartGoInSeveral()
    {
        const QString link = u"https://e.com/1"_s;
        SystemBrowserLauncher launcher(m_catalog, m_launcher, {1000, 3 * ArgumentLimits::argumentCost(link.size())});
        for (int i = 1; i <= 5; ++i)
            launcher.open(u"https://e.com/%1"_s.arg(i), browser(m_chrome), nullptr);
        QTRY_COMPARE(m_launcher.linksPerLaunch.size(), 2);
        QCOMPARE(m_launcher.linksPerLaunch,
                 (QList<QStringList>{{u"https://e.com/1"_s, u"https://e.com/2"_s, u"https://e.com/3"_s},
                                     {u"https://e.com/4"_s, u"https://e.com/5"_s}}));
    }

private:
    static Browsers::Browser browser(const DesktopEntry& entry) { return {entry.id, entry.name, entry.filePath}; }

    std::optional<QTemporaryDir> m_home;
    DesktopEntry m_chrome;
    FakeApplicationCatalog m_catalog;
    FakeApplicationLauncher m_launcher;
};

QTEST_GUILESS_MAIN(BrowserLauncherTest)
#include "tst_system_browser_launcher.moc"
