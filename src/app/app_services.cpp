#include "app_services.h"

#include "app_info.h"
#include "base/logging.h"
#include "browsers/browsers.h"
#include "browsers/default_browser.h"
#include "browsers/system_browser_launcher.h"
#include "gui/chooser/chooser_controller.h"
#include "gui/common/message_box.h"
#include "gui/feedback/feedback_window_controller.h"
#include "gui/rules_window/rules_window_controller.h"
#include "gui/settings/settings_window_controller.h"
#include "platform/linux_platform.h"
#include "platform/xdg/launcher_entry.h"
#include "routing/rule_store.h"
#include "services/default_browser_guard.h"
#include "services/preferences.h"
#include "services/router.h"
#include "services/rules_file_notices.h"
#include "tray_icon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

QPointer<AppServices>& currentServices()
{
    static QPointer<AppServices> services;
    return services;
}

AboutSettings::BuildInfo buildInfo()
{
    return {.version = QString::fromUtf8(AppInfo::version),
            .buildNumber = QString::fromUtf8(AppInfo::buildNumber),
            .websiteURL = QString::fromUtf8(AppInfo::websiteURL),
            .supportPageURL = QString::fromUtf8(AppInfo::supportPageURL),
            .privacyURL = QString::fromUtf8(AppInfo::privacyURL),
            .copyright = QString::fromUtf8(AppInfo::copyright)};
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
    m_chooser = std::make_unique<ChooserController>(*m_router, *m_store, m_preferences);
    m_defaultBrowser =
        std::make_unique<DefaultBrowser>(m_platform->catalog, m_platform->defaultHandlers, m_platform->autostart);
    m_defaultBrowserGuard = std::make_unique<DefaultBrowserGuard>(*m_defaultBrowser, m_platform->catalog,
                                                                  m_platform->notifications, m_preferences);
    const QString tool = helperToolPath();
    m_rulesWindow = std::make_unique<RulesWindowController>(*m_store, m_preferences, *m_defaultBrowser,
                                                            m_platform->fileManager, tool);
    m_feedbackWindow = std::make_unique<FeedbackWindowController>(tool);
    connect(m_rulesWindow.get(), &RulesWindowController::feedbackRequested, this, [this] { showFeedback(); });
    connect(m_rulesWindow.get(), &RulesWindowController::settingsRequested, this, [this] { showSettings(); });
    connect(m_rulesWindow.get(), &RulesWindowController::askNextRequested, m_router.get(), &Router::askForNextLink);
    m_router->presentChooser = [chooser = m_chooser.get()](const Router::Request& request) {
        chooser->enqueue(request);
    };
    // Where nobody could see an alert (offscreen), failures are only logged.
    if (MessageBox::canShow()) {
        m_router->showAlert = [](const Router::Alert& alert, Router::AlertAnswer answered) {
            MessageBox::open(alert, std::move(answered));
        };
    }
    currentServices() = this;
}

AppServices::~AppServices()
{
    // The chooser and the router refer to each other's callbacks: tear down in reverse order of building.
    m_router->presentChooser = nullptr;
    m_defaultBrowserGuard.reset();
    m_feedbackWindow.reset();
    m_settingsWindow.reset();
    m_rulesWindow.reset();
    m_chooser.reset();
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
    // Links waiting for an answer come first: the panel may have been buried under other windows.
    if (!m_chooser->raisePanel(activation))
        showRulesWindow(activation);
}

void AppServices::showRulesWindow(const LaunchActivation& activation)
{
    m_rulesWindow->show(activation);
}

void AppServices::showSettings(const LaunchActivation& activation)
{
    if (!m_settingsWindow) {
        m_settingsWindow = std::make_unique<SettingsWindowController>(SettingsWindowController::Services{
            .preferences = m_preferences,
            .store = *m_store,
            .router = *m_router,
            .defaultBrowser = *m_defaultBrowser,
            .autostart = m_platform->autostart,
            .applicationMenuEntry = {.isShown = [] { return !LauncherEntry::isHidden(); },
                                     .setShown = [](bool shown) { return LauncherEntry::setHidden(!shown); }},
            .sendFeedback = [this] { showFeedback(); },
            .toolPath = toolPath(),
            .buildInfo = buildInfo(),
            .applicationIcon = TrayIcon::applicationIcon()});
    }
    m_settingsWindow->show(activation);
}

void AppServices::showFeedback(const LaunchActivation& activation)
{
    m_feedbackWindow->show(activation);
}

QString AppServices::toolPath()
{
    // Installed, the resident lives in libexec and linkherd-app in bindir; in a build tree they sit together.
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& bindir : {here.path(), here.filePath(QStringLiteral(LINKHERD_BINDIR_FROM_RESIDENT))}) {
        const QDir folder(bindir);
        if (QFileInfo::exists(folder.filePath(u"linkherd-app"_s)) &&
            QFileInfo(folder.filePath(u"linkherd"_s)).isExecutable())
            return QDir::cleanPath(folder.absoluteFilePath(u"linkherd"_s));
    }
    return {};
}

QString AppServices::helperToolPath()
{
    if (QString installed = toolPath(); !installed.isEmpty())
        return installed;
    const QFileInfo built(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(LINKHERD_TOOL_FROM_RESIDENT)));
    return built.isExecutable() ? built.absoluteFilePath() : QString();
}

void AppServices::quit()
{
    // QCoreApplication::quit() first closes every window and gives up when one refuses; the chooser panel
    // takes a close as a cancel and stays up while links wait, so Quit would be refused and drop a link.
    if (const qsizetype waiting = m_chooser->queue().size(); waiting > 0)
        qCInfo(lcApp, "Quitting with %lld links waiting for a choice", static_cast<long long>(waiting));
    QCoreApplication::exit(0);
}
