#include "cli/cli.h"
#include "routing/rules_codec.h"
#include "support/cli_run.h"
#include "support/fakes/fake_platform.h"
#include "support/sandbox/sandboxed_desktop.h"
#include "support/test_files.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
        m_output = m_directory.filePath(u"finicky.js"_s);
        TestFiles::write(m_brokenRules, "{ \"rules\": [");
        // No browser profiles of the machine's own user.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_directory.filePath(u"config"_s)));
        m_catalog.browsers = {fakeEntry(u"firefox"_s, u"Firefox"_s), fakeEntry(u"google-chrome"_s, u"Google Chrome"_s),
                              fakeEntry(u"org.chromium.Chromium"_s, u"Chromium"_s)};
    }

    void init()
    {
        TestFiles::write(m_rules, TestFiles::read(fixture(u"linkherd_rules.json"_s)));
        TestFiles::write(m_output, "// mine");
    }

    // Without an option the import is printed, rules and fallback in the rules file's form, and nothing saved.
    void printsTheImport()
    {
        const CliRun result = run({u"finicky"_s, u"import"_s, fixture(u"everyday.js"_s)});
        QCOMPARE(result.err, QString());
        QCOMPARE(result.status, 0);
        const QJsonObject printed = QJsonDocument::fromJson(result.out.toUtf8()).object();
        QCOMPARE(printed.keys(), QStringList({u"fallback"_s, u"notes"_s, u"rules"_s}));
        QCOMPARE(printed.value(u"notes"_s).toArray().size(), 3);
        const QJsonObject document{
            {u"version"_s, 1}, {u"rules"_s, printed.value(u"rules"_s)}, {u"fallback"_s, printed.value(u"fallback"_s)}};
        const Result<RulesDocument> decoded = RulesCodec::decode(QJsonDocument(document).toJson());
        QVERIFY2(decoded, qPrintable(decoded.error()));
        QCOMPARE(decoded->fallback, Destination::browser(u"firefox"_s));
        QCOMPARE(decoded->rules.size(), 7);
        QCOMPARE(decoded->rules[0].destination, Destination::browser(u"google-chrome"_s, u"Work"_s));
        QVERIFY(result.out.contains(uR"("pattern": "example\\.com\\\/path")"_s));
        QCOMPARE(TestFiles::read(m_rules), TestFiles::read(fixture(u"linkherd_rules.json"_s)));

        const CliRun withoutFallback = run({u"finicky"_s, u"import"_s, fixture(u"mended.js"_s)});
        QVERIFY(withoutFallback.out.startsWith(u"{\n    \"fallback\": null,\n    \"notes\": [\n"_s));
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
        QCOMPARE(saved->rules.size(), 4);
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

    // Every Finicky command refused, whether its command line or its files are wrong.
    void failuresChangeNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        const QStringList command{u"finicky"_s, u"import"_s};
        const QString typescript = fixture(u"typescript.ts"_s);
        const QString usage = u"\nUsage: linkherd [--rules PATH] finicky import FILE [--add | --replace]\n"
                              u"Try 'linkherd help finicky import' for more.\n"_s;
        QTest::newRow("TypeScript") << command + QStringList{typescript, u"--replace"_s} << 1
                                    << u"linkherd: That file is not valid JavaScript: SyntaxError: import "
                                       u"declarations may only appear at top level of a module at line 1\n"_s;
        QTest::newRow("not a configuration")
            << command + QStringList{fixture(u"options_only.js"_s), u"--add"_s} << 1
            << u"linkherd: That file does not look like a Finicky config — no handlers were found in it.\n"_s;
        QTest::newRow("not UTF-8") << command + QStringList{fixture(u"latin1.js"_s)} << 1
                                   << u"linkherd: That file is not valid JavaScript: the file is not UTF-8 text\n"_s;
        QTest::newRow("missing file") << command + QStringList{u"/nonexistent/finicky.js"_s, u"--add"_s} << 1
                                      << u"linkherd: That file is not valid JavaScript: No such file or directory\n"_s;
        const QString large = m_directory.filePath(u"large.js"_s);
        TestFiles::write(large, "");
        QVERIFY(QFile::resize(large, qint64(16) * 1024 * 1024 + 1)); // sparse
        QTest::newRow("over 16 MiB") << command + QStringList{large} << 1
                                     << u"linkherd: That file is not valid JavaScript: Larger than 16 MiB\n"_s;
        QTest::newRow("unreadable rules file")
            << QStringList{u"--rules"_s, m_brokenRules} + command + QStringList{fixture(u"everyday.js"_s), u"--add"_s}
            << 1 << u"linkherd: "_s + m_brokenRules + u": not valid JSON at line 1, column 13: unterminated array\n"_s;
        QTest::newRow("no file") << command + QStringList{u"--add"_s} << 2
                                 << u"linkherd: finicky import takes one file"_s + usage;
        QTest::newRow("both options") << command + QStringList{typescript, u"--add"_s, u"--replace"_s} << 2
                                      << u"linkherd: --add and --replace exclude each other"_s + usage;

        const QString commands = u"\nTry 'linkherd help' for the commands.\n"_s;
        const QString locateUsage =
            u"\nUsage: linkherd finicky locate\nTry 'linkherd help finicky locate' for more.\n"_s;
        const QString exportUsage = u"\nUsage: linkherd [--rules PATH] finicky export [--output FILE]\n"
                                    u"Try 'linkherd help finicky export' for more.\n"_s;
        const QString broken = TestFiles::dataPath(u"rules/match_wrong_case.json"_s);
        const QString brokenError =
            u"linkherd: "_s + broken + u": rules[1].match: \"Host\" is not one of host, urlContains, regex\n"_s;
        const QString nowhere = m_directory.filePath(u"no/such/folder/finicky.js"_s);
        const QStringList exportTo{u"finicky"_s, u"export"_s, u"--output"_s};
        QTest::newRow("unknown Finicky command")
            << QStringList{u"finicky"_s, u"frob"_s} << 2 << u"linkherd: unknown finicky command frob"_s + commands;
        QTest::newRow("locate with an argument") << QStringList{u"finicky"_s, u"locate"_s, u"x"_s} << 2
                                                 << u"linkherd: finicky locate takes no arguments"_s + locateUsage;
        QTest::newRow("export with an argument") << QStringList{u"finicky"_s, u"export"_s, m_output} << 2
                                                 << u"linkherd: finicky export takes options only"_s + exportUsage;
        QTest::newRow("output without a file") << exportTo << 2 << u"linkherd: --output needs a value"_s + exportUsage;
        QTest::newRow("empty output") << QStringList{u"finicky"_s, u"export"_s, u"--output="_s} << 2
                                      << u"linkherd: --output needs a file"_s + exportUsage;
        QTest::newRow("export of unreadable rules")
            << QStringList{u"--rules"_s, broken} + exportTo + QStringList{m_output} << 1 << brokenError;
        QTest::newRow("export onto the rules file")
            << exportTo + QStringList{m_directory.filePath(u"./rules.json"_s)} << 1
            << u"linkherd: "_s + m_directory.filePath(u"./rules.json"_s) +
                   u" is the rules file; choose another file to export to\n"_s;
        QTest::newRow("export into a missing folder")
            << exportTo + QStringList{nowhere} << 1 << u"linkherd: "_s + nowhere + u": No such file or directory\n"_s;
    }

    void failuresChangeNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, error);
        const CliRun result = run(arguments);
        QCOMPARE(result.status, status);
        QCOMPARE(result.err, error);
        QCOMPARE(result.out, QString());
        QCOMPARE(TestFiles::read(m_rules), TestFiles::read(fixture(u"linkherd_rules.json"_s)));
        QCOMPARE(TestFiles::read(m_brokenRules), "{ \"rules\": [");
        QCOMPARE(TestFiles::read(m_output), "// mine");
        QVERIFY(!QFile::exists(m_directory.filePath(u"no"_s)));
    }

    // Browsers are looked up among the installed ones.
    void needsADesktop()
    {
        const CliRun result = run({u"finicky"_s, u"import"_s, fixture(u"everyday.js"_s)}, CliServices{});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.err, u"linkherd: finicky import needs a desktop to work with\n"_s);
    }

    // The installed tool on a sandboxed desktop: browsers from the desktop entries, profiles from the
    // browser's own files, the rules file from XDG_CONFIG_HOME.
    void executableImportsIntoTheDefaultRulesFile()
    {
        SandboxedDesktop desktop;
        desktop.setLinkherdExecutable(QStringLiteral(LINKHERD_CLI_EXECUTABLE));
        desktop.addBrowser({.id = u"firefox"_s, .name = u"Firefox"_s});
        desktop.addBrowser({.id = u"google-chrome"_s, .name = u"Google Chrome"_s});
        desktop.refreshDesktopDatabase();
        QVERIFY(QDir().mkpath(desktop.configHome() + u"/google-chrome"_s));
        TestFiles::write(desktop.configHome() + u"/google-chrome/Local State"_s,
                         TestFiles::read(fixture(u"local_state.json"_s)));

        const SandboxedDesktop::Run result =
            desktop.runLinkherd({u"finicky"_s, u"import"_s, fixture(u"everyday.js"_s), u"--replace"_s});
        QCOMPARE(result.err.count(u"note: "_s), 4);
        QCOMPARE(result.out, u"Replaced the rules with 7 rules; the fallback is now firefox.\n"_s);
        QCOMPARE(result.exitCode, 0);
        const Result<RulesDocument> saved =
            RulesCodec::decode(TestFiles::read(desktop.configHome() + u"/linkherd/rules.json"_s));
        QVERIFY(saved);
        QCOMPARE(saved->rules.size(), 7);
        QCOMPARE(saved->rules[0].destination, Destination::browser(u"google-chrome"_s, u"Profile 2"_s));
        QCOMPARE(saved->fallback, Destination::browser(u"firefox"_s));
    }

private:
    CliRun run(const QStringList& arguments, std::optional<CliServices> services = std::nullopt)
    {
        return runCliInProcess(arguments, m_rules, services.value_or(CliServices{&m_catalog}));
    }

    QTemporaryDir m_directory;
    QString m_rules;
    QString m_brokenRules;
    QString m_output; // where an export would go: "// mine", which no failure may touch
    FakeApplicationCatalog m_catalog;
};

QTEST_GUILESS_MAIN(FinickyCliTest)
#include "tst_finicky_cli.moc"
