#pragma once

#include "launch_entry_cache.h"
#include "platform/application_launcher.h"

// Opens links as the file manager or `gio open` would: D-Bus-activatable applications over the bus through GIO,
// others by spawning their desktop entry's command line directly, each into a systemd scope of its own; spawns
// programs with QProcess.
class GioApplicationLauncher final : public ApplicationLauncher {
public:
    GioApplicationLauncher();
    ~GioApplicationLauncher() override;
    GioApplicationLauncher(const GioApplicationLauncher&) = delete;
    GioApplicationLauncher& operator=(const GioApplicationLauncher&) = delete;

    void openLinks(const QString& applicationPath, const QStringList& links, const LaunchActivation& activation,
                   Completion completion) override;
    Result<void> spawnDetached(const QStringList& argv, const LaunchActivation& activation) override;

private:
    static void connected(struct _GObject* source, struct _GAsyncResult* result, void* data);

    // GIO announces every launch on the session bus through the shared connection and lets it go when
    // nothing else holds it; holding it from the start on saves a new connection (and its handshake) for
    // every link.
    void* m_sessionBus = nullptr;
    void* m_connecting = nullptr; // GCancellable of the connection asked for at construction; names this
    LaunchEntryCache m_entries;
};

// The variables with which a desktop launched Linkherd; passed on, they would make a browser believe it was
// launched as Linkherd (startup notification, activation).
const char* const* launchVariables();
