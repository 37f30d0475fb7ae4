#pragma once

#include <QList>
#include <QString>

#include <functional>

// One line of the system tray's menu, as the tray shows it: a command, a line of text that does nothing, a
// separator or a submenu. Plain data, so that the menu can be drawn by Linkherd's own window (an X11 tray) or by
// the panel over D-Bus (a StatusNotifierItem's menu), from one description.
struct TrayMenuEntry final {
    bool separator = false;
    QString text{};     // as shown: no mnemonics, nothing escaped
    QString icon{};     // a theme icon name or an absolute path, as a desktop entry's Icon; may be empty
    QString shortcut{}; // a hint in QKeySequence's portable text ("Ctrl+R"); the tray itself has no keyboard focus
    bool enabled = true;
    QList<TrayMenuEntry> children{}; // a submenu's lines; a submenu has no command of its own
    // Run when the entry is chosen, with the X server time of the click or key press (0 where there is none).
    std::function<void(quint32 inputTime)> activated{};
};
