#include "app/preferences.h"
#include "browsers/browser_launcher.h"
#include "routing/router.h"
#include "routing/rule_store.h"
#include "support/fake_platform.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Destination)

namespace {

// Records what the router hands over and can refuse a link later, as a browser would.
class RecordingLauncher final : public BrowserLaunching {
public:
    struct Call {
        QString link;
        QString bundleID;
        std::optional<QString> profile;
    };
    QList<Call> calls;
    QList<FailureHandler> failureHandlers;

    void open(const QString& link, const Browsers::Browser& browser, const std::optional<QString>& profile,
              FailureHandler onFailure) override
    {
        calls.append({link, browser.bundleID, profile});
        failureHandlers.append(std::move(onFailure));
    }
    void open(const QString& link, const Browsers::Browser& browser, FailureHandler onFailure) override
    {
        open(link, browser, std::nullopt, std::move(onFailure));
    }
};

Rule rule(Rule::Match match, const QString& pattern, Destination destination)
{
    Rule made;
    made.match = match;
    made.pattern = pattern;
    made.destination = std::move(destination);
    return made;
}

} // namespace

class RouterTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_directory.emplace().isValid());
        m_catalog.browsers = {fakeEntry(u"firefox"_s, u"Firefox"_s), fakeEntry(u"chromium"_s, u"Chromium"_s)};
        Browsers::setCatalog(&m_catalog);
        m_store.emplace(m_directory->filePath(u"rules.json"_s));
        m_preferences.emplace(m_directory->filePath(u"preferences.ini"_s));
        m_launcher.emplace();
        m_router.emplace(*m_store, *m_preferences, *m_launcher);
        m_router->currentModifiers = [this] { return m_modifiers; };
        m_router->presentChooser = [this](const Router::Request& request) { m_asked.append(request); };
        m_modifiers = Qt::NoModifier;
        m_asked.clear();
    }

    void altSendsEveryLinkToTheChooserUnlessSwitchedOff()
    {
        m_store->add(rule(Rule::Match::host, u"example.com"_s, Destination::browser(u"firefox"_s)));
        m_modifiers = Qt::AltModifier | Qt::ShiftModifier;
        m_router->route(u"https://example.com/"_s, u"org.gnome.Evolution"_s);
        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(m_asked[0].sourceBundleID, u"org.gnome.Evolution"_s);
        QVERIFY(m_launcher->calls.isEmpty());

        m_preferences->setAsksWhenOptionHeld(false);
        m_router->route(u"https://example.com/"_s);
        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(m_launcher->calls.size(), 1);
    }

    void rulesSeeTheCleanedLink()
    {
        LinkRewriter rewriter;
        rewriter.stripsTrackingParameters = true;
        m_store->setRewriter(rewriter);
        m_store->add(rule(Rule::Match::urlContains, u"UTM_SOURCE"_s, Destination::browser(u"chromium"_s)));
        m_store->setFallback(Destination::browser(u"firefox"_s, u"Work"_s));
        m_router->route(u"https://example.com/?utm_source=a&id=1"_s);
        QCOMPARE(m_launcher->calls[0].bundleID, u"firefox"_s);
        QCOMPARE(m_launcher->calls[0].link, u"https://example.com/?id=1"_s);
        QCOMPARE(m_launcher->calls[0].profile, u"Work"_s);

        m_store->setRewriter(LinkRewriter::initial());
        m_router->route(u"https://example.com/?utm_source=a&id=1"_s);
        QCOMPARE(m_launcher->calls[1].bundleID, u"chromium"_s);
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
        m_store->setRules({rule(Rule::Match::host, u"example.com"_s, Destination::browser(u"gone"_s)),
                           rule(Rule::Match::urlContains, u"example"_s, Destination::browser(u"firefox"_s))});
        m_store->setFallback(fallback);
        QTest::ignoreMessage(QtCriticalMsg, "gone is not installed; using the fallback");
        m_router->route(u"https://example.com/"_s);
        QCOMPARE(m_launcher->calls.isEmpty() ? QString() : m_launcher->calls[0].bundleID, launched);
        QCOMPARE(m_asked.size(), launched.isEmpty() ? 1 : 0);
    }

    void twelveLinksLeaveTheTenNewest()
    {
        m_store->setFallback(Destination::browser(u"firefox"_s));
        QSignalSpy changed(&*m_router, &Router::recentChanged);
        for (int i = 1; i <= 12; ++i)
            m_router->route(u"https://example.com/%1"_s.arg(i), u"org.example.Chat"_s);
        QCOMPARE(m_router->recent().size(), 10);
        QCOMPARE(m_router->recent().front().url, u"https://example.com/12"_s);
        QCOMPARE(m_router->recent().back().url, u"https://example.com/3"_s);
        QCOMPARE(m_router->recent().front().sourceBundleID, u"org.example.Chat"_s);
        QCOMPARE(changed.size(), 12);

        m_router->clearRecent();
        QVERIFY(m_router->recent().isEmpty());
        m_preferences->setRemembersRecentLinks(false);
        m_router->route(u"https://example.com/"_s);
        QVERIFY(m_router->recent().isEmpty());
    }

    void refusedLinkOffersAnotherBrowser()
    {
        LinkRewriter rewriter;
        rewriter.upgradesToHTTPS = true;
        m_store->setRewriter(rewriter);
        m_store->setFallback(Destination::browser(u"firefox"_s));
        QList<Router::Alert> alerts;
        m_router->showAlert = [&](const Router::Alert& alert) {
            alerts.append(alert);
            return 0;
        };
        m_router->route(u"http://example.com/a"_s, u"org.example.Chat"_s);
        QTest::ignoreMessage(QtCriticalMsg, "Firefox would not open the link: Exec failed");
        m_launcher->failureHandlers[0](u"Exec failed"_s);

        QCOMPARE(alerts.size(), 1);
        QCOMPARE(alerts[0].message, u"Firefox could not open the link"_s);
        QCOMPARE(alerts[0].informativeText, u"Exec failed\n\nhttps://example.com/a"_s);
        QCOMPARE(alerts[0].buttons, QStringList({u"Choose Another Browser…"_s, u"Cancel"_s}));
        QCOMPARE(m_asked.size(), 1);
        QCOMPARE(m_asked[0].url, u"https://example.com/a"_s);
        QCOMPARE(m_asked[0].sourceBundleID, QString());
        QCOMPARE(m_router->recent().size(), 1); // the entry stays

        m_router->showAlert = [](const Router::Alert&) { return 1; };
        QTest::ignoreMessage(QtCriticalMsg, "Firefox would not open the link: Exec failed");
        m_launcher->failureHandlers[0](u"Exec failed"_s);
        QCOMPARE(m_asked.size(), 1);
    }

    void noChooserDropsTheLink()
    {
        m_router->presentChooser = nullptr;
        QTest::ignoreMessage(QtCriticalMsg, "No chooser is installed; the link has nowhere to go");
        m_router->route(u"https://example.com/"_s);
        QVERIFY(m_launcher->calls.isEmpty());
    }

private:
    std::optional<QTemporaryDir> m_directory;
    FakeApplicationCatalog m_catalog;
    std::optional<RuleStore> m_store;
    std::optional<Preferences> m_preferences;
    std::optional<RecordingLauncher> m_launcher;
    std::optional<Router> m_router;
    Qt::KeyboardModifiers m_modifiers;
    QList<Router::Request> m_asked;
};

QTEST_GUILESS_MAIN(RouterTest)
#include "tst_router.moc"
