#pragma once

#include "browsers/browsers.h"
#include "services/router.h"

#include <QList>
#include <QMenu>
#include <QPointer>

#include <functional>

class DefaultBrowser;
class Preferences;

// Linkherd's menu in the system tray: the rules window, asking for the next link, the offer to become the default
// browser, the links opened
// lately (each can go again to any installed browser, for a link a rule sent to the wrong one), settings, feedback
// and quit. Rebuilt whenever the recent list or a setting it shows changes; the tray has no keyboard focus, so the
// shortcuts are hints of those in Linkherd's windows.
class TrayMenu final : public QMenu {
    Q_OBJECT

public:
    // What the menu's commands do beyond the services it is given.
    struct Commands {
        std::function<void()> showRules;
        std::function<void()> showSettings;
        std::function<void()> showFeedback;
        std::function<void()> quit;
    };

    // The longest title of a recent link, its browser's name aside; longer links lose their middle.
    static constexpr qsizetype titleLength = 80;

    TrayMenu(Router& router, Preferences& preferences, DefaultBrowser& defaultBrowser, Commands commands,
             QWidget* parent = nullptr);

    // "host → Browser", or the whole link (shortened) in place of a host when it has none.
    static QString recentTitle(const Router::Routed& routed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleRebuild();
    void rebuild();
    void addRecentLinks();
    void catchUp();
    void makeDefaultBrowser();
    void takeDefaultStatus(bool isDefault);
    void reopen(const Router::Routed& routed, const Browsers::Browser& browser);

    Router& m_router;
    Preferences& m_preferences;
    DefaultBrowser& m_defaultBrowser;
    Commands m_commands;
    bool m_isDefaultBrowser = false;
    bool m_rebuildScheduled = false;
    QList<QPointer<QMenu>> m_recentMenus; // owned here, not by the actions that show them
    QList<Browsers::Browser> m_browsers;  // those the recent links' submenus offer
    quint64 m_inputTime = 0;              // X server time of the last click or key in a recent link's submenu
};
