#pragma once

#include "desktop_notifications.h"

// Notifications sent over the session bus with GDBus, without waiting for an answer.
class GioDesktopNotifications final : public DesktopNotifications {
public:
    void notify(const QString& summary, const QString& body) override;
};
