#include "tray_icon.h"

#include "app_info.h"
#include "app_services.h"
#include "gui/tray/tray_menu.h"
#include "platform/gio/status_notifier_item.h"
#include "services/preferences.h"
#include "services/tray_menu_model.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QSystemTrayIcon>

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
    delete m_menu;
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
    m_menu = new TrayMenu(*m_model);
    m_icon = new QSystemTrayIcon(this);
    m_icon->setIcon(applicationIcon());
    m_icon->setToolTip(u"Linkherd"_s);
    m_icon->setContextMenu(m_menu);
    // Trays leave a left click to the application; the menu is all there is to offer, so it opens too.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && !m_menu->isVisible())
            m_menu->popup(QCursor::pos());
    });
    Preferences& preferences = services.preferences();
    connect(&preferences, &Preferences::showsTrayIconChanged, m_icon,
            [icon = m_icon, &preferences] { icon->setVisible(preferences.showsTrayIcon()); });
    m_icon->setVisible(preferences.showsTrayIcon());
}

QIcon TrayIcon::applicationIcon()
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
