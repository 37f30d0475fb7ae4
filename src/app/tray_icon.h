#pragma once

#include "tray_host.h"

#include <QObject>

#include <memory>

class AppServices;
class StatusNotifierItem;
class TrayMenuModel;
class WindowProcess;

// Linkherd's icon in the system tray, with the tray menu behind a right click and a left click alike, shown while
// the preferences ask for it. Where a panel has a StatusNotifierWatcher, the icon is a StatusNotifierItem whose
// menu the panel draws: no widget and no window of Linkherd's. An X11 tray without one needs a window of the
// tray's own, which the window process draws (a QSystemTrayIcon with the menu as a QMenu), kept running while the
// icon is shown. Linkherd stays fully usable without a tray: launching it again shows a waiting chooser, else the
// rules window.
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    TrayIcon(AppServices& services, TrayHost::Kind kind, QObject* parent = nullptr);
    ~TrayIcon() override;

    // The folder whose hicolor theme has Linkherd's icon: the installed one, else this build's source tree's.
    static QString iconThemePath();

private:
    void showAsStatusNotifier(AppServices& services);
    void showInX11Tray(AppServices& services);

    TrayMenuModel* m_model;
    std::unique_ptr<StatusNotifierItem> m_item;
    WindowProcess* m_windows = nullptr; // drawing the icon in an X11 tray
};
