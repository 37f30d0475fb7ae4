#pragma once

#include "platform/default_handlers.h"

// Sets default handlers the way each desktop reads them. GIO writes $XDG_CONFIG_HOME/mimeapps.list, but a
// desktop-specific <desktop>-mimeapps.list that names another application wins over it, and KDE opens web
// links with kdeglobals' BrowserApplication: those are brought in line too.
class GioDefaultHandlers final : public DefaultHandlers {
public:
    Result<void> setDefaultForScheme(const QString& applicationPath, const QString& scheme) override;
};
