#pragma once

#include <QIcon>
#include <QObject>

class AppServices;
class QMenu;
class QSystemTrayIcon;

// Linkherd's icon in the system tray (StatusNotifierItem where the desktop has one); its menu offers Quit.
// Linkherd stays fully usable without a tray: launching it again raises the chooser when links wait in it.
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(AppServices& services, QObject* parent = nullptr);
    ~TrayIcon() override;

    // The theme's org.linkherd.Linkherd when it renders, else the PNGs built into the program: never blank,
    // whatever icon theme and image plugins the desktop has.
    static QIcon applicationIcon();

private:
    QMenu* m_menu;
    QSystemTrayIcon* m_icon;
};
