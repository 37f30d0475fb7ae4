#include "browsers/browsers.h"
#include "interchange/finicky_import.h"
#include "support/fake_platform.h"
#include "support/test_files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using FinickyConfig::Imported;
using FinickyConfig::ImportError;

namespace {

// "host github.com -> google-chrome (Profile 2)", "regex ^a$ -> ask".
QString describe(const Rule& rule)
{
    QString text = matchText(rule.match) + u' ' + rule.pattern + u" -> "_s;
    if (rule.destination.isAsk())
        return text + u"ask"_s;
    text += rule.destination.bundleID();
    if (rule.destination.profile())
        text += u" ("_s + *rule.destination.profile() + u')';
    return text;
}

QStringList describe(const QList<Rule>& rules)
{
    QStringList texts;
    for (const Rule& rule : rules)
        texts.append(describe(rule));
    return texts;
}

QString describe(const std::optional<Destination>& fallback)
{
    if (!fallback)
        return u"none"_s;
    Rule rule;
    rule.destination = *fallback;
    return describe(rule).section(u"-> "_s, 1);
}

std::variant<Imported, ImportError> parseFixture(const QString& name,
                                                 const JavaScriptLimits& limits = JavaScriptLimits())
{
    return FinickyConfig::parse(QString::fromUtf8(TestFiles::read(TestFiles::dataPath(u"finicky/"_s + name))), limits);
}

// One handler sending `match` (JavaScript source) to Firefox.
QString configMatching(const QString& match)
{
    return u"module.exports = { handlers: [{ match: %1, browser: \"Firefox\" }] };"_s.arg(match);
}

const QString notInstalledNote =
    u"No browser named “%1” is installed. Rules pointing at it were imported set to “Ask every time”."_s;
const QString functionBrowserNote =
    u"A handler chose its browser with a function. Its rules were imported set to “Ask every time”."_s;

// The import's result; a failure shows as a note that no expected list contains.
Imported succeeded(const std::variant<Imported, ImportError>& result)
{
    if (const auto* error = std::get_if<ImportError>(&result)) {
        Imported failed;
        failed.notes.append(u"(failed) "_s + error->description());
        return failed;
    }
    return std::get<Imported>(result);
}

} // namespace

class FinickyImportTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_catalog.browsers = {fakeEntry(u"firefox"_s, u"Firefox"_s), fakeEntry(u"google-chrome"_s, u"Google Chrome"_s),
                              fakeEntry(u"org.chromium.Chromium"_s, u"Chromium"_s)};
        Browsers::setCatalog(&m_catalog);
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(u"config"_s)));
        QVERIFY(QDir().mkpath(m_home.filePath(u"config/google-chrome"_s)));
        TestFiles::write(m_home.filePath(u"config/google-chrome/Local State"_s),
                         TestFiles::read(TestFiles::dataPath(u"finicky/local_state.json"_s)));
    }

    void everydayConfiguration()
    {
        const Imported imported = succeeded(parseFixture(u"everyday.js"_s));
        QCOMPARE(describe(imported.rules),
                 QStringList({
                     u"host github.com -> google-chrome (Profile 2)"_s,
                     u"host atlassian.net -> google-chrome (Profile 2)"_s,
                     uR"(regex example\.com\/path -> google-chrome (Profile 2))"_s,
                     u"host meet.google.com -> google-chrome"_s,
                     u"host zoom.us -> google-chrome"_s,
                     uR"(regex ^https?:\/\/docs\.python\.org\/.*$ -> org.chromium.Chromium)"_s,
                     uR"(regex ^https?://news\.ycombinator\.com/item.*$ -> org.chromium.Chromium)"_s,
                 }));
        QCOMPARE(describe(imported.fallback), u"firefox"_s);
        QCOMPARE(imported.notes, QStringList({
                                     u"2 URL rewrites were skipped — Linkherd routes links, it does not change them."_s,
                                     notInstalledNote.arg(u"Safari"_s),
                                     u"Skipped a match function — there is no way to express it as a rule."_s,
                                 }));
        QSet<QUuid> ids;
        for (const Rule& rule : imported.rules) {
            QVERIFY(rule.isEnabled && rule.sourceBundleIDs.isEmpty() && rule.isValid());
            ids.insert(rule.id);
        }
        QCOMPARE(ids.size(), imported.rules.size());
    }

    void exportDefaultWithoutHandlersGivesOnlyTheFallback()
    {
        const Imported imported = succeeded(parseFixture(u"export_default.js"_s));
        QVERIFY(imported.rules.isEmpty());
        QCOMPARE(describe(imported.fallback), u"google-chrome"_s);
        QVERIFY(imported.notes.isEmpty());
    }

    void modernSyntaxAndLoadTimeCalls()
    {
        const Imported imported = succeeded(parseFixture(u"modern.js"_s));
        QCOMPARE(describe(imported.rules),
                 QStringList({
                     u"host gitlab.com -> google-chrome (Profile 2)"_s,
                     u"host bitbucket.org -> google-chrome (Profile 2)"_s,
                     u"host bücher.example -> org.chromium.Chromium"_s,
                     uR"(regex ^https?://gitlab\.com/explore.*$ -> org.chromium.Chromium)"_s,
                     uR"(regex ^https?://bitbucket\.org/explore.*$ -> org.chromium.Chromium)"_s,
                     u"host bücher.example -> google-chrome"_s,
                 }));
        QCOMPARE(describe(imported.fallback), u"google-chrome"_s);
        QVERIFY(imported.notes.isEmpty());
    }

    // What Finicky does with a host name expression, a default browser chosen by a function, a handler's own
    // rewrite and a profile given by name, each carried over or named in a note.
    void mendedConfiguration()
    {
        const Imported imported = succeeded(parseFixture(u"mended.js"_s));
        QCOMPARE(describe(imported.rules),
                 QStringList({
                     uR"(regex ^https?://(?:[^/?#@]*@)?+(?:(www\.)?github\.com(?=[/?#:]|$)) -> firefox)"_s,
                     u"host gitlab.com -> firefox"_s,
                     u"host meet.google.com -> google-chrome (Profile 2)"_s,
                     uR"(regex zoom\.us -> google-chrome (Profile 1))"_s,
                 }));
        QVERIFY(imported.rules[0].matches(u"https://www.github.com/linkherd"_s));
        QVERIFY(!imported.rules[0].matches(u"https://gist.github.com/"_s));
        QVERIFY(!imported.rules[0].matches(u"https://evil.example/github.com"_s));
        QCOMPARE(describe(imported.fallback), u"none"_s);
        QCOMPARE(imported.notes,
                 QStringList({
                     u"Finicky's default browser is chosen by a function. It was not imported; the fallback stays "
                     u"as it is."_s,
                     u"2 handlers' URL rewrites were skipped — Linkherd routes links, it does not change them."_s,
                     u"Skipped /localhost:3000/ — there is no way to express it as a rule."_s,
                 }));
    }

    void globs_data()
    {
        QTest::addColumn<QString>("glob");
        QTest::addColumn<QString>("rule");
        QTest::newRow("scheme and path wildcard") << u"https://example.com/*"_s << u"host example.com"_s;
        QTest::newRow("subdomain wildcard") << u"*.example.com"_s << u"host example.com"_s;
        QTest::newRow("any scheme") << u"*://example.com/*"_s << u"host example.com"_s;
        QTest::newRow("http, spaces and tabs") << u" \thttp://example.com\t "_s << u"host example.com"_s;
        QTest::newRow("host and port") << u"localhost:8080"_s << u"host localhost:8080"_s;
        QTest::newRow("path") << u"example.com/path/*"_s << uR"(regex ^https?://example\.com/path/.*$)"_s;
        QTest::newRow("everything") << u"*"_s << uR"(regex ^https?://.*$)"_s;
        QTest::newRow("empty") << QString() << uR"(regex ^https?://$)"_s;
        QTest::newRow("scheme alone") << u"https://"_s << uR"(regex ^https?://$)"_s;
        QTest::newRow("metacharacters") << u"https://*.example.com/a?b=(1)+[2]{3}|$^\\"_s
                                        << uR"(regex ^https?://.*\.example\.com/a\?b=\(1\)\+\[2\]\{3\}\|\$\^\\$)"_s;
        QTest::newRow("two wildcards") << u"*.*.example.com"_s << uR"(regex ^https?://.*\..*\.example\.com$)"_s;
        QTest::newRow("scheme in capitals is not a scheme")
            << u"HTTPS://example.com"_s << uR"(regex ^https?://HTTPS://example\.com$)"_s;
    }

    void globs()
    {
        QFETCH(QString, glob);
        QFETCH(QString, rule);
        const QString literal = u'"' + QString(glob).replace(u"\\"_s, u"\\\\"_s).replace(u"\t"_s, u"\\t"_s) + u'"';
        const Imported imported = succeeded(FinickyConfig::parse(configMatching(literal)));
        QCOMPARE(describe(imported.rules), QStringList({rule + u" -> firefox"_s}));
    }

    void matches_data()
    {
        QTest::addColumn<QString>("match");
        QTest::addColumn<QStringList>("rules");
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("regular expression with a flag")
            << uR"(/^https:\/\/(www\.)?example\.com\//i)"_s
            << QStringList{uR"(regex ^https:\/\/(www\.)?example\.com\/ -> firefox)"_s} << QStringList();
        QTest::newRow("host names, unchanged")
            << uR"(finicky.matchHostnames(["Example.com", " sub.example.org "]))"_s
            << QStringList{u"host Example.com -> firefox"_s, u"host  sub.example.org  -> firefox"_s} << QStringList();
        QTest::newRow("one host name domain") << uR"(finicky.matchDomains("example.com"))"_s
                                              << QStringList{u"host example.com -> firefox"_s} << QStringList();
        QTest::newRow("nested arrays, flattened in order")
            << uR"(["a.example", ["b.example", [/c/]], finicky.matchHostnames("d.example")])"_s
            << QStringList{u"host a.example -> firefox"_s, u"host b.example -> firefox"_s, u"regex c -> firefox"_s,
                           u"host d.example -> firefox"_s}
            << QStringList();
        QTest::newRow("function") << u"(url) => true"_s << QStringList()
                                  << QStringList{
                                         u"Skipped a match function — there is no way to express it as a rule."_s};
        QTest::newRow("missing") << u"undefined"_s << QStringList()
                                 << QStringList{u"Skipped an empty match — there is no way to express it as a rule."_s};
        QTest::newRow("number and object")
            << u"[42, { host: \"x\" }]"_s << QStringList()
            << QStringList{u"Skipped 42 — there is no way to express it as a rule."_s,
                           u"Skipped [object Object] — there is no way to express it as a rule."_s};
        QTest::newRow("same host twice, capitals and spaces")
            // Not a raw string: moc would read the slash and star in one as the start of a comment.
            << u"[\"example.com\", finicky.matchHostnames(\" EXAMPLE.COM \"), \"Example.com/*\"]"_s
            << QStringList{u"host example.com -> firefox"_s} << QStringList();
        QTest::newRow("same text, other kind")
            << uR"(["example.com", /example.com/])"_s
            << QStringList{u"host example.com -> firefox"_s, u"regex example.com -> firefox"_s} << QStringList();
    }

    void matches()
    {
        QFETCH(QString, match);
        QFETCH(QStringList, rules);
        QFETCH(QStringList, notes);
        const Imported imported = succeeded(FinickyConfig::parse(configMatching(match)));
        QCOMPARE(describe(imported.rules), rules);
        QCOMPARE(imported.notes, notes);
    }

    void browsers_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("display name in any case") << u"\"gOOGLE cHROME\""_s << u"google-chrome"_s << QStringList();
        QTest::newRow("ID in any case") << u"\"ORG.CHROMIUM.CHROMIUM\""_s << u"org.chromium.Chromium"_s
                                        << QStringList();
        QTest::newRow("first of an array")
            << u"[\"Chromium\", \"Firefox\"]"_s << u"org.chromium.Chromium"_s << QStringList();
        QTest::newRow("object with a profile") << u"{ name: \"Firefox\", profile: \"default-release\" }"_s
                                               << u"firefox (default-release)"_s << QStringList();
        QTest::newRow("not installed") << u"\"Opera “GX”\""_s << u"ask"_s
                                       << QStringList{notInstalledNote.arg(u"Opera “GX”"_s)};
        QTest::newRow("function") << u"() => \"Firefox\""_s << u"ask"_s << QStringList{functionBrowserNote};
        QTest::newRow("object without a name")
            << u"{ profile: \"Work\" }"_s << u"ask"_s << QStringList{functionBrowserNote};
        QTest::newRow("missing") << u"undefined"_s << u"ask"_s << QStringList{functionBrowserNote};
    }

    void browsers()
    {
        QFETCH(QString, browser);
        QFETCH(QString, destination);
        QFETCH(QStringList, notes);
        const Imported imported = succeeded(FinickyConfig::parse(
            u"module.exports = { handlers: [{ match: \"example.com\", browser: %1 }] };"_s.arg(browser)));
        QCOMPARE(describe(imported.rules), QStringList({u"host example.com -> "_s + destination}));
        QCOMPARE(imported.notes, notes);
    }

    // Chrome's "Local State" lists: Default "Person 1", Profile 1 "Default", Profile 2 "Work", Profile 3
    // "Profile 2". Finicky looks a profile up by name first.
    void profilesAreStoredAsDirectories_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("directory");
        QTest::newRow("name") << u"Work"_s << u"Profile 2"_s;
        QTest::newRow("name in other case") << u"wORK"_s << u"Profile 2"_s;
        QTest::newRow("name of the default directory") << u"Person 1"_s << u"Default"_s;
        QTest::newRow("name that is another directory") << u"Profile 2"_s << u"Profile 3"_s;
        QTest::newRow("directory") << u"Profile 1"_s << u"Profile 1"_s;
        QTest::newRow("directory before a name in other case") << u"default"_s << u"Profile 1"_s;
        QTest::newRow("unknown") << u"Holiday"_s << u"Holiday"_s;
    }

    void profilesAreStoredAsDirectories()
    {
        QFETCH(QString, profile);
        QFETCH(QString, directory);
        const Imported imported = succeeded(FinickyConfig::parse(
            u"module.exports = { defaultBrowser: { name: \"Google Chrome\", profile: \"%1\" }, handlers: [] };"_s.arg(
                profile)));
        QCOMPARE(imported.fallback, Destination::browser(u"google-chrome"_s, directory));
    }

    void notesComeInOrderAndMissingBrowsersOnce()
    {
        const Imported imported = succeeded(parseFixture(u"notes.js"_s));
        QCOMPARE(describe(imported.fallback), u"ask"_s);
        QCOMPARE(describe(imported.rules), QStringList({u"host a.example -> ask"_s, u"host b.example -> ask"_s,
                                                        u"host c.example -> ask"_s, u"host d.example -> ask"_s}));
        QCOMPARE(imported.notes,
                 QStringList({
                     notInstalledNote.arg(u"Netscape"_s),
                     u"1 URL rewrite was skipped — Linkherd routes links, it does not change them."_s,
                     u"1 handler's URL rewrite was skipped — Linkherd routes links, it does not change them."_s,
                     functionBrowserNote,
                     u"Skipped a match function — there is no way to express it as a rule."_s,
                     notInstalledNote.arg(u"netscape"_s),
                     functionBrowserNote,
                 }));
    }

    void duplicatesKeepTheFirstWhateverTheProfile()
    {
        const Imported imported = succeeded(parseFixture(u"duplicates.js"_s));
        QCOMPARE(describe(imported.rules),
                 QStringList({u"host example.com -> google-chrome (Profile 2)"_s, u"host example.com -> firefox"_s,
                              u"host example.com -> ask"_s}));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("description");
        const QString notAConfig = u"That file does not look like a Finicky config — no handlers were found in it."_s;
        QTest::newRow("type annotations")
            << QString::fromUtf8(TestFiles::read(TestFiles::dataPath(u"finicky/typescript.ts"_s)))
            << u"That file is not valid JavaScript: SyntaxError: import declarations "
               u"may only appear at top level of a module at line 1"_s;
        QTest::newRow("require") << u"const os = require(\"os\");\nmodule.exports = {};"_s
                                 << u"That file is not valid JavaScript: ReferenceError: require is not defined at "
                                    u"line 1"_s;
        QTest::newRow("syntax error after blank lines and an export")
            << u"// mine\n\n\n   export default {\n  handlers: [\n    { match: * }\n  ]\n};"_s
            << u"That file is not valid JavaScript: SyntaxError: expected expression, got '*' at line 6"_s;
        QTest::newRow("export default inside a line") << u"const c = {}; export default c;"_s
                                                      << u"That file is not valid JavaScript: SyntaxError: export "
                                                         u"declarations may only appear at top level of a module at "
                                                         u"line 1"_s;
        QTest::newRow("thrown number") << u"throw 42;"_s << u"That file is not valid JavaScript: 42"_s;
        QTest::newRow("thrown null") << u"throw null;"_s << u"That file is not valid JavaScript: null"_s;
        QTest::newRow("empty object") << u"module.exports = {};"_s << notAConfig;
        QTest::newRow("nothing exported")
            << u"var config = { handlers: [{ match: \"a\", browser: \"Firefox\" }] };"_s << notAConfig;
        QTest::newRow("handlers not an array") << u"module.exports = { handlers: { match: \"a\" } };"_s << notAConfig;
        QTest::newRow("default browser by function only")
            << u"module.exports = { defaultBrowser: () => \"Firefox\", handlers: [] };"_s << notAConfig;
        QTest::newRow("handler that is not an object") << u"module.exports = { handlers: [null] };"_s << notAConfig;
        QTest::newRow("exports replaced by a number") << u"module.exports = 7;"_s << notAConfig;
    }

    void failures()
    {
        QFETCH(QString, text);
        QFETCH(QString, description);
        const std::variant<Imported, ImportError> result = FinickyConfig::parse(text);
        QVERIFY(std::holds_alternative<ImportError>(result));
        QCOMPARE(std::get<ImportError>(result).description(), description);
    }

    void usableDefaultBrowserOrNotesAloneAreEnough()
    {
        const Imported onlyNotes = succeeded(
            FinickyConfig::parse(u"module.exports = { handlers: [{ match: () => true, browser: \"Firefox\" }] };"_s));
        QVERIFY(onlyNotes.rules.isEmpty());
        QCOMPARE(onlyNotes.notes.size(), 1);
        const Imported missingDefault =
            succeeded(FinickyConfig::parse(u"export default { defaultBrowser: \"Lynx\" };"_s));
        QCOMPARE(missingDefault.fallback, Destination::ask());
        QCOMPARE(missingDefault.notes, QStringList({notInstalledNote.arg(u"Lynx"_s)}));
    }

    // A runaway configuration fails its own import and nothing else: the next import in the same process works.
    void runawayConfigurationsAreStopped()
    {
        const JavaScriptLimits quick{200ms, qint64(64) * 1024 * 1024};
        QElapsedTimer timer;
        timer.start();
        const auto looping = parseFixture(u"endless_loop.js"_s, quick);
        QCOMPARE(std::get<ImportError>(looping),
                 ImportError::unreadable(u"the configuration did not finish within 0.2 seconds"_s));
        QVERIFY(timer.elapsed() < 2000);

        const auto bomb = parseFixture(u"memory_bomb.js"_s, {5s, quick.memoryBytes});
        QCOMPARE(std::get<ImportError>(bomb).description(),
                 u"That file is not valid JavaScript: the configuration needed more than 64 MB of memory"_s);

        const Imported imported = succeeded(parseFixture(u"export_default.js"_s));
        QCOMPARE(describe(imported.fallback), u"google-chrome"_s);
    }

private:
    FakeApplicationCatalog m_catalog;
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(FinickyImportTest)
#include "tst_finicky_import.moc"
