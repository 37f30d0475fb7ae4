#include "platform/gio/status_notifier_item.h"
#include "support/fakes/status_notifier_panel.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class StatusNotifierItemTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The item reaches a panel that comes after it, shows its icon and title, and exports the menu as given; a
    // click runs the line's command once the panel is answered, without the panel's time (not always the X
    // server's); a line of an earlier menu reaches nothing. Hidden, the item leaves the bus and so the tray;
    // shown, it registers again, as it does with a panel that restarts.
    void exportsTheMenuToAPanel()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY2(bus.isConnected(), "run under dbus-run-session");
        QTemporaryDir folder;
        const QString png = folder.filePath(u"browser.png"_s);
        QFile file(png);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("\x89PNG\r\n\x1a\n0123") == 12);
        file.close();

        QList<quint32> clicks;
        int aboutToShow = 0;
        StatusNotifierItem item({.id = u"org.example.Item"_s,
                                 .title = u"Example"_s,
                                 .iconName = u"org.example.Item"_s,
                                 .iconThemePath = u"/opt/example/icons"_s},
                                [&aboutToShow] { ++aboutToShow; });
        const auto command = [&clicks](quint32 time) { clicks.append(time); };
        item.setMenu({{.text = u"Rules…"_s, .shortcut = u"Ctrl+R"_s, .activated = command},
                      {.separator = true},
                      {.text = u"Recently Opened"_s, .enabled = false},
                      {.text = u"snake_case.example → Web"_s,
                       .children = {{.text = u"Web"_s, .icon = u"org.gnome.Epiphany"_s, .activated = command},
                                    {.text = u"Local"_s, .icon = png, .activated = command}}}});

        FakeStatusNotifierWatcher watcher;
        QVERIFY(watcher.start());
        QTRY_COMPARE(watcher.items.size(), 1);
        const QString service = watcher.items.first();
        QVERIFY(service.startsWith(u"org.kde.StatusNotifierItem-%1-"_s.arg(QCoreApplication::applicationPid())));
        using StatusNotifierPanel::itemProperty;
        QCOMPARE(itemProperty(service, u"Id"_s), u"org.example.Item"_s);
        QCOMPARE(itemProperty(service, u"IconName"_s), u"org.example.Item"_s);
        QCOMPARE(itemProperty(service, u"IconThemePath"_s), u"/opt/example/icons"_s);
        QCOMPARE(itemProperty(service, u"ItemIsMenu"_s), true);
        QCOMPARE(itemProperty(service, u"Menu"_s).value<QDBusObjectPath>().path(), u"/MenuBar"_s);

        const StatusNotifierPanel::Menu menu = StatusNotifierPanel::menu(service);
        QCOMPARE(menu.lines, QStringList({u"Rules… [Control+R]"_s, u"-"_s, u"Recently Opened (off)"_s,
                                          u"snake__case.example → Web"_s, u"  Web {org.gnome.Epiphany}"_s,
                                          u"  Local {12 bytes}"_s}));
        QCOMPARE(StatusNotifierPanel::click(service, menu.ids[4]).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(StatusNotifierPanel::click(service, menu.ids[2]).type(), QDBusMessage::ReplyMessage); // disabled
        QTRY_COMPARE(clicks, QList<quint32>({0}));
        QDBusMessage show =
            QDBusMessage::createMethodCall(service, u"/MenuBar"_s, u"com.canonical.dbusmenu"_s, u"AboutToShow"_s);
        show << 0;
        bus.call(show, QDBus::BlockWithGui);
        QTRY_COMPARE(aboutToShow, 1);

        item.setMenu({{.text = u"Quit"_s, .activated = command}});
        const StatusNotifierPanel::Menu rebuilt = StatusNotifierPanel::menu(service);
        QCOMPARE(rebuilt.lines, QStringList({u"Quit"_s}));
        QCOMPARE(StatusNotifierPanel::click(service, menu.ids[0]).type(), QDBusMessage::ErrorMessage);
        QCOMPARE(StatusNotifierPanel::click(service, rebuilt.ids[0]).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(clicks, QList<quint32>({0, 0}));

        item.setVisible(false);
        QTRY_VERIFY(!bus.interface()->isServiceRegistered(service).value());
        item.setVisible(true);
        QTRY_COMPARE(watcher.items.size(), 2);
        QVERIFY(bus.unregisterService(u"org.kde.StatusNotifierWatcher"_s));
        QVERIFY(bus.registerService(u"org.kde.StatusNotifierWatcher"_s));
        QTRY_COMPARE(watcher.items.size(), 3);
        QCOMPARE(QSet<QString>(watcher.items.cbegin(), watcher.items.cend()).size(), 1);
    }
};

QTEST_GUILESS_MAIN(StatusNotifierItemTest)
#include "tst_status_notifier_item.moc"
