#include "tray_icon.h"

#include "app_info.h"
#include "app_services.h"

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

TrayIcon::TrayIcon(AppServices& services, QObject* parent)
    : QObject(parent),
      m_menu(new QMenu()),
      m_icon(new QSystemTrayIcon(this))
{
    m_menu->addAction(u"Quit Linkherd"_s, &services, &AppServices::quit);
    m_icon->setIcon(QIcon::fromTheme(QString::fromLatin1(AppInfo::ownBundleID), QIcon::fromTheme(u"emblem-shared"_s)));
    m_icon->setToolTip(u"Linkherd"_s);
    m_icon->setContextMenu(m_menu);
    m_icon->show();
}

TrayIcon::~TrayIcon()
{
    delete m_menu;
}
