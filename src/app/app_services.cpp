#include "app_services.h"

#include "base/logging.h"
#include "browsers/browsers.h"
#include "browsers/default_browser.h"
#include "browsers/system_browser_launcher.h"
#include "platform/linux_platform.h"
#include "platform/xdg/launcher_entry.h"
#include "routing/rule_store.h"
#include "services/default_browser_guard.h"
#include "services/preferences.h"
#include "services/router.h"
#include "services/rules_file_notices.h"
#include "window_process.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;

namespace {

QPointer<AppServices>& currentServices()
{
    static QPointer<AppServices> services;
    return services;
}

} // namespace

Result<std::unique_ptr<AppServices>> AppServices::create(Preferences& preferences, QObject* parent)
{
    const Result<QString> directory = RuleStore::rulesDirectory();
    if (!directory)
        return Failure{directory.error()};
    return std::unique_ptr<AppServices>(new AppServices(directory.value() + u"/rules.json"_s, preferences, parent));
}

AppServices::AppServices(const QString& rulesFile, Preferences& preferences, QObject* parent)
    : QObject(parent),
      m_platform(std::make_unique<LinuxPlatform>()),
      m_store(std::make_unique<RuleStore>(rulesFile)),
      m_rulesFileNotices(std::make_unique<RulesFileNotices>(*m_store, m_platform->notifications)),
      m_preferences(preferences)
{
    Browsers::setCatalog(&m_platform->catalog);
    m_launcher = std::make_unique<SystemBrowserLauncher>(m_platform->catalog, m_platform->launcher);
    m_router = std::make_unique<Router>(*m_store, m_preferences, *m_launcher);
    m_defaultBrowser =
        std::make_unique<DefaultBrowser>(m_platform->catalog, m_platform->defaultHandlers, m_platform->autostart);
    m_defaultBrowserGuard = std::make_unique<DefaultBrowserGuard>(*m_defaultBrowser, m_platform->catalog,
                                                                  m_platform->notifications, m_preferences);
    m_windows = std::make_unique<WindowProcess>(WindowProcess::besideThisProgram());
    m_windows->launch = [router = m_router.get()](const WindowMessages::Launch& launch) {
        router->launch(launch.routed, launch.activation);
    };
    m_windows->askNext = [router = m_router.get()] { router->askForNextLink(); };
    m_windows->quit = [this] { quit(); };
    m_router->presentChooser = [windows = m_windows.get()](const Router::Request& request) {
        windows->present(request);
    };
    m_router->showAlert = [windows = m_windows.get()](const Router::Alert& alert, Router::AlertAnswer answered) {
        windows->alert(alert, std::move(answered));
    };
    currentServices() = this;
}

AppServices::~AppServices()
{
    // The windows and the router refer to each other's callbacks: tear down in reverse order of building.
    m_router->presentChooser = nullptr;
    m_router->showAlert = nullptr;
    m_defaultBrowserGuard.reset();
    m_windows.reset();
    m_router.reset();
    Browsers::setCatalog(nullptr);
}

AppServices* AppServices::current()
{
    return currentServices();
}

ApplicationCatalog& AppServices::catalog()
{
    return m_platform->catalog;
}

void AppServices::start()
{
    if (m_store->isFirstRun()) {
        if (const std::optional<Browsers::Browser> browser = Browsers::systemDefault()) {
            qCInfo(lcApp, "First run: links no rule takes go to %s", qUtf8Printable(browser->desktopID));
            m_store->setStartingFallback(Destination::browser(browser->desktopID));
        }
    }
    m_store->startWatching();
}

void AppServices::startAfterHandOver()
{
    if (std::exchange(m_startedAfterHandOver, true))
        return;
    qCDebug(lcApp, "the links that woke Linkherd are handed over: starting what they did not wait for");
    // The application-menu switch stands for the launcher entry; the desktop's state of it is the truth (the
    // stored default would otherwise call a listed entry hidden). Written only when they differ: assigning
    // writes the file, and a start should not.
    if (const bool listed = !LauncherEntry::isHidden(); m_preferences.showsApplicationMenuEntry() != listed)
        m_preferences.setShowsApplicationMenuEntry(listed);
    // A hidden copy is brought up to date with the entry installed since (it is left alone when it is).
    else if (!listed)
        (void)LauncherEntry::setHidden(true);
    m_rulesFileNotices->start();
    m_defaultBrowserGuard->start();
    // Browsers installed or removed from now on are noticed; the links that woke Linkherd did not wait for it.
    m_platform->catalog.watch();
    // Telling a link's application by its window reads every desktop entry once; done here rather than for the
    // first link that needs it, whenever the rules start looking at source applications.
    const auto prepareSourceLookUp = [this] {
        if (m_store->looksAtSourceApplications())
            m_platform->catalog.prepareWindowClasses();
    };
    prepareSourceLookUp();
    connect(m_store.get(), &RuleStore::rulesChanged, this, prepareSourceLookUp);
}

void AppServices::openLinks(const QStringList& links, const LinkSource& source, const LaunchActivation& activation)
{
    if (!activation.isEmpty())
        qCDebug(lcApp, "the links come with the activation token \"%s\" and startup ID \"%s\"",
                qUtf8Printable(activation.token), qUtf8Printable(activation.startupID));
    const HandOverActivation shared = shareActivation(activation);
    qsizetype refused = 0;
    for (const QString& link : links) {
        qCDebug(lcApp, "asked to open %s", qUtf8Printable(link));
        if (!m_router->route(link, source, shared))
            ++refused;
    }
    m_launcher->launchWaiting();
    if (refused > 0)
        qCWarning(lcApp, "Refused %lld texts that are not links", static_cast<long long>(refused));
}

void AppServices::reopen(const LaunchActivation& activation)
{
    // The windows show a waiting panel first, else the rules window.
    m_windows->show(WindowProcess::Window::reopen, activation);
}

void AppServices::showRulesWindow(const LaunchActivation& activation)
{
    m_windows->show(WindowProcess::Window::rules, activation);
}

void AppServices::showSettings(const LaunchActivation& activation)
{
    m_windows->show(WindowProcess::Window::settings, activation);
}

void AppServices::showFeedback(const LaunchActivation& activation)
{
    m_windows->show(WindowProcess::Window::feedback, activation);
}

void AppServices::quit()
{
    if (const qsizetype waiting = m_windows->waiting().size(); waiting > 0)
        qCInfo(lcApp, "Quitting with %lld links waiting for a choice", static_cast<long long>(waiting));
    QCoreApplication::exit(0);
}
