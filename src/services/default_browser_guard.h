#pragma once

#include "platform/desktop_notifications.h"

#include <QObject>
#include <QTimer>

#include <optional>

class ApplicationCatalog;
class DefaultBrowser;
class DirectoryWatcher;
class Preferences;
struct DesktopEntry;

// Keeps Linkherd the default browser in the user's sight. Browsers, first-run wizards and settings tools take the
// default without asking, and every rule then silently stops running: when Linkherd was the default and no
// longer is, the user is told, with a button to claim the links back and one to keep the other browser (then
// nothing more is said until Linkherd is the default again). A hand-back the user asked for through Linkherd
// (DefaultBrowser::handedBackTo) is never objected to.
class DefaultBrowserGuard final : public QObject {
    Q_OBJECT

public:
    // How long the files must be still before the desktop is asked again: a browser writes http and https one
    // after the other, and GIO rereads its files a moment after they change.
    static constexpr int settleMs = 400;

    DefaultBrowserGuard(DefaultBrowser& defaultBrowser, ApplicationCatalog& catalog,
                        DesktopNotifications& notifications, Preferences& preferences, QObject* parent = nullptr);
    ~DefaultBrowserGuard() override;

    // Takes what the desktop says now as the starting point and watches the files that decide from then on.
    void start();

private:
    void filesChanged(const QStringList& names);
    void check();
    void object(const std::optional<DesktopEntry>& taker);
    void answered(const QString& key, const QString& takerID);

    DefaultBrowser& m_defaultBrowser;
    ApplicationCatalog& m_catalog;
    DesktopNotifications& m_notifications;
    Preferences& m_preferences;
    QTimer m_settle;
    bool m_wasDefault = false;
    // The browser the user was last told about, while that notification is unanswered.
    std::optional<QString> m_objectedTo;
    std::optional<DesktopNotifications::Id> m_notification;
};
