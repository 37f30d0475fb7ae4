#pragma once

#include <QObject>

#include <functional>

class QDBusServiceWatcher;

// Tells when there is a system tray to put Linkherd's icon in: at once when one is there, else as soon as a
// StatusNotifierWatcher with a host appears on the session bus (a panel started after Linkherd, the GNOME
// AppIndicator extension switched on). Told once; the icon it makes is registered again by Qt with every later
// watcher (a panel that restarts).
//
// Qt 6.4 picks the tray's route (a StatusNotifierItem, else an X11 tray icon) once per process, when first asked,
// and keeps the answer: asked before a tray exists, it would never show an icon. So nothing asks Qt about the tray
// (QSystemTrayIcon) before this has said there is one.
class TrayHost final : public QObject {
    Q_OBJECT

public:
    explicit TrayHost(std::function<void()> trayAppeared, QObject* parent = nullptr);

private Q_SLOTS:
    void hostRegistered();

private:
    void askWatcher();
    void appear();

    std::function<void()> m_trayAppeared;
    QDBusServiceWatcher* m_watcher;
    bool m_appeared = false;
};
