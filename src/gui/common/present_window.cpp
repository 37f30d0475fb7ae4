#include "present_window.h"

#include "platform/window_activation.h"

#include <QWidget>

void presentWindow(QWidget& window, const LaunchActivation& activation)
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.winId(); // the native window, for the startup ID to be on it before it is mapped
    WindowActivation::adoptStartupID(window.windowHandle(), activation.startupID);
    window.show();
    window.raise();
    WindowActivation::activate(window.windowHandle(), activation.token);
}
