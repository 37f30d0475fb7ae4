#include "cli/cli.h"
#include "cli/command.h"
#include "routing/rule_store.h"
#include "routing/rules_codec.h"
#include "routing/rules_file.h"
#include "support/cli_run.h"
#include "support/test_files.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

CliRun run(const QStringList& arguments, const QString& defaultRulesPath)
{
    return runCliInProcess(arguments, defaultRulesPath);
}

const QByteArray rulesJson = R"({
  "fallback": {"browser": {"bundleID": "firefox-esr"}},
  "rewriter": {"parameters": ["utm_*"], "stripsTrackingParameters": true, "upgradesToHTTPS": true},
  "rules": [
    {"id": "6F1C2A9E-0B7D-4C3A-9E55-1D2B3C4D5E6F", "isEnabled": true, "match": "host", "pattern": "github.com",
     "sourceBundleIDs": ["org.gnome.Evolution"], "destination": {"browser": {"bundleID": "chromium", "profile": "Work"}}},
    {"id": "7F1C2A9E-0B7D-4C3A-9E55-1D2B3C4D5E6F", "isEnabled": true, "match": "urlContains", "pattern": "utm_source",
     "sourceBundleIDs": [], "destination": {"ask": {}}}
  ],
  "version": 1
})";

// The first block of the README in that language ("" for plain text) that begins with this text; empty when there is
// none.
QString readmeBlock(const QString& language, const QString& beginning)
{
    for (const QString& block : TestFiles::readmeBlocks(language)) {
        if (block.startsWith(beginning))
            return block;
    }
    return QString();
}

} // namespace

class CliTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_directory.emplace().isValid());
        m_rules = m_directory->filePath(u"rules.json"_s);
        TestFiles::write(m_rules, rulesJson);
    }

    void resolve_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::newRow("fallback") << QStringList{u"https://example.com/"_s, u"--explain"_s}
                                  << u"firefox-esr\nfallback\n"_s;
        QTest::newRow("source rule, source in any case")
            << QStringList{u"https://api.github.com/"_s, u"--from"_s, u"ORG.GNOME.EVOLUTION"_s, u"--explain"_s}
            << u"chromium\nrule 1: Host is github.com\n"_s;
        QTest::newRow("source rule without source") << QStringList{u"https://api.github.com/"_s} << u"firefox-esr\n"_s;
        QTest::newRow("ask, on the link as it stands (not cleaned)")
            << QStringList{u"--explain"_s, u"http://e.com/?utm_source=x"_s}
            << u"ask\nrule 2: URL contains utm_source\n"_s;
    }

    void resolve()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        expectCli(QStringList{u"resolve"_s} + arguments, 0, output, QString(), m_rules);
    }

    // A wrong command line is answered with what the command does take.
    void usageErrorsShowTheCommandsUsage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("positional arguments to an options-only command")
            << QStringList{u"rules"_s, u"add"_s, u"github.com"_s, u"firefox"_s}
            << u"linkherd: rules add takes options only\n"
               u"Usage: linkherd [--rules PATH] rules add (--host HOST | --contains TEXT | --regex EXPRESSION)\n"
               u"                                         (--in ID [--profile DIR] [--window W] | --ask)\n"
               u"                                         [--from APP_ID]... [--at N] [--off]\n"
               u"Try 'linkherd help rules add' for more.\n"_s;
        for (const QString& text : {u"example.com/path"_s, u"https://exa mple.com/"_s}) {
            QTest::addRow("not a link: %s", qPrintable(text))
                << QStringList{u"resolve"_s, text}
                << u"linkherd: Give resolve a URL, as text.\n"
                   u"Usage: linkherd [--rules PATH] resolve URL [--from APP_ID] [--explain]\n"
                   u"Try 'linkherd help resolve' for more.\n"_s;
        }
        QTest::newRow("too many") << QStringList{u"resolve"_s, u"https://a.io/"_s, u"https://b.io/"_s}
                                  << u"linkherd: resolve takes one URL\n"
                                     u"Usage: linkherd [--rules PATH] resolve URL [--from APP_ID] [--explain]\n"
                                     u"Try 'linkherd help resolve' for more.\n"_s;
        QTest::newRow("too few") << QStringList{u"rules"_s, u"mv"_s, u"6F1C"_s}
                                 << u"linkherd: rules mv takes a rule ID and a position\n"
                                    u"Usage: linkherd [--rules PATH] rules mv ID N\n"
                                    u"Try 'linkherd help rules mv' for more.\n"_s;
        QTest::newRow("unknown option") << QStringList{u"profiles"_s, u"firefox"_s, u"--all"_s}
                                        << u"linkherd: unknown option --all\nUsage: linkherd profiles ID\n"
                                           u"Try 'linkherd help profiles' for more.\n"_s;
        QTest::newRow("no subcommand") << QStringList{u"finicky"_s}
                                       << u"linkherd: finicky needs a command: locate, import or export\n"
                                          u"Try 'linkherd help' for the commands.\n"_s;
        QTest::newRow("unknown command") << QStringList{u"frobnicate"_s}
                                         << u"linkherd: unknown command frobnicate\n"
                                            u"Try 'linkherd help' for the commands.\n"_s;
    }

    void usageErrorsShowTheCommandsUsage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        expectCli(arguments, 2, QString(), error, m_rules);
    }

    // `help COMMAND` and `COMMAND --help` say the same and run nothing; `help` is the README's list.
    void helpIsTheSameEveryWay()
    {
        const QString overview = readmeBlock(QString(), u"Usage: linkherd "_s);
        for (const QString& option : {u"help"_s, u"--help"_s, u"-h"_s})
            expectCli({option}, 0, overview, QString(), m_rules);
        const QString help = run({u"help"_s, u"rules"_s, u"add"_s}, m_rules).out;
        QVERIFY2(help.startsWith(u"Usage: linkherd [--rules PATH] rules add (--host HOST"_s), qPrintable(help));
        expectCli({u"rules"_s, u"add"_s, u"--host"_s, u"a.io"_s, u"--ask"_s, u"--help"_s}, 0, help, QString(), m_rules);
        QCOMPARE(TestFiles::read(m_rules), rulesJson);
    }

    // What the help, the man page and the completions say of a command's options is one declaration: its
    // synopsis names each option the command takes, and no other.
    void synopsesNameTheDeclaredOptions()
    {
        static const QRegularExpression option(u"--[a-z-]+"_s);
        for (const Command& command : commands()) {
            QStringList named;
            for (const QRegularExpressionMatch& match : option.globalMatch(command.synopsis))
                named.append(match.captured());
            named.removeDuplicates();
            QStringList declared;
            for (const CommandOption& declaration : command.options)
                declared.append(declaration.name);
            named.sort();
            declared.sort();
            QCOMPARE(named, declared);
        }
    }

    void cleanAndRulesFollowTheFile()
    {
        expectCli({u"clean"_s, u"http://news.example.org/a?utm_source=x&id=1#top"_s}, 0,
                  u"https://news.example.org/a?id=1#top\n"_s, QString(), m_rules);
        expectCli({u"rules"_s}, 0, RuleStore(m_rules).jsonText(), QString(), m_rules);
    }

    void missingFileIsAnEmptyDocument()
    {
        const QString missing = m_directory->filePath(u"absent.json"_s);
        QCOMPARE(run({u"resolve"_s, u"https://github.com/"_s, u"--explain"_s}, missing).out, u"ask\nfallback\n"_s);
        QCOMPARE(run({u"clean"_s, u"http://e.com/?gclid=1"_s}, missing).out, u"http://e.com/?gclid=1\n"_s);
        QVERIFY(run({u"rules"_s}, missing).out.contains(u"\"rules\": ["_s));
        QVERIFY(!QFile::exists(missing));
    }

    // A rules file that cannot be read is an error, never a guess, whatever the command. (What reading refuses,
    // devices and files over 64 MiB, is tried in tst_rule_store: the tool reads through the same RulesFile::read.)
    void unreadableFileIsAnError()
    {
        const QString broken = TestFiles::dataPath(u"rules/match_wrong_case.json"_s);
        const QString error =
            u"linkherd: "_s + broken + u": rules[1].match: \"Host\" is not one of host, urlContains, regex\n"_s;
        for (const QStringList& arguments :
             {QStringList{u"resolve"_s, u"https://e.com/"_s}, {u"rules"_s}, {u"clean"_s, u"https://e.com/"_s}})
            expectCli(QStringList{u"--rules"_s, broken} + arguments, 1, QString(), error, m_rules);
    }

    void wrongCommandLinesAreUsageErrors()
    {
        for (const QStringList& arguments :
             {QStringList{}, QStringList{u"resolve"_s, u"https://e.com/"_s, u"--from"_s}, QStringList{u"--rules"_s},
              QStringList{u"rules"_s, u"extra"_s}, QStringList{u"clean"_s}, QStringList{u"resolve"_s, u"-x"_s}}) {
            const CliRun result = run(arguments, m_rules);
            QCOMPARE(result.status, 2);
            QVERIFY(result.err.startsWith(u"linkherd: "_s));
        }
    }

    // The defaults exactly as Linkherd writes them into the file, a level of indentation less.
    void readmeShowsTheRewriterDefaults()
    {
        RulesDocument document;
        document.rewriter = LinkRewriter::initial();
        const QStringList lines = QString::fromUtf8(RulesCodec::encode(document)).split(u'\n');
        const qsizetype first = lines.indexOf(u"    \"rewriter\": {"_s);
        const qsizetype last = lines.indexOf(u"    },"_s, first);
        QVERIFY(first >= 0 && last > first);
        QStringList written;
        for (const QString& line : lines.mid(first, last - first))
            written.append(line.mid(4));
        written.append(u"}"_s);
        QCOMPARE(readmeBlock(u"json"_s, u"\"rewriter\""_s), written.join(u'\n') + u'\n');
    }

    // The example rules file decodes and sends links where the README says.
    void readmeExampleRulesFile_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::newRow("host, to a profile")
            << QStringList{u"https://api.github.com/x"_s, u"--from"_s, u"com.slack.Slack"_s}
            << u"chromium\nrule 1: Host is github.com\n"_s;
        QTest::newRow("one application") << QStringList{u"https://example.com/"_s, u"--from"_s, u"com.slack.Slack"_s}
                                         << u"chromium\nrule 2: URL contains ://\n"_s;
        QTest::newRow("expression") << QStringList{u"https://www.youtube.com/watch?v=1"_s}
                                    << u"ask\nrule 3: URL matches ^https?://(www\\.)?youtube\\.com/watch\n"_s;
        QTest::newRow("fallback") << QStringList{u"https://example.com/"_s} << u"firefox-esr\nfallback\n"_s;
    }

    void readmeExampleRulesFile()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        const QString example = m_directory->filePath(u"example.json"_s);
        TestFiles::write(example, readmeBlock(u"json"_s, u"{\n    \"fallback\""_s).toUtf8());
        const auto contents = RulesFile::read(example);
        QVERIFY2(contents && *contents, qPrintable(contents.error().error));
        QCOMPARE((*contents)->document.rules.value(0).destination, Destination::browser(u"chromium"_s, u"Profile 1"_s));
        expectCli(QStringList{u"--rules"_s, example, u"resolve"_s, u"--explain"_s} + arguments, 0, output, QString(),
                  m_rules);
    }

private:
    std::optional<QTemporaryDir> m_directory;
    QString m_rules;
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
