#pragma once

#include "browsers/browser_profiles.h"
#include "browsers/browsers.h"
#include "routing/destination.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>

#include <functional>

class QMenu;

// The destinations a user can send links to, as menu items: "Ask every time", then one entry per browser,
// with a submenu when the browser has profiles. Shared by the destination picker and by menus that act on
// existing rules, so every place offers the same choices in the same words.
struct DestinationMenuItems final {
    QList<Browsers::Browser> browsers;                        // offered in this order
    QHash<QString, QList<BrowserProfiles::Profile>> profiles; // by desktop file ID
    std::function<void(const Destination&)> pick;             // called with what the user chose

    // Appends the items to menu, which owns the actions and submenus from then on.
    void addTo(QMenu& menu) const;

    static QString askText();
    // The question mark of the icon theme; null when the theme has none.
    static QIcon askIcon();
};
