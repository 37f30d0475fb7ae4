#pragma once

#include <QIcon>
#include <QObject>

class AppServices;
class QSystemTrayIcon;
class TrayMenu;
class TrayMenuModel;

// Linkherd's icon in the system tray (StatusNotifierItem where the desktop has one), with the tray menu behind a
// right click and a left click alike, shown while the preferences ask for it. Linkherd stays fully usable without
// a tray: launching it again shows a waiting chooser, else the rules window.
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(AppServices& services, QObject* parent = nullptr);
    ~TrayIcon() override;

    // The theme's org.linkherd.Linkherd when it renders, else the PNGs built into the program: never blank,
    // whatever icon theme and image plugins the desktop has.
    static QIcon applicationIcon();

private:
    TrayMenuModel* m_model;
    TrayMenu* m_menu;
    QSystemTrayIcon* m_icon;
};
