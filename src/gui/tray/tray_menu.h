#pragma once

#include <QList>
#include <QMenu>
#include <QPointer>

struct TrayMenuEntry;
class TrayMenuModel;

// Linkherd's menu in the system tray as its own window, for an X11 (XEmbed) tray: the model's lines drawn as a
// QMenu, drawn again whenever the model changes and brought up to date with the desktop as it shows.
class TrayMenu final : public QMenu {
    Q_OBJECT

public:
    explicit TrayMenu(TrayMenuModel& model, QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleRebuild();
    void rebuild();
    void addEntries(QMenu& menu, const QList<TrayMenuEntry>& entries);

    TrayMenuModel& m_model;
    bool m_rebuildScheduled = false;
    QList<QPointer<QMenu>> m_submenus; // owned here, not by the actions that show them
    quint32 m_inputTime = 0;           // X server time of the last click or key in one of the menus
};
