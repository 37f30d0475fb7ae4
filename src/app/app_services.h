#pragma once

#include "base/result.h"
#include "platform/launch_activation.h"
#include "services/link_source.h"

#include <QObject>
#include <QPointer>

#include <memory>

class ApplicationCatalog;
class BrowserLaunching;
class ChooserController;
class DefaultBrowser;
class DefaultBrowserGuard;
class FeedbackWindowController;
class Preferences;
class Router;
class RuleStore;
class RulesWindowController;
class SettingsWindowController;
class RulesFileNotices;
struct LinuxPlatform;

// The long-lived services of the running application, built in a fixed order, which the tray, the windows,
// the D-Bus interfaces and the link intake all go through. One per process.
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
    ChooserController& chooser() { return *m_chooser; }
    RulesWindowController& rulesWindow() { return *m_rulesWindow; }
    DefaultBrowser& defaultBrowser() { return *m_defaultBrowser; }
    FeedbackWindowController& feedbackWindow() { return *m_feedbackWindow; }
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

    // The installed linkherd tool, next to linkherd-app; empty when it is not there (a build tree).
    static QString toolPath();
    // The linkherd tool the windows run for the Finicky import and export and for feedback: the installed one,
    // else the one built beside the resident in a build tree; empty when there is neither.
    static QString helperToolPath();
    void quit();

private:
    AppServices(const QString& rulesFile, Preferences& preferences, QObject* parent);

    std::unique_ptr<LinuxPlatform> m_platform;
    std::unique_ptr<RuleStore> m_store;
    std::unique_ptr<RulesFileNotices> m_rulesFileNotices;
    Preferences& m_preferences;
    std::unique_ptr<BrowserLaunching> m_launcher;
    std::unique_ptr<Router> m_router;
    std::unique_ptr<ChooserController> m_chooser;
    std::unique_ptr<DefaultBrowser> m_defaultBrowser;
    std::unique_ptr<DefaultBrowserGuard> m_defaultBrowserGuard;
    std::unique_ptr<RulesWindowController> m_rulesWindow;
    std::unique_ptr<FeedbackWindowController> m_feedbackWindow;
    std::unique_ptr<SettingsWindowController> m_settingsWindow;
    bool m_startedAfterHandOver = false;
};
