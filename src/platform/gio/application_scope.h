#pragma once

#include <QString>

#include <sys/types.h>

struct _GDBusConnection;

// The transient systemd scope of a started application, named as desktop launchers name it
// (https://systemd.io/DESKTOP_ENVIRONMENTS/): app-<desktop entry ID, systemd-escaped>-<pid>.scope.
QString applicationScopeName(const QString& entryID, pid_t pid);

// Asks the user's systemd manager on the session bus to move the started application into its own scope in
// app.slice, without waiting for the answer: stopping, restarting or OOM-killing Linkherd's own unit then leaves
// it running, and `systemctl --user status` shows it as the application it is. Without a systemd manager on the
// bus (or when it refuses) the application simply stays where it was started; that is only logged.
void moveIntoApplicationScope(_GDBusConnection* bus, const QString& entryID, const QString& description, pid_t pid);
