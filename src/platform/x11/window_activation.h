#pragma once

#include <QString>

class QWindow;

// Bringing one of Linkherd's own windows to the front with the activation that came with a hand-over of links, so
// that a desktop with focus-stealing prevention takes it as the window the user's click asked for.
namespace WindowActivation {

// On X11, before the window is shown (or shown again): gives it the startup ID as _NET_STARTUP_ID, from which the
// window manager takes the time of the user's click, and ends that launch's busy feedback ("remove" message of
// the startup notification protocol). The window gets its native handle here. Does nothing elsewhere or without
// an ID.
void adoptStartupID(QWindow* window, const QString& startupID);

// Activates the shown window; on Wayland with the xdg-activation token, when there is one.
void activate(QWindow* window, const QString& token);

// On X11, a startup ID of Linkherd's own for a program started because of the user's input at this X server time:
// the window manager and the program's toolkit take the time from its "_TIME" part as that of the user's click.
// Empty elsewhere, where Linkherd cannot make one, and without a time.
QString startupIDForInputAt(quint64 serverTime);

} // namespace WindowActivation
