#include "default_browser_guard.h"

#include "base/directory_watcher.h"
#include "base/logging.h"
#include "browsers/default_browser.h"
#include "platform/application_catalog.h"
#include "platform/gio/association_monitor.h"
#include "platform/xdg/web_link_layers.h"
#include "preferences.h"

#include <QFileInfo>
#include <QPointer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr auto claimAction = "claim"_L1;
constexpr auto keepAction = "keep"_L1;

// mimeapps.list, <desktop>-mimeapps.list, kdeglobals; an empty name stands for events the kernel dropped.
bool decidesTheDefault(const QString& name)
{
    return name.isEmpty() || name == u"mimeapps.list"_s || name.endsWith(u"-mimeapps.list"_s) ||
           name == u"kdeglobals"_s;
}

} // namespace

DefaultBrowserGuard::DefaultBrowserGuard(DefaultBrowser& defaultBrowser, ApplicationCatalog& catalog,
                                         DesktopNotifications& notifications, Preferences& preferences, QObject* parent)
    : QObject(parent),
      m_defaultBrowser(defaultBrowser),
      m_catalog(catalog),
      m_notifications(notifications),
      m_preferences(preferences)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &DefaultBrowserGuard::check);
}

DefaultBrowserGuard::~DefaultBrowserGuard() = default;

void DefaultBrowserGuard::start()
{
    const bool isDefault = m_defaultBrowser.isDefaultBrowser();
    // Each setting is written only when it changes: a start that changes nothing writes nothing.
    if (isDefault) {
        // Linkherd was made the default while it was not running: what the user said back then is over.
        if (!m_preferences.keptDefaultBrowser().isEmpty())
            m_preferences.setKeptDefaultBrowser(QString());
        DefaultBrowser::forgetHandBack();
    }
    // Taken while Linkherd was not running (a browser updated at boot, a first-run wizard): links no longer
    // start Linkherd, so this start (at login) may be the only chance to tell. Checked as a change would be.
    m_wasDefault = isDefault || m_preferences.wasDefaultBrowser();
    if (m_preferences.wasDefaultBrowser() != isDefault)
        m_preferences.setWasDefaultBrowser(isDefault);
    if (m_wasDefault && !isDefault)
        m_settle.start();

    QStringList folders;
    for (const WebLinkLayers::MimeappsList& list : WebLinkLayers::mimeappsLists())
        folders.append(QFileInfo(list.path).absolutePath());
    folders.append(QFileInfo(WebLinkLayers::kdeglobalsPath()).absolutePath());
    folders.removeDuplicates();
    for (const QString& folder : std::as_const(folders)) {
        if (!QFileInfo(folder).isDir())
            continue;
        auto* watcher = new DirectoryWatcher(this);
        if (const Result<void> watched = watcher->watch(folder); !watched) {
            qCDebug(lcDefault, "Not watching %s: %s", qUtf8Printable(folder), qUtf8Printable(watched.error()));
            delete watcher;
            continue;
        }
        connect(watcher, &DirectoryWatcher::entriesChanged, this, &DefaultBrowserGuard::filesChanged);
    }
    // GIO's own word that its answers may have changed comes after it has reread the files, so the check it
    // starts never sees the old answer.
    auto* monitor = new AssociationMonitor(this);
    connect(monitor, &AssociationMonitor::changed, &m_settle, qOverload<>(&QTimer::start));
}

void DefaultBrowserGuard::filesChanged(const QStringList& names)
{
    if (std::any_of(names.cbegin(), names.cend(), decidesTheDefault))
        m_settle.start();
}

void DefaultBrowserGuard::check()
{
    if (m_defaultBrowser.isDefaultBrowser()) {
        if (!m_wasDefault) {
            qCInfo(lcDefault, "Linkherd is the default browser again");
            m_preferences.setKeptDefaultBrowser(QString());
            DefaultBrowser::forgetHandBack();
            if (m_notification)
                m_notifications.withdraw(*m_notification);
            m_notification.reset();
            m_objectedTo.reset();
        }
        m_wasDefault = true;
        m_preferences.setWasDefaultBrowser(true);
        return;
    }

    const std::optional<DesktopEntry> taker = m_catalog.defaultWebBrowser();
    const QString takerID = taker ? taker->id : QString();
    if (m_wasDefault) {
        m_wasDefault = false;
        m_preferences.setWasDefaultBrowser(false);
        if (const std::optional<QString> handedTo = DefaultBrowser::handedBackTo()) {
            qCInfo(lcDefault, "Linkherd handed the web links to %s", qUtf8Printable(*handedTo));
            return;
        }
    } else if (!m_objectedTo || *m_objectedTo == takerID) {
        // Linkherd was not the default, or the browser the user was told about still is.
        return;
    }
    if (!m_preferences.keptDefaultBrowser().isEmpty())
        return;
    object(taker);
}

void DefaultBrowserGuard::object(const std::optional<DesktopEntry>& taker)
{
    const QString name = taker ? (taker->name.isEmpty() ? taker->id : taker->name) : QString();
    // Said in the log in any case: with no notification server this is all there is, besides the rules
    // window's banner.
    if (taker)
        qCWarning(lcDefault, "%s is now the default browser: links no longer go through Linkherd",
                  qUtf8Printable(taker->id));
    else
        qCWarning(lcDefault, "No browser is the default any more: links no longer go through Linkherd");

    if (m_notification)
        m_notifications.withdraw(*m_notification);
    QList<DesktopNotifications::Action> actions{{claimAction, u"Make Linkherd the Default"_s}};
    if (taker)
        actions.append({keepAction, u"Keep %1"_s.arg(name)});
    const QString takerID = taker ? taker->id : QString();
    m_objectedTo = takerID;
    m_notification = m_notifications.notifyWithActions(
        taker ? u"%1 is now your default browser"_s.arg(name) : u"Linkherd is no longer your default browser"_s,
        u"Links no longer go through Linkherd, so your rules do not run."_s, actions,
        [guard = QPointer(this), takerID](const QString& key) {
            if (guard)
                guard->answered(key, takerID);
        });
}

void DefaultBrowserGuard::answered(const QString& key, const QString& takerID)
{
    m_notification.reset();
    if (key == claimAction) {
        m_defaultBrowser.becomeDefaultBrowser([](bool isDefault) {
            if (!isDefault)
                qCWarning(lcDefault, "Linkherd asked to be the default browser again, but the desktop names another");
        });
    } else if (key == keepAction) {
        qCInfo(lcDefault, "Keeping %s as the default browser", qUtf8Printable(takerID));
        m_preferences.setKeptDefaultBrowser(takerID);
    }
}
