#include "routing/rules_codec.h"
#include "support/rules.h"
#include "support/test_files.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(LinkRewriter)
Q_DECLARE_METATYPE(Rule::Match)

namespace {

RulesDocument decoded(const QByteArray& json)
{
    Result<RulesDocument> result = RulesCodec::decode(json);
    if (!result)
        qFatal("expected a readable document, got: %s", qPrintable(result.error()));
    return std::move(result).value();
}

} // namespace

class RulesCodecTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void brokenFilesAreRefusedWholeNamingTheProblem_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("error");
        QTest::newRow("rule without sourceBundleIDs")
            << u"missing_source_bundle_ids.json"_s << u"rules[0]: \"sourceBundleIDs\" is missing"_s;
        QTest::newRow("match text is case-sensitive")
            << u"match_wrong_case.json"_s << u"rules[1].match: \"Host\" is not one of host, urlContains, regex"_s;
        QTest::newRow("id that is not a UUID")
            << u"id_not_uuid.json"_s << u"rules[0].id: \"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1fg\" is not a UUID"_s;
        QTest::newRow("id in braces") << u"id_in_braces.json"_s << u"rules[0].id:"_s;
        QTest::newRow("destination as text") << u"fallback_not_object.json"_s << u"fallback: expected an object"_s;
        QTest::newRow("syntax error") << u"truncated.json"_s << u"not valid JSON at line"_s;
        QTest::newRow("top-level array") << u"top_level_array.json"_s << u"the rules file must hold a JSON object"_s;
        QTest::newRow("isEnabled as text")
            << u"enabled_as_text.json"_s << u"rules[0].isEnabled: expected true or false, found a string"_s;
        QTest::newRow("profile as number")
            << u"profile_number.json"_s << u"fallback.browser.profile: expected a string"_s;
        QTest::newRow("browser without bundleID")
            << u"browser_without_bundle_id.json"_s << u"fallback.browser: \"bundleID\" is missing"_s;
        QTest::newRow("rewriter without parameters")
            << u"rewriter_without_parameters.json"_s << u"rewriter: \"parameters\" is missing"_s;
        QTest::newRow("fractional version") << u"version_fraction.json"_s << u"version: expected an integer"_s;
        QTest::newRow("no version") << u"version_missing.json"_s << u"\"version\" is missing"_s;
        QTest::newRow("source that is not text")
            << u"source_not_text.json"_s << u"rules[0].sourceBundleIDs[1]: expected a string"_s;
        QTest::newRow("empty file") << u"empty.json"_s << u"not valid JSON"_s;
    }

    void brokenFilesAreRefusedWholeNamingTheProblem()
    {
        QFETCH(QString, file);
        QFETCH(QString, error);
        const Result<RulesDocument> result =
            RulesCodec::decode(TestFiles::read(TestFiles::dataPath(u"rules/"_s + file)));
        QVERIFY(!result);
        QVERIFY2(result.error().startsWith(error), qPrintable(result.error()));
    }

    // "\/" and "/" read alike, a null profile is no profile, a pattern is kept as stored, and any destination
    // without "browser" asks; keys Linkherd does not know are passed over.
    void readsEveryAcceptedSpelling()
    {
        const auto withID = [](const char* id, Rule rule) {
            rule.id = QUuid::fromString(QLatin1StringView(id));
            return rule;
        };
        RulesDocument expected = RulesDocument::make(
            {withID("A3C1E2D4-5B6F-4A7B-8C9D-0E1F2A3B4C5D",
                    makeRule(Rule::Match::regex, u"^https://git\\.example\\.com/"_s,
                             Destination::browser(u"com.google.Chrome"_s, u"Profile 1"_s), true,
                             {u"org.gnome.Evolution"_s})),
             withID("B4D2F3E5-6C70-4B8C-9DAE-1F203B4C5D6E",
                    makeRule(Rule::Match::urlContains, u"  zoom.us/j  "_s, Destination::ask(), false)),
             withID("C5E3A4F6-7D81-4C9D-AEBF-203A4C5D6E7F", hostRule(u"bücher.example"_s))},
            Destination::browser(u"firefox-esr"_s),
            LinkRewriter{.stripsTrackingParameters = true, .parameters = {u"utm_*"_s, u"ref"_s}});
        expected.version = 7;
        QCOMPARE(decoded(TestFiles::read(TestFiles::dataPath(u"rules/complete.json"_s))), expected);
        QCOMPARE(decoded(R"({"fallback":{},"rules":[],"version":1})"), RulesDocument());
        QCOMPARE(decoded(R"({"fallback":{},"rewriter":null,"rules":[],"version":1})"), RulesDocument());
    }

    // Well-formed files are read through simdjson, the rest (lone surrogates escaped in a string here) through
    // QJsonDocument: a key given twice must mean the same in both, the last one.
    void keyGivenTwiceTakesTheLast_data()
    {
        QTest::addColumn<QByteArray>("extra");
        QTest::newRow("well-formed") << QByteArray();
        QTest::newRow("lone surrogate") << QByteArray(R"("note": "\ud800",)");
    }

    void keyGivenTwiceTakesTheLast()
    {
        QFETCH(QByteArray, extra);
        const RulesDocument document = decoded("{" + extra + R"("fallback": {"browser": {"bundleID": "a"}},
            "fallback": {"browser": {"bundleID": "b", "bundleID": "c"}}, "rules": {}, "rules": [], "version": 1})");
        QCOMPARE(document.fallback, Destination::browser(u"c"_s));
    }

    // as_written.json is what earlier versions, which wrote through QJsonDocument, made of this document.
    // Their files must compare equal to what is written now, or the store would take its own file for an
    // outside edit. Strings keep every character: escapes where JSON needs them, raw UTF-8 elsewhere, and
    // escaped code units for lone surrogates, which have no UTF-8 form.
    void writesTheBytesEarlierVersionsWrote()
    {
        Rule cleaning = makeRule(Rule::Match::urlContains,
                                 u"  example.com/a \"b\" \\ \b\f\n\r\t\x01\x1f bücher 中 😀 "_s + QChar(0xdc00) + u'/' +
                                     QChar(0xd800),
                                 Destination::browser(u"com.google.Chrome"_s, u"Profile 1"_s));
        cleaning.id = QUuid::fromString(u"a3c1e2d4-5b6f-4a7b-8c9d-0e1f2a3b4c5d"_s);
        cleaning.sourceDesktopIDs = {u"org.gnome.Evolution"_s, u"org.kde/kmail"_s};
        Rule asking = makeRule(Rule::Match::regex, u"^https://"_s);
        asking.id = QUuid::fromString(u"B4D2F3E5-6C70-4B8C-9DAE-1F203B4C5D6E"_s);
        asking.isEnabled = false;
        RulesDocument document = RulesDocument::make({cleaning, asking}, Destination::browser(u"firefox"_s),
                                                     LinkRewriter{.upgradesToHTTPS = true, .parameters = {u"utm_*"_s}});
        document.version = 7;

        const QByteArray expected = TestFiles::read(TestFiles::dataPath(u"rules/as_written.json"_s));
        QCOMPARE(RulesCodec::encode(document), expected);
        RulesDocument reread = decoded(expected);
        reread.version = 7;
        QCOMPARE(reread, document);
    }

    void rewriterIsWrittenOnlyWhenItDiffersFromTheInitialOne_data()
    {
        QTest::addColumn<LinkRewriter>("rewriter");
        QTest::addColumn<bool>("written");
        QTest::newRow("initial") << LinkRewriter::initial() << false;
        LinkRewriter reordered;
        reordered.parameters.move(0, 1);
        QTest::newRow("same entries in another order") << reordered << true;
        QTest::newRow("one entry more") << LinkRewriter{.parameters =
                                                            LinkRewriter::defaultParameters() + QStringList{u"ref"_s}}
                                        << true;
        QTest::newRow("stripping on") << LinkRewriter{.stripsTrackingParameters = true} << true;
    }

    void rewriterIsWrittenOnlyWhenItDiffersFromTheInitialOne()
    {
        QFETCH(LinkRewriter, rewriter);
        QFETCH(bool, written);
        const RulesDocument document = RulesDocument::make({}, Destination::ask(), rewriter);
        QCOMPARE(RulesCodec::encode(document).contains("\"rewriter\""), written);
        QCOMPARE(decoded(RulesCodec::encode(document)).rewriter.value_or(LinkRewriter::initial()), rewriter);
    }

    // Members added in later versions (the unwrap switch, a browser destination's window) are left out while
    // they hold their default, so that files from before them read and are written back as they were.
    void laterMembersAreWrittenOnlyWhenNotDefault_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("written"); // what is written of the member; empty: it is left out
        QTest::addColumn<QString>("error");
        const auto unwrap = [](const QByteArray& member) -> QByteArray {
            return R"({"fallback": {}, "rules": [], "version": 1, "rewriter": {"parameters": [],
                "stripsTrackingParameters": true, "upgradesToHTTPS": false)" +
                   member + "}}";
        };
        const auto window = [](const QByteArray& member) -> QByteArray {
            return R"({"fallback": {"browser": {"bundleID": "firefox", "profile": "w.Work")" + member +
                   R"(}}, "rules": [], "version": 1})";
        };
        QTest::newRow("unwrap absent") << unwrap({}) << QByteArray() << QString();
        QTest::newRow("unwrap null") << unwrap(R"(, "unwrapsRedirects": null)") << QByteArray() << QString();
        QTest::newRow("unwrap off") << unwrap(R"(, "unwrapsRedirects": false)") << QByteArray() << QString();
        QTest::newRow("unwrap on") << unwrap(R"(, "unwrapsRedirects": true)") << "\"unwrapsRedirects\": true"_ba
                                   << QString();
        QTest::newRow("unwrap text") << unwrap(R"(, "unwrapsRedirects": "yes")") << QByteArray()
                                     << u"rewriter.unwrapsRedirects: expected true or false, found a string"_s;
        QTest::newRow("window absent") << window({}) << QByteArray() << QString();
        QTest::newRow("window usual") << window(R"(, "window": "usual")") << QByteArray() << QString();
        QTest::newRow("window new") << window(R"(, "window": "new")") << "\"window\": \"new\""_ba << QString();
        QTest::newRow("window private") << window(R"(, "window": "private")") << "\"window\": \"private\""_ba
                                        << QString();
        QTest::newRow("window, unknown word")
            << window(R"(, "window": "Private")") << QByteArray()
            << u"fallback.browser.window: expected \"usual\", \"new\" or \"private\", found \"Private\""_s;
        QTest::newRow("window not text")
            << window(R"(, "window": true)") << QByteArray()
            << u"fallback.browser.window: expected \"usual\", \"new\" or \"private\", found true"_s;
    }

    void laterMembersAreWrittenOnlyWhenNotDefault()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, written);
        QFETCH(QString, error);
        const Result<RulesDocument> read = RulesCodec::decode(file);
        if (!error.isEmpty()) {
            QVERIFY(!read);
            QCOMPARE(read.error(), error);
            return;
        }
        QVERIFY(read);
        const QByteArray encoded = RulesCodec::encode(*read);
        QVERIFY2(written.isEmpty() ? !encoded.contains("unwrapsRedirects") && !encoded.contains("\"window\"")
                                   : encoded.contains(written),
                 encoded.constData());
        QCOMPARE(decoded(encoded), *read);
    }

    void validityAndSummary_data()
    {
        QTest::addColumn<Rule::Match>("match");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("summary");
        QTest::newRow("host with white space")
            << Rule::Match::host << u"  example.com\n"_s << true << u"Host is example.com"_s;
        QTest::newRow("blank host") << Rule::Match::host << u" \t\n"_s << false << u"Host is …"_s;
        QTest::newRow("url contains") << Rule::Match::urlContains << u"/watch?v="_s << true
                                      << u"URL contains /watch?v="_s;
        QTest::newRow("regex that compiles")
            << Rule::Match::regex << u"^https://a\\.b/"_s << true << u"URL matches ^https://a\\.b/"_s;
        QTest::newRow("regex that does not compile") << Rule::Match::regex << u"("_s << false << u"URL matches ("_s;
        QTest::newRow("host rule with a bracket") << Rule::Match::host << u"("_s << true << u"Host is ("_s;
        QTest::newRow("empty regex") << Rule::Match::regex << QString() << false << u"URL matches …"_s;
    }

    void validityAndSummary()
    {
        QFETCH(Rule::Match, match);
        QFETCH(QString, pattern);
        QFETCH(QString, summary);
        const Rule rule = makeRule(match, pattern);
        QTEST(rule.isValid(), "valid");
        QCOMPARE(rule.summary(), summary);
    }
};

QTEST_GUILESS_MAIN(RulesCodecTest)
#include "tst_rules_codec.moc"
