#include "fake_platform.h"

#include <QCoreApplication>
#include <QMetaObject>

using namespace Qt::StringLiterals;

DesktopEntry fakeEntry(const QString& id, const QString& name)
{
    return DesktopEntry{
        id, name, u"/apps/"_s + id + u".desktop"_s, QString(), {u"/bin/"_s + id, u"%U"_s}, QString(), QString(),
        {}, {}};
}

namespace {

// The first of the catalog's entries, browsers first, that matches.
template <typename Test>
std::optional<DesktopEntry> firstEntry(const FakeApplicationCatalog& catalog, Test matches)
{
    for (const DesktopEntry& entry : catalog.browsers + catalog.applications) {
        if (matches(entry))
            return entry;
    }
    return std::nullopt;
}

} // namespace

std::optional<DesktopEntry> FakeApplicationCatalog::application(const QString& id)
{
    ++applicationLookups;
    return firstEntry(*this, [&id](const DesktopEntry& entry) { return entry.id == id; });
}

std::optional<DesktopEntry> FakeApplicationCatalog::applicationWithWindowClass(const QString& windowClass)
{
    return firstEntry(*this, [&windowClass](const DesktopEntry& entry) {
        return !entry.startupWMClass.isEmpty() && entry.startupWMClass.compare(windowClass, Qt::CaseInsensitive) == 0;
    });
}

void FakeApplicationLauncher::openLinks(const QString& applicationPath, const QStringList& links,
                                        const LaunchActivation& activation, Completion completion)
{
    activations.append(activation);
    for (const QString& link : links)
        opens.append({applicationPath, link});
    linksPerLaunch.append(links);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [completion, error = openError] { completion(error); }, Qt::QueuedConnection);
}

Result<void> FakeApplicationLauncher::spawnDetached(const QStringList& argv, const LaunchActivation& activation)
{
    activations.append(activation);
    spawns.append(argv);
    if (spawnError)
        return Failure{*spawnError};
    return {};
}

Result<void> FakeDefaultHandlers::setDefaultForScheme(const QString& applicationPath, const QString& scheme)
{
    schemesSet.append(scheme);
    if (failures.contains(scheme))
        return Failure{failures.value(scheme)};
    if (catalog && scheme == u"https"_s) {
        if (auto entry = firstEntry(*catalog, [&](const DesktopEntry& e) { return e.filePath == applicationPath; }))
            catalog->defaultBrowser = entry;
    }
    return {};
}

Result<void> FakeAutostartEntry::enable()
{
    ++enables;
    current = Status::enabled;
    return {};
}

Result<void> FakeAutostartEntry::disable()
{
    ++disables;
    if (disableError)
        return Failure{*disableError};
    current = Status::notRegistered;
    return {};
}
