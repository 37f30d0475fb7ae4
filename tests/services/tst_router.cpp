#include "services/router.h"
#include "support/fakes/recording_launcher.h"
#include "support/gui/window_fixture.h"
#include "support/rules.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Destination)

class RouterTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_desktop.emplace(QList{fakeEntry(u"firefox"_s, u"Firefox"_s), fakeEntry(u"chromium"_s, u"Chromium"_s)});
        QVERIFY(m_desktop->folder.isValid());
        m_launcher.emplace();
        m_router.emplace(m_desktop->store, m_desktop->preferences, *m_launcher);
        m_router->currentModifiers = [this] { return m_modifiers; };
        m_router->presentChooser = [this](const Router::Request& request) { m_asked.append(request); };
        m_router->showAlert = [this](const Router::Alert& alert, Router::AlertAnswer answered) {
            m_alerts.append(alert);
            m_answer = std::move(answered);
        };
        m_modifiers = Qt::NoModifier;
        m_asked.clear();
        m_alerts.clear();
    }

    void altSendsEveryLinkToTheChooserUnlessSwitchedOff()
    {
        m_desktop->store.add(hostRule(u"example.com"_s, Destination::browser(u"firefox"_s)));
        m_modifiers = Qt::AltModifier | Qt::ShiftModifier;
        m_router->route(u"https://example.com/"_s, u"org.gnome.Evolution"_s);
        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(m_asked[0].sourceDesktopID, u"org.gnome.Evolution"_s);
        QVERIFY(m_launcher->opens.isEmpty());

        m_desktop->preferences.setAsksWhenAltHeld(false);
        m_router->route(u"https://example.com/"_s);
        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(m_launcher->opens.size(), 1);
    }

    // One link, whatever the rules, and only within the wait; a text that is not a link does not use it up.
    void askingForTheNextLinkTakesOneLinkInTime_data()
    {
        const auto wait = static_cast<int>(std::chrono::seconds(Router::askNextWindow).count());
        QTest::addColumn<int>("waitedSeconds");
        QTest::addColumn<bool>("asked");
        QTest::newRow("at once") << 0 << true;
        QTest::newRow("at the end of the wait") << wait << true;
        QTest::newRow("after the wait") << wait + 1 << false;
    }

    void askingForTheNextLinkTakesOneLinkInTime()
    {
        QFETCH(int, waitedSeconds);
        QFETCH(bool, asked);
        std::chrono::steady_clock::time_point now;
        m_router->now = [&now] { return now; };
        m_desktop->store.add(hostRule(u"example.com"_s, Destination::browser(u"firefox"_s)));
        m_desktop->preferences.setAsksWhenAltHeld(false);

        m_router->askForNextLink();
        now += std::chrono::seconds(waitedSeconds);
        QVERIFY(!m_router->route(u"example.com"_s));
        m_router->route(u"https://example.com/a"_s, u"org.gnome.Evolution"_s);
        m_router->route(u"https://example.com/b"_s);
        QCOMPARE(m_asked.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(m_asked[0].url, u"https://example.com/a"_s);
            QCOMPARE(m_asked[0].sourceDesktopID, u"org.gnome.Evolution"_s);
        }
        QCOMPARE(m_launcher->opens.size(), asked ? 1 : 2);
        QCOMPARE(m_launcher->opens.last().link, u"https://example.com/b"_s);
    }

    void rulesSeeTheCleanedLink()
    {
        m_desktop->store.setRewriter({.stripsTrackingParameters = true});
        m_desktop->store.add(makeRule(Rule::Match::urlContains, u"UTM_SOURCE"_s, Destination::browser(u"chromium"_s)));
        m_desktop->store.setFallback(Destination::browser(u"firefox"_s, u"Work"_s));
        m_router->route(u"https://example.com/?utm_source=a&id=1"_s);
        QCOMPARE(m_launcher->opens[0].desktopID, u"firefox"_s);
        QCOMPARE(m_launcher->opens[0].link, u"https://example.com/?id=1"_s);
        QCOMPARE(m_launcher->opens[0].profile, u"Work"_s);

        m_desktop->store.setRewriter(LinkRewriter::initial());
        m_router->route(u"https://example.com/?utm_source=a&id=1"_s);
        QCOMPARE(m_launcher->opens[1].desktopID, u"chromium"_s);
    }

    // Working out where links come from asks the bus and reads under /proc: done only when a rule looks at
    // source applications or the chooser names the source, and once for all links of a hand-over.
    void sourceIsWorkedOutOnlyWhenSomethingLooksAtIt_data()
    {
        QTest::addColumn<QStringList>("sources"); // of a rule that sends example.com to Chromium
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<Destination>("fallback");
        QTest::addColumn<int>("lookUps");
        QTest::addColumn<QString>("launched"); // empty: the chooser is asked
        const Destination firefox = Destination::browser(u"firefox"_s);
        QTest::newRow("no rule looks") << QStringList() << true << firefox << 0 << u"chromium"_s;
        QTest::newRow("a rule looks") << QStringList{u"org.gnome.Evolution"_s} << true << firefox << 1 << u"chromium"_s;
        QTest::newRow("a switched-off rule would look")
            << QStringList{u"org.gnome.Evolution"_s} << false << firefox << 0 << u"firefox"_s;
        QTest::newRow("the chooser names it") << QStringList() << false << Destination::ask() << 1 << QString();
    }

    void sourceIsWorkedOutOnlyWhenSomethingLooksAtIt()
    {
        QFETCH(QStringList, sources);
        QFETCH(bool, enabled);
        QFETCH(Destination, fallback);
        QFETCH(int, lookUps);
        QFETCH(QString, launched);
        m_desktop->store.setRules(
            {makeRule(Rule::Match::host, u"example.com"_s, Destination::browser(u"chromium"_s), enabled, sources)});
        m_desktop->store.setFallback(fallback);
        int lookedUp = 0;
        const LinkSource source = LinkSource::lookedUpBy([&lookedUp] {
            ++lookedUp;
            return u"org.gnome.Evolution"_s;
        });
        m_router->route(u"https://example.com/a"_s, source);
        m_router->route(u"https://example.com/b"_s, source);
        QCOMPARE(lookedUp, lookUps);
        QCOMPARE(m_launcher->opens.size(), launched.isEmpty() ? 0 : 2);
        if (!launched.isEmpty())
            QCOMPARE(m_launcher->opens[1].desktopID, launched);
        QCOMPARE(m_asked.size(), launched.isEmpty() ? 2 : 0);
        for (const Router::Request& asked : std::as_const(m_asked))
            QCOMPARE(asked.sourceDesktopID, u"org.gnome.Evolution"_s);
    }

    void uninstalledBrowserFallsBackOnce_data()
    {
        QTest::addColumn<Destination>("fallback");
        QTest::addColumn<QString>("launched"); // empty: the chooser is asked
        QTest::newRow("fallback browser") << Destination::browser(u"Chromium"_s) << u"chromium"_s;
        QTest::newRow("fallback not installed either") << Destination::browser(u"opera"_s) << QString();
        QTest::newRow("fallback asks") << Destination::ask() << QString();
    }

    void uninstalledBrowserFallsBackOnce()
    {
        QFETCH(Destination, fallback);
        QFETCH(QString, launched);
        m_desktop->store.setRules(
            {hostRule(u"example.com"_s, Destination::browser(u"gone"_s)),
             makeRule(Rule::Match::urlContains, u"example"_s, Destination::browser(u"firefox"_s))});
        m_desktop->store.setFallback(fallback);
        QTest::ignoreMessage(QtCriticalMsg, "gone is not installed; using the fallback");
        m_router->route(u"https://example.com/"_s);
        QCOMPARE(m_launcher->opens.isEmpty() ? QString() : m_launcher->opens[0].desktopID, launched);
        QCOMPARE(m_asked.size(), launched.isEmpty() ? 1 : 0);
    }

    void twelveLinksLeaveTheTenNewest()
    {
        m_desktop->store.setFallback(Destination::browser(u"firefox"_s));
        QSignalSpy changed(&*m_router, &Router::recentChanged);
        for (int i = 1; i <= 12; ++i)
            m_router->route(u"https://example.com/%1"_s.arg(i), u"org.example.Chat"_s);
        QCOMPARE(m_router->recent().size(), 10);
        QCOMPARE(m_router->recent().front().url, u"https://example.com/12"_s);
        QCOMPARE(m_router->recent().back().url, u"https://example.com/3"_s);
        QCOMPARE(m_router->recent().front().sourceDesktopID, u"org.example.Chat"_s);
        QCOMPARE(changed.size(), 12);

        m_router->clearRecent();
        QVERIFY(m_router->recent().isEmpty());
        m_desktop->preferences.setRemembersRecentLinks(false);
        m_router->route(u"https://example.com/"_s);
        QVERIFY(m_router->recent().isEmpty());
    }

    void refusedLinkOffersAnotherBrowser()
    {
        m_desktop->store.setRewriter({.upgradesToHTTPS = true});
        m_desktop->store.setFallback(Destination::browser(u"firefox"_s));
        m_router->route(u"http://example.com/a"_s, u"org.example.Chat"_s);
        QTest::ignoreMessage(QtCriticalMsg, "Firefox would not open the link: Exec failed");
        m_launcher->failures[0](u"Exec failed"_s);
        QVERIFY(m_alerts.isEmpty()); // told at the end of the turn, with whatever else failed in it
        QTRY_COMPARE(m_alerts.size(), 1);

        QCOMPARE(m_alerts[0], (Router::Alert{u"Firefox could not open the link"_s,
                                             u"Exec failed\n\nhttps://example.com/a"_s,
                                             {u"Choose Another Browser…"_s, u"Cancel"_s}}));
        answer(0);
        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(m_asked[0].url, u"https://example.com/a"_s);
        QCOMPARE(m_asked[0].sourceDesktopID, QString());
        QCOMPARE(m_router->recent().size(), 1); // the entry stays
    }

    // Failures of one turn make one alert, and so do those that arrive while it is open; "Choose Another
    // Browser…" asks about each link, as many as the alert keeps.
    void failuresArrivingTogetherMakeOneAlert_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("lastReason");
        QTest::newRow("three") << 3 << u"3 links could not be opened"_s << u"Firefox: Exec failed 3\nhttps://e.com/3"_s;
        QTest::newRow("five") << 5 << u"5 links could not be opened"_s << u"and 2 more."_s;
        const int many = static_cast<int>(Router::failuresKept) + 5;
        QTest::newRow("more than are kept")
            << many << u"%1 links could not be opened"_s.arg(many)
            << u"Another browser can be chosen for the first %1."_s.arg(Router::failuresKept);
    }

    void failuresArrivingTogetherMakeOneAlert()
    {
        QFETCH(int, failures);
        QFETCH(QString, message);
        QFETCH(QString, lastReason);
        const int asked = std::min(failures, static_cast<int>(Router::failuresKept));
        const Browsers::Browser firefox = *Browsers::browser(u"firefox"_s);
        for (int i = 1; i <= failures + 2; ++i)
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^Firefox would not open the link"_s));
        for (int i = 1; i <= failures; ++i)
            m_router->reportFailure(u"Exec failed %1"_s.arg(i), u"https://e.com/%1"_s.arg(i), firefox);
        QTRY_COMPARE(m_alerts.size(), 1);
        QCOMPARE(m_alerts[0].message, message);
        const QStringList reasons = m_alerts[0].informativeText.split(u"\n\n"_s);
        QCOMPARE(reasons.first(), u"Firefox: Exec failed 1\nhttps://e.com/1"_s);
        QCOMPARE(reasons.last(), lastReason);

        // While the alert is open, further failures wait for it, then come as one.
        m_router->reportFailure(u"Exec failed"_s, u"https://later.example/1"_s, firefox);
        m_router->reportFailure(u"Exec failed"_s, u"https://later.example/2"_s, firefox);
        QCoreApplication::processEvents();
        QCOMPARE(m_alerts.size(), 1);
        answer(0);
        QCOMPARE(m_asked.size(), asked);
        QCOMPARE(m_asked.last().url, u"https://e.com/%1"_s.arg(asked));
        QTRY_COMPARE(m_alerts.size(), 2);
        QCOMPARE(m_alerts[1].message, u"2 links could not be opened"_s);
        answer(1);
        QCOMPARE(m_asked.size(), asked);
    }

    // A link of megabytes froze the alert that laid it out; its beginning and end say enough.
    void alertShowsTheEndsOfALongLink_data()
    {
        QTest::addColumn<QString>("link");
        QTest::newRow("20 MB") << u"https://example.com/"_s + QString(20'000'000, u'a') + u"?end=1"_s;
        // Cut points that fall inside a surrogate pair move so that the pair stays whole or goes.
        const QString emoji = u"😀"_s;
        QTest::newRow("surrogate pairs") << u"https://e.com/x"_s + emoji.repeated(400);
        QTest::newRow("short enough") << u"https://e.com/"_s + QString(Router::alertTextLength - 14, u'a');
    }

    void alertShowsTheEndsOfALongLink()
    {
        QFETCH(QString, link);
        QTest::ignoreMessage(QtCriticalMsg, "Firefox would not open the link: Exec failed");
        m_router->reportFailure(u"Exec failed"_s, link, *Browsers::browser(u"firefox"_s));
        QTRY_COMPARE(m_alerts.size(), 1);
        const QString shown = m_alerts[0].informativeText.section(u"\n\n"_s, 1);
        QVERIFY(shown.size() <= Router::alertTextLength);
        if (link.size() <= Router::alertTextLength) {
            QCOMPARE(shown, link);
            return;
        }
        const qsizetype cut = shown.indexOf(u'…');
        QVERIFY(cut > Router::alertTextLength / 3);
        QVERIFY(link.startsWith(shown.first(cut)));
        QVERIFY(link.endsWith(shown.mid(cut + 1)));
        QVERIFY(!shown.first(cut).back().isHighSurrogate());
        QVERIFY(!shown.mid(cut + 1).front().isLowSurrogate());
        answer(0);
        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(m_asked[0].url, link); // the chooser gets the whole link
    }

    // Text from a program that is not a link (an option, say) is neither launched nor worth an alert.
    void textThatIsNotALinkIsRefusedQuietly()
    {
        m_desktop->store.setFallback(Destination::browser(u"firefox"_s));
        for (const QString& text : {u"-x0"_s, u"--remote-debugging-port=9222"_s, u"example.com/path"_s, QString()})
            QVERIFY(!m_router->route(text));
        QVERIFY(m_router->route(u"https://example.com/"_s));
        QCOMPARE(m_launcher->opens.size(), 1);
        QCoreApplication::processEvents();
        QVERIFY(m_alerts.isEmpty());
        QVERIFY(m_router->recent().size() == 1);
    }

    void noChooserDropsTheLink()
    {
        m_router->presentChooser = nullptr;
        QTest::ignoreMessage(QtCriticalMsg, "No chooser is installed; the link has nowhere to go");
        m_router->route(u"https://example.com/"_s);
        QVERIFY(m_launcher->opens.isEmpty());
    }

private:
    // Answers the alert on screen, as the user would.
    void answer(int button) { std::exchange(m_answer, nullptr)(button); }

    std::optional<WindowFixture> m_desktop;
    std::optional<RecordingLauncher> m_launcher;
    std::optional<Router> m_router;
    Qt::KeyboardModifiers m_modifiers;
    QList<Router::Request> m_asked;
    QList<Router::Alert> m_alerts;
    Router::AlertAnswer m_answer;
};

QTEST_GUILESS_MAIN(RouterTest)
#include "tst_router.moc"
