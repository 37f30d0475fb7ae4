#include "tray_menu.h"

#include "base/elided_text.h"
#include "browsers/default_browser.h"
#include "platform/launch_activation.h"
#include "platform/x11/window_activation.h"
#include "routing/link_parts.h"
#include "services/preferences.h"

#include <QAction>
#include <QInputEvent>
#include <QKeySequence>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Menus read "&" as a mnemonic marker and a tab as the start of the shortcut column; a link may hold either, and
// line breaks, which a menu item cannot show.
QString menuText(QStringView text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&')
            shown += u"&&"_s;
        else if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            shown += u' ';
        else
            shown += c;
    }
    return shown;
}

QAction* addCommand(QMenu& menu, const QString& text, const QKeySequence& shortcut,
                    const std::function<void()>& command)
{
    QAction* action = menu.addAction(text);
    action->setShortcut(shortcut);
    QObject::connect(action, &QAction::triggered, &menu, [command] {
        if (command)
            command();
    });
    return action;
}

} // namespace

TrayMenu::TrayMenu(Router& router, Preferences& preferences, DefaultBrowser& defaultBrowser, Commands commands,
                   QWidget* parent)
    : QMenu(parent),
      m_router(router),
      m_preferences(preferences),
      m_defaultBrowser(defaultBrowser),
      m_commands(std::move(commands)),
      m_isDefaultBrowser(defaultBrowser.isDefaultBrowser())
{
    setAccessibleName(u"Linkherd"_s);
    connect(&m_router, &Router::recentChanged, this, &TrayMenu::scheduleRebuild);
    connect(&m_preferences, &Preferences::recentLinkCountChanged, this, &TrayMenu::scheduleRebuild);
    connect(&m_preferences, &Preferences::hasDeclinedDefaultBrowserPromptChanged, this, &TrayMenu::scheduleRebuild);
    // Since the menu was built, another program (the settings window, `linkherd default`, the desktop's settings)
    // may have changed the default browser, and browsers may have come or gone.
    connect(this, &QMenu::aboutToShow, this, &TrayMenu::catchUp);
    rebuild();
}

QString TrayMenu::recentTitle(const Router::Routed& routed)
{
    const std::optional<LinkParts> parts = LinkParts::split(routed.url);
    const QStringView place = parts && parts->host && !parts->host->isEmpty() ? *parts->host : QStringView(routed.url);
    return menuText(elidedText(place, titleLength)) + u" → "_s +
           menuText(Browsers::displayName(routed.browserDesktopID));
}

bool TrayMenu::eventFilter(QObject* watched, QEvent* event)
{
    // The browser a link is reopened in comes to the front as what this click asked for, where Linkherd can say so.
    if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::KeyPress)
        m_inputTime = static_cast<QInputEvent*>(event)->timestamp();
    return QMenu::eventFilter(watched, event);
}

void TrayMenu::scheduleRebuild()
{
    // Once for all the links of a hand-over, and never while an action of this menu is still being triggered.
    if (std::exchange(m_rebuildScheduled, true))
        return;
    QMetaObject::invokeMethod(this, &TrayMenu::rebuild, Qt::QueuedConnection);
}

void TrayMenu::rebuild()
{
    m_rebuildScheduled = false;
    clear();
    for (const QPointer<QMenu>& submenu : std::as_const(m_recentMenus)) {
        if (submenu)
            submenu->deleteLater();
    }
    m_recentMenus.clear();

    addCommand(*this, u"Rules…"_s, QKeySequence(Qt::CTRL | Qt::Key_R), m_commands.showRules);
    addCommand(*this, u"Ask for the Next Link"_s, {}, [this] { m_router.askForNextLink(); });
    if (!m_isDefaultBrowser && !m_preferences.hasDeclinedDefaultBrowserPrompt())
        addCommand(*this, u"Make Default Browser…"_s, {}, [this] { makeDefaultBrowser(); });
    addRecentLinks();
    addSeparator();
    addCommand(*this, u"Settings…"_s, QKeySequence(Qt::CTRL | Qt::Key_Comma), m_commands.showSettings);
    addCommand(*this, u"Send Feedback…"_s, {}, m_commands.showFeedback);
    addSeparator();
    addCommand(*this, u"Quit Linkherd"_s, QKeySequence(Qt::CTRL | Qt::Key_Q), m_commands.quit);
}

void TrayMenu::addRecentLinks()
{
    const qsizetype shown = std::min<qsizetype>(std::max(m_preferences.recentLinkCount(), 0), m_router.recent().size());
    if (shown == 0)
        return;
    addSeparator();
    // A plain item rather than a section: trays that draw the menu themselves show a section as a bare line.
    addAction(u"Recently Opened"_s)->setEnabled(false);
    m_browsers = Browsers::installed();
    for (const Router::Routed& routed : m_router.recent().first(shown)) {
        auto* submenu = new QMenu(recentTitle(routed), this);
        submenu->menuAction()->setData(routed.id);
        submenu->installEventFilter(this);
        for (const Browsers::Browser& browser : std::as_const(m_browsers)) {
            QAction* item = submenu->addAction(Browsers::icon(browser.desktopID, 16), menuText(browser.name));
            connect(item, &QAction::triggered, this, [this, routed, browser] { reopen(routed, browser); });
        }
        addMenu(submenu);
        m_recentMenus.append(submenu);
    }
}

void TrayMenu::catchUp()
{
    const bool isDefault = m_defaultBrowser.isDefaultBrowser();
    const bool browsersChanged = !m_recentMenus.isEmpty() && Browsers::installed() != m_browsers;
    if (std::exchange(m_isDefaultBrowser, isDefault) != isDefault || browsersChanged)
        rebuild();
}

void TrayMenu::makeDefaultBrowser()
{
    m_defaultBrowser.becomeDefaultBrowser([menu = QPointer<TrayMenu>(this)](bool isDefault) {
        if (menu)
            menu->takeDefaultStatus(isDefault);
    });
}

void TrayMenu::takeDefaultStatus(bool isDefault)
{
    m_isDefaultBrowser = isDefault;
    // There is no asking again once the user said no (or the system would not let Linkherd be the default).
    if (!isDefault)
        m_preferences.setHasDeclinedDefaultBrowserPrompt(true);
    scheduleRebuild();
}

void TrayMenu::reopen(const Router::Routed& routed, const Browsers::Browser& browser)
{
    // Whatever profile the link first opened in belongs to that browser; the new one gets none.
    const LaunchActivation fresh{QString(), WindowActivation::startupIDForInputAt(std::exchange(m_inputTime, 0))};
    m_router.launch(routed.url, browser, std::nullopt, routed.sourceDesktopID, shareActivation(fresh));
}
