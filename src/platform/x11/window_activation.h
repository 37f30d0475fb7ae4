#pragma once

#include <QString>

// The X11 side of bringing one of Linkherd's own windows to the front with the activation that came with a
// hand-over of links, and of handing the user's time on to a program started from one of them.
namespace WindowActivation {

// On X11, before the window is mapped (or mapped again): gives the native window (its WId) the startup ID as
// _NET_STARTUP_ID, from which the window manager takes the time of the user's click, and ends that launch's busy
// feedback ("remove" message of the startup notification protocol). Returns once the property is on the server.
// Does nothing without an X server or an ID.
void adoptStartupID(quintptr nativeWindow, const QString& startupID);

// On X11, a startup ID of Linkherd's own for a program started because of the user's input at this X server time:
// the window manager and the program's toolkit take the time from its "_TIME" part as that of the user's click.
// Empty elsewhere, where Linkherd cannot make one, and without a time.
QString startupIDForInputAt(quint64 serverTime);

} // namespace WindowActivation
