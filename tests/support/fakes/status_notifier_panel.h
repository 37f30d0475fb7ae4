#pragma once

#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QStringList>

// A panel's side of the system tray on the session bus: the StatusNotifierWatcher that items register with (it
// records them), with a host registered, and what the panel reads and sends of an item's menu.
class FakeStatusNotifierWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    // Takes org.kde.StatusNotifierWatcher on the session bus; gives it up when destroyed.
    bool start();
    ~FakeStatusNotifierWatcher() override;

    QStringList items;
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) { items.append(service); }
    void RegisterStatusNotifierHost(const QString&) {}
};

namespace StatusNotifierPanel {

// The item's menu as lines: "-" a separator, " (off)" after a disabled line, " [Control+R]" its shortcut, " {name}"
// its icon's name or " {N bytes}" its PNG; a submenu's lines follow it, indented by two spaces. ids: each line's.
struct Menu {
    QStringList lines;
    QList<int> ids;
};
Menu menu(const QString& service);

// The panel's "clicked" on the menu line with this id (answered from this process's event loop, if need be).
QDBusMessage click(const QString& service, int id);

// org.freedesktop.DBus.Properties.Get of the item's object; invalid when the call fails.
QVariant itemProperty(const QString& service, const QString& name);

} // namespace StatusNotifierPanel
