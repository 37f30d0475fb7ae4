#include "support/sandbox/sandboxed_desktop.h"
#include "support/test_files.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

enum class Breakage {
    none,
    browserVariable,
    userList,
    desktopSpecificList,
    kdeBrowserApplication,
    serviceFileMissing,
    serviceRunsAnotherProgram,
    installedService,
    olderInstalledService,
};

} // namespace

Q_DECLARE_METATYPE(Breakage)

// `linkherd doctor` on sandboxed desktops where Linkherd is the default everywhere but in one layer.
class DoctorTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_desktop.emplace();
        m_desktop->setLinkherdExecutable(QStringLiteral(LINKHERD_CLI_EXECUTABLE));
        m_desktop->addBrowser({.id = u"fake"_s, .name = u"Fake"_s});
        m_desktop->addLinkherdEntry();
        m_desktop->refreshDesktopDatabase();
        m_desktop->setDefaultBrowser(u"org.linkherd.Linkherd"_s);
    }

    void eachLayerDisagreeingInTurn_data()
    {
        QTest::addColumn<Breakage>("breakage");
        // The beginning of the one line that reports the problem, or of the last line when there is none.
        QTest::addColumn<QString>("problemLine");
        QTest::addColumn<int>("problems");
        QTest::addColumn<int>("exitAfterFix");

        const QString agree = u"Web links reach Linkherd everywhere."_s;
        QTest::newRow("all agree") << Breakage::none << agree << 0 << 0;
        QTest::newRow("all agree, started by the bus") << Breakage::installedService << agree << 0 << 0;
        QTest::newRow("all agree, the bus starts linkherd-app") << Breakage::olderInstalledService << agree << 0 << 0;
        // xdg-settings follows $BROWSER on a desktop it does not know.
        QTest::newRow("$BROWSER set") << Breakage::browserVariable << u"$BROWSER: fake:\\nx\\x1b[2J: "_s << 2 << 1;
        // xdg-settings, GIO (both schemes) and the list itself all name the other browser.
        QTest::newRow("the user's list names another")
            << Breakage::userList << u"GIO default for x-scheme-handler/https: Fake (fake.desktop): "_s << 5 << 0;
        QTest::newRow("a desktop-specific list names another")
            << Breakage::desktopSpecificList
            << u"{config}/gnome-mimeapps.list: x-scheme-handler/http=fake.desktop, decides: "_s << 5 << 0;
        QTest::newRow("KDE names another")
            << Breakage::kdeBrowserApplication << u"KDE BrowserApplication: fake.desktop: "_s << 1 << 0;
        QTest::newRow("the bus cannot start Linkherd")
            << Breakage::serviceFileMissing << u"D-Bus service: not found: "_s << 1 << 1;
        QTest::newRow("two installations")
            << Breakage::serviceRunsAnotherProgram << u"D-Bus service: {service} runs /usr/bin/true: "_s << 1 << 1;
    }

    void eachLayerDisagreeingInTurn()
    {
        QFETCH(Breakage, breakage);
        QFETCH(QString, problemLine);
        QFETCH(int, problems);
        QFETCH(int, exitAfterFix);
        const QString service = m_desktop->dataHome() + u"/dbus-1/services/org.linkherd.Linkherd.service"_s;
        switch (breakage) {
        case Breakage::none:
            break;
        case Breakage::browserVariable:
            // One line however it is set, and nothing for the terminal to obey.
            m_desktop->setEnvironmentVariable(u"BROWSER"_s, u"fake:\nx\x1b[2J"_s);
            break;
        case Breakage::userList:
            m_desktop->setDefaultBrowser(u"fake"_s);
            break;
        case Breakage::desktopSpecificList:
            m_desktop->setCurrentDesktop(u"GNOME"_s);
            m_desktop->setDefaultBrowser(u"fake"_s, SandboxedDesktop::MimeappsList::desktopSpecific);
            break;
        case Breakage::kdeBrowserApplication:
            m_desktop->setCurrentDesktop(u"KDE"_s);
            TestFiles::write(m_desktop->kdeglobalsPath(), "[General]\nBrowserApplication=fake.desktop\n");
            break;
        case Breakage::serviceFileMissing:
        case Breakage::serviceRunsAnotherProgram:
        case Breakage::installedService:
        case Breakage::olderInstalledService: {
            const QString entry = m_desktop->desktopEntryPath(u"org.linkherd.Linkherd"_s);
            TestFiles::write(entry, TestFiles::read(entry) + "DBusActivatable=true\n");
            QDir().mkpath(QFileInfo(service).absolutePath());
            if (breakage == Breakage::serviceRunsAnotherProgram)
                TestFiles::write(service, "[D-BUS Service]\nName=org.linkherd.Linkherd\nExec=/usr/bin/true --x\n");
            if (breakage == Breakage::installedService || breakage == Breakage::olderInstalledService) {
                // As the installation writes it: the program's path in single quotes. The bus starts the resident
                // beside linkherd-app (in a build tree) or, as earlier installations had it, linkherd-app.
                QString program = m_desktop->run(u"sh"_s, {u"-c"_s, u"command -v linkherd-app"_s}).out.trimmed();
                if (breakage == Breakage::installedService) {
                    const QString resident = QFileInfo(program).absolutePath() + u"/linkherd-resident"_s;
                    QVERIFY(QFile::copy(program, resident));
                    program = resident;
                }
                TestFiles::write(service, "[D-BUS Service]\nName=org.linkherd.Linkherd\nExec='" + program.toUtf8() +
                                              "' --background\n");
            }
            break;
        }
        }

        const SandboxedDesktop::Run run = m_desktop->runLinkherd({u"doctor"_s});
        QCOMPARE(run.exitCode, problems == 0 ? 0 : 1);
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        const QStringList problemLines = lines.filter(u"; fix: "_s);
        QVERIFY2(problemLines.size() == problems, qPrintable(run.out));
        for (const QString& line : lines.mid(0, lines.size() - 1))
            QVERIFY2(line.endsWith(u": ok"_s) || line.contains(u"; fix: "_s), qPrintable(line));
        const QString expected =
            QString(problemLine).replace(u"{config}"_s, m_desktop->configHome()).replace(u"{service}"_s, service);
        const QStringList found = problems == 0 ? lines.mid(lines.size() - 1) : problemLines.filter(expected);
        QVERIFY2(!found.isEmpty() && found.front().startsWith(expected), qPrintable(run.out));

        // --fix claims all but $BROWSER and the installation, and says so in the same run.
        const SandboxedDesktop::Run fixed = m_desktop->runLinkherd({u"doctor"_s, u"--fix"_s});
        QVERIFY2(fixed.exitCode == exitAfterFix, qPrintable(fixed.out + fixed.err));
        QCOMPARE(m_desktop->runLinkherd({u"doctor"_s}).exitCode, exitAfterFix);
    }

private:
    std::optional<SandboxedDesktop> m_desktop;
};

QTEST_GUILESS_MAIN(DoctorTest)
#include "tst_doctor.moc"
