#include "tray_menu_model.h"

#include "base/elided_text.h"
#include "browsers/default_browser.h"
#include "platform/launch_activation.h"
#include "platform/x11/window_activation.h"
#include "routing/link_parts.h"
#include "services/preferences.h"

#include <QPointer>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// A menu line cannot break, and a tray that draws the menu itself may read a tab as the start of the shortcut
// column; a link may hold either.
QString shownText(QStringView text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const bool unshowable =
            c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
        shown += unshowable ? QChar(u' ') : c;
    }
    return shown;
}

TrayMenuEntry line(const QString& text, const QString& shortcut, std::function<void(quint32)> activated)
{
    TrayMenuEntry entry;
    entry.text = text;
    entry.shortcut = shortcut;
    entry.activated = std::move(activated);
    return entry;
}

TrayMenuEntry separator()
{
    TrayMenuEntry entry;
    entry.separator = true;
    return entry;
}

} // namespace

TrayMenuModel::TrayMenuModel(Router& router, Preferences& preferences, DefaultBrowser& defaultBrowser,
                             Commands commands, QObject* parent)
    : QObject(parent),
      m_router(router),
      m_preferences(preferences),
      m_defaultBrowser(defaultBrowser),
      m_commands(std::move(commands)),
      m_isDefaultBrowser(defaultBrowser.isDefaultBrowser())
{
    connect(&m_router, &Router::recentChanged, this, &TrayMenuModel::scheduleUpdate);
    connect(&m_preferences, &Preferences::recentLinkCountChanged, this, &TrayMenuModel::scheduleUpdate);
    connect(&m_preferences, &Preferences::hasDeclinedDefaultBrowserPromptChanged, this, &TrayMenuModel::scheduleUpdate);
    update();
}

QString TrayMenuModel::recentTitle(const Router::Routed& routed)
{
    const std::optional<LinkParts> parts = LinkParts::split(routed.url);
    const QStringView place = parts && parts->host && !parts->host->isEmpty() ? *parts->host : QStringView(routed.url);
    return shownText(elidedText(place, titleLength)) + u" → "_s +
           shownText(Browsers::displayName(routed.browserDesktopID));
}

void TrayMenuModel::catchUp()
{
    m_isDefaultBrowser = m_defaultBrowser.isDefaultBrowser();
    update();
}

TrayMenuModel::Sources TrayMenuModel::currentSources() const
{
    Sources sources;
    sources.offersDefault = !m_isDefaultBrowser && !m_preferences.hasDeclinedDefaultBrowserPrompt();
    const qsizetype shown = std::min<qsizetype>(std::max(m_preferences.recentLinkCount(), 0), m_router.recent().size());
    sources.recent = m_router.recent().first(shown);
    // Discovering the browsers costs GIO a read of the application folders: not for a menu that offers none.
    if (!sources.recent.isEmpty())
        sources.browsers = Browsers::installed();
    for (const Browsers::Browser& browser : std::as_const(sources.browsers))
        sources.iconNames.append(Browsers::iconName(browser.desktopID));
    return sources;
}

void TrayMenuModel::scheduleUpdate()
{
    // Once for all the links of a hand-over, and never while a command of this menu is still running.
    if (std::exchange(m_updateScheduled, true))
        return;
    QMetaObject::invokeMethod(this, &TrayMenuModel::update, Qt::QueuedConnection);
}

void TrayMenuModel::update()
{
    m_updateScheduled = false;
    Sources sources = currentSources();
    // Compared by what it is made from, not by its texts: two links to one host read alike but reopen different
    // pages. (The menu is never empty once made.)
    if (!m_entries.isEmpty() && sources == m_sources)
        return;
    m_sources = std::move(sources);

    m_entries = {line(u"Rules…"_s, u"Ctrl+R"_s, m_commands.showRules),
                 line(u"Ask for the Next Link"_s, {}, [this](quint32) { m_router.askForNextLink(); })};
    if (m_sources.offersDefault)
        m_entries.append(line(u"Make Default Browser…"_s, {}, [this](quint32) { makeDefaultBrowser(); }));
    m_entries += recentEntries();
    m_entries += QList<TrayMenuEntry>{separator(), line(u"Settings…"_s, u"Ctrl+,"_s, m_commands.showSettings),
                                      line(u"Send Feedback…"_s, {}, m_commands.showFeedback), separator(),
                                      line(u"Quit Linkherd"_s, u"Ctrl+Q"_s, m_commands.quit)};
    Q_EMIT changed();
}

QList<TrayMenuEntry> TrayMenuModel::recentEntries()
{
    if (m_sources.recent.isEmpty())
        return {};
    // A plain line rather than a section: trays that draw the menu themselves show a section as a bare line.
    TrayMenuEntry heading = line(u"Recently Opened"_s, {}, {});
    heading.enabled = false;
    QList<TrayMenuEntry> entries = {separator(), heading};
    for (const Router::Routed& routed : std::as_const(m_sources.recent)) {
        TrayMenuEntry submenu = line(recentTitle(routed), {}, {});
        for (qsizetype index = 0; index < m_sources.browsers.size(); ++index) {
            const Browsers::Browser& browser = m_sources.browsers[index];
            TrayMenuEntry item = line(shownText(browser.name), {}, [this, routed, browser](quint32 inputTime) {
                reopen(routed, browser, inputTime);
            });
            item.icon = m_sources.iconNames[index];
            submenu.children.append(std::move(item));
        }
        entries.append(std::move(submenu));
    }
    return entries;
}

void TrayMenuModel::makeDefaultBrowser()
{
    m_defaultBrowser.becomeDefaultBrowser([model = QPointer<TrayMenuModel>(this)](bool isDefault) {
        if (model)
            model->takeDefaultStatus(isDefault);
    });
}

void TrayMenuModel::takeDefaultStatus(bool isDefault)
{
    m_isDefaultBrowser = isDefault;
    // There is no asking again once the user said no (or the system would not let Linkherd be the default).
    if (!isDefault)
        m_preferences.setHasDeclinedDefaultBrowserPrompt(true);
    scheduleUpdate();
}

void TrayMenuModel::reopen(const Router::Routed& routed, const Browsers::Browser& browser, quint32 inputTime)
{
    // Whatever profile the link first opened in belongs to that browser; the new one gets none.
    const LaunchActivation fresh{QString(), WindowActivation::startupIDForInputAt(inputTime)};
    m_router.launch(routed.url, browser, std::nullopt, routed.sourceDesktopID, shareActivation(fresh));
}
