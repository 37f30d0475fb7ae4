#include "routing/link_rewriter.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(LinkRewriter)

namespace {

LinkRewriter rewriter(bool strips, bool upgrades, QStringList parameters = LinkRewriter::defaultParameters())
{
    LinkRewriter result;
    result.stripsTrackingParameters = strips;
    result.upgradesToHTTPS = upgrades;
    result.parameters = std::move(parameters);
    return result;
}

} // namespace

class LinkRewriterTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stripping_data()
    {
        QTest::addColumn<QStringList>("parameters");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("expected");
        const QStringList builtIn = LinkRewriter::defaultParameters();
        QTest::newRow("mixed query keeps the rest in order, path and fragment")
            << builtIn << u"https://example.com/a/b?utm_source=x&id=42&UTM_Medium=y&fbclid=z#top"_s
            << u"https://example.com/a/b?id=42#top"_s;
        QTest::newRow("only parameter removed takes the ? too")
            << builtIn << u"https://example.com/p?gclid=abc"_s << u"https://example.com/p"_s;
        QTest::newRow("encoded name is compared decoded")
            << builtIn << u"https://example.com/?utm%5Fsource=a&q=1"_s << u"https://example.com/?q=1"_s;
        QTest::newRow("kept parameters keep their encoding")
            << builtIn << u"https://example.com/?q=a%2Fb+c&fbclid=1&x=%E2%9C%93&flag"_s
            << u"https://example.com/?q=a%2Fb+c&x=%E2%9C%93&flag"_s;
        QTest::newRow("other schemes are stripped too")
            << builtIn << u"ftp://example.com/f?utm_campaign=z&v=2"_s << u"ftp://example.com/f?v=2"_s;
        QTest::newRow("non-ASCII link") << builtIn << u"https://bücher.example/straße?utm_source=ä&seite=2"_s
                                        << u"https://bücher.example/straße?seite=2"_s;
        QTest::newRow("lone star removes nothing")
            << QStringList{u"*"_s} << u"https://e.com/?a=1&b=2"_s << u"https://e.com/?a=1&b=2"_s;
        QTest::newRow("whole name ignores case, not a prefix")
            << QStringList{u"Ref"_s} << u"https://e.com/?ref=1&REF=2&referrer=3"_s << u"https://e.com/?referrer=3"_s;
        QTest::newRow("prefix entry") << QStringList{u"ref*"_s} << u"https://e.com/?ref=1&REF=2&referrer=3&x=4"_s
                                      << u"https://e.com/?x=4"_s;
        QTest::newRow("question mark inside the fragment is not a query")
            << builtIn << u"https://e.com/p#a?utm_source=x"_s << u"https://e.com/p#a?utm_source=x"_s;
    }

    void stripping()
    {
        QFETCH(QStringList, parameters);
        QFETCH(QString, link);
        QFETCH(QString, expected);
        QCOMPARE(rewriter(true, false, parameters).apply(link), expected);
    }

    void upgrade_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("expected");
        QTest::newRow("lower case") << u"http://example.com/a?b=c"_s << u"https://example.com/a?b=c"_s;
        QTest::newRow("any case, port kept") << u"HtTp://example.com:80/x"_s << u"https://example.com:80/x"_s;
        QTest::newRow("single label") << u"http://intranet/wiki"_s << u"https://intranet/wiki"_s;
        QTest::newRow("deep host") << u"http://a.b.c.io/"_s << u"https://a.b.c.io/"_s;
        QTest::newRow("query bytes kept")
            << u"http://example.com/?q=%20a+b&utm_source=x"_s << u"https://example.com/?q=%20a+b&utm_source=x"_s;
    }

    void upgrade()
    {
        QFETCH(QString, link);
        QFETCH(QString, expected);
        QCOMPARE(rewriter(false, true).apply(link), expected);
    }

    void upgradableHosts_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("upgradable");
        for (const QString& host :
             {u"localhost"_s, u"LOCALHOST"_s, u"app.localhost"_s, u"site.test"_s, u"printer.local"_s,
              u"box.localdomain"_s, u"svc.internal"_s, u"x.invalid"_s, u"www.example"_s, u"[::1]"_s, u"192.168.1.20"_s,
              u"10.0.0.300"_s, u"192.168.1.1."_s, u"1.2.3.٤"_s})
            QTest::newRow(qPrintable(host)) << host << false;
        for (const QString& host : {u"intranet"_s, u"a.b.c.io"_s, u"1.2.3.4x"_s, u"example.com."_s})
            QTest::newRow(qPrintable(host)) << host << true;
    }

    void upgradableHosts()
    {
        QFETCH(QString, host);
        QFETCH(bool, upgradable);
        QCOMPARE(LinkRewriter::isUpgradable(host), upgradable);
        const QString link = u"http://"_s + host + u":8080/p"_s;
        QCOMPARE(rewriter(false, true).apply(link), upgradable ? u"https"_s + link.mid(4) : link);
    }

    void bothStepsTogether()
    {
        QCOMPARE(rewriter(true, true).apply(u"http://news.example.org/a?utm_source=rss&p=2#c"_s),
                 u"https://news.example.org/a?p=2#c"_s);
        QCOMPARE(rewriter(true, true).apply(u"http://localhost:3000/?fbclid=1"_s), u"http://localhost:3000/"_s);
    }

    // An unchanged link comes back as the very same text, not a rebuilt copy.
    void unchangedLinksAreTheSameText_data()
    {
        QTest::addColumn<LinkRewriter>("settings");
        QTest::addColumn<QString>("link");
        QTest::newRow("both off") << rewriter(false, false) << u"http://example.com/?utm_source=x"_s;
        QTest::newRow("no query, local host") << rewriter(true, true) << u"http://localhost/x#y"_s;
        QTest::newRow("nothing to strip") << rewriter(true, true) << u"http://192.168.0.1/?a=1&&b"_s;
        QTest::newRow("empty query") << rewriter(true, false) << u"https://e.com/?"_s;
        QTest::newRow("not a link: space") << rewriter(true, true) << u"http://exa mple.com/?utm_source=1"_s;
        QTest::newRow("not a link: port") << rewriter(true, true) << u"http://example.com:http/?gclid=1"_s;
        QTest::newRow("not a link: IPv6") << rewriter(true, true) << u"http://[::1/?gclid=1"_s;
        QTest::newRow("not a link: scheme") << rewriter(true, true) << u"1http://example.com/?gclid=1"_s;
        QTest::newRow("empty") << rewriter(true, true) << QString();
    }

    void unchangedLinksAreTheSameText()
    {
        QFETCH(LinkRewriter, settings);
        QFETCH(QString, link);
        const QString result = settings.apply(link);
        QCOMPARE(result, link);
        QCOMPARE(result.constData(), link.constData());
    }
};

QTEST_GUILESS_MAIN(LinkRewriterTest)
#include "tst_link_rewriter.moc"
