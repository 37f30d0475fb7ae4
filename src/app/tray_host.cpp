#include "tray_host.h"

#include "platform/x11/xembed_tray.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

using namespace Qt::StringLiterals;

namespace {

const QString watcherService = u"org.kde.StatusNotifierWatcher"_s;
const QString watcherPath = u"/StatusNotifierWatcher"_s;

} // namespace

TrayHost::TrayHost(std::function<void()> trayAppeared, QObject* parent)
    : QObject(parent),
      m_trayAppeared(std::move(trayAppeared)),
      m_watcher(new QDBusServiceWatcher(watcherService, QDBusConnection::sessionBus(),
                                        QDBusServiceWatcher::WatchForRegistration, this))
{
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &TrayHost::askWatcher);
    // A watcher without a host yet (the panel registers after it) says so when one comes.
    QDBusConnection::sessionBus().connect(watcherService, watcherPath, watcherService,
                                          u"StatusNotifierHostRegistered"_s, this, SLOT(hostRegistered()));
    if (XEmbedTray::isRunning())
        appear();
    else
        askWatcher();
}

void TrayHost::hostRegistered()
{
    appear();
}

void TrayHost::askWatcher()
{
    if (m_appeared)
        return;
    // Asked without waiting: a watcher that does not answer must not hold the links behind it.
    QDBusMessage get =
        QDBusMessage::createMethodCall(watcherService, watcherPath, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << watcherService << u"IsStatusNotifierHostRegistered"_s;
    auto* call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *finished;
        if (!reply.isError() && reply.value().variant().toBool())
            appear();
    });
}

void TrayHost::appear()
{
    if (m_appeared)
        return;
    m_appeared = true;
    QDBusConnection::sessionBus().disconnect(watcherService, watcherPath, watcherService,
                                             u"StatusNotifierHostRegistered"_s, this, SLOT(hostRegistered()));
    m_watcher->deleteLater();
    m_watcher = nullptr;
    m_trayAppeared();
}
