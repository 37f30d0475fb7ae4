#include "tray_menu.h"

#include "platform/tray_menu_entry.h"
#include "services/tray_menu_model.h"

#include <QAction>
#include <QIcon>
#include <QInputEvent>
#include <QKeySequence>

#include <utility>

using namespace Qt::StringLiterals;

TrayMenu::TrayMenu(TrayMenuModel& model, QWidget* parent) : QMenu(parent), m_model(model)
{
    setAccessibleName(u"Linkherd"_s);
    installEventFilter(this);
    connect(&m_model, &TrayMenuModel::changed, this, &TrayMenu::scheduleRebuild);
    connect(this, &QMenu::aboutToShow, this, [this] {
        m_model.catchUp();
        // What the model changed just now shows now, not after the menu opened.
        if (m_rebuildScheduled)
            rebuild();
    });
    rebuild();
}

bool TrayMenu::eventFilter(QObject* watched, QEvent* event)
{
    // A browser a link is reopened in, or a window a command shows, comes to the front as what this click asked
    // for, where Linkherd can say so.
    if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::KeyPress)
        m_inputTime = static_cast<quint32>(static_cast<QInputEvent*>(event)->timestamp());
    return QMenu::eventFilter(watched, event);
}

void TrayMenu::scheduleRebuild()
{
    // Never while an action of this menu is still being triggered: clearing the menu would delete it.
    if (std::exchange(m_rebuildScheduled, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_rebuildScheduled)
                rebuild();
        },
        Qt::QueuedConnection);
}

void TrayMenu::rebuild()
{
    m_rebuildScheduled = false;
    clear();
    for (const QPointer<QMenu>& submenu : std::as_const(m_submenus)) {
        if (submenu)
            submenu->deleteLater();
    }
    m_submenus.clear();
    addEntries(*this, m_model.entries());
}

void TrayMenu::addEntries(QMenu& menu, const QList<TrayMenuEntry>& entries)
{
    for (const TrayMenuEntry& entry : entries) {
        if (entry.separator) {
            menu.addSeparator();
            continue;
        }
        // QMenu reads "&" as the mark of a mnemonic.
        const QString text = QString(entry.text).replace(u'&', u"&&"_s);
        // A theme icon's name or an absolute path: QIcon::fromTheme takes either.
        const QIcon icon = entry.icon.isEmpty() ? QIcon() : QIcon::fromTheme(entry.icon);
        QAction* action = nullptr;
        if (!entry.children.isEmpty()) {
            auto* submenu = new QMenu(text, this);
            submenu->setIcon(icon);
            submenu->installEventFilter(this);
            addEntries(*submenu, entry.children);
            m_submenus.append(submenu);
            action = menu.addMenu(submenu);
        } else {
            action = menu.addAction(icon, text);
            action->setShortcut(QKeySequence::fromString(entry.shortcut, QKeySequence::PortableText));
            connect(action, &QAction::triggered, this, [this, activated = entry.activated] {
                if (activated)
                    activated(std::exchange(m_inputTime, 0));
            });
        }
        action->setEnabled(entry.enabled);
    }
}
