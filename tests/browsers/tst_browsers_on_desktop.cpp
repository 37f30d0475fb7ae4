#include "support/sandbox/sandboxed_desktop.h"
#include "support/test_files.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The browser commands of `linkherd` on a real (sandboxed) desktop: what GIO lists, launches and records.
class BrowsersOnDesktopTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_desktop.emplace();
        m_desktop->setLinkherdExecutable(QStringLiteral(LINKHERD_CLI_EXECUTABLE));
        m_desktop->setCurrentDesktop(u"GNOME"_s);
        m_desktop->addBrowser({.id = u"b10"_s, .name = u"Browser 10"_s, .location = FakeBrowser::Location::system});
        m_desktop->addBrowser({.id = u"b2"_s,
                               .name = u"Browser 2"_s,
                               .execStyle = FakeBrowser::ExecStyle::url,
                               .actions = {{u"new-private-window"_s, {u"--incognito-please"_s}}}});
        // The same ID in the system folder and the user's: the user's copy is the one that counts.
        m_desktop->addBrowser(
            {.id = u"shadowed"_s, .name = u"System Copy"_s, .location = FakeBrowser::Location::system});
        m_desktop->addBrowser({.id = u"shadowed"_s, .name = u"User Copy"_s});
        m_desktop->addBrowser({.id = u"hidden"_s, .name = u"Hidden"_s, .extraKeys = {{u"Hidden"_s, u"true"_s}}});
        m_desktop->addBrowser(
            {.id = u"nodisplay"_s, .name = u"No Display"_s, .extraKeys = {{u"NoDisplay"_s, u"true"_s}}});
        m_desktop->addBrowser(
            {.id = u"kde-only"_s, .name = u"KDE Only"_s, .extraKeys = {{u"OnlyShowIn"_s, u"KDE;"_s}}});
        m_desktop->addBrowser(
            {.id = u"google-chrome"_s, .name = u"Google Chrome"_s, .execArguments = {u"--enable-x"_s}});
        m_desktop->addBrowser({.id = u"org.chromium.Chromium"_s,
                               .name = u"Chromium"_s,
                               .execStyle = FakeBrowser::ExecStyle::flatpak,
                               .executableName = u"chromium"_s});
        // A Snap, whose folder is not in XDG_DATA_DIRS
        m_desktop->addBrowser({.id = u"chromium_chromium"_s,
                               .name = u"Chromium Snap"_s,
                               .location = FakeBrowser::Location::snap,
                               .executableName = u"chromium"_s});
        m_desktop->addBrowser(
            {.id = u"firefox-esr"_s, .name = u"Firefox ESR"_s, .execStyle = FakeBrowser::ExecStyle::url});
        m_desktop->addLinkherdEntry();
        m_desktop->refreshDesktopDatabase();

        writeLocalState(m_desktop->configHome() + u"/google-chrome"_s);
        writeLocalState(m_desktop->home() + u"/.var/app/org.chromium.Chromium/config/chromium"_s);
        QDir().mkpath(m_desktop->home() + u"/.mozilla/firefox"_s);
        TestFiles::write(m_desktop->home() + u"/.mozilla/firefox/profiles.ini"_s,
                         TestFiles::read(TestFiles::dataPath(u"profiles/firefox/profiles.ini"_s)));
    }

    void listsTheBrowsersInNameOrder()
    {
        const SandboxedDesktop::Run run = m_desktop->runLinkherd({u"browsers"_s});
        QCOMPARE(run.exitCode, 0);
        QStringList lines;
        for (const QString& line : run.out.split(u'\n', Qt::SkipEmptyParts))
            lines.append(line.section(u'\t', 0, 1));
        QCOMPARE(lines, QStringList({u"b2\tBrowser 2"_s, u"b10\tBrowser 10"_s, u"org.chromium.Chromium\tChromium"_s,
                                     u"chromium_chromium\tChromium Snap"_s, u"firefox-esr\tFirefox ESR"_s,
                                     u"google-chrome\tGoogle Chrome"_s, u"nodisplay\tNo Display"_s,
                                     u"shadowed\tUser Copy"_s}));
        QVERIFY(run.out.contains(u"\t"_s + m_desktop->desktopEntryPath(u"b2"_s) + u'\n'));
    }

    void reportsTheSystemDefault()
    {
        m_desktop->setDefaultBrowser(u"b10"_s);
        QCOMPARE(m_desktop->runLinkherd({u"browsers"_s, u"--default"_s}).out.section(u'\t', 0, 1),
                 u"b10\tBrowser 10"_s);
        m_desktop->setDefaultBrowser(u"org.linkherd.Linkherd"_s);
        QCOMPARE(m_desktop->runLinkherd({u"browsers"_s, u"--default"_s}).exitCode, 1);
    }

    // A link leaves as one argument, whatever it holds; a profile is named by the name the browser shows, found
    // where each kind of install keeps it; a new or private window is opened as the entry's action says, else as
    // the browser's family does. None of Linkherd's own launch variables reaches the browser. The commands
    // for a profile by its directory and for a profile and a window together are tst_system_browser_launcher's.
    void opens_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("launched"); // "~" for HOME
        const QString link = u"https://example.com/a%20b?q=1&r=ü#frag"_s;
        QTest::newRow("native, by name") << QStringList{u"--in"_s, u"google-chrome"_s, u"--profile"_s, u"Work"_s}
                                         << u"google-chrome"_s
                                         << QStringList{u"--enable-x"_s, u"--profile-directory=Profile 2"_s, link};
        QTest::newRow("flatpak, by name")
            << QStringList{u"--in"_s, u"org.chromium.Chromium"_s, u"--profile"_s, u"Work"_s}
            << u"org.chromium.Chromium"_s
            << QStringList{u"run"_s,
                           u"--branch=stable"_s,
                           u"--arch=x86_64"_s,
                           u"--command=chromium"_s,
                           u"--file-forwarding"_s,
                           u"org.chromium.Chromium"_s,
                           u"--profile-directory=Profile 2"_s,
                           u"@@u"_s,
                           link,
                           u"@@"_s};
        QTest::newRow("Firefox, by name")
            << QStringList{u"--in"_s, u"firefox-esr"_s, u"--profile"_s, u"Work"_s} << u"firefox-esr"_s
            << QStringList{u"--profile"_s, u"~/.mozilla/firefox/w0rk.Work"_s, link};
        QTest::newRow("entry's action") << QStringList{u"--in"_s, u"b2"_s, u"--window"_s, u"private"_s} << u"b2"_s
                                        << QStringList{u"--incognito-please"_s, link};
        QTest::newRow("Chromium Snap, new window")
            << QStringList{u"--in"_s, u"chromium_chromium"_s, u"--window"_s, u"new"_s} << u"chromium_chromium"_s
            << QStringList{u"--new-window"_s, link};
    }

    void opens()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, id);
        QFETCH(QStringList, launched);
        // As when the desktop started Linkherd itself: none of this may reach a browser.
        const QStringList ownVariables{u"GIO_LAUNCHED_DESKTOP_FILE"_s, u"DESKTOP_STARTUP_ID"_s,
                                       u"XDG_ACTIVATION_TOKEN"_s};
        for (const QString& name : ownVariables)
            m_desktop->setEnvironmentVariable(name, u"Linkherd's own"_s);
        const SandboxedDesktop::Run run =
            m_desktop->runLinkherd(QStringList{u"open"_s, u"https://example.com/a%20b?q=1&r=ü#frag"_s} + arguments);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        const QList<SandboxedDesktop::Launch> launches = m_desktop->waitForLaunches(id, 1);
        QCOMPARE(launches.size(), 1);
        QCOMPARE(launches[0].arguments.mid(1), launched.replaceInStrings(u"~"_s, m_desktop->home()));
        for (const QString& name : ownVariables)
            QVERIFY2(launches[0].environment.value(name) != u"Linkherd's own"_s, qPrintable(name));
    }

    // A browser without profiles has none to list; an ID that is no installed browser is an error. What a
    // family's profiles are is tst_browser_profiles', how they are printed tst_rule_edit_cli's.
    void profilesOfABrowserWithoutThemOrNotInstalled()
    {
        const SandboxedDesktop::Run none = m_desktop->runLinkherd({u"profiles"_s, u"b2"_s});
        QCOMPARE(none.out + none.err, QString());
        QCOMPARE(none.exitCode, 0);
        const SandboxedDesktop::Run missing = m_desktop->runLinkherd({u"profiles"_s, u"nosuch"_s});
        QCOMPARE(missing.out + missing.err, u"linkherd: nosuch is not an installed browser\n"_s);
        QCOMPARE(missing.exitCode, 1);
    }

    // Nothing starts, and the tool says why on a line of its own (how a usage error goes on is tst_cli's).
    void refusesWhatItCannotOpen_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString link = u"https://e.com/"_s;
        QTest::newRow("an option") << QStringList{u"open"_s, u"--"_s, u"-private"_s, u"--in"_s, u"b2"_s} << 2
                                   << QString();
        QTest::newRow("not a link") << QStringList{u"open"_s, u"-x:1"_s, u"--in"_s, u"b2"_s} << 1
                                    << u"This is not a link a browser can open."_s;
        QTest::newRow("not installed") << QStringList{u"open"_s, link, u"--in"_s, u"hidden"_s} << 1
                                       << u"hidden is not an installed browser"_s;
        QTest::newRow("no such profile")
            << QStringList{u"open"_s, link, u"--in"_s, u"google-chrome"_s, u"--profile"_s, u"Profile 9"_s} << 1
            << u"Google Chrome has no profile “Profile 9” ('linkherd profiles google-chrome' lists them)"_s;
        QTest::newRow("a window the browser cannot open")
            << QStringList{u"open"_s, link, u"--in"_s, u"b2"_s, u"--window"_s, u"new"_s} << 1
            << u"Browser 2 cannot open links in a new window"_s;
        QTest::newRow("a window that does not exist")
            << QStringList{u"open"_s, link, u"--in"_s, u"b2"_s, u"--window"_s, u"incognito"_s} << 2
            << u"--window takes usual, new or private"_s;
        QTest::newRow("a browser without profiles")
            << QStringList{u"open"_s, link, u"--in"_s, u"b2"_s, u"--profile"_s, u"Work"_s} << 1
            << u"Browser 2 has no profiles to open a link in"_s;
    }

    void refusesWhatItCannotOpen()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const SandboxedDesktop::Run run = m_desktop->runLinkherd(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.startsWith(u"linkherd: "_s) &&
                     (message.isEmpty() || run.err.split(u'\n').contains(u"linkherd: "_s + message)),
                 qPrintable(run.err));
        QTest::qWait(200);
        QVERIFY(m_desktop->launches(u"b2"_s).isEmpty());
        QVERIFY(m_desktop->launches(u"google-chrome"_s).isEmpty());
    }

private:
    static void writeLocalState(const QString& directory)
    {
        QDir().mkpath(directory);
        TestFiles::write(directory + u"/Local State"_s,
                         R"({"browser": {"enabled_labs_experiments": []}, "profile": {"info_cache": {
                             "Profile 2": {"name": "Work", "avatar_icon": "x"}, "Default": {"name": "Person 1"}}}})");
    }

    std::optional<SandboxedDesktop> m_desktop;
};

QTEST_GUILESS_MAIN(BrowsersOnDesktopTest)
#include "tst_browsers_on_desktop.moc"
