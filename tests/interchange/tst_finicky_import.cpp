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

// "google-chrome (Profile 2)", "ask", or "none" for no destination.
QString describe(const std::optional<Destination>& destination)
{
    if (!destination)
        return u"none"_s;
    if (destination->isAsk())
        return u"ask"_s;
    return destination->bundleID() + (destination->profile() ? u" ("_s + *destination->profile() + u')' : QString());
}

// "host github.com -> google-chrome (Profile 2)", one a rule.
QStringList describe(const QList<Rule>& rules)
{
    QStringList texts;
    for (const Rule& rule : rules)
        texts.append(matchText(rule.match) + u' ' + rule.pattern + u" -> "_s + describe(rule.destination));
    return texts;
}

std::variant<Imported, ImportError> parseFixture(const QString& name,
                                                 const JavaScriptLimits& limits = JavaScriptLimits())
{
    return FinickyConfig::parse(QString::fromUtf8(TestFiles::read(TestFiles::dataPath(u"finicky/"_s + name))), limits);
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
        QCOMPARE(ids.size(), imported.rules.size()); // fresh ids
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

    void globs()
    {
        const Imported imported = succeeded(parseFixture(u"globs.js"_s));
        QCOMPARE(describe(imported.rules),
                 QStringList({
                     u"host a.example -> firefox"_s,
                     u"host b.example -> firefox"_s,
                     u"host c.example -> firefox"_s,
                     u"host d.example -> firefox"_s,
                     u"host localhost:8080 -> firefox"_s,
                     uR"(regex ^https?://e\.example/path/.*$ -> firefox)"_s,
                     uR"(regex ^https?://.*$ -> firefox)"_s,
                     uR"(regex ^https?://$ -> firefox)"_s,
                     uR"(regex ^https?://.*\.f\.example/a\?b=\(1\)\+\[2\]\{3\}\|\$\^\\$ -> firefox)"_s,
                     uR"(regex ^https?://HTTPS://g\.example$ -> firefox)"_s,
                 }));
        QVERIFY(imported.notes.isEmpty());
    }

    void otherMatches()
    {
        const Imported imported = succeeded(parseFixture(u"matches.js"_s));
        QCOMPARE(describe(imported.rules), QStringList({
                                               uR"(regex ^https:\/\/(www\.)?a\.example\/ -> firefox)"_s,
                                               u"host B.example -> firefox"_s,
                                               u"host  c.example  -> firefox"_s,
                                               u"host d.example -> firefox"_s,
                                               u"host e.example -> firefox"_s,
                                               u"regex f -> firefox"_s,
                                               u"host g.example -> firefox"_s,
                                               u"host h.example -> firefox"_s,
                                               u"regex h.example -> firefox"_s,
                                           }));
        const QString skipped = u"Skipped %1 — there is no way to express it as a rule."_s;
        QCOMPARE(imported.notes, QStringList({skipped.arg(u"a match function"_s), skipped.arg(u"an empty match"_s),
                                              skipped.arg(u"42"_s), skipped.arg(u"[object Object]"_s)}));
    }

    void browsersByNameOrID()
    {
        const Imported imported = succeeded(parseFixture(u"browsers.js"_s));
        QCOMPARE(describe(imported.rules), QStringList({
                                               u"host a.example -> google-chrome"_s,
                                               u"host b.example -> org.chromium.Chromium"_s,
                                               u"host c.example -> org.chromium.Chromium"_s,
                                               u"host d.example -> firefox (default-release)"_s,
                                               u"host e.example -> ask"_s,
                                               u"host f.example -> ask"_s,
                                               u"host g.example -> ask"_s,
                                           }));
        QCOMPARE(imported.notes,
                 QStringList({notInstalledNote.arg(u"Opera “GX”"_s), functionBrowserNote, functionBrowserNote}));
    }

    // Chrome's "Local State" lists: Default "Person 1", Profile 1 "Default", Profile 2 "Work", Profile 3
    // "Profile 2". Finicky looks a profile up by name first.
    void profilesAreStoredAsDirectories_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("directory");
        QTest::newRow("name") << u"Work"_s << u"Profile 2"_s;
        QTest::newRow("name in other case") << u"wORK"_s << u"Profile 2"_s;
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
        QTest::newRow("syntax error after blank lines and an export")
            << u"// mine\n\n\n   export default {\n  handlers: [\n    { match: * }\n  ]\n};"_s
            << u"That file is not valid JavaScript: SyntaxError: expected expression, got '*' at line 6"_s;
        QTest::newRow("export default inside a line") << u"const c = {}; export default c;"_s
                                                      << u"That file is not valid JavaScript: SyntaxError: export "
                                                         u"declarations may only appear at top level of a module at "
                                                         u"line 1"_s;
        QTest::newRow("thrown number") << u"throw 42;"_s << u"That file is not valid JavaScript: 42"_s;
        QTest::newRow("empty object") << u"module.exports = {};"_s << notAConfig;
        QTest::newRow("handlers not an array") << u"module.exports = { handlers: { match: \"a\" } };"_s << notAConfig;
        QTest::newRow("default browser by function only")
            << u"module.exports = { defaultBrowser: () => \"Firefox\", handlers: [] };"_s << notAConfig;
        QTest::newRow("handler that is not an object") << u"module.exports = { handlers: [null] };"_s << notAConfig;
    }

    void failures()
    {
        QFETCH(QString, text);
        QFETCH(QString, description);
        const std::variant<Imported, ImportError> result = FinickyConfig::parse(text);
        QVERIFY(std::holds_alternative<ImportError>(result));
        QCOMPARE(std::get<ImportError>(result).description(), description);
    }

    void handlersWithOnlyNotesAreEnough()
    {
        const Imported imported = succeeded(
            FinickyConfig::parse(u"module.exports = { handlers: [{ match: () => true, browser: \"Firefox\" }] };"_s));
        QCOMPARE(imported.notes,
                 QStringList({u"Skipped a match function — there is no way to express it as a rule."_s}));
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
