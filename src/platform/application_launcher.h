#pragma once

#include "base/result.h"
#include "launch_activation.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Starts other applications. Linkherd's own launch variables (GIO_LAUNCHED_DESKTOP_FILE*,
// DESKTOP_STARTUP_ID, XDG_ACTIVATION_TOKEN) never reach them; the activation a launch is given does, as those
// variables of a started program or in the platform_data of a D-Bus-activated application's Open.
class ApplicationLauncher {
public:
    using Completion = std::function<void(std::optional<QString> error)>;

    virtual ~ApplicationLauncher() = default;

    // Opens the links in the application whose desktop file is at applicationPath, as the desktop does,
    // activating it: in one launch, in this order, when the application takes several links at once, else one
    // launch per link. Returns at once; the completion runs once, later, on the main thread, with the system's
    // error when a launch failed.
    virtual void openLinks(const QString& applicationPath, const QStringList& links, const LaunchActivation& activation,
                           Completion completion) = 0;
    // Starts a program with exactly these arguments, without a shell, and leaves it running on its own.
    virtual Result<void> spawnDetached(const QStringList& argv, const LaunchActivation& activation) = 0;
};
