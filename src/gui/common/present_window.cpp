#include "present_window.h"

#include "base/logging.h"
#include "platform/x11/window_activation.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

// Qt's Wayland platform activates a window with the token in XDG_ACTIVATION_TOKEN and removes the variable once
// used; elsewhere it stays, and goes here, so that no program started later inherits it.
void activate(QWindow* window, const QString& token)
{
    if (!window)
        return;
    if (token.isEmpty() || QGuiApplication::platformName() != u"wayland"_s) {
        window->requestActivate();
        return;
    }
    qCDebug(lcApp, "activating a window with the token \"%s\"", qUtf8Printable(token));
    qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    window->requestActivate();
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

} // namespace

void presentWindow(QWidget& window, const LaunchActivation& activation)
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    // Only a window of Qt's X11 platform is an X window. The native window is made here, for the startup ID to be
    // on it before it is mapped; Qt's X11 platform syncs with the server as it makes one, so the platform's own
    // connection finds the window there.
    if (QGuiApplication::platformName() == u"xcb"_s && !activation.startupID.isEmpty())
        WindowActivation::adoptStartupID(window.winId(), activation.startupID);
    window.show();
    window.raise();
    // A launcher from before the token had a variable of its own (GLib 2.74, GTK 3) hands it over as the startup ID
    // only; on Wayland that is the token, as GTK itself takes it.
    activate(window.windowHandle(), activation.token.isEmpty() ? activation.startupID : activation.token);
}
