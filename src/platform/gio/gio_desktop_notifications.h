#pragma once

#include "platform/desktop_notifications.h"

#include <memory>

// Notifications sent over the session bus with GDBus, without waiting for an answer. Pressed buttons come back
// as the server's ActionInvoked signal, listened for from the first notification with actions on.
class GioDesktopNotifications final : public DesktopNotifications {
public:
    GioDesktopNotifications();
    ~GioDesktopNotifications() override;
    GioDesktopNotifications(const GioDesktopNotifications&) = delete;
    GioDesktopNotifications& operator=(const GioDesktopNotifications&) = delete;

    void notify(const QString& summary, const QString& body) override;
    Id notifyWithActions(const QString& summary, const QString& body, const QList<Action>& actions,
                         ActionHandler handler) override;
    void withdraw(Id id) override;

    struct State;

private:
    std::shared_ptr<State> m_state;
};
