#include "cli/cli.h"
#include "routing/rules_codec.h"
#include "support/cli_run.h"
#include "support/fakes/fake_platform.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class RuleEditCliTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_catalog.browsers = {fakeEntry(u"firefox"_s, u"Firefox"_s), fakeEntry(u"google-chrome"_s, u"Google Chrome"_s)};
    }

    void init()
    {
        QVERIFY(m_directory.emplace().isValid());
        m_rules = m_directory->filePath(u"rules.json"_s);
    }

    // The forms a script writes, and what `rules list` shows of them.
    void addSetMoveAndRemove()
    {
        const QString first = succeed({u"rules"_s, u"add"_s, u"--host"_s, u"github.com"_s, u"--in"_s, u"firefox"_s,
                                       u"--profile"_s, u"work"_s, u"--window"_s, u"private"_s, u"--from"_s,
                                       u"org.gnome.Evolution"_s, u"--from"_s, u"thunderbird"_s})
                                  .trimmed();
        QCOMPARE(first.size(), 36);
        QCOMPARE(RulesCodec::decode(TestFiles::read(m_rules))->rules[0].destination,
                 Destination::browser(u"firefox"_s, u"work"_s, Destination::Window::privateWindow));
        // A destination given again replaces the window with the one it names.
        succeed(
            {u"rules"_s, u"set"_s, first, u"--in"_s, u"firefox"_s, u"--profile"_s, u"work"_s, u"--window"_s, u"new"_s});
        QCOMPARE(RulesCodec::decode(TestFiles::read(m_rules))->rules[0].destination.window(),
                 Destination::Window::newWindow);
        const QString second =
            succeed({u"rules"_s, u"add"_s, u"--regex"_s, u"\\.pdf$"_s, u"--ask"_s, u"--at"_s, u"1"_s, u"--off"_s})
                .trimmed();

        QCOMPARE(succeed({u"rules"_s, u"list"_s}),
                 u"1\t%1\toff\tregex\t\\.pdf$\task\t\n2\t%2\ton\thost\tgithub.com\tfirefox/work\t"
                 "org.gnome.Evolution,thunderbird\n"_s.arg(second, first));

        succeed(
            {u"rules"_s, u"set"_s, first.left(8), u"--contains"_s, u"gist"_s, u"--ask"_s, u"--any-app"_s, u"--off"_s});
        succeed({u"rules"_s, u"mv"_s, first.left(4).toLower(), u"1"_s});
        QCOMPARE(succeed({u"rules"_s, u"list"_s}),
                 u"1\t%1\toff\turlContains\tgist\task\t\n2\t%2\toff\tregex\t\\.pdf$\task\t\n"_s.arg(first, second));

        // A mistyped ID among several removes nothing.
        const CliRun missing = run({u"rules"_s, u"rm"_s, first, u"FFFFFFFF"_s});
        QCOMPARE(missing.status, 1);
        QCOMPARE(missing.err, u"linkherd: No rule has the id FFFFFFFF.\n"_s);
        QCOMPARE(RulesCodec::decode(TestFiles::read(m_rules))->rules.size(), 2);
        succeed({u"rules"_s, u"rm"_s, first, second});
        QCOMPARE(succeed({u"rules"_s, u"list"_s}), QString());
    }

    void fallbackAndCleaning()
    {
        QCOMPARE(run({u"fallback"_s}).out, u"ask\n"_s);
        const CliRun missing = run({u"fallback"_s, u"--in"_s, u"netscape"_s, u"--profile"_s, u"Default"_s});
        QCOMPARE(missing.status, 0);
        QCOMPARE(missing.err, u"linkherd: warning: no installed browser has the ID netscape\n"_s);
        QCOMPARE(run({u"fallback"_s}).out, u"netscape/Default\n"_s);
        succeed({u"fallback"_s, u"--ask"_s});
        QCOMPARE(run({u"fallback"_s}).out, u"ask\n"_s);

        const QString defaults = LinkRewriter::defaultParameters().join(u',');
        QCOMPARE(run({u"cleaning"_s}).out, u"strip\toff\nhttps\toff\nparameters\t"_s + defaults + u"\nunwrap\toff\n"_s);
        QCOMPARE(run({u"cleaning"_s, u"--https"_s, u"on"_s, u"--parameters"_s, u"utm_*, fbclid,"_s}).out,
                 u"strip\toff\nhttps\ton\nparameters\tutm_*,fbclid\nunwrap\toff\n"_s);
        succeed({u"cleaning"_s, u"--strip"_s, u"on"_s});
        QCOMPARE(run({u"cleaning"_s, u"--unwrap"_s, u"on"_s}).out,
                 u"strip\ton\nhttps\ton\nparameters\tutm_*,fbclid\nunwrap\ton\n"_s);
        QCOMPARE(run({u"clean"_s, u"--explain"_s,
                      u"https://eur01.safelinks.protection.outlook.com/?url=http%3A%2F%2Fwww.google.com%2Furl%3Fq%3D"
                      "http%253A%252F%252Fa.example.org%252F%253Ffbclid%253D1%2526id%253D2&reserved=0"_s})
                     .out,
                 u"https://a.example.org/?id=2\nunwrap\tOutlook Safe Links\nunwrap\tGoogle redirect\nhttps\n"
                 "strip\tfbclid\n"_s);
        QCOMPARE(run({u"cleaning"_s, u"--default-parameters"_s, u"--strip"_s, u"off"_s, u"--https"_s, u"off"_s,
                      u"--unwrap"_s, u"off"_s})
                     .out,
                 u"strip\toff\nhttps\toff\nparameters\t"_s + defaults + u"\nunwrap\toff\n"_s);
        QVERIFY(!TestFiles::read(m_rules).contains("rewriter"));
    }

    // One record a line, whatever its values hold: what would end a field or a line, or drive the terminal, shows
    // escaped, in every listing alike.
    void recordsShowControlCharactersEscaped()
    {
        // "@" stands for the odd text, escaped as JSON escapes it.
        const QByteArray odd = R"(a\tb\nc\rd\u0000e\u001bf\u007fg\u0085h\u2028i\u2029j\\.)";
        const QString shown = u"a\\tb\\nc\\rd\\x00e\\x1bf\\x7fg\\x85h\\u2028i\\u2029j\\."_s;
        TestFiles::write(m_rules, QByteArray(R"({"version": 1, "fallback": {"browser": {"bundleID": "@"}}, "rules": [
            {"id": "6F1C2A9E-0B7D-4C3A-9E55-1D2B3C4D5E6F", "isEnabled": true, "match": "urlContains", "pattern": "@",
             "sourceBundleIDs": ["@"], "destination": {"browser": {"bundleID": "@"}}}]})")
                                      .replace("@", odd));
        QCOMPARE(succeed({u"rules"_s, u"list"_s}),
                 u"1\t6F1C2A9E-0B7D-4C3A-9E55-1D2B3C4D5E6F\ton\turlContains\t%1\t%1\t%1\n"_s.arg(shown));
        QCOMPARE(run({u"fallback"_s}).out, shown + u'\n');

        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_directory->filePath(u"config"_s)));
        QVERIFY(QDir().mkpath(m_directory->filePath(u"config/google-chrome"_s)));
        TestFiles::write(m_directory->filePath(u"config/google-chrome/Local State"_s),
                         QByteArray(R"({"profile": {"info_cache": {"@": {"name": "@"}}}})").replace("@", odd));
        QCOMPARE(run({u"profiles"_s, u"google-chrome"_s}).out, shown + u'\t' + shown + u'\n');
    }

private:
    // What a command that must succeed, without a word on the error stream, printed.
    QString succeed(const QStringList& arguments)
    {
        const CliRun result = run(arguments);
        if (result.status != 0 || !result.err.isEmpty())
            QTest::qFail(qPrintable(arguments.join(u' ') + u": "_s + result.err), __FILE__, __LINE__);
        return result.out;
    }

    CliRun run(const QStringList& arguments)
    {
        return runCliInProcess(QStringList{u"--rules"_s, m_rules} + arguments, m_rules,
                               CliServices{&m_catalog, &m_launcher, &m_handlers, &m_autostart});
    }

    std::optional<QTemporaryDir> m_directory;
    QString m_rules;
    FakeApplicationCatalog m_catalog;
    FakeApplicationLauncher m_launcher;
    FakeDefaultHandlers m_handlers;
    FakeAutostartEntry m_autostart;
};

QTEST_GUILESS_MAIN(RuleEditCliTest)
#include "tst_rule_edit_cli.moc"
