#pragma once

#include <QObject>

#include <functional>

class QDBusServiceWatcher;

// Tells when there is a system tray to put Linkherd's icon in, and which kind: a panel's StatusNotifierWatcher
// with a host (KDE Plasma, the GNOME AppIndicator extension, waybar and most panels today), else an X11 (XEmbed)
// tray; told at once when one is there, else as soon as a watcher with a host appears on the session bus (a panel
// started after Linkherd, the extension switched on). Told once; a StatusNotifierItem registers itself again with
// every later watcher (a panel that restarts).
//
// Qt 6.4 picks the route of a QSystemTrayIcon once per process, when first asked, and keeps the answer, so the
// X11 tray's QSystemTrayIcon is made only once this has said that there is no watcher to prefer.
class TrayHost final : public QObject {
    Q_OBJECT

public:
    enum class Kind { StatusNotifier, XEmbed };

    explicit TrayHost(std::function<void(Kind)> trayAppeared, QObject* parent = nullptr);

private Q_SLOTS:
    void hostRegistered();

private:
    void askWatcher();
    void appear(Kind kind);

    std::function<void(Kind)> m_trayAppeared;
    QDBusServiceWatcher* m_watcher;
    bool m_appeared = false;
};
