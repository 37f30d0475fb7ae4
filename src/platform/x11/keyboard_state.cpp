#include "keyboard_state.h"

#include <QGuiApplication>
#include <QtGlobal>

using namespace Qt::StringLiterals;

Qt::KeyboardModifiers currentKeyboardModifiers()
{
    if (!qGuiApp || QGuiApplication::platformName().startsWith(u"wayland"_s))
        return Qt::NoModifier;
    // On X11 this asks the server, so it is the state at the moment of the call, not of the last event.
    return QGuiApplication::queryKeyboardModifiers();
}

bool isWaylandSession()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland"_s || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
