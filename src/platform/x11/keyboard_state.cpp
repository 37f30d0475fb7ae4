#include "keyboard_state.h"

#include "x_connection.h"

#include <QString>

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

Qt::KeyboardModifiers currentKeyboardModifiers()
{
    xcb_connection_t* const connection = X11::connection();
    const xcb_screen_t* const screen = X11::screen();
    if (!connection || !screen)
        return Qt::NoModifier;
    // Asked of the server, so it is the state at the moment of the call, not at the last event Linkherd saw.
    const auto pointer = X11::reply<xcb_query_pointer_reply_t>(xcb_query_pointer(connection, screen->root));
    return pointer ? modifiersOfKeyMask(pointer->mask) : Qt::NoModifier;
}

Qt::KeyboardModifiers modifiersOfKeyMask(quint16 mask)
{
    static constexpr std::array<std::pair<uint16_t, Qt::KeyboardModifier>, 4> modifiers{{
        {XCB_MOD_MASK_SHIFT, Qt::ShiftModifier},
        {XCB_MOD_MASK_CONTROL, Qt::ControlModifier},
        {XCB_MOD_MASK_1, Qt::AltModifier},
        {XCB_MOD_MASK_4, Qt::MetaModifier},
    }};
    Qt::KeyboardModifiers held;
    for (const auto& [bit, modifier] : modifiers) {
        if (mask & bit)
            held |= modifier;
    }
    return held;
}

bool isWaylandSession()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland"_s || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
