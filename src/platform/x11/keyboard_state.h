#pragma once

#include <Qt>

// The keyboard modifiers held at this moment, desktop-wide. Where the session has no global keyboard state
// (Wayland), or there is no GUI, none are held.
Qt::KeyboardModifiers currentKeyboardModifiers();

// Whether the desktop session is a Wayland one (XDG_SESSION_TYPE says so, or there is a Wayland display to
// connect to), whichever platform Qt itself runs on. There the keyboard state Linkherd can read is XWayland's,
// which sees keys only while an X11 window has the focus.
bool isWaylandSession();
