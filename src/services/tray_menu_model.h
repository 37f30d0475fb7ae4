#pragma once

#include "browsers/browsers.h"
#include "platform/tray_menu_entry.h"
#include "services/router.h"

#include <QList>
#include <QObject>

#include <functional>

class DefaultBrowser;
class Preferences;

// What Linkherd's menu in the system tray offers, as plain lines for whichever tray draws it: the rules window,
// asking for the next link, the offer to become the default browser, the links opened lately (each can go again
// to any installed browser, for a link a rule sent to the wrong one), settings, feedback and quit. Made again
// whenever the recent list or a setting it shows changes; the tray has no keyboard focus, so the shortcuts are
// hints of those in Linkherd's windows.
class TrayMenuModel final : public QObject {
    Q_OBJECT

public:
    // What the menu's commands do beyond the services it is given; each gets the X server time of the click or
    // key that chose it (0 where there is none), for the window it shows to come to the front as asked.
    struct Commands {
        std::function<void(quint32 inputTime)> showRules;
        std::function<void(quint32 inputTime)> showSettings;
        std::function<void(quint32 inputTime)> showFeedback;
        std::function<void(quint32 inputTime)> quit;
    };

    // The longest title of a recent link, its browser's name aside; longer links lose their middle.
    static constexpr qsizetype titleLength = 80;

    TrayMenuModel(Router& router, Preferences& preferences, DefaultBrowser& defaultBrowser, Commands commands,
                  QObject* parent = nullptr);

    // The menu as it is now. The lines' commands work on this model and go with it.
    QList<TrayMenuEntry> entries() const { return m_entries; }

    // Before the menu shows: since it was made, another program (the settings window, `linkherd default`, the
    // desktop's settings) may have changed the default browser, and browsers may have come or gone. Emits
    // changed() at once when the menu is different.
    void catchUp();

    // "host → Browser", or the whole link (shortened) in place of a host when it has none. Nothing is escaped;
    // what neither kind of tray can show (line breaks, control characters) reads as a space.
    static QString recentTitle(const Router::Routed& routed);

Q_SIGNALS:
    // The entries differ: a tray draws them again. Once for all the changes of one turn of the event loop, so
    // never while a command of the menu is still running.
    void changed();

private:
    // Everything the menu is made from: equal sources make the same menu.
    struct Sources {
        bool offersDefault = false;
        QList<Router::Routed> recent;
        QList<Browsers::Browser> browsers; // only when there is a recent link to offer them for
        QStringList iconNames;

        friend bool operator==(const Sources&, const Sources&) = default;
    };

    Sources currentSources() const;
    void scheduleUpdate();
    void update();
    QList<TrayMenuEntry> recentEntries();
    void makeDefaultBrowser();
    void takeDefaultStatus(bool isDefault);
    void reopen(const Router::Routed& routed, const Browsers::Browser& browser, quint32 inputTime);

    Router& m_router;
    Preferences& m_preferences;
    DefaultBrowser& m_defaultBrowser;
    Commands m_commands;
    bool m_isDefaultBrowser = false;
    bool m_updateScheduled = false;
    Sources m_sources;
    QList<TrayMenuEntry> m_entries;
};
