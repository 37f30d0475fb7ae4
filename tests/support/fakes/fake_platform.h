#pragma once

#include "platform/application_catalog.h"
#include "platform/application_launcher.h"
#include "platform/autostart_entry.h"
#include "platform/default_handlers.h"
#include "platform/desktop_notifications.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>

// In-memory stand-ins for the desktop, for tests of the layers above the platform.

// A desktop entry for a browser at /apps/<id>.desktop whose Exec starts /bin/<id> with %U.
DesktopEntry fakeEntry(const QString& id, const QString& name);

class FakeApplicationCatalog final : public ApplicationCatalog {
public:
    QList<DesktopEntry> browsers;     // in the system's order
    QList<DesktopEntry> applications; // found by id besides the browsers
    std::optional<DesktopEntry> defaultBrowser;
    int applicationLookups = 0;
    std::function<void()> changeHandler; // what the desktop would call after a change

    QList<DesktopEntry> webBrowsers() override { return browsers; }
    std::optional<DesktopEntry> defaultWebBrowser() override { return defaultBrowser; }
    // The browsers, then the other applications.
    QList<DesktopEntry> shownApplications() override { return browsers + applications; }
    std::optional<DesktopEntry> application(const QString& id) override;
    std::optional<DesktopEntry> applicationWithWindowClass(const QString& windowClass) override;
    void setChangeHandler(std::function<void()> handler) override { changeHandler = std::move(handler); }
};

class FakeApplicationLauncher final : public ApplicationLauncher {
public:
    struct Open {
        QString applicationPath;
        QString link;
    };

    QList<Open> opens;                 // one per link
    QList<QStringList> linksPerLaunch; // the links of each launch
    QList<QStringList> spawns;
    QList<LaunchActivation> activations; // of each launch and spawn, in order
    std::optional<QString> openError;    // what every open reports, later
    std::optional<QString> spawnError;   // what every spawn fails with

    void openLinks(const QString& applicationPath, const QStringList& links, const LaunchActivation& activation,
                   Completion completion) override;
    Result<void> spawnDetached(const QStringList& argv, const LaunchActivation& activation) override;
};

class FakeDefaultHandlers final : public DefaultHandlers {
public:
    QStringList schemesSet;                    // in the order they were asked for
    QHash<QString, QString> failures;          // scheme -> error
    FakeApplicationCatalog* catalog = nullptr; // when set, a successful change makes the entry the default

    Result<void> setDefaultForScheme(const QString& applicationPath, const QString& scheme) override;
};

class FakeAutostartEntry final : public AutostartEntry {
public:
    Status current = Status::notRegistered;
    int enables = 0;
    int disables = 0;
    std::optional<QString> disableError;

    Status status() override { return current; }
    Result<void> enable() override;
    Result<void> disable() override;
};

// Records what it shows; its buttons are never pressed (tst_default_browser_guard presses a server's on the bus).
class FakeDesktopNotifications final : public DesktopNotifications {
public:
    struct Notification {
        QString summary;
        QString body;
    };

    QList<Notification> sent; // index + 1 is the Id

    void notify(const QString& summary, const QString& body) override { sent.append({summary, body}); }
    Id notifyWithActions(const QString& summary, const QString& body, const QList<Action>&, ActionHandler) override
    {
        notify(summary, body);
        return Id(sent.size());
    }
    void withdraw(Id) override {}
};
