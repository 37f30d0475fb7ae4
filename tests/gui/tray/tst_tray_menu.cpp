#include "browsers/browser_launching.h"
#include "browsers/default_browser.h"
#include "gui/tray/tray_menu.h"
#include "routing/rule_store.h"
#include "services/preferences.h"
#include "services/router.h"
#include "support/fakes/fake_platform.h"

#include <QAction>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

class RecordingLauncher final : public BrowserLaunching {
public:
    struct Open {
        QString link;
        QString bundleID;
        std::optional<QString> profile;
        FailureHandler onFailure;
    };
    QList<Open> opens;

    void open(const QString& link, const Browsers::Browser& browser, const std::optional<QString>& profile,
              const HandOverActivation&, FailureHandler onFailure) override
    {
        opens.append({link, browser.bundleID, profile, std::move(onFailure)});
    }
    void open(const QString& link, const Browsers::Browser& browser, FailureHandler onFailure) override
    {
        open(link, browser, std::nullopt, nullptr, std::move(onFailure));
    }
};

// The menu as it reads: each item with its shortcut, "-" for a separator, "▸ " before a submenu.
QStringList items(const QMenu& menu)
{
    QStringList items;
    for (const QAction* action : menu.actions()) {
        QString item = action->isSeparator() ? u"-"_s : action->menu() ? u"▸ "_s + action->text() : action->text();
        if (!action->shortcut().isEmpty())
            item += u" ["_s + action->shortcut().toString() + u']';
        items.append(item);
    }
    return items;
}

QAction* item(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

const QStringList head = {u"Rules… [Ctrl+R]"_s};
const QStringList offer = {u"Make Default Browser…"_s};
const QStringList tail = {u"-"_s, u"Settings… [Ctrl+,]"_s, u"Send Feedback…"_s, u"-"_s, u"Quit Linkherd [Ctrl+Q]"_s};

} // namespace

class TrayMenuTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.emplace().isValid());
        m_catalog = FakeApplicationCatalog();
        m_catalog.browsers = {fakeEntry(u"firefox"_s, u"Firefox"_s), fakeEntry(u"chromium"_s, u"Chromium"_s),
                              fakeEntry(u"torco"_s, u"Tor & Co"_s)};
        m_catalog.applications = {fakeEntry(u"org.linkherd.Linkherd"_s, u"Linkherd"_s)};
        m_catalog.defaultBrowser = m_catalog.browsers.front();
        Browsers::setCatalog(&m_catalog);
        m_handlers = FakeDefaultHandlers();
        m_handlers.catalog = &m_catalog;
        m_store = std::make_unique<RuleStore>(m_dir->filePath(u"rules.json"_s));
        m_preferences = std::make_unique<Preferences>(m_dir->filePath(u"preferences.ini"_s));
        m_launcher = RecordingLauncher();
        m_router = std::make_unique<Router>(*m_store, *m_preferences, m_launcher);
        m_defaultBrowser = std::make_unique<DefaultBrowser>(m_catalog, m_handlers, m_autostart);
    }

    void cleanup()
    {
        m_menu.reset();
        m_router.reset();
        Browsers::setCatalog(nullptr);
    }

    // Count 0 hides the section and its separator; more links than the count show the newest only.
    void itemsAndTheirPresence_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("links");
        QTest::addColumn<bool>("isDefault");
        QTest::addColumn<bool>("declined");
        QTest::addColumn<QStringList>("expected");

        const auto recent = [](int newest) {
            QStringList section = {u"-"_s, u"Recently Opened"_s};
            for (int number = newest; number > newest - 3; --number)
                section.append(u"▸ site%1.example → Firefox"_s.arg(number));
            return section;
        };
        QTest::newRow("no links") << 5 << 0 << false << false << head + offer + tail;
        QTest::newRow("count 0") << 0 << 3 << false << false << head + offer + tail;
        QTest::newRow("3 of 10") << 3 << 10 << false << false << head + offer + recent(10) + tail;
        QTest::newRow("all 3, count 5") << 5 << 3 << false << false << head + offer + recent(3) + tail;
        QTest::newRow("declined") << 5 << 0 << false << true << head + tail;
        QTest::newRow("already default") << 5 << 0 << true << false << head + tail;
    }

    void itemsAndTheirPresence()
    {
        QFETCH(int, count);
        QFETCH(int, links);
        QFETCH(bool, isDefault);
        QFETCH(bool, declined);
        QFETCH(QStringList, expected);
        if (isDefault)
            m_catalog.defaultBrowser = m_catalog.applications.front();
        m_preferences->setHasDeclinedDefaultBrowserPrompt(declined);
        m_preferences->setRecentLinkCount(count);
        for (int number = 1; number <= links; ++number)
            remember(u"https://site%1.example/page"_s.arg(number), u"firefox"_s);
        makeMenu();
        QCOMPARE(items(*m_menu), expected);
    }

    void recentTitles_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("expected");

        QTest::newRow("host") << u"https://www.example.org:8443/a?b#c"_s << u"chromium"_s
                              << u"www.example.org → Chromium"_s;
        QTest::newRow("ipv6") << u"http://[::1]:8080/"_s << u"firefox"_s << u"[::1] → Firefox"_s;
        QTest::newRow("data link") << u"data:text/plain,fish&chips"_s << u"torco"_s
                                   << u"data:text/plain,fish&&chips → Tor && Co"_s;
        QTest::newRow("empty host") << u"file:///tmp/a\tb.pdf"_s << u"firefox"_s << u"file:///tmp/a b.pdf → Firefox"_s;
        QTest::newRow("gone browser") << u"mailto:a@b.example"_s << u"org.example.Gone"_s
                                      << u"mailto:a@b.example → Gone"_s;
    }

    void recentTitles()
    {
        QFETCH(QString, url);
        QFETCH(QString, browser);
        QFETCH(QString, expected);
        QCOMPARE(TrayMenu::recentTitle({QUuid::createUuid(), url, browser, std::nullopt, QString()}), expected);
    }

    void aHugeLinkGetsAShortTitle()
    {
        const QString title =
            TrayMenu::recentTitle({QUuid::createUuid(), u"data:,"_s + QString(1'000'000, u'x'), u"firefox"_s, {}, {}});
        QVERIFY(title.size() <= TrayMenu::titleLength + 10);
        QVERIFY(title.endsWith(u"x → Firefox"_s));
    }

    // In any browser, without the first open's profile; the new record heads the list and the old one stays.
    void reopeningAddsARecordAndKeepsTheOld()
    {
        remember(u"https://news.example/story"_s, u"chromium"_s, u"Profile 1"_s, u"org.example.Mail"_s);
        const Router::Routed old = m_router->recent().front();
        std::optional<Router::Alert> alert;
        m_router->showAlert = [&](const Router::Alert& shown, Router::AlertAnswer) { alert = shown; };
        makeMenu();
        QMenu* submenu = item(*m_menu, u"news.example → Chromium"_s)->menu();
        QCOMPARE(submenu->menuAction()->data().toUuid(), old.id);
        QCOMPARE(items(*submenu), QStringList({u"Chromium"_s, u"Firefox"_s, u"Tor && Co"_s}));

        item(*submenu, u"Tor && Co"_s)->trigger();
        QCOMPARE(m_launcher.opens.size(), 1);
        QCOMPARE(m_launcher.opens[0].link, old.url);
        QCOMPARE(m_launcher.opens[0].bundleID, u"torco"_s);
        QCOMPARE(m_launcher.opens[0].profile, std::nullopt);
        QCOMPARE(m_router->recent().size(), 2);
        const Router::Routed& fresh = m_router->recent().front();
        QVERIFY(fresh.id != old.id);
        QCOMPARE(fresh, (Router::Routed{fresh.id, old.url, u"torco"_s, std::nullopt, u"org.example.Mail"_s}));
        QCOMPARE(m_router->recent()[1], old);

        QTRY_COMPARE(items(*m_menu).mid(4, 2),
                     QStringList({u"▸ news.example → Tor && Co"_s, u"▸ news.example → Chromium"_s}));
        QTest::ignoreMessage(QtCriticalMsg, "Tor & Co would not open the link: no display");
        m_launcher.opens[0].onFailure(u"no display"_s);
        QTRY_VERIFY(alert);
        QCOMPARE(alert->message, u"Tor & Co could not open the link"_s);
    }

    // Declined (or the system would not let Linkherd be the default), the offer is gone for good, default or not.
    void makeDefaultBrowser_data()
    {
        QTest::addColumn<bool>("systemAgrees");
        QTest::newRow("accepted") << true;
        QTest::newRow("declined") << false;
    }

    void makeDefaultBrowser()
    {
        QFETCH(bool, systemAgrees);
        if (!systemAgrees)
            m_handlers.catalog = nullptr; // the change is made, but the system goes on naming Firefox
        makeMenu();
        item(*m_menu, u"Make Default Browser…"_s)->trigger();
        QTRY_COMPARE(items(*m_menu), head + tail);
        QCOMPARE(m_preferences->hasDeclinedDefaultBrowserPrompt(), !systemAgrees);
        QCOMPARE(m_defaultBrowser->isDefaultBrowser(), systemAgrees);

        makeMenu();
        QCOMPARE(items(*m_menu), head + tail);
    }

    void commandsReachTheirTargets()
    {
        QStringList called;
        m_menu = std::make_unique<TrayMenu>(
            *m_router, *m_preferences, *m_defaultBrowser,
            TrayMenu::Commands{[&] { called << u"rules"_s; }, [&] { called << u"settings"_s; },
                               [&] { called << u"feedback"_s; }, [&] { called << u"quit"_s; }});
        for (const QString& text : {u"Rules…"_s, u"Settings…"_s, u"Send Feedback…"_s, u"Quit Linkherd"_s})
            item(*m_menu, text)->trigger();
        QCOMPARE(called, QStringList({u"rules"_s, u"settings"_s, u"feedback"_s, u"quit"_s}));
    }

private:
    void remember(const QString& url, const QString& browser, const std::optional<QString>& profile = {},
                  const QString& source = {})
    {
        m_router->remember({QUuid::createUuid(), url, browser, profile, source});
    }

    void makeMenu()
    {
        m_menu = std::make_unique<TrayMenu>(*m_router, *m_preferences, *m_defaultBrowser, TrayMenu::Commands{});
    }

    std::optional<QTemporaryDir> m_dir;
    FakeApplicationCatalog m_catalog;
    FakeDefaultHandlers m_handlers;
    FakeAutostartEntry m_autostart;
    std::unique_ptr<RuleStore> m_store;
    std::unique_ptr<Preferences> m_preferences;
    RecordingLauncher m_launcher;
    std::unique_ptr<Router> m_router;
    std::unique_ptr<DefaultBrowser> m_defaultBrowser;
    std::unique_ptr<TrayMenu> m_menu;
};

QTEST_MAIN(TrayMenuTest)
#include "tst_tray_menu.moc"
