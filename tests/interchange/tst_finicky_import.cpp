#include "browsers/browsers.h"
#include "interchange/finicky_report.h"
#include "scripting/finicky_evaluation.h"
#include "support/fakes/fake_platform.h"
#include "support/test_files.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using FinickyConfig::Imported;
using FinickyConfig::ImportError;

namespace {

QString fixture(const QString& name)
{
    return QString::fromUtf8(TestFiles::read(TestFiles::dataPath(u"finicky/"_s + name)));
}

// "google-chrome (Profile 2)", "ask", or "none" for no destination.
QString describe(const std::optional<Destination>& destination)
{
    if (!destination)
        return u"none"_s;
    if (destination->isAsk())
        return u"ask"_s;
    return destination->desktopID() + (destination->profile() ? u" ("_s + *destination->profile() + u')' : QString());
}

// The import as the *.imported.txt fixtures write it: the fallback, one line a rule, then the notes.
QStringList describe(const Result<Imported, ImportError>& result)
{
    if (!result)
        return {u"failed: "_s + result.error().description()};
    const Imported& imported = *result;
    QStringList lines{u"fallback: "_s + describe(imported.fallback)};
    for (const Rule& rule : imported.rules)
        lines.append(matchText(rule.match) + u' ' + rule.pattern + u" -> "_s + describe(rule.destination));
    for (const QString& note : imported.notes)
        lines.append(u"note: "_s + note);
    return lines;
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

    // Each configuration next to what it gives, in finicky/<name>.imported.txt.
    void configurations_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"everyday", "export_default", "modern", "mended", "globs", "matches", "browsers",
                                 "profiles", "notes", "duplicates"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void configurations()
    {
        QFETCH(QString, name);
        const auto result = FinickyEvaluation::parse(fixture(name + u".js"_s));
        QCOMPARE(describe(result), fixture(name + u".imported.txt"_s).split(u'\n', Qt::SkipEmptyParts));
        QSet<QUuid> ids;
        for (const Rule& rule : result->rules) {
            QVERIFY2(rule.isEnabled && rule.sourceDesktopIDs.isEmpty() && rule.isValid(), qPrintable(rule.pattern));
            ids.insert(rule.id);
        }
        QCOMPARE(ids.size(), result->rules.size());
    }

    void failures_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        const QString notAConfig =
            u"failed: That file does not look like a Finicky config — no handlers were found in it."_s;
        QTest::newRow("syntax error after blank lines and an export")
            << u"// mine\n\n\n   export default {\n  handlers: [\n    { match: * }\n  ]\n};"_s
            << u"failed: That file is not valid JavaScript: SyntaxError: expected expression, got '*' at line 6"_s;
        QTest::newRow("export default inside a line")
            << u"const c = {}; export default c;"_s
            << u"failed: That file is not valid JavaScript: SyntaxError: export declarations may only appear at top "
               u"level of a module at line 1"_s;
        QTest::newRow("default browser by function only")
            << u"module.exports = { defaultBrowser: () => \"Firefox\", handlers: [] };"_s << notAConfig;
        QTest::newRow("handler that is not an object") << u"module.exports = { handlers: [null] };"_s << notAConfig;
        // Array.isArray() accepts a Proxy of an array, whose length can be anything.
        QTest::newRow("rewrites that claim an impossible count")
            << u"module.exports = { defaultBrowser: \"Firefox\", handlers: [],\n"
               u"  rewrite: new Proxy([], { get: (t, k) => (k === \"length\" ? 1e96 : t[k]) }) };"_s
            << u"note: URL rewrites were skipped — Linkherd routes links, it does not change them."_s;
        QTest::newRow("handlers with only notes are enough")
            << u"module.exports = { handlers: [{ match: () => true, browser: \"Firefox\" }] };"_s
            << u"note: Skipped a match function — there is no way to express it as a rule."_s;
    }

    void failures()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        QCOMPARE(describe(FinickyEvaluation::parse(text)).last(), result);
    }

    // A runaway configuration fails its own import and nothing else: the next import in the same process works.
    void runawayConfigurationsAreStopped()
    {
        const JavaScriptLimits quick{200ms, qint64(64) * 1024 * 1024};
        QCOMPARE(describe(FinickyEvaluation::parse(fixture(u"endless_loop.js"_s), quick)),
                 QStringList{u"failed: That file is not valid JavaScript: the configuration did not finish within 0.2 "
                             u"seconds"_s});
        QCOMPARE(describe(FinickyEvaluation::parse(fixture(u"memory_bomb.js"_s), {5s, quick.memoryBytes})),
                 QStringList{u"failed: That file is not valid JavaScript: the configuration needed more than 64 MB of "
                             u"memory"_s});
        QCOMPARE(describe(FinickyEvaluation::parse(fixture(u"export_default.js"_s))),
                 QStringList{u"fallback: google-chrome"_s});
    }

    // The report the tool prints is what the rules window reads: a whole import reads back as it was, and the
    // report's rules go through the rules file's checks.
    void reportReadsBack()
    {
        const auto imported = FinickyEvaluation::parse(fixture(u"export_default.js"_s));
        QVERIFY(imported);
        FinickyConfig::Imported expected = *imported;
        expected.notes.append(u"a note with \"quotes\" and\na line break"_s);
        const Result<FinickyConfig::Imported> read = FinickyConfig::readReport(FinickyConfig::writeReport(expected));
        QVERIFY2(read, qPrintable(read.error()));
        QCOMPARE(read->rules, expected.rules);
        QCOMPARE(read->fallback, expected.fallback);
        QCOMPARE(read->notes, expected.notes);
        QVERIFY(!FinickyConfig::readReport(FinickyConfig::writeReport({expected.rules, {}, {}})).value().fallback);

        for (const QByteArray& refused : {QByteArray("Segmentation fault"), QByteArray(R"({"notes":[],"rules":[]})"),
                                          QByteArray(R"({"fallback":null,"notes":[1],"rules":[]})"),
                                          QByteArray(R"({"fallback":null,"notes":[],"rules":[{"match":"host"}]})")})
            QVERIFY2(!FinickyConfig::readReport(refused), refused.constData());
    }

private:
    FakeApplicationCatalog m_catalog;
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(FinickyImportTest)
#include "tst_finicky_import.moc"
