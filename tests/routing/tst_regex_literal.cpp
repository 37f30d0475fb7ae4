#include "routing/regex_cache.h"
#include "routing/regex_literal.h"
#include "routing/rule.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Rules skip an expression when a link lacks the text every match must contain. A wrong text would lose
// links, so the reading of patterns is checked on the constructs that could fool it.
class RegexLiteralTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsTheLongestCertainText_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("literal");
        QTest::newRow("escaped dots, optional group")
            << u"^https://(www\\.)?shop1\\.example\\.com/"_s << u"shop1.example.com/"_s;
        QTest::newRow("set and quantifier") << u"/tickets/[A-Z]+-12\\b"_s << u"/tickets/"_s;
        QTest::newRow("alternation inside a group") << u"(jira|wiki)\\.corp\\.io"_s << u".corp.io"_s;
        QTest::newRow("quantified last character") << u"abcd*xy"_s << u"abc"_s;
        QTest::newRow("counted repetition") << u"ab{2}cdef"_s << u"cdef"_s;
        QTest::newRow("escape arguments are not text") << u"\\x41bcdef\\cJxyzw\\u0041qq\\0101abcde"_s << u"bcdef"_s;
        QTest::newRow("backreference digits") << u"(a)\\12345678"_s << QString();
        QTest::newRow("property escape") << u"\\p{Letter}{2}zoom\\.us"_s << u"zoom.us"_s;
        QTest::newRow("non-ASCII ends a run") << u"straße/abc"_s << u"e/abc"_s;
        QTest::newRow("escaped question mark") << u"\\d+/watch\\?v="_s << u"/watch?v="_s;
        QTest::newRow("too short") << u"a.b.c"_s << QString();
        QTest::newRow("top-level alternation") << u"jira|confluence"_s << QString();
        QTest::newRow("inline flags") << u"(?x) exa mple"_s << QString();
        QTest::newRow("comment") << u"(?#note)example"_s << QString();
        QTest::newRow("quoting") << u"\\Qa|b\\Eexample"_s << QString();
        QTest::newRow("set starting with a bracket") << u"[]abc]defg"_s << QString();
        QTest::newRow("nested set") << u"[[a-z]&&[^q]]defg"_s << QString();
        QTest::newRow("unbalanced") << u"abc)def"_s << QString();
    }

    void readsTheLongestCertainText()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, literal);
        QCOMPARE(requiredLiteral(pattern), literal);
    }

    // Whatever the shortcut, a rule decides exactly as the expression does.
    void rulesDecideAsTheExpression_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("matches");
        QTest::newRow("case") << u"SHOP1\\.Example\\.COM/"_s << u"https://www.shop1.example.com/cart"_s << true;
        QTest::newRow("control escape") << u"a\\cIb"_s << u"https://e.com/a\tb"_s << true;
        QTest::newRow("hex escape") << u"\\x2Fwiki/Main"_s << u"https://e.com/wiki/Main"_s << true;
        QTest::newRow("octal escape") << u"\\0101BCD"_s << u"https://e.com/ABCD"_s << true;
        QTest::newRow("backreference") << u"/(ab)\\1cd"_s << u"https://e.com/ababcd"_s << true;
        QTest::newRow("optional group") << u"https://(www\\.)?e\\.com/"_s << u"https://e.com/"_s << true;
        QTest::newRow("kelvin sign in the link") << u"kelvin-scale"_s << u"https://e.com/\u212Aelvin-scale"_s << true;
        QTest::newRow("sharp s folds") << u"strasse"_s << u"https://e.de/STRAßE"_s << true;
        QTest::newRow("missing text") << u"/tickets/[A-Z]+-12"_s << u"https://e.com/issues/AB-12"_s << false;
        QTest::newRow("lazy quantifier") << u"abc+?def"_s << u"https://e.com/abccdef"_s << true;
    }

    void rulesDecideAsTheExpression()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, link);
        QFETCH(bool, matches);
        Rule rule;
        rule.match = Rule::Match::regex;
        rule.pattern = pattern;
        QCOMPARE(regexCache().search(pattern, link) == RegexCache::Search::found, matches);
        QCOMPARE(rule.matches(link), matches);
    }
};

QTEST_GUILESS_MAIN(RegexLiteralTest)
#include "tst_regex_literal.moc"
