#include "browsers.h"

#include "app_info.h"
#include "localized_compare.h"
#include "platform/application_catalog.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Browsers {

namespace {

struct Caches {
    ApplicationCatalog* catalog = nullptr;
    std::optional<QList<Browser>> installed;
    std::optional<qint64> discoveryTime;
    QHash<QString, QString> iconNames; // an empty name remembers an application without an icon
    QHash<QString, QString> names;     // display names of applications that are not installed browsers
    quint64 generation = 0;
    bool rescanPending = false;
};

Caches& caches()
{
    static Caches instance;
    return instance;
}

// The entry's Name, else its file name without ".desktop".
QString displayNameOf(const DesktopEntry& entry)
{
    if (!entry.name.isEmpty())
        return entry.name;
    QString fileName = QFileInfo(entry.filePath).fileName();
    if (fileName.endsWith(u".desktop"_s))
        fileName.chop(8);
    return fileName.isEmpty() ? entry.id : fileName;
}

std::optional<Browser> browserFrom(const DesktopEntry& entry)
{
    if (entry.id.isEmpty() || isOwnDesktopID(entry.id))
        return std::nullopt;
    return Browser{entry.id, displayNameOf(entry), entry.filePath};
}

// The entries as applications, sorted by name.
QList<Browser> listed(const QList<DesktopEntry>& entries)
{
    QList<Browser> browsers;
    for (const DesktopEntry& entry : entries) {
        std::optional<Browser> browser = browserFrom(entry);
        // The same application can be listed twice (a user entry shadowing a system one, or two data
        // directories); the one the system lists first is the one it would use.
        const bool seen = browser && std::any_of(browsers.cbegin(), browsers.cend(), [&](const Browser& known) {
                              return known.desktopID == browser->desktopID;
                          });
        if (browser && !seen)
            browsers.append(std::move(*browser));
    }
    std::stable_sort(browsers.begin(), browsers.end(),
                     [](const Browser& a, const Browser& b) { return localizedLessThan(a.name, b.name); });
    return browsers;
}

QList<Browser> discover()
{
    Caches& state = caches();
    if (!state.catalog)
        return {};
    const QList<DesktopEntry> entries = state.catalog->webBrowsers();
    for (const DesktopEntry& entry : entries) {
        if (!state.iconNames.contains(entry.id)) // the first listed is the one the system uses
            state.iconNames.insert(entry.id, entry.icon);
    }
    return listed(entries);
}

// The desktop says applications changed: what is cached may be wrong from now on. The list is found again soon,
// while no link waits for it, so that the next link does not pay for GIO rereading the application folders.
void catalogChanged()
{
    invalidate();
    Caches& state = caches();
    if (state.rescanPending)
        return;
    state.rescanPending = true;
    QTimer::singleShot(0, [] {
        caches().rescanPending = false;
        installed();
    });
}

} // namespace

bool isOwnDesktopID(const QString& desktopID)
{
    return desktopID.compare(QLatin1StringView(AppInfo::ownDesktopID), Qt::CaseInsensitive) == 0;
}

void setCatalog(ApplicationCatalog* catalog)
{
    Caches& state = caches();
    if (state.catalog && state.catalog != catalog)
        state.catalog->setChangeHandler({});
    state.catalog = catalog;
    if (catalog)
        catalog->setChangeHandler(&catalogChanged);
    invalidate();
}

const QList<Browser>& installed()
{
    Caches& state = caches();
    if (!state.installed) {
        state.installed = discover();
        state.discoveryTime = QDateTime::currentMSecsSinceEpoch();
    }
    return *state.installed;
}

void invalidate()
{
    Caches& state = caches();
    state.installed.reset();
    state.discoveryTime.reset();
    state.iconNames.clear();
    state.names.clear();
    ++state.generation;
}

quint64 cacheGeneration()
{
    return caches().generation;
}

QList<Browser> applications()
{
    return caches().catalog ? listed(caches().catalog->shownApplications()) : QList<Browser>();
}

std::optional<qint64> discoveryTimeMSecs()
{
    return caches().discoveryTime;
}

std::optional<Browser> browser(const QString& desktopID)
{
    for (const Browser& candidate : installed()) {
        if (candidate.desktopID.compare(desktopID, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return std::nullopt;
}

std::optional<DesktopEntry> desktopEntry(const QString& desktopID)
{
    return caches().catalog ? caches().catalog->application(desktopID) : std::nullopt;
}

std::optional<Browser> systemDefault()
{
    if (!caches().catalog)
        return std::nullopt;
    const std::optional<DesktopEntry> entry = caches().catalog->defaultWebBrowser();
    if (!entry || entry->id.isEmpty() || isOwnDesktopID(entry->id))
        return std::nullopt;
    if (std::optional<Browser> listed = browser(entry->id))
        return listed;
    return browserFrom(*entry);
}

QString displayName(const QString& desktopID)
{
    if (const std::optional<Browser> found = browser(desktopID))
        return found->name;
    Caches& state = caches();
    if (const auto cached = state.names.constFind(desktopID); cached != state.names.cend())
        return *cached;
    QString name;
    if (state.catalog) {
        if (const std::optional<DesktopEntry> entry = state.catalog->application(desktopID))
            name = entry->name;
    }
    if (name.isEmpty()) {
        const QStringList pieces = desktopID.split(u'.', Qt::SkipEmptyParts);
        name = pieces.isEmpty() ? desktopID : pieces.back();
    }
    state.names.insert(desktopID, name);
    return name;
}

QList<Browser> ordered(const QStringList& order)
{
    QList<Browser> browsers = installed();
    if (order.isEmpty())
        return browsers;
    QHash<QString, qsizetype> positions;
    for (qsizetype index = 0; index < order.size(); ++index)
        positions.insert(order[index], positions.value(order[index], index));
    std::stable_sort(browsers.begin(), browsers.end(), [&](const Browser& a, const Browser& b) {
        const auto aPosition = positions.constFind(a.desktopID);
        const auto bPosition = positions.constFind(b.desktopID);
        const bool aPlaced = aPosition != positions.cend();
        const bool bPlaced = bPosition != positions.cend();
        if (aPlaced && bPlaced)
            return *aPosition < *bPosition;
        if (aPlaced != bPlaced)
            return aPlaced;
        return localizedLessThan(a.name, b.name);
    });
    return browsers;
}

std::optional<Browser> browserNamed(const QString& text)
{
    if (std::optional<Browser> byID = browser(text))
        return byID;
    for (const Browser& candidate : installed()) {
        if (candidate.name.compare(text, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return std::nullopt;
}

QString iconName(const QString& desktopID)
{
    Caches& state = caches();
    if (desktopID.isEmpty() || !state.catalog)
        return QString();
    if (const auto cached = state.iconNames.constFind(desktopID); cached != state.iconNames.cend())
        return *cached;
    const std::optional<DesktopEntry> entry = state.catalog->application(desktopID);
    const QString name = entry ? entry->icon : QString();
    state.iconNames.insert(desktopID, name);
    return name;
}

} // namespace Browsers
