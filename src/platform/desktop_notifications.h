#pragma once

#include <QString>

// Messages for the user that need no window: the desktop's notifications (org.freedesktop.Notifications).
// Sending returns at once and cannot fail the caller; where no notification server runs, nothing is shown and
// none is started.
class DesktopNotifications {
public:
    virtual ~DesktopNotifications() = default;

    // summary: one line; body: plain text, lines separated by '\n'.
    virtual void notify(const QString& summary, const QString& body) = 0;
};
