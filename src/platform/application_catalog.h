#pragma once

#include "desktop_entry.h"

#include <QList>

#include <functional>
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
    // Every application the desktop shows in its menus, in the system's order: entries hidden from menus
    // (NoDisplay, Hidden) and entries meant for other desktops are left out.
    virtual QList<DesktopEntry> shownApplications() = 0;
    // An application by desktop file ID (without ".desktop"), its window actions included.
    virtual std::optional<DesktopEntry> application(const QString& id) = 0;
    // The application that says its windows carry this WM_CLASS name (StartupWMClass), compared ignoring case.
    virtual std::optional<DesktopEntry> applicationWithWindowClass(const QString& windowClass) = 0;
    // Reads now what applicationWithWindowClass needs, and again after every change, so that no look-up waits
    // for it (it reads every desktop entry).
    virtual void prepareWindowClasses() {}
    // Called on the main thread, some time after applications are installed or removed or the associations of
    // link types change; the answers above may differ from then on. One handler: a later call replaces it, an
    // empty one stops the calls.
    virtual void setChangeHandler(std::function<void()> handler) = 0;
};
