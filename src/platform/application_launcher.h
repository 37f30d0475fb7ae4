#pragma once

#include "routing/result.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Starts other applications. Linkherd's own launch variables (GIO_LAUNCHED_DESKTOP_FILE*,
// DESKTOP_STARTUP_ID, XDG_ACTIVATION_TOKEN) never reach them.
class ApplicationLauncher {
public:
    using Completion = std::function<void(std::optional<QString> error)>;

    virtual ~ApplicationLauncher() = default;

    // Opens the link in the application whose desktop file is at applicationPath, as the desktop does,
    // activating it. Returns at once; the completion runs later on the main thread, with the system's error
    // when the launch failed.
    virtual void openLink(const QString& applicationPath, const QString& link, Completion completion) = 0;
    // Starts a program with exactly these arguments, without a shell, and leaves it running on its own.
    virtual Result<void> spawnDetached(const QStringList& argv) = 0;
};
