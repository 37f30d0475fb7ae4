#pragma once

#include <QList>
#include <QMenu>
#include <QPointer>

#include <functional>

struct TrayMenuEntry;
class TrayMenuModel;

// Linkherd's menu in the system tray as its own window, for an X11 (XEmbed) tray: the lines of a tray menu drawn
// as a QMenu, drawn again whenever they change and brought up to date with the desktop as it shows.
class TrayMenu final : public QMenu {
    Q_OBJECT

public:
    // Where the lines come from: the model itself, or the copy of the resident's that the window process keeps.
    struct Source {
        std::function<QList<TrayMenuEntry>()> entries;
        std::function<void()> catchUp; // before the menu shows
    };

    explicit TrayMenu(TrayMenuModel& model, QWidget* parent = nullptr);
    explicit TrayMenu(Source source, QWidget* parent = nullptr);

    // The lines changed: drawn again on the event loop's next turn.
    void scheduleRebuild();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuild();
    void addEntries(QMenu& menu, const QList<TrayMenuEntry>& entries);

    Source m_source;
    bool m_rebuildScheduled = false;
    QList<QPointer<QMenu>> m_submenus; // owned here, not by the actions that show them
    quint32 m_inputTime = 0;           // X server time of the last click or key in one of the menus
};
