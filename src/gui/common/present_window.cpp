#include "present_window.h"

#include "platform/x11/window_activation.h"

#include <QWidget>

void presentWindow(QWidget& window, const LaunchActivation& activation)
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.winId(); // the native window, for the startup ID to be on it before it is mapped
    WindowActivation::adoptStartupID(window.windowHandle(), activation.startupID);
    window.show();
    window.raise();
    // A launcher from before the token had a variable of its own (GLib 2.74, GTK 3) hands it over as the startup ID
    // only; on Wayland that is the token, as GTK itself takes it.
    WindowActivation::activate(window.windowHandle(),
                               activation.token.isEmpty() ? activation.startupID : activation.token);
}
