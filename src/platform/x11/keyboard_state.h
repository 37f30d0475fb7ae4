#pragma once

#include <Qt>

// The keyboard modifiers held at this moment, desktop-wide, as the X server of $DISPLAY sees them. Without one
// (no DISPLAY: a Wayland session without XWayland) none are held.
Qt::KeyboardModifiers currentKeyboardModifiers();

// The modifiers an X11 key-and-button mask (QueryPointer's, a key event's) holds: Shift, Control, Alt as Mod1 and
// Meta as Mod4, the layout of every common keymap; Caps Lock, Num Lock and the buttons are not modifiers.
Qt::KeyboardModifiers modifiersOfKeyMask(quint16 mask);

// Whether the desktop session is a Wayland one (XDG_SESSION_TYPE says so, or there is a Wayland display to
// connect to), whichever platform Qt itself runs on. There the keyboard state Linkherd can read is XWayland's,
// which sees keys only while an X11 window has the focus.
bool isWaylandSession();
