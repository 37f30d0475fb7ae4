#pragma once

#include "tray_host.h"

#include <QIcon>
#include <QObject>

#include <memory>

class AppServices;
class QSystemTrayIcon;
class StatusNotifierItem;
class TrayMenu;
class TrayMenuModel;

// Linkherd's icon in the system tray, with the tray menu behind a right click and a left click alike, shown while
// the preferences ask for it. Where a panel has a StatusNotifierWatcher, the icon is a StatusNotifierItem whose
// menu the panel draws: no widget and no window of Linkherd's. An X11 tray without one gets a QSystemTrayIcon
// with the menu as a QMenu. Linkherd stays fully usable without a tray: launching it again shows a waiting
// chooser, else the rules window.
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    TrayIcon(AppServices& services, TrayHost::Kind kind, QObject* parent = nullptr);
    ~TrayIcon() override;

    // The theme's org.linkherd.Linkherd when it renders, else the PNGs built into the program: never blank,
    // whatever icon theme and image plugins the desktop has.
    static QIcon applicationIcon();
    // The folder whose hicolor theme has Linkherd's icon: the installed one, else this build's source tree's.
    static QString iconThemePath();

private:
    void showAsStatusNotifier(AppServices& services);
    void showInX11Tray(AppServices& services);

    TrayMenuModel* m_model;
    std::unique_ptr<StatusNotifierItem> m_item;
    TrayMenu* m_menu = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
};
