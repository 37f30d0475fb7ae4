#include "application_bus.h"

#include "app_services.h"
#include "base/logging.h"
#include "browsers/browsers.h"
#include "browsers/default_browser.h"
#include "platform/launch_activation.h"
#include "platform/running_instance.h"
#include "services/router.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>

using namespace Qt::StringLiterals;

ApplicationBus::ApplicationBus(AppServices& services, std::function<std::optional<QString>(qint64 pid)> sourceOfCaller,
                               QObject* parent)
    : QObject(parent),
      m_services(services),
      m_sourceOfCaller(std::move(sourceOfCaller))
{}

ApplicationBus::Registration ApplicationBus::registerOnSessionBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return Registration::noSessionBus;
    if (!bus.registerObject(QString::fromLatin1(RunningInstance::objectPath), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAdaptors)) {
        qCCritical(lcApp, "Could not offer %s on the session bus", RunningInstance::objectPath);
        return Registration::noSessionBus;
    }
    if (!bus.registerService(QString::fromLatin1(RunningInstance::serviceName))) {
        bus.unregisterObject(QString::fromLatin1(RunningInstance::objectPath));
        return Registration::nameTaken;
    }
    return Registration::registered;
}

LinkSource ApplicationBus::sourceOf(const QVariantMap& platformData) const
{
    // A caller may name the source itself. Otherwise the caller's process tells: GIO's own Open comes straight
    // from the clicking application's connection, and linkherd-app names nothing but waits for the answer, so
    // that its ancestry still leads to whoever opened the link.
    const QString forwarded = platformData.value(QString::fromLatin1(RunningInstance::sourceKey)).toString();
    if (!forwarded.isEmpty())
        return forwarded;
    return calledFromDBus() ? sourceOfCaller(connection(), message().service()) : LinkSource();
}

LinkSource ApplicationBus::sourceOfCaller(const QDBusConnection& connection, const QString& caller) const
{
    if (!m_sourceOfCaller)
        return {};
    return LinkSource::lookedUpBy([this, connection, caller] {
        const uint pid = connection.interface()->servicePid(caller).value();
        if (pid == 0)
            return QString();
        return m_sourceOfCaller(static_cast<qint64>(pid)).value_or(QString());
    });
}

void ApplicationBus::Activate(const QVariantMap& platform_data)
{
    m_services.reopen(LaunchActivation::fromPlatformData(platform_data));
    Q_EMIT callServed();
}

void ApplicationBus::Open(const QStringList& uris, const QVariantMap& platform_data)
{
    // Routed before the answer goes back, while the process that sent the links is certainly still there.
    m_services.openLinks(uris, sourceOf(platform_data), LaunchActivation::fromPlatformData(platform_data));
    Q_EMIT callServed();
}

void ApplicationBus::ActivateAction(const QString& action_name, const QVariantList& parameter,
                                    const QVariantMap& platform_data)
{
    Q_UNUSED(parameter);
    if (action_name == u"quit"_s) {
        m_services.quit();
    } else if (action_name == u"show-rules"_s) {
        m_services.showRulesWindow(LaunchActivation::fromPlatformData(platform_data));
    } else if (action_name == u"ask-next"_s) {
        m_services.router().askForNextLink();
    } else if (action_name == u"settings"_s) {
        m_services.showSettings(LaunchActivation::fromPlatformData(platform_data));
    } else if (action_name == u"feedback"_s) {
        m_services.showFeedback(LaunchActivation::fromPlatformData(platform_data));
    } else if (calledFromDBus()) {
        sendErrorReply(QDBusError::InvalidArgs, u"Linkherd has no action named %1."_s.arg(action_name));
    }
    Q_EMIT callServed();
}

RuleStore& ApplicationBus::store()
{
    return m_services.store();
}

QStringList ApplicationBus::installedBrowsers() const
{
    QStringList ids;
    for (const Browsers::Browser& browser : Browsers::installed())
        ids.append(browser.desktopID);
    return ids;
}

bool ApplicationBus::isDefaultBrowser() const
{
    return m_services.defaultBrowser().isDefaultBrowser();
}

void ApplicationBus::route(const QString& url, const QString& caller)
{
    m_services.openLinks({url}, sourceOfCaller(QDBusConnection::sessionBus(), caller));
    Q_EMIT callServed();
}
