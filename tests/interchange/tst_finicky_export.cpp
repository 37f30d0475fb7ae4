#include "browsers/browsers.h"
#include "interchange/finicky_config.h"
#include "scripting/finicky_evaluation.h"
#include "support/cli_run.h"
#include "support/fakes/fake_platform.h"
#include "support/rules.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString fixturePath(const QString& name)
{
    return TestFiles::dataPath(u"finicky/"_s + name);
}

QString fixture(const QString& name)
{
    return QString::fromUtf8(TestFiles::read(fixturePath(name)));
}

} // namespace

class FinickyExportTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_directory.isValid());
        m_catalog.browsers = {fakeEntry(u"firefox"_s, u"Firefox"_s),
                              fakeEntry(u"com.google.Chrome"_s, u"Google Chrome"_s)};
        m_rules = m_directory.filePath(u"rules.json"_s);
        TestFiles::write(m_rules, TestFiles::read(fixturePath(u"linkherd_rules.json"_s)));
    }

    // Every kind of rule, and text that, written naively, would end a literal or a comment early or break a
    // line: Finicky would refuse the whole file or quietly lose the rules after it. Read back, the file gives
    // the enabled rules without source applications, and nothing else.
    void everyKindOfRule()
    {
        using enum Rule::Match;
        Browsers::setCatalog(&m_catalog);
        const Destination firefox = Destination::browser(u"firefox"_s);
        const Destination ask = Destination::ask();
        const QStringList sources{u"org.gnome.Evolution"_s, u"firefox"_s};
        const QList<Rule> rules{
            makeRule(host, u"  example.com \t"_s, firefox),
            makeRule(host, u"example.com"_s, Destination::browser(u"com.google.Chrome"_s, u"Work"_s)),
            makeRule(host, u"example.com"_s, firefox, false),
            makeRule(host, u"example.com"_s, firefox, true, sources),
            makeRule(host, u"example.com"_s, firefox, false, sources),
            makeRule(regex, u" ^https://a\\.io/ "_s, ask),
            makeRule(urlContains, u"  "_s, ask, false, sources),
            makeRule(host, u"a.io\nmodule.exports = {}"_s, ask),
            makeRule(host, u"a.io"_s, Destination::browser(u"org.example.Two\u2028Lines"_s), false,
                     {u"org.example.Other\nApp"_s}),
            makeRule(host, u"a.io"_s, Destination::browser(u"firefox"_s, u"Pro\"file\\1\n"_s)),
            makeRule(host, u"a\nb\rc"_s, firefox),
            makeRule(host, u"a\\\nb"_s, firefox),
            makeRule(urlContains, u" example.com/a+b?c=(1) "_s, firefox),
            makeRule(urlContains, u"a\\/b"_s, firefox),
            makeRule(urlContains, u"a\nb"_s, firefox),
            makeRule(urlContains, u"\t"_s, Destination::browser(u"com.google.Chrome"_s)),
            makeRule(regex, u" \n "_s, firefox),
            makeRule(regex, u"^https://x\\.com/a"_s, firefox),
            makeRule(regex, u"b\\/c"_s, firefox),
            makeRule(regex, u"d\\\\/e"_s, firefox),
            makeRule(regex, u"f\\\\\\/g"_s, firefox),
            makeRule(regex, u"h[/]i"_s, firefox),
            makeRule(regex, u"j\nk"_s, firefox),
            makeRule(regex, u"l\\\nm"_s, firefox),
            makeRule(regex, u"n\r\u2028\u2029o"_s, firefox),
            makeRule(regex, u"p\\"_s, firefox),
            makeRule(regex, u"*q"_s, firefox)};
        const QString text =
            FinickyConfig::exportConfig(rules, Destination::browser(u"org.we\"ird\\Id\r"_s, u"Profile 1"_s));
        QCOMPARE(text.split(u'\n'), fixture(u"every_kind.exported.js"_s).split(u'\n'));

        const auto result = FinickyEvaluation::parse(text);
        QVERIFY(result.ok());
        const FinickyConfig::Imported& imported = *result;
        QStringList reimported;
        for (const Rule& rule : imported.rules) {
            QVERIFY2(rule.isValid(), qPrintable(rule.pattern));
            reimported.append(matchText(rule.match) + u' ' + rule.pattern + u" -> "_s +
                              (rule.destination.isAsk() ? u"ask"_s : rule.destination.desktopID()) +
                              (rule.destination.profile() ? u" ("_s + *rule.destination.profile() + u')' : QString()));
        }
        QCOMPARE(reimported, (QStringList{u"host example.com -> firefox"_s,
                                          u"host example.com -> com.google.Chrome (Work)"_s,
                                          u"host a.io -> firefox (Pro\"file\\1\n)"_s,
                                          u"host a\nb\rc -> firefox"_s,
                                          u"host a\\\nb -> firefox"_s,
                                          uR"(regex example\.com\/a\+b\?c=\(1\) -> firefox)"_s,
                                          uR"(regex a\\\/b -> firefox)"_s,
                                          uR"(regex a\nb -> firefox)"_s,
                                          uR"(regex (?:) -> com.google.Chrome)"_s,
                                          uR"(regex (?:) -> firefox)"_s,
                                          uR"(regex ^https:\/\/x\.com\/a -> firefox)"_s,
                                          uR"(regex b\/c -> firefox)"_s,
                                          uR"(regex d\\\/e -> firefox)"_s,
                                          uR"(regex f\\\/g -> firefox)"_s,
                                          uR"(regex h[\/]i -> firefox)"_s,
                                          uR"(regex j\nk -> firefox)"_s,
                                          uR"(regex l\nm -> firefox)"_s,
                                          uR"(regex n\r\u2028\u2029o -> firefox)"_s,
                                          uR"(regex p\\ -> firefox)"_s,
                                          uR"(regex \*q -> firefox)"_s}));
        QCOMPARE(imported.notes, QStringList{u"No browser named “org.we\"ird\\Id\r” is installed. Rules pointing at it "
                                             u"were imported set to “Ask every time”."_s});
        QCOMPARE(imported.fallback, ask);
    }

    // The first file in Finicky's order; a folder or a broken link is none.
    void locate()
    {
        const QDir home(m_directory.filePath(u"home"_s));
        qputenv("HOME", QFile::encodeName(home.path()));
        QVERIFY(home.mkpath(u".finicky.js"_s));
        QVERIFY(home.mkpath(u".config/finicky/finicky.js"_s));
        QVERIFY(QFile::link(home.filePath(u"gone.ts"_s), home.filePath(u".config/finicky/finicky.ts"_s)));
        QVERIFY(!FinickyConfig::locateExisting());
        expectCli({u"finicky"_s, u"locate"_s}, 1, QString(),
                  u"linkherd: no Finicky configuration found (looked for ~/.finicky.js, ~/.config/finicky/finicky.js "
                  u"and ~/.config/finicky/finicky.ts)\n"_s,
                  m_rules);

        TestFiles::write(home.filePath(u"real.ts"_s), "export default {}");
        QVERIFY(QFile::remove(home.filePath(u".config/finicky/finicky.ts"_s)));
        QVERIFY(QFile::link(home.filePath(u"real.ts"_s), home.filePath(u".config/finicky/finicky.ts"_s)));
        QCOMPARE(FinickyConfig::locateExisting(), home.filePath(u".config/finicky/finicky.ts"_s));
        QVERIFY(home.rmdir(u".config/finicky/finicky.js"_s));
        TestFiles::write(home.filePath(u".config/finicky/finicky.js"_s), "module.exports = {}");
        QCOMPARE(FinickyConfig::locateExisting(), home.filePath(u".config/finicky/finicky.js"_s));
        QVERIFY(home.rmdir(u".finicky.js"_s));
        TestFiles::write(home.filePath(u".finicky.js"_s), "module.exports = {}");
        QCOMPARE(FinickyConfig::locateExisting(), home.filePath(u".finicky.js"_s));
    }

    void exportToStandardOutput()
    {
        expectCli({u"finicky"_s, u"export"_s}, 0, fixture(u"linkherd_rules.exported.js"_s), QString(), m_rules);
        QCOMPARE(FinickyConfig::exportConfig({}, Destination::ask()), fixture(u"nothing.exported.js"_s));

        // No desktop is needed: the services given are none.
        const QString output = m_directory.filePath(u"finicky.js"_s);
        TestFiles::write(output, "// an older export");
        QCOMPARE(run({u"finicky"_s, u"export"_s, u"--output"_s, output}).status, 0);
        QCOMPARE(QString::fromUtf8(TestFiles::read(output)), fixture(u"linkherd_rules.exported.js"_s));
    }

    // Finicky starts Firefox with -P and the profile's name: a Firefox profile leaves by its name and comes back
    // as the path the rule had.
    void firefoxProfileGoesByName()
    {
        Browsers::setCatalog(&m_catalog);
        qputenv("HOME", QFile::encodeName(m_directory.path()));
        QVERIFY(QDir().mkpath(m_directory.filePath(u".mozilla/firefox"_s)));
        TestFiles::write(m_directory.filePath(u".mozilla/firefox/profiles.ini"_s),
                         "[Profile0]\nName=Work\nIsRelative=1\nPath=w0rk.Work\n");
        const Destination work = Destination::browser(u"firefox"_s, u"w0rk.Work"_s);
        const QString text = FinickyConfig::exportConfig({makeRule(Rule::Match::host, u"example.com"_s, work)}, work);
        QVERIFY2(text.contains(uR"({ name: "firefox", profile: "Work" })"_s), qPrintable(text));
        const auto result = FinickyEvaluation::parse(text);
        QVERIFY(result.ok());
        QCOMPARE(result->rules.value(0).destination, work);
        QCOMPARE(result->fallback, work);
    }

private:
    CliRun run(const QStringList& arguments) { return runCliInProcess(arguments, m_rules); }

    QTemporaryDir m_directory;
    QString m_rules;
    FakeApplicationCatalog m_catalog;
};

QTEST_GUILESS_MAIN(FinickyExportTest)
#include "tst_finicky_export.moc"
