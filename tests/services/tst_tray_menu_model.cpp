#include "support/tray_menu_fixture.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QStringList head = {u"Rules… [Ctrl+R]"_s, u"Ask for the Next Link"_s}, offer = {u"Make Default Browser…"_s},
                  tail = {u"-"_s, u"Settings… [Ctrl+,]"_s, u"Send Feedback…"_s, u"-"_s, u"Quit Linkherd [Ctrl+Q]"_s};

} // namespace

class TrayMenuModelTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Count 0 hides the section and its separator; of more links than the count, the newest show.
    void itemsAndTheirPresence_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("links");
        QTest::addColumn<bool>("isDefault");
        QTest::addColumn<bool>("declined");
        QTest::addColumn<QStringList>("expected");
        const auto recent = [](int newest) {
            QStringList section = {u"-"_s, u"Recently Opened (off)"_s};
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
        TrayMenuFixture tray;
        QFETCH(int, count);
        QFETCH(int, links);
        QFETCH(bool, isDefault);
        QFETCH(bool, declined);
        if (isDefault)
            tray.desktop.catalog.defaultBrowser = tray.desktop.catalog.applications.front();
        tray.desktop.preferences.setHasDeclinedDefaultBrowserPrompt(declined);
        tray.desktop.preferences.setRecentLinkCount(count);
        for (int number = 1; number <= links; ++number)
            tray.remember(u"https://site%1.example/page"_s.arg(number));
        QTEST(trayMenuLines(tray.makeModel().entries()), "expected");
    }

    // A link without a host is titled by its whole text, a tab read as a space, "&" as it is. It reopens in any
    // installed browser (with its icon) without the first open's profile; the new record heads the list, the old
    // one stays, a failure reaches the alert.
    void reopeningAddsARecordAndKeepsTheOld()
    {
        TrayMenuFixture tray;
        tray.router.remember(
            {QUuid::createUuid(), u"data:,fish&chips\tpeas"_s, u"chromium"_s, u"Profile 1"_s, u"mail"_s});
        const Router::Routed old = tray.router.recent().front();
        std::optional<Router::Alert> alert;
        tray.router.showAlert = [&](const Router::Alert& shown, Router::AlertAnswer) { alert = shown; };
        const TrayMenuEntry link = trayMenuEntry(tray.makeModel().entries(), u"data:,fish&chips peas → Chromium"_s);
        QCOMPARE(trayMenuLines(link.children),
                 QStringList({u"Chromium {%1}"_s.arg(tray.desktop.filePath(u"chromium.png"_s)), u"Firefox {firefox}"_s,
                              u"Tor & Co"_s}));

        // The launcher refuses a link with a tab in it: the failure of the reopen reaches the alert.
        QTest::ignoreMessage(QtCriticalMsg, "Refusing to hand Tor & Co something that is not a link");
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^Tor & Co would not open the link"_s));
        trayMenuEntry(link.children, u"Tor & Co"_s).activated(0);
        QCOMPARE(tray.router.recent().size(), 2);
        const Router::Routed& fresh = tray.router.recent().front();
        QCOMPARE(fresh, (Router::Routed{fresh.id, old.url, u"torco"_s, std::nullopt, u"mail"_s}));
        QVERIFY(fresh.id != old.id);
        QCOMPARE(tray.router.recent()[1], old);
        QTRY_VERIFY(alert);
        QCOMPARE(alert->message, u"Tor & Co could not open the link"_s);
        QCOMPARE(trayMenuLines(tray.model->entries()).mid(5, 2),
                 QStringList({u"▸ data:,fish&chips peas → Tor & Co"_s, u"▸ data:,fish&chips peas → Chromium"_s}));
    }

    // Links to one host read alike, but each reopens its own page. The links of one turn change the menu once,
    // after the turn.
    void newLinksChangeTheMenuOncePerTurn()
    {
        TrayMenuFixture tray;
        tray.desktop.preferences.setRecentLinkCount(1);
        tray.remember(u"https://a.example/1"_s);
        QSignalSpy changed(&tray.makeModel(), &TrayMenuModel::changed);
        tray.remember(u"https://a.example/2"_s);
        tray.remember(u"https://a.example/3"_s);
        QCOMPARE(changed.count(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 1);
        trayMenuEntry(trayMenuEntry(tray.model->entries(), u"a.example → Firefox"_s).children, u"Chromium"_s)
            .activated(0);
        QCOMPARE(tray.router.recent().front().url, u"https://a.example/3"_s);
    }

    // Catching up before the menu shows, after another program made Linkherd the default and a browser was
    // installed, changes the menu at once; with nothing new, nothing changes.
    void catchingUpWithTheDesktop()
    {
        TrayMenuFixture tray;
        tray.remember(u"https://a.example/"_s);
        QSignalSpy changed(&tray.makeModel(), &TrayMenuModel::changed);
        tray.desktop.catalog.browsers.append(fakeEntry(u"epiphany"_s, u"Web"_s));
        Browsers::invalidate();
        tray.model->catchUp();
        QCOMPARE(trayMenuLines(trayMenuEntry(tray.model->entries(), u"a.example → Firefox"_s).children).last(),
                 u"Web"_s);
        tray.desktop.catalog.defaultBrowser = tray.desktop.catalog.applications.front();
        tray.model->catchUp();
        tray.model->catchUp();
        QCOMPARE(trayMenuLines(tray.model->entries()).mid(0, 4),
                 head + QStringList({u"-"_s, u"Recently Opened (off)"_s}));
        QCOMPARE(changed.count(), 2);
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
        TrayMenuFixture tray;
        QFETCH(bool, systemAgrees);
        if (!systemAgrees)
            tray.desktop.handlers.catalog = nullptr; // the change is made, but the system goes on naming Firefox
        trayMenuEntry(tray.makeModel().entries(), u"Make Default Browser…"_s).activated(0);
        QTRY_COMPARE(trayMenuLines(tray.model->entries()), head + tail);
        QCOMPARE(tray.desktop.preferences.hasDeclinedDefaultBrowserPrompt(), !systemAgrees);
        QCOMPARE(trayMenuLines(tray.makeModel().entries()), head + tail);
    }

    void askForTheNextLink()
    {
        TrayMenuFixture tray;
        QList<Router::Request> asked;
        tray.router.presentChooser = [&asked](const Router::Request& request) { asked.append(request); };
        tray.desktop.store.setFallback(Destination::browser(u"firefox"_s));
        trayMenuEntry(tray.makeModel().entries(), u"Ask for the Next Link"_s).activated(0);
        tray.router.route(u"https://example.com/"_s);
        QCOMPARE(asked.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TrayMenuModelTest)
#include "tst_tray_menu_model.moc"
