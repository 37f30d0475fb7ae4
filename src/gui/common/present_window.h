#pragma once

#include "platform/launch_activation.h"

class QWidget;

// Shows window out of the minimized state, raised and activated with the activation that came with the request
// (a click's startup ID on X11, its xdg-activation token on Wayland), so a desktop with focus-stealing
// prevention takes it as the window the user asked for.
void presentWindow(QWidget& window, const LaunchActivation& activation);
