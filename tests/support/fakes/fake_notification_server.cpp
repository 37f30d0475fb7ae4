#include "support/fakes/fake_notification_server.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace {
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString service = QStringLiteral("org.freedesktop.Notifications");
} // namespace

FakeNotificationServer::FakeNotificationServer()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    m_registered = bus.registerObject(path, this, QDBusConnection::ExportAllSlots) && bus.registerService(service);
}

FakeNotificationServer::~FakeNotificationServer()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(service);
    bus.unregisterObject(path);
}

void FakeNotificationServer::press(uint id, const QString& key)
{
    QDBusMessage signal = QDBusMessage::createSignal(path, service, QStringLiteral("ActionInvoked"));
    signal << id << key;
    QDBusConnection::sessionBus().send(signal);
}

uint FakeNotificationServer::Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                                    const QStringList& actions, const QVariantMap&, int)
{
    shown.append({summary, body, actions});
    return uint(shown.size());
}

void FakeNotificationServer::CloseNotification(uint id)
{
    closed.append(id);
}
