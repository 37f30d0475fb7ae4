#pragma once

#include "base/result.h"
#include "services/link_source.h"
#include "services/scripting_backend.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

class AppServices;

// org.freedesktop.Application at /org/linkherd/Linkherd under the name org.linkherd.Linkherd: how the desktop
// (D-Bus activation), `gio open` and a second `linkherd-app` hand links to the running instance. It is also what
// the scripting interface beside it works on: the application's rules, browsers and routing.
class ApplicationBus final : public QObject, public ScriptingBackend, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    enum class Registration { registered, nameTaken, noSessionBus };

    ApplicationBus(AppServices& services, std::function<std::optional<QString>(qint64 pid)> sourceOfCaller,
                   QObject* parent = nullptr);

    Registration registerOnSessionBus();

    RuleStore& store() override;
    QStringList installedBrowsers() const override;
    bool isDefaultBrowser() const override;
    void route(const QString& url, const QString& caller) override;

Q_SIGNALS:
    // After each call from the bus to this interface, once it has done its work (its links launched, its window
    // shown); the reply goes back after it.
    void callServed();

public Q_SLOTS:
    void Activate(const QVariantMap& platform_data);
    void Open(const QStringList& uris, const QVariantMap& platform_data);
    void ActivateAction(const QString& action_name, const QVariantList& parameter, const QVariantMap& platform_data);

private:
    LinkSource sourceOf(const QVariantMap& platformData) const;
    // The application of the connection with that unique name, by its process; empty when it cannot be told.
    // Worked out when routing needs it, while the call is being answered and the caller is certainly still there.
    LinkSource sourceOfCaller(const QDBusConnection& connection, const QString& caller) const;

    AppServices& m_services;
    std::function<std::optional<QString>(qint64 pid)> m_sourceOfCaller;
};
