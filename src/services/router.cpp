#include "router.h"

#include "base/elided_text.h"
#include "base/logging.h"
#include "browsers/browser_launching.h"
#include "platform/x11/keyboard_state.h"
#include "routing/link_parts.h"
#include "routing/rule_store.h"
#include "services/preferences.h"

#include <QMetaObject>
#include <QPointer>

#include <utility>

using namespace Qt::StringLiterals;

Router::Router(RuleStore& store, Preferences& preferences, BrowserLaunching& launcher, QObject* parent)
    : QObject(parent),
      currentModifiers(currentKeyboardModifiers),
      now(std::chrono::steady_clock::now),
      m_store(store),
      m_preferences(preferences),
      m_launcher(launcher)
{
    // Wherever the setting is switched off (the settings window runs in a process of its own), what was kept goes.
    connect(&m_preferences, &Preferences::remembersRecentLinksChanged, this, [this] {
        if (!m_preferences.remembersRecentLinks())
            clearRecent();
    });
}

bool Router::route(const QString& link, const LinkSource& source, const HandOverActivation& activation)
{
    // Text that is not a link must never reach a browser (it could pass for an option); it comes from a
    // program rather than from a click, so the user is not asked to dismiss an alert for each.
    if (!LinkParts::hasScheme(link)) {
        qCDebug(lcRouter, "refused %s: not a link", qUtf8Printable(link));
        return false;
    }
    const QString cleaned = m_store.rewriter().apply(link);
    if (shouldAsk()) {
        askChooser(cleaned, source.desktopID(), activation);
        return true;
    }
    const QString& sourceForRules = m_store.looksAtSourceApplications() ? source.desktopID() : source.known();
    qCDebug(lcRouter, "routing %s from %s", qUtf8Printable(cleaned),
            qUtf8Printable(sourceForRules.isEmpty() ? u"unknown"_s : sourceForRules));
    open(cleaned, m_store.destination(cleaned, sourceForRules), source, activation);
    return true;
}

bool Router::shouldAsk()
{
    if (m_askNextUntil) {
        const bool inTime = now() <= *m_askNextUntil;
        m_askNextUntil.reset();
        if (inTime) {
            qCDebug(lcRouter, "asking for this link, as requested");
            return true;
        }
    }
    return m_preferences.asksWhenAltHeld() && currentModifiers && currentModifiers().testFlag(Qt::AltModifier);
}

void Router::askForNextLink()
{
    m_askNextUntil = now() + askNextWindow;
}

void Router::askChooser(const QString& link, const QString& sourceDesktopID, const HandOverActivation& activation)
{
    if (!presentChooser) {
        qCCritical(lcRouter, "No chooser is installed; the link has nowhere to go");
        return;
    }
    Request request;
    request.url = link;
    request.sourceDesktopID = sourceDesktopID;
    request.activation = activation;
    presentChooser(request);
}

void Router::open(const QString& link, const Destination& destination, const LinkSource& source,
                  const HandOverActivation& activation)
{
    // The chooser names the application the link comes from.
    if (destination.isAsk()) {
        askChooser(link, source.desktopID(), activation);
        return;
    }
    if (const std::optional<Browsers::Browser> browser = Browsers::browser(destination.desktopID())) {
        launch(link, *browser, destination.profile(), source.known(), activation, destination.window());
        return;
    }
    qCCritical(lcRouter, "%s is not installed; using the fallback", qUtf8Printable(destination.desktopID()));
    openFallback(link, source, activation);
}

void Router::openFallback(const QString& link, const LinkSource& source, const HandOverActivation& activation)
{
    // Consulted once: a fallback that cannot be used asks the user rather than looping.
    const Destination& fallback = m_store.fallback();
    if (fallback.isBrowser()) {
        if (const std::optional<Browsers::Browser> browser = Browsers::browser(fallback.desktopID())) {
            launch(link, *browser, fallback.profile(), source.known(), activation, fallback.window());
            return;
        }
    }
    askChooser(link, source.desktopID(), activation);
}

void Router::launch(const QString& link, const Browsers::Browser& browser, const std::optional<QString>& profile,
                    const QString& sourceDesktopID, const HandOverActivation& activation, Destination::Window window)
{
    // A pending launch must not keep the router alive, nor reach one that is gone.
    m_launcher.open(link, browser, profile, window, activation,
                    [router = QPointer<Router>(this), link, browser](const QString& error) {
                        if (router)
                            router->reportFailure(error, link, browser);
                    });
    Routed routed;
    routed.url = link;
    routed.browserDesktopID = browser.desktopID;
    routed.profile = profile;
    routed.sourceDesktopID = sourceDesktopID;
    remember(routed);
}

void Router::launch(const Routed& chosen, const LaunchActivation& activation)
{
    if (const std::optional<Browsers::Browser> browser = Browsers::browser(chosen.browserDesktopID)) {
        launch(chosen.url, *browser, chosen.profile, chosen.sourceDesktopID, shareActivation(activation));
        return;
    }
    Browsers::Browser gone;
    gone.desktopID = chosen.browserDesktopID;
    gone.name = chosen.browserDesktopID;
    reportFailure(u"The browser is no longer installed."_s, chosen.url, gone);
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
    ++m_failureCount;
    if (m_failures.size() < failuresKept)
        m_failures.append({error, url, browser.name});
    scheduleFailureAlert();
}

void Router::scheduleFailureAlert()
{
    // At the end of the turn, so that the failures of one launch (or one burst) make one alert; while an alert
    // is open, the answer schedules the next.
    if (m_failureAlertScheduled || m_failureAlertOpen)
        return;
    m_failureAlertScheduled = true;
    QMetaObject::invokeMethod(this, &Router::showFailureAlert, Qt::QueuedConnection);
}

void Router::showFailureAlert()
{
    m_failureAlertScheduled = false;
    if (m_failureAlertOpen || m_failures.isEmpty())
        return;
    const QList<Failure> failures = std::exchange(m_failures, {});
    const qsizetype count = std::exchange(m_failureCount, 0);

    Alert alert;
    alert.buttons = {u"Choose Another Browser…"_s, u"Cancel"_s};
    if (count == 1) {
        const Failure& failure = failures.front();
        alert.message = failure.browserName + u" could not open the link"_s;
        alert.informativeText =
            elidedText(failure.error, alertTextLength) + u"\n\n"_s + elidedText(failure.url, alertTextLength);
    } else {
        alert.message = u"%1 links could not be opened"_s.arg(count);
        QStringList reasons;
        for (const Failure& failure : failures.first(std::min(failures.size(), reasonsShown))) {
            reasons.append(failure.browserName + u": "_s + elidedText(failure.error, alertTextLength) + u'\n' +
                           elidedText(failure.url, alertTextLength));
        }
        if (count > reasonsShown)
            reasons.append(u"and %1 more."_s.arg(count - reasonsShown));
        if (count > failures.size())
            reasons.append(u"Another browser can be chosen for the first %1."_s.arg(failures.size()));
        alert.informativeText = reasons.join(u"\n\n"_s);
    }
    if (!showAlert)
        return;
    m_failureAlertOpen = true;
    showAlert(alert, [router = QPointer<Router>(this), failures](int answer) {
        if (router)
            router->answerFailureAlert(failures, answer);
    });
}

void Router::answerFailureAlert(const QList<Failure>& failures, int answer)
{
    m_failureAlertOpen = false;
    if (answer == 0) {
        for (const Failure& failure : failures)
            askChooser(failure.url, QString(), nullptr);
    }
    if (!m_failures.isEmpty())
        scheduleFailureAlert();
}

QString Router::sourceApplication()
{
    // Only links that arrive from another process have a calling application, and the application's link
    // intake reads it from that process; a link handed over in-process has none.
    return QString();
}
