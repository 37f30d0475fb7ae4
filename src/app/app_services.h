#pragma once

#include "base/result.h"
#include "platform/launch_activation.h"
#include "services/link_source.h"

#include <QObject>
#include <QPointer>

#include <memory>

class ApplicationCatalog;
class BrowserLaunching;
class DefaultBrowser;
class DefaultBrowserGuard;
class Preferences;
class Router;
class RuleStore;
class RulesFileNotices;
class WindowProcess;
struct LinuxPlatform;

// The long-lived services of the running application, built in a fixed order, which the tray, the D-Bus
// interfaces and the link intake all go through; the windows are a process of their own (WindowProcess). One per
// process.
class AppServices final : public QObject {
    Q_OBJECT

public:
    // Fails only when the rules folder cannot be found or created.
    static Result<std::unique_ptr<AppServices>> create(Preferences& preferences, QObject* parent = nullptr);
    ~AppServices() override;

    // The instance while it exists, for code reached from outside (automation).
    static AppServices* current();

    RuleStore& store() { return *m_store; }
    Preferences& preferences() { return m_preferences; }
    Router& router() { return *m_router; }
    DefaultBrowser& defaultBrowser() { return *m_defaultBrowser; }
    WindowProcess& windows() { return *m_windows; }
    // The installed applications, for telling which one a link came from.
    ApplicationCatalog& catalog();

    // What the links that woke Linkherd need: on the first run, the system's default browser becomes the
    // fallback; then outside edits of the rules are taken over.
    void start();
    // What no link waits for, once those links are handed over: the user is told when the rules file could not
    // be read, and another program taking the default browser is noticed. Once; later calls do nothing.
    void startAfterHandOver();
    // Each link in order, all from one application: one hand-over, whose activation (the clicking application's
    // token) goes to the first browser or panel its links reach.
    void openLinks(const QStringList& links, const LinkSource& source, const LaunchActivation& activation = {});
    // What launching Linkherd again (or activating it) shows, brought to the front with the activation.
    void reopen(const LaunchActivation& activation = {});
    // Shows the rules window, brought to the front with the activation.
    void showRulesWindow(const LaunchActivation& activation = {});
    // Shows the settings window, made on first use, brought to the front with the activation.
    void showSettings(const LaunchActivation& activation = {});
    // Shows the "Send Feedback" window (one at a time), brought to the front with the activation.
    void showFeedback(const LaunchActivation& activation = {});
    void quit();

private:
    AppServices(const QString& rulesFile, Preferences& preferences, QObject* parent);

    std::unique_ptr<LinuxPlatform> m_platform;
    std::unique_ptr<RuleStore> m_store;
    std::unique_ptr<RulesFileNotices> m_rulesFileNotices;
    Preferences& m_preferences;
    std::unique_ptr<BrowserLaunching> m_launcher;
    std::unique_ptr<Router> m_router;
    std::unique_ptr<DefaultBrowser> m_defaultBrowser;
    std::unique_ptr<DefaultBrowserGuard> m_defaultBrowserGuard;
    std::unique_ptr<WindowProcess> m_windows;
    bool m_startedAfterHandOver = false;
};
