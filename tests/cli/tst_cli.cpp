#include "cli/cli.h"
#include "cli/command.h"
#include "routing/rule_store.h"
#include "routing/rules_codec.h"
#include "routing/rules_file.h"
#include "support/cli_run.h"
#include "support/fakes/fake_platform.h"
#include "support/test_files.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A rules file as a script edits it: links cleaned, and a rule on what cleaning takes away.
const QByteArray rulesJson = R"({"fallback": {"browser": {"bundleID": "firefox-esr"}}, "version": 1,
  "rewriter": {"parameters": ["utm_*"], "stripsTrackingParameters": true, "upgradesToHTTPS": true},
  "rules": [{"id": "6F1C2A9E-0B7D-4C3A-9E55-1D2B3C4D5E6F", "isEnabled": true, "match": "urlContains",
             "pattern": "utm_source", "sourceBundleIDs": [], "destination": {"ask": {}}}]})";

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

    // What the tool refuses, wrong command lines and commands it will not carry out, is tests/data/cli/refused.txt:
    // the error stream exactly, and nothing written.
    void refusedCommandLinesChangeNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        for (const TestFiles::TranscriptEntry& entry : TestFiles::transcript(u"cli/refused.txt"_s))
            QTest::addRow("$ %s", qPrintable(entry.commandLine)) << entry.arguments << entry.output;
    }

    void refusedCommandLinesChangeNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        expectCli(arguments, 2, QString(), error, m_rules,
                  CliServices{&m_catalog, &m_launcher, &m_handlers, &m_autostart});
        QCOMPARE(TestFiles::read(m_rules), rulesJson);
    }

    // `help COMMAND` and `COMMAND --help` say the same and run nothing; `help` is the README's list.
    void helpIsTheSameEveryWay()
    {
        const QString overview = readmeBlock(QString(), u"Usage: linkherd "_s);
        for (const QString& option : {u"help"_s, u"--help"_s, u"-h"_s})
            expectCli({option}, 0, overview, QString(), m_rules);
        const QString help = runCliInProcess({u"help"_s, u"rules"_s, u"add"_s}, m_rules).out;
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

    // Cleaning follows the file, resolving takes the link as it stands (as the scripting interface reports it).
    void cleanResolveAndRulesFollowTheFile()
    {
        const QString link = u"http://news.example.org/a?utm_source=x&id=1#top"_s;
        expectCli({u"clean"_s, link}, 0, u"https://news.example.org/a?id=1#top\n"_s, QString(), m_rules);
        expectCli({u"resolve"_s, link}, 0, u"ask\n"_s, QString(), m_rules);
        expectCli({u"rules"_s}, 0, RuleStore(m_rules).jsonText(), QString(), m_rules);
    }

    void missingFileIsAnEmptyDocument()
    {
        const QString missing = m_directory->filePath(u"absent.json"_s);
        const auto output = [&](const QStringList& arguments) { return runCliInProcess(arguments, missing).out; };
        QCOMPARE(output({u"resolve"_s, u"https://github.com/"_s, u"--explain"_s}), u"ask\nfallback\n"_s);
        QCOMPARE(output({u"clean"_s, u"http://e.com/?gclid=1"_s}), u"http://e.com/?gclid=1\n"_s);
        QVERIFY(output({u"rules"_s}).contains(u"\"rules\": ["_s));
        QVERIFY(!QFile::exists(missing));
    }

    // A rules file that cannot be read is an error, never a guess, whatever the command. (What reading refuses,
    // devices and files over 64 MiB, is tried in tst_rule_store: the tool reads through the same RulesFile::read.)
    void unreadableFileIsAnError()
    {
        const QString broken = TestFiles::dataPath(u"rules/match_wrong_case.json"_s);
        const QString error =
            u"linkherd: "_s + broken + u": rules[1].match: \"Host\" is not one of host, urlContains, regex\n"_s;
        const QString exported = m_directory->filePath(u"finicky.js"_s);
        for (const QStringList& arguments : {QStringList{u"resolve"_s, u"https://e.com/"_s},
                                             {u"rules"_s},
                                             {u"clean"_s, u"https://e.com/"_s},
                                             {u"finicky"_s, u"export"_s, u"--output"_s, exported}})
            expectCli(QStringList{u"--rules"_s, broken} + arguments, 1, QString(), error, m_rules);
        QVERIFY(!QFile::exists(exported));
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

    // The example rules file decodes and sends links where the README says. An application is matched by its ID in
    // any case; a rule for one takes no link that names none.
    void readmeExampleRulesFile_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::newRow("host, to a profile")
            << QStringList{u"https://api.github.com/x"_s, u"--from"_s, u"com.slack.Slack"_s}
            << u"chromium\nrule 1: Host is github.com\n"_s;
        QTest::newRow("one application") << QStringList{u"https://example.com/"_s, u"--from"_s, u"COM.SLACK.SLACK"_s}
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
    FakeApplicationCatalog m_catalog;
    FakeApplicationLauncher m_launcher;
    FakeDefaultHandlers m_handlers;
    FakeAutostartEntry m_autostart;
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
