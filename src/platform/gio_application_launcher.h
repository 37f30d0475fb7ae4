#pragma once

#include "application_launcher.h"

// Opens links through GIO, as the file manager or `gio open` would, and spawns programs with QProcess.
class GioApplicationLauncher final : public ApplicationLauncher {
public:
    void openLink(const QString& applicationPath, const QString& link, Completion completion) override;
    Result<void> spawnDetached(const QStringList& argv) override;
};

// The variables with which a desktop launched Linkherd; passed on, they would make a browser believe it was
// launched as Linkherd (startup notification, activation).
const char* const* launchVariables();
