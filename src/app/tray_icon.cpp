#include "tray_icon.h"

#include "app_info.h"
#include "app_services.h"
#include "platform/gio/status_notifier_item.h"
#include "services/preferences.h"
#include "services/tray_menu_model.h"
#include "window_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

TrayIcon::TrayIcon(AppServices& services, TrayHost::Kind kind, QObject* parent)
    : QObject(parent),
      m_model(new TrayMenuModel(services.router(), services.preferences(), services.defaultBrowser(),
                                {.showRules = [&services](quint32) { services.showRulesWindow(); },
                                 .showSettings = [&services](quint32) { services.showSettings(); },
                                 .showFeedback = [&services](quint32) { services.showFeedback(); },
                                 .quit = [&services](quint32) { services.quit(); }},
                                this))
{
    if (kind == TrayHost::Kind::StatusNotifier)
        showAsStatusNotifier(services);
    else
        showInX11Tray(services);
}

TrayIcon::~TrayIcon()
{
    if (m_windows) {
        m_windows->trayAboutToShow = nullptr;
        m_windows->setTrayMenu(std::nullopt);
    }
}

void TrayIcon::showAsStatusNotifier(AppServices& services)
{
    const QString desktopID = QString::fromLatin1(AppInfo::ownDesktopID);
    m_item = std::make_unique<StatusNotifierItem>(
        StatusNotifierItem::Appearance{
            .id = desktopID, .title = u"Linkherd"_s, .iconName = desktopID, .iconThemePath = iconThemePath()},
        [model = m_model] { model->catchUp(); });
    m_item->setMenu(m_model->entries());
    connect(m_model, &TrayMenuModel::changed, this, [this] { m_item->setMenu(m_model->entries()); });
    // The settings window switches the icon off and on; it follows at once.
    Preferences& preferences = services.preferences();
    connect(&preferences, &Preferences::showsTrayIconChanged, this,
            [this, &preferences] { m_item->setVisible(preferences.showsTrayIcon()); });
    m_item->setVisible(preferences.showsTrayIcon());
}

void TrayIcon::showInX11Tray(AppServices& services)
{
    m_windows = &services.windows();
    WindowProcess& windows = services.windows();
    Preferences& preferences = services.preferences();
    const auto update = [this, &windows, &preferences] {
        windows.setTrayMenu(preferences.showsTrayIcon() ? std::optional(m_model->entries()) : std::nullopt);
    };
    windows.trayAboutToShow = [model = m_model] { model->catchUp(); };
    connect(m_model, &TrayMenuModel::changed, this, update);
    // The settings window switches the icon off and on; it follows at once.
    connect(&preferences, &Preferences::showsTrayIconChanged, this, update);
    update();
}

QString TrayIcon::iconThemePath()
{
    const QString icon = u"hicolor/22x22/apps/%1.png"_s.arg(QString::fromLatin1(AppInfo::ownDesktopID));
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& folder :
         {here.filePath(QStringLiteral(LINKHERD_ICONS_FROM_RESIDENT)), QStringLiteral(LINKHERD_SOURCE_ICONS)}) {
        if (QFileInfo::exists(QDir(folder).filePath(icon)))
            return QDir::cleanPath(folder);
    }
    return {};
}
