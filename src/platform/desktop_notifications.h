#pragma once

#include <QList>
#include <QString>

#include <functional>

// Messages for the user that need no window: the desktop's notifications (org.freedesktop.Notifications).
// Sending returns at once and cannot fail the caller; where no notification server runs, nothing is shown and
// none is started.
class DesktopNotifications {
public:
    // A button on a notification.
    struct Action {
        QString key; // what the handler is given
        QString label;
    };
    using ActionHandler = std::function<void(const QString& key)>;
    // This process's name for a notification with actions, for withdrawing it.
    using Id = quint64;

    virtual ~DesktopNotifications() = default;

    // summary: one line; body: plain text, lines separated by '\n'.
    virtual void notify(const QString& summary, const QString& body) = 0;
    // The same with buttons. The handler runs on the main thread with the key of the button pressed, at most
    // once, and never after the notification was closed or withdrawn; a server without buttons shows the text.
    virtual Id notifyWithActions(const QString& summary, const QString& body, const QList<Action>& actions,
                                 ActionHandler handler) = 0;
    // Takes the notification off the screen; its buttons are dead from now on.
    virtual void withdraw(Id id) = 0;
};
