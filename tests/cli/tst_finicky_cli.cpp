#include "cli/cli.h"
#include "interchange/finicky_report.h"
#include "routing/rules_codec.h"
#include "support/cli_run.h"
#include "support/fakes/fake_platform.h"
#include "support/sandbox/sandboxed_desktop.h"
#include "support/test_files.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString fixture(const QString& name)
{
    return TestFiles::dataPath(u"finicky/"_s + name);
}

} // namespace

class FinickyCliTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_directory.isValid());
        m_rules = m_directory.filePath(u"rules.json"_s);
        m_brokenRules = m_directory.filePath(u"broken.json"_s);
        TestFiles::write(m_brokenRules, "{ \"rules\": [");
        // No browser profiles of the machine's own user.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_directory.filePath(u"config"_s)));
        m_catalog.browsers = {fakeEntry(u"firefox"_s, u"Firefox"_s), fakeEntry(u"google-chrome"_s, u"Google Chrome"_s),
                              fakeEntry(u"org.chromium.Chromium"_s, u"Chromium"_s)};
    }

    void init() { TestFiles::write(m_rules, TestFiles::read(fixture(u"linkherd_rules.json"_s))); }

    // Without an option the import is printed, as the report the rules window reads, and nothing saved.
    void printsTheImport()
    {
        const CliRun result = run({u"finicky"_s, u"import"_s, fixture(u"everyday.js"_s)});
        QCOMPARE(result.err, QString());
        QCOMPARE(result.status, 0);
        const Result<FinickyConfig::Imported> printed = FinickyConfig::readReport(result.out.toUtf8());
        QVERIFY2(printed, qPrintable(printed.error()));
        QCOMPARE(printed->rules.size(), 7);
        QCOMPARE(printed->notes.size(), 3);
        QCOMPARE(printed->fallback, Destination::browser(u"firefox"_s));
        QCOMPARE(TestFiles::read(m_rules), TestFiles::read(fixture(u"linkherd_rules.json"_s)));
    }

    void addAppendsAndKeepsTheRest()
    {
        expectCli({u"finicky"_s, u"import"_s, fixture(u"modern.js"_s), u"--add"_s}, 0, u"Added 6 rules.\n"_s, QString(),
                  m_rules, CliServices{&m_catalog});
        const Result<RulesDocument> saved = RulesCodec::decode(TestFiles::read(m_rules));
        QCOMPARE(saved->rules.size(), 7);
        QCOMPARE(saved->rules[0].pattern, u"github.com"_s);
        QCOMPARE(saved->fallback, Destination::browser(u"org.example.Fox"_s));
        QVERIFY(saved->rewriter && saved->rewriter->upgradesToHTTPS);
    }

    // The fallback too when the configuration names a browser; the notes go to the error stream.
    void replaceTakesTheRulesAndAnyFallback()
    {
        const CliRun result = run({u"finicky"_s, u"import"_s, u"--replace"_s, fixture(u"notes.js"_s)});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, u"Replaced the rules with 4 rules; the fallback is now “Ask every time”.\n"_s);
        QCOMPARE(result.err.count(u"note: "_s), 7);
        QVERIFY(result.err.startsWith(u"note: No browser named “Netscape” is installed."_s));
        Result<RulesDocument> saved = RulesCodec::decode(TestFiles::read(m_rules));
        QCOMPARE(saved->rules[0].pattern, u"a.example"_s);
        QCOMPARE(saved->fallback, Destination::ask());

        // On the rules file as it was, a default browser chosen by a function leaves the fallback alone.
        init();
        QCOMPARE(run({u"finicky"_s, u"import"_s, u"--replace"_s, fixture(u"mended.js"_s)}).out,
                 u"Replaced the rules with 4 rules.\n"_s);
        saved = RulesCodec::decode(TestFiles::read(m_rules));
        QCOMPARE(saved->rules.size(), 4);
        QCOMPARE(saved->fallback, Destination::browser(u"org.example.Fox"_s));
    }

    // A Finicky file or a rules file that will not do is an error, and changes nothing. (Wrong command lines are
    // in tests/data/cli/refused.txt; what the evaluation refuses, in tst_finicky_import.)
    void failuresChangeNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        const QStringList command{u"finicky"_s, u"import"_s};
        QTest::newRow("TypeScript") << command + QStringList{fixture(u"typescript.ts"_s), u"--replace"_s}
                                    << u"linkherd: That file is not valid JavaScript: SyntaxError: import "
                                       u"declarations may only appear at top level of a module at line 1\n"_s;
        QTest::newRow("not UTF-8") << command + QStringList{fixture(u"latin1.js"_s)}
                                   << u"linkherd: That file is not valid JavaScript: the file is not UTF-8 text\n"_s;
        QTest::newRow("missing file") << command + QStringList{u"/nonexistent/finicky.js"_s, u"--add"_s}
                                      << u"linkherd: That file is not valid JavaScript: No such file or directory\n"_s;
        const QString large = m_directory.filePath(u"large.js"_s);
        TestFiles::write(large, "");
        QVERIFY(QFile::resize(large, qint64(16) * 1024 * 1024 + 1)); // sparse
        QTest::newRow("over 16 MiB") << command + QStringList{large}
                                     << u"linkherd: That file is not valid JavaScript: Larger than 16 MiB\n"_s;
        QTest::newRow("unreadable rules file")
            << QStringList{u"--rules"_s, m_brokenRules} + command + QStringList{fixture(u"everyday.js"_s), u"--add"_s}
            << u"linkherd: "_s + m_brokenRules + u": not valid JSON at line 1, column 13: unterminated array\n"_s;

        const QString nowhere = m_directory.filePath(u"no/such/folder/finicky.js"_s);
        const QStringList exportTo{u"finicky"_s, u"export"_s, u"--output"_s};
        QTest::newRow("export onto the rules file") << exportTo + QStringList{m_directory.filePath(u"./rules.json"_s)}
                                                    << u"linkherd: "_s + m_directory.filePath(u"./rules.json"_s) +
                                                           u" is the rules file; choose another file to export to\n"_s;
        QTest::newRow("export into a missing folder")
            << exportTo + QStringList{nowhere} << u"linkherd: "_s + nowhere + u": No such file or directory\n"_s;
    }

    void failuresChangeNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const CliRun result = run(arguments);
        QCOMPARE(result.status, 1);
        QCOMPARE(result.err, error);
        QCOMPARE(result.out, QString());
        QCOMPARE(TestFiles::read(m_rules), TestFiles::read(fixture(u"linkherd_rules.json"_s)));
        QCOMPARE(TestFiles::read(m_brokenRules), "{ \"rules\": [");
        QVERIFY(!QFile::exists(m_directory.filePath(u"no"_s)));
    }

    // Browsers are looked up among the installed ones.
    void needsADesktop()
    {
        expectCli({u"finicky"_s, u"import"_s, fixture(u"everyday.js"_s)}, 1, QString(),
                  u"linkherd: finicky import needs a desktop to work with\n"_s, m_rules);
    }

    // The installed tool on a sandboxed desktop: browsers from the desktop entries, the rules file from
    // XDG_CONFIG_HOME.
    void executableImportsIntoTheDefaultRulesFile()
    {
        SandboxedDesktop desktop;
        desktop.setLinkherdExecutable(QStringLiteral(LINKHERD_CLI_EXECUTABLE));
        desktop.addBrowser({.id = u"firefox"_s, .name = u"Firefox"_s});
        desktop.addBrowser({.id = u"google-chrome"_s, .name = u"Google Chrome"_s});
        desktop.refreshDesktopDatabase();
        const SandboxedDesktop::Run result =
            desktop.runLinkherd({u"finicky"_s, u"import"_s, fixture(u"everyday.js"_s), u"--replace"_s});
        QCOMPARE(result.err.count(u"note: "_s), 4);
        QCOMPARE(result.out, u"Replaced the rules with 7 rules; the fallback is now firefox.\n"_s);
        QCOMPARE(result.exitCode, 0);
        const Result<RulesDocument> saved =
            RulesCodec::decode(TestFiles::read(desktop.configHome() + u"/linkherd/rules.json"_s));
        QVERIFY(saved);
        QCOMPARE(saved->rules.size(), 7);
    }

private:
    CliRun run(const QStringList& arguments) { return runCliInProcess(arguments, m_rules, CliServices{&m_catalog}); }

    QTemporaryDir m_directory;
    QString m_rules;
    QString m_brokenRules;
    FakeApplicationCatalog m_catalog;
};

QTEST_GUILESS_MAIN(FinickyCliTest)
#include "tst_finicky_cli.moc"
