#include "destination_menu_items.h"

#include "browser_icons.h"

#include <QAction>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace {

// Menus read "&" as a mnemonic marker; a browser or profile named "A&B" must show as it is.
QString menuText(QString text)
{
    return text.replace(u'&', u"&&"_s);
}

void addPick(QMenu& menu, const QIcon& icon, const QString& text, const Destination& destination,
             const std::function<void(const Destination&)>& pick)
{
    QAction* action = menu.addAction(icon, menuText(text));
    QObject::connect(action, &QAction::triggered, action, [pick, destination] {
        if (pick)
            pick(destination);
    });
}

} // namespace

QString DestinationMenuItems::askText()
{
    return u"Ask every time"_s;
}

QIcon DestinationMenuItems::askIcon()
{
    return QIcon::fromTheme(u"dialog-question"_s, QIcon::fromTheme(u"help-faq"_s));
}

void DestinationMenuItems::addTo(QMenu& menu) const
{
    addPick(menu, askIcon(), askText(), Destination::ask(), pick);
    menu.addSeparator();
    for (const Browsers::Browser& browser : browsers) {
        const QIcon icon = BrowserIcons::icon(browser.desktopID, 16);
        const QList<BrowserProfiles::Profile> listed = profiles.value(browser.desktopID);
        if (listed.isEmpty()) {
            addPick(menu, icon, browser.name, Destination::browser(browser.desktopID), pick);
            continue;
        }
        QMenu* submenu = menu.addMenu(icon, menuText(browser.name));
        addPick(*submenu, QIcon(), u"Whichever it opens"_s, Destination::browser(browser.desktopID), pick);
        submenu->addSeparator();
        for (const BrowserProfiles::Profile& profile : listed)
            addPick(*submenu, QIcon(), profile.name, Destination::browser(browser.desktopID, profile.directory), pick);
    }
}
