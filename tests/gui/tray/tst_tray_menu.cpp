#include "gui/tray/tray_menu.h"
#include "support/gui/widgets.h"
#include "support/tray_menu_fixture.h"

#include <QMouseEvent>
#include <QTest>

using namespace Qt::StringLiterals;

// The model's lines drawn as a QMenu; what they say is the model's suite's (tst_tray_menu_model).
class TrayMenuTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // "&" is no mnemonic, shortcuts fill their column, each recent link is a submenu of the browsers with their
    // icons, the heading is disabled. A change shows after the turn it came in, a catch-up as the menu is about to
    // show. A command gets the time of the click that chose it, once.
    void drawsTheModel()
    {
        TrayMenuFixture tray;
        TrayMenu menu(tray.makeModel());
        QCOMPARE(menu.accessibleName(), u"Linkherd"_s);
        tray.remember(u"data:,fish&chips"_s, u"torco"_s);
        QCOMPARE(Widgets::menuLines(menu).size(), 8);
        QTRY_COMPARE(Widgets::menuLines(menu, true),
                     QStringList({u"Rules… [Ctrl+R]"_s, u"Ask for the Next Link"_s, u"Make Default Browser…"_s, u"-"_s,
                                  u"Recently Opened"_s, u"▸ data:,fish&&chips → Tor && Co"_s, u"  Chromium"_s,
                                  u"  Firefox"_s, u"  Tor && Co"_s, u"-"_s, u"Settings… [Ctrl+,]"_s,
                                  u"Send Feedback…"_s, u"-"_s, u"Quit Linkherd [Ctrl+Q]"_s}));
        QVERIFY(!Widgets::actionNamed(menu, u"Recently Opened"_s)->isEnabled());
        QMenu* submenu = Widgets::actionNamed(menu, u"data:,fish&&chips → Tor && Co"_s)->menu();
        QVERIFY(!Widgets::actionNamed(*submenu, u"Chromium"_s)->icon().isNull());
        QVERIFY(Widgets::actionNamed(*submenu, u"Tor && Co"_s)->icon().isNull());

        tray.desktop.catalog.defaultBrowser = tray.desktop.catalog.applications.front();
        Q_EMIT menu.aboutToShow();
        QCOMPARE(Widgets::menuLines(menu).at(2), u"-"_s);

        QMouseEvent click(QEvent::MouseButtonRelease, QPointF(-1, -1), QPointF(-1, -1), Qt::LeftButton, Qt::NoButton,
                          Qt::NoModifier);
        click.setTimestamp(4242);
        QCoreApplication::sendEvent(&menu, &click);
        Widgets::actionNamed(menu, u"Rules…"_s)->trigger();
        Widgets::actionNamed(menu, u"Rules…"_s)->trigger();
        QCOMPARE(tray.rulesShownAt, QList<quint32>({4242, 0}));
    }
};

QTEST_MAIN(TrayMenuTest)
#include "tst_tray_menu.moc"
