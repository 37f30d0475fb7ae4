#pragma once

#include "platform/tray_menu_entry.h"

#include <QList>

#include <functional>
#include <memory>

using GDBusConnection = struct _GDBusConnection;

// A menu exported on the session bus as com.canonical.dbusmenu, for a panel to draw: the menu of a
// StatusNotifierItem. Each line gets an id that is never reused, so that a panel's click on a line of a menu that
// has since been made again reaches nothing rather than the line now in its place. A chosen line's command runs
// from the event loop, once the panel has its answer.
class DBusMenu final {
public:
    // aboutToShow: the panel is about to open the menu (a chance to bring it up to date; a change then reaches
    // the panel as a layout update).
    explicit DBusMenu(std::function<void()> aboutToShow);
    ~DBusMenu();
    DBusMenu(const DBusMenu&) = delete;
    DBusMenu& operator=(const DBusMenu&) = delete;

    // Exported at this path of the connection from now on; false, and the reason logged, when GDBus refuses.
    bool exportOn(GDBusConnection* bus, const char* path);
    void setEntries(const QList<TrayMenuEntry>& entries);

    struct State;

private:
    std::shared_ptr<State> m_state;
};
