#pragma once

#include "platform/desktop_entry.h"

#include <gio/gdesktopappinfo.h>

DesktopEntry desktopEntryOf(GDesktopAppInfo* info);

// Adds the Exec lines of the entry's new-window and new-private-window actions, read from its file.
void addWindowActions(GDesktopAppInfo* info, DesktopEntry& entry);
