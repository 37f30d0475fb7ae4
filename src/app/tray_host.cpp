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
// An X11 tray waits for the watcher's answer; one that hangs costs the icon no longer than this.
constexpr int watcherAnswerLimit = 2000;

} // namespace

TrayHost::TrayHost(std::function<void(Kind)> trayAppeared, QObject* parent)
    : QObject(parent),
      m_trayAppeared(std::move(trayAppeared)),
      m_watcher(new QDBusServiceWatcher(watcherService, QDBusConnection::sessionBus(),
                                        QDBusServiceWatcher::WatchForRegistration, this))
{
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &TrayHost::askWatcher);
    // A watcher without a host yet (the panel registers after it) says so when one comes.
    QDBusConnection::sessionBus().connect(watcherService, watcherPath, watcherService,
                                          u"StatusNotifierHostRegistered"_s, this, SLOT(hostRegistered()));
    askWatcher();
}

void TrayHost::hostRegistered()
{
    appear(Kind::StatusNotifier);
}

void TrayHost::askWatcher()
{
    if (m_appeared)
        return;
    // Asked without waiting: a watcher that does not answer must not hold the links behind it.
    QDBusMessage get =
        QDBusMessage::createMethodCall(watcherService, watcherPath, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << watcherService << u"IsStatusNotifierHostRegistered"_s;
    auto* call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get, watcherAnswerLimit), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *finished;
        // Without a watcher (the call fails) an X11 tray may take the icon; a watcher that comes later still does.
        if (!reply.isError() && reply.value().variant().toBool())
            appear(Kind::StatusNotifier);
        else if (XEmbedTray::isRunning())
            appear(Kind::XEmbed);
    });
}

void TrayHost::appear(Kind kind)
{
    if (m_appeared)
        return;
    m_appeared = true;
    QDBusConnection::sessionBus().disconnect(watcherService, watcherPath, watcherService,
                                             u"StatusNotifierHostRegistered"_s, this, SLOT(hostRegistered()));
    m_watcher->deleteLater();
    m_watcher = nullptr;
    m_trayAppeared(kind);
}
