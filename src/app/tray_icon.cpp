#include "tray_icon.h"

#include "app_info.h"
#include "app_services.h"
#include "gui/tray/tray_menu.h"
#include "services/preferences.h"
#include "services/tray_menu_model.h"

#include <QCursor>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

TrayIcon::TrayIcon(AppServices& services, QObject* parent)
    : QObject(parent),
      m_model(new TrayMenuModel(services.router(), services.preferences(), services.defaultBrowser(),
                                {.showRules = [&services](quint32) { services.showRulesWindow(); },
                                 .showSettings = [&services](quint32) { services.showSettings(); },
                                 .showFeedback = [&services](quint32) { services.showFeedback(); },
                                 .quit = [&services](quint32) { services.quit(); }},
                                this)),
      m_menu(new TrayMenu(*m_model)),
      m_icon(new QSystemTrayIcon(this))
{
    m_icon->setIcon(applicationIcon());
    m_icon->setToolTip(u"Linkherd"_s);
    m_icon->setContextMenu(m_menu);
    // Trays leave a left click to the application; the menu is all there is to offer, so it opens too.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && !m_menu->isVisible())
            m_menu->popup(QCursor::pos());
    });
    // The settings window switches the icon off and on; it follows at once.
    Preferences& preferences = services.preferences();
    connect(&preferences, &Preferences::showsTrayIconChanged, m_icon,
            [icon = m_icon, &preferences] { icon->setVisible(preferences.showsTrayIcon()); });
    m_icon->setVisible(preferences.showsTrayIcon());
}

TrayIcon::~TrayIcon()
{
    delete m_menu;
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
