#pragma once

#include "desktop_entry.h"

#include <gio/gdesktopappinfo.h>

DesktopEntry desktopEntryOf(GDesktopAppInfo* info);
