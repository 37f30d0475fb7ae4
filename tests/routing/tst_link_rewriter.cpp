#include "routing/link_rewriter.h"
#include "routing/redirect_wrappers.h"
#include "support/test_files.h"

#include <QRandomGenerator>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(LinkRewriter)

namespace {

LinkRewriter rewriter(bool strips, bool upgrades, QStringList parameters = LinkRewriter::defaultParameters())
{
    return {.stripsTrackingParameters = strips, .upgradesToHTTPS = upgrades, .parameters = std::move(parameters)};
}

const LinkRewriter unwrapper{.unwrapsRedirects = true};

// Judged by QUrl, not by Linkherd's own parser: a whole http or https link with a host.
bool isWholeWebLink(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") && !url.host().isEmpty() &&
           !text.contains(u' ');
}

} // namespace

class LinkRewriterTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Stripping, upgrading, both or neither. A link left as it was (a row without the result) comes back as the
    // very same text, not a rebuilt copy.
    void rewriting_data()
    {
        QTest::addColumn<LinkRewriter>("settings");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const LinkRewriter& settings, const QString& link,
                            const std::optional<QString>& expected = std::nullopt) {
            QTest::newRow(name) << settings << link << expected.value_or(link);
        };
        const LinkRewriter strips = rewriter(true, false);
        const LinkRewriter upgrades = rewriter(false, true);
        const LinkRewriter both = rewriter(true, true);
        row("mixed query keeps the rest in order, path and fragment", strips,
            u"https://example.com/a/b?utm_source=x&id=42&UTM_Medium=y&fbclid=z#top"_s,
            u"https://example.com/a/b?id=42#top"_s);
        row("only parameter removed takes the ? too", strips, u"https://example.com/p?gclid=abc"_s,
            u"https://example.com/p"_s);
        row("encoded name is compared decoded", strips, u"https://example.com/?utm%5Fsource=a&q=1"_s,
            u"https://example.com/?q=1"_s);
        row("a % that starts no escape is no escape", strips, u"https://example.com/?fbcli%V4=1&x=2"_s);
        row("kept parameters keep their encoding", strips,
            u"https://example.com/?q=a%2Fb+c&fbclid=1&x=%E2%9C%93&flag"_s,
            u"https://example.com/?q=a%2Fb+c&x=%E2%9C%93&flag"_s);
        row("other schemes are stripped too", strips, u"ftp://example.com/f?utm_campaign=z&v=2"_s,
            u"ftp://example.com/f?v=2"_s);
        row("non-ASCII link", strips, u"https://bücher.example/straße?utm_source=ä&seite=2"_s,
            u"https://bücher.example/straße?seite=2"_s);
        row("lone star removes nothing", rewriter(true, false, {u"*"_s}), u"https://e.com/?a=1&b=2"_s);
        row("whole name ignores case, not a prefix", rewriter(true, false, {u"Ref"_s}),
            u"https://e.com/?ref=1&REF=2&referrer=3"_s, u"https://e.com/?referrer=3"_s);
        row("prefix entry", rewriter(true, false, {u"ref*"_s}), u"https://e.com/?ref=1&REF=2&referrer=3&x=4"_s,
            u"https://e.com/?x=4"_s);
        row("question mark inside the fragment is not a query", strips, u"https://e.com/p#a?utm_source=x"_s);
        row("upgrade, any case, port kept", upgrades, u"HtTp://example.com:80/x"_s, u"https://example.com:80/x"_s);
        row("upgrade keeps the query's bytes", upgrades, u"http://example.com/?q=%20a+b&utm_source=x"_s,
            u"https://example.com/?q=%20a+b&utm_source=x"_s);
        row("both off", rewriter(false, false), u"http://example.com/?utm_source=x"_s);
        row("unwrapping off", both, u"https://slack-redir.net/link?url=https%3A%2F%2Fe.com%2F"_s);
        row("unwrapping on, no wrapper", unwrapper, u"https://www.google.com/url?q=e.com"_s);
        row("no query, local host", both, u"http://localhost/x#y"_s);
        row("nothing to strip", both, u"http://192.168.0.1/?a=1&&b"_s);
        row("empty query", strips, u"https://e.com/?"_s);
        row("not a link: space", both, u"http://exa mple.com/?utm_source=1"_s);
        row("not a link: port", both, u"http://example.com:http/?gclid=1"_s);
        row("not a link: IPv6", both, u"http://[::1/?gclid=1"_s);
        row("not a link: scheme", both, u"1http://example.com/?gclid=1"_s);
        row("empty", both, QString());
    }

    void rewriting()
    {
        QFETCH(LinkRewriter, settings);
        QFETCH(QString, link);
        QFETCH(QString, expected);
        const QString result = settings.apply(link);
        QCOMPARE(result, expected);
        if (expected == link)
            QCOMPARE(result.constData(), link.constData());
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

    // A row for every built-in wrapper and each way one carries its target, and wrapper links that give their
    // target up to nothing: those rows have no "expected" and come back as they were.
    void unwrapping_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("wrappers");
        for (const QJsonObject& row : TestFiles::tableRows(u"unwrapping.json"_s)) {
            const QString link = row[u"link"].toString();
            QTest::newRow(qPrintable(row[u"row"].toString()))
                << link << row[u"expected"].toString(link) << TestFiles::strings(row[u"wrappers"]);
        }
    }

    void unwrapping()
    {
        QFETCH(QString, link);
        QList<LinkRewriter::Step> steps;
        QTEST(unwrapper.apply(link, &steps), "expected");
        QStringList names;
        for (const LinkRewriter::Step& step : steps) {
            QCOMPARE(step.kind, LinkRewriter::Step::Kind::unwrap);
            names.append(step.detail);
        }
        QTEST(names, "wrappers");
    }

    // The target is what gets cleaned and upgraded; the steps are told in that order.
    void unwrapsBeforeUpgradingAndStripping()
    {
        const LinkRewriter settings{
            .stripsTrackingParameters = true, .upgradesToHTTPS = true, .unwrapsRedirects = true};
        QList<LinkRewriter::Step> steps;
        QCOMPARE(settings.apply(u"https://slack-redir.net/link?url=http%3A%2F%2Fe.com%2F%3Futm_source%3Dx%26id%3D1"_s,
                                &steps),
                 u"https://e.com/?id=1"_s);
        using Kind = LinkRewriter::Step::Kind;
        QCOMPARE(steps,
                 (QList<LinkRewriter::Step>{
                     {Kind::unwrap, u"Slack redirect"_s}, {Kind::https, QString()}, {Kind::strip, u"utm_source"_s}}));
    }

    // Whatever is done to a wrapper link, unwrapping gives back the link as it was or a whole web link.
    void mutatedWrappersGiveTheLinkOrAWebLink()
    {
        const QStringList seeds = {
            u"https://nam02.safelinks.protection.outlook.com/?url=https%3A%2F%2Fe.com%2Fa%3Fb%3D1&reserved=0"_s,
            u"https://www.google.com/url?q=&url=https%3A%2F%2Fwww.google.com%2Furl%3Fq%3Dhttps%253A%252F%252Fe.com"_s,
            u"https://href.li/?https://href.li/?https://e.com/#f"_s,
            u"https://l.facebook.com/l.php?u=https%3A%2F%2Fb%C3%BCcher.example%2F&h=1"_s,
        };
        const QStringList pieces = {u"%"_s,         u"%25"_s,      u"%2"_s,   u"%3A"_s, u"%2F"_s, u"%FF"_s,
                                    u"%C3"_s,       u"&"_s,        u"="_s,    u"?"_s,   u"#"_s,   u"+"_s,
                                    u" "_s,         u"/"_s,        u":"_s,    u"["_s,   u"@"_s,   u"é"_s,
                                    u"\x01"_s,      u"https://"_s, u"url="_s, u"u="_s,  u"q="_s,  u"http%3A%2F%2F"_s,
                                    u"href.li/?"_s, u"%5B"_s,      u"%40"_s};
        QRandomGenerator random(20261206);
        for (int i = 0; i < 20000; ++i) {
            QString link = seeds[random.bounded(int(seeds.size()))];
            for (int change = random.bounded(1, 4); change > 0; --change) {
                const int at = random.bounded(int(link.size()) + 1);
                const int cut = random.bounded(qMin(6, int(link.size()) - at) + 1);
                link.replace(at, random.bounded(2) ? cut : 0, pieces[random.bounded(int(pieces.size()))]);
            }
            const QString result = unwrapper.apply(link);
            QVERIFY2(result == link || isWholeWebLink(result), qPrintable(link + u" gave "_s + result));
        }
    }

    // The table compiled in is the file, and every entry of it reads.
    void builtInTableReadsWhole()
    {
        QStringList problems;
        const RedirectWrappers table = RedirectWrappers::parse(
            QString::fromUtf8(TestFiles::read(QStringLiteral(LINKHERD_REDIRECT_WRAPPERS_FILE))), &problems);
        QCOMPARE(problems, QStringList());
        QCOMPARE(table.wrappers().size(), RedirectWrappers::builtIn().wrappers().size());
        QCOMPARE(RedirectWrappers::parse(u"l.facebook.com /l.php\nx /p u Name"_s, &problems).wrappers().size(), 1);
        QCOMPARE(problems, QStringList{u"line 1: expected a host, a path, the parameters and a name"_s});
    }
};

QTEST_GUILESS_MAIN(LinkRewriterTest)
#include "tst_link_rewriter.moc"
