#pragma once

#include <Qt>

// The keyboard modifiers held at this moment, desktop-wide. Where the session has no global keyboard state
// (Wayland), or there is no GUI, none are held.
Qt::KeyboardModifiers currentKeyboardModifiers();
