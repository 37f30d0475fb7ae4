#include "browsers/system_browser_launcher.h"
#include "gui/tray/tray_menu.h"
#include "support/gui/widgets.h"
#include "support/gui/window_fixture.h"

#include <QRegularExpression>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QStringList head = {u"Rules… [Ctrl+R]"_s, u"Ask for the Next Link"_s}, offer = {u"Make Default Browser…"_s},
                  tail = {u"-"_s, u"Settings… [Ctrl+,]"_s, u"Send Feedback…"_s, u"-"_s, u"Quit Linkherd [Ctrl+Q]"_s};

} // namespace

class TrayMenuTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_desktop.emplace(QList{fakeEntry(u"firefox"_s, u"Firefox"_s), fakeEntry(u"chromium"_s, u"Chromium"_s),
                                fakeEntry(u"torco"_s, u"Tor & Co"_s)},
                          QList{fakeEntry(u"org.linkherd.Linkherd"_s, u"Linkherd"_s)});
        QVERIFY(m_desktop->folder.isValid());
        m_desktop->catalog.defaultBrowser = m_desktop->catalog.browsers.front();
        m_launcher.emplace(m_desktop->catalog, m_opener);
        m_router.emplace(m_desktop->store, m_desktop->preferences, *m_launcher);
    }

    void cleanup()
    {
        m_menu.reset();
        m_router.reset();
        m_desktop.reset();
    }

    // Count 0 hides the section and its separator; of more links than the count, the newest show.
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
        if (isDefault)
            m_desktop->catalog.defaultBrowser = m_desktop->catalog.applications.front();
        m_desktop->preferences.setHasDeclinedDefaultBrowserPrompt(declined);
        m_desktop->preferences.setRecentLinkCount(count);
        for (int number = 1; number <= links; ++number)
            m_router->remember(
                {QUuid::createUuid(), u"https://site%1.example/page"_s.arg(number), u"firefox"_s, {}, {}});
        QTEST(Widgets::menuLines(makeMenu()), "expected");
    }

    // A link without a host is titled by its whole text ("&" no mnemonic, a tab no shortcut column). It reopens in any
    // installed browser without the first open's profile; the new record heads the list, the old one stays, a failure
    // reaches the alert.
    void reopeningAddsARecordAndKeepsTheOld()
    {
        m_router->remember(
            {QUuid::createUuid(), u"data:,fish&chips\tpeas"_s, u"chromium"_s, u"Profile 1"_s, u"mail"_s});
        const Router::Routed old = m_router->recent().front();
        std::optional<Router::Alert> alert;
        m_router->showAlert = [&](const Router::Alert& shown, Router::AlertAnswer) { alert = shown; };
        QMenu* submenu = Widgets::actionNamed(makeMenu(), u"data:,fish&&chips peas → Chromium"_s)->menu();
        QCOMPARE(Widgets::menuLines(*submenu), QStringList({u"Chromium"_s, u"Firefox"_s, u"Tor && Co"_s}));

        // The launcher refuses a link with a tab in it: the failure of the reopen reaches the alert.
        QTest::ignoreMessage(QtCriticalMsg, "Refusing to hand Tor & Co something that is not a link");
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^Tor & Co would not open the link"_s));
        Widgets::actionNamed(*submenu, u"Tor && Co"_s)->trigger();
        QCOMPARE(m_router->recent().size(), 2);
        const Router::Routed& fresh = m_router->recent().front();
        QCOMPARE(fresh, (Router::Routed{fresh.id, old.url, u"torco"_s, std::nullopt, u"mail"_s}));
        QVERIFY(fresh.id != old.id);
        QCOMPARE(m_router->recent()[1], old);
        QTRY_VERIFY(alert);
        QCOMPARE(alert->message, u"Tor & Co could not open the link"_s);
        QCOMPARE(Widgets::menuLines(*m_menu).mid(5, 2),
                 QStringList({u"▸ data:,fish&&chips peas → Tor && Co"_s, u"▸ data:,fish&&chips peas → Chromium"_s}));
    }

    // Shown after another program made Linkherd the default and a browser was installed, the menu is current.
    void showingCatchesUpWithTheDesktop()
    {
        m_router->remember({QUuid::createUuid(), u"https://a.example/"_s, u"firefox"_s, {}, {}});
        makeMenu();
        m_desktop->catalog.browsers.append(fakeEntry(u"epiphany"_s, u"Web"_s));
        Browsers::invalidate();
        Q_EMIT m_menu->aboutToShow();
        QCOMPARE(Widgets::menuLines(*Widgets::actionNamed(*m_menu, u"a.example → Firefox"_s)->menu()).last(), u"Web"_s);
        m_desktop->catalog.defaultBrowser = m_desktop->catalog.applications.front();
        Q_EMIT m_menu->aboutToShow();
        QCOMPARE(Widgets::menuLines(*m_menu).mid(0, 4), head + QStringList({u"-"_s, u"Recently Opened"_s}));
    }

    // Declined (or refused by the system), the offer is gone for good, whether Linkherd is the default or not.
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
            m_desktop->handlers.catalog = nullptr; // the change is made, but the system goes on naming Firefox
        Widgets::actionNamed(makeMenu(), u"Make Default Browser…"_s)->trigger();
        QTRY_COMPARE(Widgets::menuLines(*m_menu), head + tail);
        QCOMPARE(m_desktop->preferences.hasDeclinedDefaultBrowserPrompt(), !systemAgrees);
        QCOMPARE(Widgets::menuLines(makeMenu()), head + tail);
    }

    void askForTheNextLink()
    {
        QList<Router::Request> asked;
        m_router->presentChooser = [&asked](const Router::Request& request) { asked.append(request); };
        m_desktop->store.setFallback(Destination::browser(u"firefox"_s));
        Widgets::actionNamed(makeMenu(), u"Ask for the Next Link"_s)->trigger();
        m_router->route(u"https://example.com/"_s);
        QCOMPARE(asked.size(), 1);
    }

private:
    QMenu& makeMenu()
    {
        m_menu.emplace(*m_router, m_desktop->preferences, m_desktop->defaultBrowser, TrayMenu::Commands{});
        return *m_menu;
    }

    std::optional<WindowFixture> m_desktop;
    FakeApplicationLauncher m_opener;
    std::optional<SystemBrowserLauncher> m_launcher;
    std::optional<Router> m_router;
    std::optional<TrayMenu> m_menu;
};

QTEST_MAIN(TrayMenuTest)
#include "tst_tray_menu.moc"
