#include "window_services.h"

#include "app_info.h"
#include "base/logging.h"
#include "browsers/default_browser.h"
#include "gui/chooser/chooser_controller.h"
#include "gui/common/message_box.h"
#include "gui/feedback/feedback_window_controller.h"
#include "gui/rules_window/rules_window_controller.h"
#include "gui/settings/settings_window_controller.h"
#include "gui/tray/tray_menu.h"
#include "platform/xdg/launcher_entry.h"
#include "resident_channel.h"
#include "routing/rule_store.h"
#include "services/preferences.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

namespace {

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

WindowServices::WindowServices(Desktop desktop, RuleStore& store, Preferences& preferences, ResidentChannel& channel,
                               QObject* parent)
    : QObject(parent),
      m_channel(channel),
      m_desktop(desktop),
      m_store(store),
      m_preferences(preferences)
{
    m_defaultBrowser =
        std::make_unique<DefaultBrowser>(m_desktop.catalog, m_desktop.defaultHandlers, m_desktop.autostart);
    m_chooser = std::make_unique<ChooserController>(
        [this](const Router::Routed& chosen, const LaunchActivation& activation) {
            m_channel.send(u"launch"_s, WindowMessages::toJson(WindowMessages::Launch{chosen, activation}));
        },
        m_store, m_preferences);
    connect(m_chooser.get(), &ChooserController::finished, this, [this](const QUuid& request) {
        m_channel.send(u"finished"_s, {{"id"_L1, request.toString(QUuid::WithoutBraces)}});
        scheduleIdleCheck();
    });
    const QString tool = helperToolPath();
    m_rulesWindow =
        std::make_unique<RulesWindowController>(m_store, m_preferences, *m_defaultBrowser, m_desktop.fileManager, tool);
    m_feedbackWindow = std::make_unique<FeedbackWindowController>(tool);
    connect(m_rulesWindow.get(), &RulesWindowController::feedbackRequested, this, [this] { m_feedbackWindow->show(); });
    connect(m_rulesWindow.get(), &RulesWindowController::settingsRequested, this, [this] { showSettings(); });
    connect(m_rulesWindow.get(), &RulesWindowController::askNextRequested, this,
            [this] { m_channel.send(u"askNext"_s); });
    connect(&m_channel, &ResidentChannel::messageReceived, this, &WindowServices::handle);
    // Whenever a window goes away this process may have nothing left to show.
    qApp->installEventFilter(this);
}

WindowServices::~WindowServices()
{
    qApp->removeEventFilter(this);
    removeTray();
    m_settingsWindow.reset();
    m_feedbackWindow.reset();
    m_rulesWindow.reset();
    m_chooser.reset();
}

void WindowServices::handle(const WindowMessages::Message& message)
{
    const QJsonObject& fields = message.fields;
    if (message.kind == u"show")
        show(WindowMessages::windowNamed(fields.value("window"_L1).toString()),
             WindowMessages::activationFromJson(fields.value("activation"_L1)));
    else if (message.kind == u"present")
        m_chooser->enqueue(WindowMessages::requestFromJson(fields));
    else if (message.kind == u"alert")
        alert(fields);
    else if (message.kind == u"tray")
        setTray(fields);
    else
        qCWarning(lcApp, "The resident sent an unknown message \"%s\"", qUtf8Printable(message.kind));
    scheduleIdleCheck();
}

void WindowServices::show(std::optional<WindowMessages::Window> window, const LaunchActivation& activation)
{
    using Window = WindowMessages::Window;
    if (window == Window::settings)
        showSettings(activation);
    else if (window == Window::feedback)
        m_feedbackWindow->show(activation);
    // Links waiting for an answer come first: the panel may have been buried under other windows. A name this
    // build does not know reopens too.
    else if (window == Window::rules || !m_chooser->raisePanel(activation))
        m_rulesWindow->show(activation);
}

void WindowServices::showSettings(const LaunchActivation& activation)
{
    if (!m_settingsWindow) {
        m_settingsWindow = std::make_unique<SettingsWindowController>(SettingsWindowController::Services{
            .preferences = m_preferences,
            .store = m_store,
            .defaultBrowser = *m_defaultBrowser,
            .autostart = m_desktop.autostart,
            .applicationMenuEntry = {.isShown = [] { return !LauncherEntry::isHidden(); },
                                     .setShown = [](bool shown) { return LauncherEntry::setHidden(!shown); }},
            .sendFeedback = [this] { m_feedbackWindow->show(); },
            .toolPath = toolPath(),
            .buildInfo = buildInfo(),
            .applicationIcon = applicationIcon()});
    }
    m_settingsWindow->show(activation);
}

void WindowServices::alert(const QJsonObject& fields)
{
    const int id = fields.value("id"_L1).toInt();
    const Router::Alert alert = WindowMessages::alertFromJson(fields);
    const auto answer = [this, id](int button) { m_channel.send(u"answer"_s, {{"id"_L1, id}, {"button"_L1, button}}); };
    // Where nobody could see an alert (offscreen), it counts as cancelled.
    if (!MessageBox::canShow()) {
        answer(static_cast<int>(alert.buttons.size()) - 1);
        return;
    }
    ++m_alertsOpen;
    const MessageBox::Message shown{fields.value("critical"_L1).toBool() ? MessageBox::Style::critical
                                                                         : MessageBox::Style::warning,
                                    alert.message, alert.informativeText, alert.buttons};
    MessageBox::open(shown, [this, answer](int button) {
        --m_alertsOpen;
        answer(button);
        scheduleIdleCheck();
    });
}

void WindowServices::setTray(const QJsonObject& fields)
{
    if (!fields.value("shown"_L1).toBool()) {
        removeTray();
        return;
    }
    m_trayMenu = fields.value("menu"_L1).toInt();
    m_trayEntries = WindowMessages::trayMenuFromJson(fields, [this, menu = m_trayMenu](int entry, quint32 inputTime) {
        m_channel.send(u"trayChosen"_s, {{"menu"_L1, menu}, {"entry"_L1, entry}, {"inputTime"_L1, qint64(inputTime)}});
    });
    if (m_trayIcon) {
        m_trayMenuWidget->scheduleRebuild();
        return;
    }
    m_trayMenuWidget = new TrayMenu(
        TrayMenu::Source{[this] { return m_trayEntries; }, [this] { m_channel.send(u"trayAboutToShow"_s); }});
    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setIcon(applicationIcon());
    m_trayIcon->setToolTip(u"Linkherd"_s);
    m_trayIcon->setContextMenu(m_trayMenuWidget);
    // Trays leave a left click to the application; the menu is all there is to offer, so it opens too.
    connect(m_trayIcon, &QSystemTrayIcon::activated, m_trayMenuWidget,
            [menu = m_trayMenuWidget.data()](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && !menu->isVisible())
                    menu->popup(QCursor::pos());
            });
    m_trayIcon->show();
}

void WindowServices::removeTray()
{
    delete m_trayIcon;
    delete m_trayMenuWidget;
    m_trayEntries.clear();
}

bool WindowServices::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::Hide || event->type() == QEvent::Close) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow())
        scheduleIdleCheck();
    return QObject::eventFilter(watched, event);
}

void WindowServices::scheduleIdleCheck()
{
    if (std::exchange(m_idleCheckScheduled, true))
        return;
    QMetaObject::invokeMethod(this, &WindowServices::checkIdle, Qt::QueuedConnection);
}

void WindowServices::checkIdle()
{
    m_idleCheckScheduled = false;
    if (m_alertsOpen > 0 || !m_chooser->queue().isEmpty() || m_trayIcon)
        return;
    const QWidgetList windows = QApplication::topLevelWidgets();
    if (std::any_of(windows.begin(), windows.end(), [](const QWidget* window) { return window->isVisible(); }))
        return;
    if (m_idleReportedAt == m_channel.received())
        return;
    m_idleReportedAt = m_channel.received();
    m_channel.send(u"idle"_s, {{"seen"_L1, static_cast<qint64>(*m_idleReportedAt)}});
}

QIcon WindowServices::applicationIcon()
{
    // A theme may list the icon as an SVG only, which renders as nothing without Qt's SVG plugin.
    const QIcon themed = QIcon::fromTheme(QString::fromLatin1(AppInfo::ownDesktopID));
    if (!themed.isNull() && !themed.pixmap(22).isNull())
        return themed;
    QIcon bundled;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        bundled.addFile(u":/icons/%1x%1/apps/org.linkherd.Linkherd.png"_s.arg(size), QSize(size, size));
    return bundled;
}

QString WindowServices::toolPath()
{
    // Installed, the windows live in libexec with the resident and linkherd-app in bindir; in a build tree they
    // sit together.
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& bindir : {here.path(), here.filePath(QStringLiteral(LINKHERD_BINDIR_FROM_RESIDENT))}) {
        const QDir folder(bindir);
        if (QFileInfo::exists(folder.filePath(u"linkherd-app"_s)) &&
            QFileInfo(folder.filePath(u"linkherd"_s)).isExecutable())
            return QDir::cleanPath(folder.absoluteFilePath(u"linkherd"_s));
    }
    return {};
}

QString WindowServices::helperToolPath()
{
    if (QString installed = toolPath(); !installed.isEmpty())
        return installed;
    const QFileInfo built(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(LINKHERD_TOOL_FROM_RESIDENT)));
    return built.isExecutable() ? built.absoluteFilePath() : QString();
}

QSystemTrayIcon* WindowServices::trayIcon() const
{
    return m_trayIcon;
}
