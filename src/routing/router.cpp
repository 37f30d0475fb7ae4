#include "router.h"

#include "app/preferences.h"
#include "browsers/browser_launcher.h"
#include "logging.h"
#include "platform/keyboard_state.h"
#include "rule_store.h"

#include <QPointer>

using namespace Qt::StringLiterals;

Router::Router(RuleStore& store, Preferences& preferences, BrowserLaunching& launcher, QObject* parent)
    : QObject(parent),
      currentModifiers(currentKeyboardModifiers),
      m_store(store),
      m_preferences(preferences),
      m_launcher(launcher)
{}

void Router::route(const QString& link, const QString& sourceBundleID)
{
    const QString cleaned = m_store.rewriter().apply(link);
    qCDebug(lcRouter, "routing %s from %s", qUtf8Printable(cleaned),
            qUtf8Printable(sourceBundleID.isEmpty() ? u"unknown"_s : sourceBundleID));
    if (shouldAsk()) {
        askChooser(cleaned, sourceBundleID);
        return;
    }
    open(cleaned, m_store.destination(cleaned, sourceBundleID), sourceBundleID);
}

bool Router::shouldAsk() const
{
    return m_preferences.asksWhenOptionHeld() && currentModifiers && currentModifiers().testFlag(Qt::AltModifier);
}

void Router::askChooser(const QString& link, const QString& sourceBundleID)
{
    if (!presentChooser) {
        qCCritical(lcRouter, "No chooser is installed; the link has nowhere to go");
        return;
    }
    Request request;
    request.url = link;
    request.sourceBundleID = sourceBundleID;
    presentChooser(request);
}

void Router::open(const QString& link, const Destination& destination, const QString& sourceBundleID)
{
    if (destination.isAsk()) {
        askChooser(link, sourceBundleID);
        return;
    }
    if (const std::optional<Browsers::Browser> browser = Browsers::browser(destination.bundleID())) {
        launch(link, *browser, destination.profile(), sourceBundleID);
        return;
    }
    qCCritical(lcRouter, "%s is not installed; using the fallback", qUtf8Printable(destination.bundleID()));
    openFallback(link, sourceBundleID);
}

void Router::openFallback(const QString& link, const QString& sourceBundleID)
{
    // Consulted once: a fallback that cannot be used asks the user rather than looping.
    const Destination& fallback = m_store.fallback();
    if (fallback.isBrowser()) {
        if (const std::optional<Browsers::Browser> browser = Browsers::browser(fallback.bundleID())) {
            launch(link, *browser, fallback.profile(), sourceBundleID);
            return;
        }
    }
    askChooser(link, sourceBundleID);
}

void Router::launch(const QString& link, const Browsers::Browser& browser, const std::optional<QString>& profile,
                    const QString& sourceBundleID)
{
    // A pending launch must not keep the router alive, nor reach one that is gone.
    m_launcher.open(link, browser, profile, [router = QPointer<Router>(this), link, browser](const QString& error) {
        if (router)
            router->reportFailure(error, link, browser);
    });
    Routed routed;
    routed.url = link;
    routed.browserBundleID = browser.bundleID;
    routed.profile = profile;
    routed.sourceBundleID = sourceBundleID;
    remember(routed);
}

void Router::remember(const Routed& routed)
{
    if (!m_preferences.remembersRecentLinks())
        return;
    QList<Routed> recent = m_recent;
    recent.prepend(routed);
    while (recent.size() > recentCapacity)
        recent.removeLast();
    setRecent(std::move(recent));
}

void Router::clearRecent()
{
    setRecent({});
}

void Router::setRecent(QList<Routed> recent)
{
    if (recent == m_recent)
        return;
    m_recent = std::move(recent);
    Q_EMIT recentChanged();
}

void Router::reportFailure(const QString& error, const QString& url, const Browsers::Browser& browser)
{
    qCCritical(lcRouter, "%s would not open the link: %s", qUtf8Printable(browser.name), qUtf8Printable(error));
    const Alert alert{browser.name + u" could not open the link"_s,
                      error + u"\n\n"_s + url,
                      {u"Choose Another Browser…"_s, u"Cancel"_s}};
    const int answer = showAlert ? showAlert(alert) : static_cast<int>(alert.buttons.size()) - 1;
    if (answer == 0)
        askChooser(url, QString());
}

QString Router::sourceApplication()
{
    // Only links that arrive from another process have a calling application, and the application's link
    // intake reads it from that process; a link handed over in-process has none.
    return QString();
}
