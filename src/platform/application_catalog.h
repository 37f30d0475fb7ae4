#pragma once

#include "desktop_entry.h"

#include <QList>

#include <optional>

// The desktop's knowledge of installed applications.
class ApplicationCatalog {
public:
    virtual ~ApplicationCatalog() = default;

    // The applications that open https links, in the system's order; entries meant for other desktops
    // (OnlyShowIn, NotShowIn) are left out, entries hidden from menus (NoDisplay) are not.
    virtual QList<DesktopEntry> webBrowsers() = 0;
    // The application the system opens https links with.
    virtual std::optional<DesktopEntry> defaultWebBrowser() = 0;
    // An application by desktop file ID (without ".desktop").
    virtual std::optional<DesktopEntry> application(const QString& id) = 0;
};
