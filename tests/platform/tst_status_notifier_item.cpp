#include "platform/gio/status_notifier_item.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString watcherName = u"org.kde.StatusNotifierWatcher"_s;

// The panel's side: the watcher items register with.
class FakeWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")

public:
    QStringList registered;

public Q_SLOTS:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service) { registered.append(service); }
};

QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    // The item answers from this same event loop.
    return QDBusConnection::sessionBus().call(message, QDBus::BlockWithGui);
}

QVariant busProperty(const QString& service, const QString& path, const QString& interface, const QString& name)
{
    const QDBusMessage reply =
        call(service, path, u"org.freedesktop.DBus.Properties"_s, u"Get"_s, {interface, name});
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).value<QDBusVariant>().variant()
                                                      : QVariant();
}

// A menu layout from GetLayout as lines: "-" a separator, "(off)" a disabled line, "[…]" the shortcut, "{…}" the
// icon's name or the size of its PNG; a submenu's lines follow it indented. ids collects each line's id.
void readLayout(const QDBusArgument& argument, int depth, QStringList& lines, QList<int>& ids)
{
    int id = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> id >> properties;
    if (depth >= 0) {
        QString line = QString(depth * 2, u' ');
        if (properties.value(u"type"_s) == u"separator"_s) {
            line += u'-';
        } else {
            line += properties.value(u"label"_s).toString();
            if (properties.contains(u"enabled"_s) && !properties.value(u"enabled"_s).toBool())
                line += u" (off)"_s;
            if (properties.contains(u"shortcut"_s)) {
                const auto shortcut = qdbus_cast<QList<QStringList>>(properties.value(u"shortcut"_s));
                line += u" ["_s + shortcut.value(0).join(u'+') + u']';
            }
            if (properties.contains(u"icon-name"_s))
                line += u" {"_s + properties.value(u"icon-name"_s).toString() + u'}';
            if (properties.contains(u"icon-data"_s))
                line += u" {%1 bytes}"_s.arg(properties.value(u"icon-data"_s).toByteArray().size());
        }
        lines.append(line);
        ids.append(id);
    }
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        readLayout(child.variant().value<QDBusArgument>(), depth + 1, lines, ids);
    }
    argument.endArray();
    argument.endStructure();
}

} // namespace

class StatusNotifierItemTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session"); }

    // The item reaches a panel that comes after it, shows its icon and title, and exports the menu as given; a
    // click runs the line's command with the click's time, once the panel is answered; a line of an earlier menu
    // reaches nothing.
    void exportsTheMenuToAPanel()
    {
        QTemporaryDir folder;
        const QString pngPath = folder.filePath(u"browser.png"_s);
        QFile png(pngPath);
        QVERIFY(png.open(QIODevice::WriteOnly) && png.write("\x89PNG\r\n\x1a\n0123") == 12);
        png.close();

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
                                    {.text = u"Local"_s, .icon = pngPath, .activated = command}}}});

        FakeWatcher watcher;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(u"/StatusNotifierWatcher"_s, &watcher, QDBusConnection::ExportScriptableSlots));
        QVERIFY(bus.registerService(watcherName));
        QTRY_COMPARE(watcher.registered.size(), 1);
        const QString service = watcher.registered.first();
        QVERIFY(service.startsWith(u"org.kde.StatusNotifierItem-%1-"_s.arg(QCoreApplication::applicationPid())));

        const QString itemInterface = u"org.kde.StatusNotifierItem"_s;
        QCOMPARE(busProperty(service, u"/StatusNotifierItem"_s, itemInterface, u"Id"_s), u"org.example.Item"_s);
        QCOMPARE(busProperty(service, u"/StatusNotifierItem"_s, itemInterface, u"IconName"_s), u"org.example.Item"_s);
        QCOMPARE(busProperty(service, u"/StatusNotifierItem"_s, itemInterface, u"IconThemePath"_s),
                 u"/opt/example/icons"_s);
        QCOMPARE(busProperty(service, u"/StatusNotifierItem"_s, itemInterface, u"ItemIsMenu"_s), true);
        QCOMPARE(busProperty(service, u"/StatusNotifierItem"_s, itemInterface, u"Menu"_s)
                     .value<QDBusObjectPath>()
                     .path(),
                 u"/MenuBar"_s);
        const QString menuInterface = u"com.canonical.dbusmenu"_s;
        const auto layout = [&](QList<int>& ids) {
            const QDBusMessage reply = call(service, u"/MenuBar"_s, menuInterface, u"GetLayout"_s,
                                            {0, -1, QStringList()});
            QStringList lines;
            readLayout(reply.arguments().value(1).value<QDBusArgument>(), -1, lines, ids);
            return lines;
        };
        QList<int> ids;
        QCOMPARE(layout(ids), QStringList({u"Rules… [Control+R]"_s, u"-"_s, u"Recently Opened (off)"_s,
                                           u"snake__case.example → Web"_s, u"  Web {org.gnome.Epiphany}"_s,
                                           u"  Local {12 bytes}"_s}));

        const auto click = [&](int id) {
            return call(service, u"/MenuBar"_s, menuInterface, u"Event"_s,
                        {id, u"clicked"_s, QVariant::fromValue(QDBusVariant(0)), 4242u});
        };
        QCOMPARE(click(ids[4]).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(click(ids[2]).type(), QDBusMessage::ReplyMessage); // a disabled line does nothing
        QTRY_COMPARE(clicks, QList<quint32>({4242}));
        call(service, u"/MenuBar"_s, menuInterface, u"AboutToShow"_s, {0});
        QTRY_COMPARE(aboutToShow, 1);

        item.setMenu({{.text = u"Quit"_s, .activated = command}});
        QList<int> newIds;
        QCOMPARE(layout(newIds), QStringList({u"Quit"_s}));
        QCOMPARE(click(ids[0]).type(), QDBusMessage::ErrorMessage);
        QCOMPARE(click(newIds[0]).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(clicks, QList<quint32>({4242, 4242}));

        // Hidden, the item leaves the bus and so the tray; shown, it registers again. So it does with a panel
        // that restarts.
        QDBusConnectionInterface* names = bus.interface();
        item.setVisible(false);
        QTRY_VERIFY(!names->isServiceRegistered(service).value());
        item.setVisible(true);
        QTRY_COMPARE(watcher.registered.size(), 2);
        QVERIFY(bus.unregisterService(watcherName));
        QVERIFY(bus.registerService(watcherName));
        QTRY_COMPARE(watcher.registered.size(), 3);
        QCOMPARE(QSet<QString>(watcher.registered.cbegin(), watcher.registered.cend()).size(), 1);
        bus.unregisterService(watcherName);
        bus.unregisterObject(u"/StatusNotifierWatcher"_s);
    }
};

QTEST_GUILESS_MAIN(StatusNotifierItemTest)
#include "tst_status_notifier_item.moc"
