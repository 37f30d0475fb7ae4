#include "routing/regex_cache.h"
#include "routing/rule_evaluation.h"
#include "support/rules.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Rule::Match)

class RuleEvaluationTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matching_data()
    {
        QTest::addColumn<Rule::Match>("match");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("matches");

        const auto host = Rule::Match::host;
        QTest::newRow("host: same domain, mixed case") << host << u"GitHub.com"_s << u"https://github.COM/x"_s << true;
        QTest::newRow("host: subdomain at any depth")
            << host << u"github.com"_s << u"http://a.b.GITHUB.com:8443/p?q#f"_s << true;
        QTest::newRow("host: longer domain ending in the letters")
            << host << u"github.com"_s << u"https://notgithub.com/"_s << false;
        QTest::newRow("host: domain continuing after the pattern")
            << host << u"github.com"_s << u"https://github.com.evil.io/"_s << false;
        QTest::newRow("host: star-dot prefix is ignored")
            << host << u"*.github.com"_s << u"https://github.com/"_s << true;
        QTest::newRow("host: star-dot alone") << host << u"*."_s << u"https://github.com/"_s << false;
        QTest::newRow("host: white space around") << host << u"  github.com\n"_s << u"https://github.com/"_s << true;
        QTest::newRow("host: link without a host") << host << u"example.com"_s << u"mailto:me@example.com"_s << false;
        QTest::newRow("host: user info does not count")
            << host << u"example.com"_s << u"https://example.com@evil.io/"_s << false;
        QTest::newRow("host: non-ASCII") << host << u"BÜCHER.example"_s << u"https://www.bücher.example/"_s << true;
        QTest::newRow("host: Unicode pattern, ASCII link")
            << host << u"*.bücher.example"_s << u"https://xn--bcher-kva.example/"_s << true;
        QTest::newRow("host: ASCII pattern, Unicode link")
            << host << u"xn--bcher-kva.example"_s << u"https://shop.Bücher.example/"_s << true;
        QTest::newRow("host: Unicode look-alike is another host")
            << host << u"bücher.example"_s << u"https://bucher.example/"_s << false;
        QTest::newRow("host: IPv6 literal") << host << u"[::1]"_s << u"http://[::1]:8080/"_s << true;

        const auto contains = Rule::Match::urlContains;
        QTest::newRow("contains: query, any case")
            << contains << u"V=ABC"_s << u"https://yt.example/watch?v=abc"_s << true;
        QTest::newRow("contains: mail link") << contains << u"@example.com"_s << u"mailto:me@example.com"_s << true;

        const auto regex = Rule::Match::regex;
        QTest::newRow("regex: case-insensitive")
            << regex << u"^https://.*\\.internal/"_s << u"https://wiki.CORP.INTERNAL/x"_s << true;
        QTest::newRow("regex: anchors are the pattern's")
            << regex << u"^example"_s << u"https://example.com/"_s << false;
        QTest::newRow("regex: does not compile") << regex << u"("_s << u"https://(.com/"_s << false;
        QTest::newRow("regex: non-ASCII case") << regex << u"ÄRGER"_s << u"https://x.de/ärger"_s << true;

        QTest::newRow("empty pattern") << contains << u"  "_s << u"https://example.com/"_s << false;
    }

    void matching()
    {
        QFETCH(Rule::Match, match);
        QFETCH(QString, pattern);
        QFETCH(QString, link);
        QFETCH(bool, matches);
        QCOMPARE(makeRule(match, pattern).matches(link), matches);
    }

    // Listed identifiers are compared as stored, in any case (the decisions below match one in another case);
    // a rule for some applications takes links from no others, a rule for none from any.
    void sourceFilter()
    {
        const QString link = u"https://example.com/"_s;
        const Rule rule = makeRule(Rule::Match::host, u"example.com"_s, Destination::ask(), true,
                                   {u"org.gnome.Evolution"_s, u" spaced "_s});
        QVERIFY(!rule.matches(link, u"org.mozilla.Thunderbird"_s));
        QVERIFY(!rule.matches(link, u"spaced"_s));
        QVERIFY(hostRule(u"example.com"_s).matches(link, u"anything"_s));
    }

    void firstEnabledMatchWinsElseFallback()
    {
        const QList<Rule> rules = {
            makeRule(Rule::Match::host, u"example.com"_s, Destination::browser(u"disabled"_s), false),
            makeRule(Rule::Match::host, u"example.com"_s, Destination::browser(u"mail-only"_s), true,
                     {u"org.gnome.Evolution"_s}),
            makeRule(Rule::Match::urlContains, u"example"_s, Destination::browser(u"second"_s)),
            makeRule(Rule::Match::host, u"example.com"_s, Destination::browser(u"third"_s))};
        const Destination fallback = Destination::browser(u"fallback"_s, u"Default"_s);

        Decision decision = decide(rules, fallback, u"https://www.example.com/"_s, QString());
        QCOMPARE(decision.destination, Destination::browser(u"second"_s));
        QCOMPARE(decision.ruleIndex, 2);

        decision = decide(rules, fallback, u"https://www.example.com/"_s, u"org.gnome.evolution"_s);
        QCOMPARE(decision.destination, Destination::browser(u"mail-only"_s));

        decision = decide(rules, fallback, u"https://elsewhere.org/"_s, QString());
        QCOMPARE(decision.destination, fallback);
        QVERIFY(!decision.ruleIndex);
    }

    // An expression is compiled once however often it is used, and so is one that fails to compile, silently.
    void eachExpressionIsCompiledOnce()
    {
        const QString pattern = u"once-only-[0-9]+"_s;
        const qsizetype before = regexCache().compilationCount();
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        const Rule rule = makeRule(Rule::Match::regex, u"  "_s + pattern + u"\n"_s);
        const Rule unclosed = makeRule(Rule::Match::regex, u"[unclosed"_s);
        for (int i = 0; i < 50; ++i) {
            QVERIFY(rule.matches(u"https://e.com/once-only-42"_s));
            QVERIFY(!unclosed.matches(u"https://e.com/[unclosed"_s));
        }
        QVERIFY(rule.isValid() && !unclosed.isValid());
        QVERIFY(makeRule(Rule::Match::regex, pattern).isValid());
        QCOMPARE(regexCache().compilationCount(), before + 2);
    }

    // Catastrophic backtracking: without a time limit this search would run for years.
    void runawayExpressionGivesUpAndIsLoggedOnce()
    {
        const Rule runaway = makeRule(Rule::Match::regex, u"(a+)+$"_s);
        const QString link = u"https://e.com/"_s + QString(40, u'a') + u'!';
        // With a deadline far away, only the expression's own step limit can stop it (a decision's 100 ms may
        // run out first on a busy machine).
        const auto later = std::chrono::steady_clock::now() + std::chrono::hours(1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Gave up matching the expression \\(a\\+\\)\\+\\$"_s));
        QCOMPARE(regexCache().search(runaway.pattern, link, later), RegexCache::Search::notFound);
        QTest::failOnWarning(QRegularExpression(u"Gave up"_s));
        QCOMPARE(regexCache().search(runaway.pattern, link, later), RegexCache::Search::notFound);
        QVERIFY(!runaway.matches(link));

        // The same expression still works on text it can decide quickly.
        QVERIFY(makeRule(Rule::Match::regex, u"(a+)+!$"_s).matches(u"aaaa!"_s));
        const QList<Rule> rules = {runaway,
                                   makeRule(Rule::Match::urlContains, u"e.com"_s, Destination::browser(u"next"_s))};
        QCOMPARE(decide(rules, Destination::ask(), link, QString()).destination, Destination::browser(u"next"_s));
    }

    // 500 runaway expressions, each stopped only by its own time limit, would hold one link up for seconds.
    // Once the expressions of a decision have had their time, the rest count as not matching; rules of other
    // kinds still decide.
    void expressionsOfOneDecisionShareATimeBudget()
    {
        QList<Rule> rules;
        for (int i = 1; i <= 500; ++i)
            rules.append(makeRule(Rule::Match::regex, u"(a+)+b{0,%1}$"_s.arg(i), Destination::browser(u"runaway"_s)));
        rules.append(makeRule(Rule::Match::regex, u"e\\.com"_s, Destination::browser(u"expression"_s)));
        rules.append(makeRule(Rule::Match::host, u"e.com"_s, Destination::browser(u"host"_s)));
        const QString link = u"https://e.com/"_s + QString(40, u'a') + u'!';
        const QRegularExpression spent(u"^The expressions of one decision took more than 100 ms; \\d+ expression "_s);

        for (const bool prepared : {false, true}) {
            // The budget running out is told; the time it took is the benchmarks' to measure.
            QTest::ignoreMessage(QtWarningMsg, spent);
            const std::optional<qsizetype> index = prepared
                                                       ? PreparedRules(rules).firstMatch(link, QString())
                                                       : decide(rules, Destination::ask(), link, QString()).ruleIndex;
            QCOMPARE(index, 501);
        }
        // The next decision has time of its own.
        QCOMPARE(decide(rules.last(2), Destination::ask(), link, QString()).ruleIndex, 0);
    }
};

QTEST_GUILESS_MAIN(RuleEvaluationTest)
#include "tst_rule_evaluation.moc"
