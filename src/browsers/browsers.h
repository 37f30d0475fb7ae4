#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class ApplicationCatalog;
struct DesktopEntry;

// The installed applications that open web links, as Linkherd lists and offers them. A process-wide cache
// filled on first use, dropped by invalidate() and whenever the catalog reports a change (and then filled again
// soon after, from the event loop). Main thread only.
namespace Browsers {

struct Browser final {
    QString desktopID; // the desktop file ID without ".desktop", as the entry is named
    QString name;      // the display name
    QString filePath;  // the absolute path of the desktop file

    friend bool operator==(const Browser&, const Browser&) = default;
};

// Where the desktop's applications come from; set once at start-up (and by tests). Without one, nothing is
// installed. The cache follows the catalog's changes while it is set.
void setCatalog(ApplicationCatalog* catalog);

// Every installed browser but Linkherd, sorted by name (numbers by value, case ignored), each once.
const QList<Browser>& installed();
// Forgets everything discovered, icon names included.
void invalidate();
// Changes each time what is discovered is forgotten, so that what is made from it elsewhere (the windows' icons)
// can tell at its next use that it is out of date, without Browsers knowing about it.
quint64 cacheGeneration();
// When the installed list was last discovered; absent while nothing is cached.
std::optional<qint64> discoveryTimeMSecs();

// Every application the desktop shows in its menus but Linkherd, sorted like installed(), each once; read from
// the catalog at each call.
QList<Browser> applications();

// The installed browser with this desktop file ID, compared ignoring case.
std::optional<Browser> browser(const QString& desktopID);
// The installed application's desktop entry as the catalog reads it now (window actions included).
std::optional<DesktopEntry> desktopEntry(const QString& desktopID);
// The browser the system opens web links with, unless that is Linkherd.
std::optional<Browser> systemDefault();
// A readable name for any desktop file ID: an installed browser's display name, else the Name of the
// application installed under that ID, else the ID's last dot-separated part.
QString displayName(const QString& desktopID);
// The installed browsers, those in the user's order first (in that order), the others by name after them.
QList<Browser> ordered(const QStringList& order);
// A browser named in a foreign configuration: by desktop file ID, else by display name ignoring case.
std::optional<Browser> browserNamed(const QString& text);

// The application's Icon as its desktop entry gives it: a theme icon name or an absolute path; empty when it is
// not installed or has none. The installed browsers' come with their discovery; others are read once, until
// invalidated, so that a menu of every browser's icon can be made again at each change for free.
QString iconName(const QString& desktopID);

bool isOwnDesktopID(const QString& desktopID);

} // namespace Browsers

inline size_t qHash(const Browsers::Browser& browser, size_t seed = 0)
{
    return qHashMulti(seed, browser.desktopID, browser.name, browser.filePath);
}
