// A system tray for e2e_latency.sh: org.kde.StatusNotifierWatcher on the session bus with a host registered, so
// that Qt shows Linkherd's tray icon as on a desktop with a panel. Like a panel, it reads each item's properties
// and menu layout when the item registers, so the resident does the work a real tray makes it do.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QObject>
#include <QStringList>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

class Watcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& call)
    {
        // An item names its bus connection, or its object path on the caller's connection.
        const QString owner = service.startsWith(u'/') ? call.service() : service;
        const QString path = service.startsWith(u'/') ? service : u"/StatusNotifierItem"_s;
        m_items.append(owner + path);
        Q_EMIT StatusNotifierItemRegistered(owner + path);
        QDBusConnection bus = QDBusConnection::sessionBus();
        QDBusMessage properties =
            QDBusMessage::createMethodCall(owner, path, u"org.freedesktop.DBus.Properties"_s, u"GetAll"_s);
        properties << u"org.kde.StatusNotifierItem"_s;
        bus.callWithCallback(properties, this, SLOT(itemRead(QDBusMessage)));
    }
    void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private Q_SLOTS:
    // Then the menu, as a panel lays it out before the user opens it.
    void itemRead(const QDBusMessage& reply)
    {
        const QVariantMap properties = reply.arguments().value(0).toMap();
        const QString menu = properties.value(u"Menu"_s).value<QDBusObjectPath>().path();
        if (menu.isEmpty())
            return;
        QDBusMessage layout =
            QDBusMessage::createMethodCall(reply.service(), menu, u"com.canonical.dbusmenu"_s, u"GetLayout"_s);
        layout << 0 << -1 << QStringList();
        QDBusConnection::sessionBus().call(layout, QDBus::NoBlock);
    }

private:
    QStringList m_items;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    Watcher watcher;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(u"/StatusNotifierWatcher"_s, &watcher,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties |
                                QDBusConnection::ExportAllSignals) ||
        !bus.registerService(u"org.kde.StatusNotifierWatcher"_s)) {
        std::fprintf(stderr, "tray host: could not take org.kde.StatusNotifierWatcher on the session bus\n");
        return 1;
    }
    return QCoreApplication::exec();
}

#include "tray_host_stand_in.moc"
