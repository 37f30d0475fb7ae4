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

std::optional<DesktopEntry> FakeApplicationCatalog::application(const QString& id)
{
    ++applicationLookups;
    for (const QList<DesktopEntry>* list : {&browsers, &applications}) {
        for (const DesktopEntry& entry : *list) {
            if (entry.id == id)
                return entry;
        }
    }
    return std::nullopt;
}

std::optional<DesktopEntry> FakeApplicationCatalog::applicationWithWindowClass(const QString& windowClass)
{
    for (const QList<DesktopEntry>* list : {&browsers, &applications}) {
        for (const DesktopEntry& entry : *list) {
            if (!entry.startupWMClass.isEmpty() && entry.startupWMClass.compare(windowClass, Qt::CaseInsensitive) == 0)
                return entry;
        }
    }
    return std::nullopt;
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
        for (const QList<DesktopEntry>* list : {&catalog->browsers, &catalog->applications}) {
            for (const DesktopEntry& entry : *list) {
                if (entry.filePath == applicationPath)
                    catalog->defaultBrowser = entry;
            }
        }
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
