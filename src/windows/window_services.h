#pragma once

#include "platform/tray_menu_entry.h"
#include "services/window_messages.h"

#include <QIcon>
#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class ApplicationCatalog;
class AutostartEntry;
class ChooserController;
class DefaultBrowser;
class DefaultHandlers;
class FileManager;
class FeedbackWindowController;
class Preferences;
class QSystemTrayIcon;
class ResidentChannel;
class RuleStore;
class RulesWindowController;
class SettingsWindowController;
class TrayMenu;

// Linkherd's windows, in the process the resident starts for them: the "Open Link" panel, the rules, settings and
// feedback windows, the alerts and an X11 tray's icon, each shown as the resident asks over the channel. The rules
// and preferences are the same files the resident reads, edited here and followed there. What a window decides
// that is the resident's to do (a link to open, the next link to ask about, quit) goes back over the channel.
class WindowServices final : public QObject {
    Q_OBJECT

public:
    // What of the desktop the windows work with.
    struct Desktop {
        ApplicationCatalog& catalog;
        DefaultHandlers& defaultHandlers;
        AutostartEntry& autostart;
        FileManager& fileManager;
    };

    WindowServices(Desktop desktop, RuleStore& store, Preferences& preferences, ResidentChannel& channel,
                   QObject* parent = nullptr);
    ~WindowServices() override;

    // The theme's org.linkherd.Linkherd when it renders, else the PNGs built into the program: never blank,
    // whatever icon theme and image plugins the desktop has.
    static QIcon applicationIcon();
    // The installed linkherd tool, next to linkherd-app; empty when it is not there (a build tree).
    static QString toolPath();
    // The linkherd tool the windows run for the Finicky import and export and for feedback: the installed one,
    // else the one built beside the resident in a build tree; empty when there is neither.
    static QString helperToolPath();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void handle(const WindowMessages::Message& message);
    void show(std::optional<WindowMessages::Window> window, const LaunchActivation& activation);
    void showSettings(const LaunchActivation& activation = {});
    void alert(const QJsonObject& fields);
    void setTray(const QJsonObject& fields);
    void removeTray();
    void scheduleIdleCheck();
    void checkIdle();

public:
    // For tests: the parts a user works with.
    ChooserController& chooser() { return *m_chooser; }
    QSystemTrayIcon* trayIcon() const;

private:
    ResidentChannel& m_channel;
    Desktop m_desktop;
    RuleStore& m_store;
    Preferences& m_preferences;
    std::unique_ptr<DefaultBrowser> m_defaultBrowser;
    std::unique_ptr<ChooserController> m_chooser;
    std::unique_ptr<RulesWindowController> m_rulesWindow;
    std::unique_ptr<FeedbackWindowController> m_feedbackWindow;
    std::unique_ptr<SettingsWindowController> m_settingsWindow;
    int m_alertsOpen = 0;
    QList<TrayMenuEntry> m_trayEntries;
    int m_trayMenu = 0; // the resident's number for the menu shown
    QPointer<QSystemTrayIcon> m_trayIcon;
    QPointer<TrayMenu> m_trayMenuWidget;
    bool m_idleCheckScheduled = false;
    std::optional<quint64> m_idleReportedAt; // messages received when idleness was last reported
};
