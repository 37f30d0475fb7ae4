#pragma once

#include "platform/gio/gio_application_catalog.h"
#include "platform/gio/gio_application_launcher.h"
#include "platform/gio/gio_default_handlers.h"
#include "platform/gio/gio_desktop_notifications.h"
#include "platform/gio/gio_file_manager.h"
#include "platform/xdg/xdg_autostart_entry.h"

// The platform services of a real Linux desktop, for the executables to hand to the layers above.
struct LinuxPlatform final {
    GioApplicationCatalog catalog;
    GioApplicationLauncher launcher;
    GioDefaultHandlers defaultHandlers;
    XdgAutostartEntry autostart;
    GioDesktopNotifications notifications;
    GioFileManager fileManager;
};
