#include "support/sandbox/sandboxed_desktop.h"

#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

class SandboxedDesktopTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // As if the tests ran inside a desktop session that had just launched them.
        qputenv("DISPLAY", ":42");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        qputenv("GIO_LAUNCHED_DESKTOP_FILE", "/usr/share/applications/terminal.desktop");
        qputenv("GIO_LAUNCHED_DESKTOP_FILE_PID", "1");
        qputenv("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
        qputenv("LC_MESSAGES", "de_DE.UTF-8");
    }

    void init()
    {
        m_desktop.emplace();
        m_desktop->addBrowser({.id = u"alpha"_s, .name = u"Alpha"_s});
        m_desktop->addBrowser({.id = u"org.example.Beta"_s,
                               .location = FakeBrowser::Location::system,
                               .execStyle = FakeBrowser::ExecStyle::flatpak,
                               .executableName = u"beta"_s});
        m_desktop->addLinkherdEntry();
        m_desktop->refreshDesktopDatabase();
    }

    void gioListsOnlyTheSandboxesApplications()
    {
        // `gio mime` lists "Registered applications:", one tab-indented desktop file ID a line, then others.
        const QString out = m_desktop->run(u"gio"_s, {u"mime"_s, u"x-scheme-handler/https"_s}).out;
        QStringList registered;
        for (const QString& line : out.section(u"Registered applications:\n"_s, 1).split(u'\n')) {
            if (!line.startsWith(u'\t'))
                break;
            registered.append(line.trimmed());
        }
        registered.sort();
        // Linkherd's own entry is a valid handler, so code that must leave it out has something to leave out.
        QCOMPARE(registered,
                 (QStringList{u"alpha.desktop"_s, u"org.example.Beta.desktop"_s, u"org.linkherd.Linkherd.desktop"_s}));
    }

    void childrenSeeNothingOfTheHostSession()
    {
        const QProcessEnvironment environment = m_desktop->environment();
        for (const QString& name : {u"DISPLAY"_s, u"DBUS_SESSION_BUS_ADDRESS"_s, u"GIO_LAUNCHED_DESKTOP_FILE"_s,
                                    u"GIO_LAUNCHED_DESKTOP_FILE_PID"_s, u"LC_MESSAGES"_s})
            QVERIFY2(!environment.contains(name), qPrintable(name));
        QCOMPARE(environment.value(u"XDG_DATA_DIRS"_s), m_desktop->systemDataDirectory());
    }

    void fakeBrowserRecordsItsArgumentsExactly()
    {
        const QStringList arguments = {u"https://example.com/a b?q=\"x\"&r='y'#frag"_s,
                                       u"line\nbreak"_s,
                                       u"100% \\ $HOME `id` *"_s,
                                       u"Grüße, 世界 🌐"_s,
                                       QString(),
                                       u"--profile-directory=Profile 1"_s};
        const QString program = m_desktop->binDirectory() + u"/alpha"_s;
        QCOMPARE(m_desktop->run(program, arguments).exitCode, 0);
        const QList<SandboxedDesktop::Launch> launches = m_desktop->launches(u"alpha"_s);
        QCOMPARE(launches.size(), 1);
        QCOMPARE(launches[0].arguments, QStringList{program} + arguments);
        QCOMPARE(launches[0].environment.value(u"XDG_CONFIG_HOME"_s), m_desktop->configHome());
        QVERIFY(m_desktop->launches(u"org.example.Beta"_s).isEmpty());
    }

private:
    std::optional<SandboxedDesktop> m_desktop;
};

QTEST_GUILESS_MAIN(SandboxedDesktopTest)
#include "tst_sandboxed_desktop.moc"
