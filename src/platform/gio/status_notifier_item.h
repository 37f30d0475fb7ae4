#pragma once

#include "platform/tray_menu_entry.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

// An icon in the panel's system tray as KDE Plasma, the GNOME AppIndicator extension, waybar and their peers show
// it: a StatusNotifierItem (org.kde.StatusNotifierItem) with its menu exported as com.canonical.dbusmenu, both
// over GDBus on the session bus. The panel draws the menu; nothing of it needs a window, a widget or the display
// of this process.
//
// The item registers with the StatusNotifierWatcher whenever one appears (a panel started or restarted after
// Linkherd) and leaves the tray when hidden by giving up its bus name. Nothing here waits for the bus: the
// connection is made in the background and a call that goes unanswered holds nothing up.
class StatusNotifierItem final {
public:
    struct Appearance {
        QString id;       // the item's Id, which panels remember its place by
        QString title;    // its Title and the tooltip's
        QString iconName; // a theme icon name
        // The folder with the hicolor theme that has iconName, which panels search besides the user's theme: the
        // icon shows even where the theme's cache missed the installation, and from a build tree.
        QString iconThemePath;
    };

    // menuAboutToShow: the panel is about to open the menu (a chance to bring it up to date; a change then
    // reaches the panel as a layout update).
    StatusNotifierItem(Appearance appearance, std::function<void()> menuAboutToShow);
    ~StatusNotifierItem();
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    void setMenu(const QList<TrayMenuEntry>& entries);
    void setVisible(bool visible);

    struct State;

private:
    std::shared_ptr<State> m_state;
};
