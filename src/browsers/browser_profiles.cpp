#include "browser_profiles.h"

#include "base/bounded_file.h"
#include "firefox_profiles.h"
#include "localized_compare.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace BrowserProfiles {

namespace {

// A browser's "Local State" holds its settings and one record per profile: a few hundred kilobytes at most.
constexpr qint64 localStateLimit = qint64(16) * 1024 * 1024;

DataDirectory native(const QString& directory)
{
    return {DataDirectory::Base::ConfigHome, directory};
}

// A Flatpak app sees ~/.var/app/<app ID>/config as its XDG_CONFIG_HOME and keeps the directory name it would
// use natively.
DataDirectory flatpak(const QString& appID, const QString& directory)
{
    return {DataDirectory::Base::Home, u".var/app/"_s + appID + u"/config/"_s + directory};
}

// A Snap keeps its data under ~/snap/<name>; where inside, its packaging says.
DataDirectory snap(const QString& name, const QString& directory)
{
    return {DataDirectory::Base::Home, u"snap/"_s + name + u'/' + directory};
}

QHash<QString, DataDirectory> buildDataDirectories()
{
    // Google names each channel's desktop entry after its data directory (Chromium's GetDesktopName and
    // GetDefaultUserDataDirectory). Chrome for Testing ships as an archive without a desktop entry; one written
    // by hand under the same name as its data directory is recognised.
    return {
        // Google Chrome, and its channels
        {u"google-chrome"_s, native(u"google-chrome"_s)},
        {u"com.google.Chrome"_s, flatpak(u"com.google.Chrome"_s, u"google-chrome"_s)},
        {u"google-chrome-beta"_s, native(u"google-chrome-beta"_s)},
        {u"google-chrome-canary"_s, native(u"google-chrome-canary"_s)},
        {u"google-chrome-unstable"_s, native(u"google-chrome-unstable"_s)},
        {u"com.google.ChromeDev"_s, flatpak(u"com.google.ChromeDev"_s, u"google-chrome-unstable"_s)},
        {u"google-chrome-for-testing"_s, native(u"google-chrome-for-testing"_s)},
        // Microsoft Edge
        {u"microsoft-edge"_s, native(u"microsoft-edge"_s)},
        {u"com.microsoft.Edge"_s, flatpak(u"com.microsoft.Edge"_s, u"microsoft-edge"_s)},
        {u"microsoft-edge-beta"_s, native(u"microsoft-edge-beta"_s)},
        // Brave
        {u"brave-browser"_s, native(u"BraveSoftware/Brave-Browser"_s)},
        {u"com.brave.Browser"_s, flatpak(u"com.brave.Browser"_s, u"BraveSoftware/Brave-Browser"_s)},
        {u"brave-browser-beta"_s, native(u"BraveSoftware/Brave-Browser-Beta"_s)},
        // Chromium: Debian and Arch name the entry "chromium", Fedora and older Ubuntu "chromium-browser"
        {u"chromium"_s, native(u"chromium"_s)},
        {u"chromium-browser"_s, native(u"chromium"_s)},
        {u"org.chromium.Chromium"_s, flatpak(u"org.chromium.Chromium"_s, u"chromium"_s)},
        // The Snap's launcher sets CHROME_CONFIG_HOME to $SNAP_USER_COMMON
        {u"chromium_chromium"_s, snap(u"chromium"_s, u"common/chromium"_s)},
        // Vivaldi
        {u"vivaldi-stable"_s, native(u"vivaldi"_s)},
        {u"com.vivaldi.Vivaldi"_s, flatpak(u"com.vivaldi.Vivaldi"_s, u"vivaldi"_s)},
        // Opera
        {u"opera"_s, native(u"opera"_s)},
        {u"com.opera.Opera"_s, flatpak(u"com.opera.Opera"_s, u"opera"_s)},
        // Yandex Browser
        {u"yandex-browser"_s, native(u"yandex-browser"_s)},
        {u"ru.yandex.Browser"_s, flatpak(u"ru.yandex.Browser"_s, u"yandex-browser"_s)},
    };
}

// The profile records of a "Local State" document: profile.info_cache, when the file has that shape.
std::optional<QJsonObject> infoCache(const QByteArray& localState)
{
    const QJsonDocument document = QJsonDocument::fromJson(localState);
    if (!document.isObject())
        return std::nullopt;
    const QJsonValue profile = document.object().value(u"profile"_s);
    if (!profile.isObject())
        return std::nullopt;
    const QJsonValue cache = profile.toObject().value(u"info_cache"_s);
    if (!cache.isObject())
        return std::nullopt;
    return cache.toObject();
}

} // namespace

QString absolutePath(const DataDirectory& directory)
{
    const QString base = directory.base == DataDirectory::Base::ConfigHome
                             ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                             : QDir::homePath();
    return base + u'/' + directory.relativePath;
}

const QHash<QString, DataDirectory>& dataDirectories()
{
    static const QHash<QString, DataDirectory> table = buildDataDirectories();
    return table;
}

Family family(const QString& desktopID)
{
    if (dataDirectories().contains(desktopID))
        return Family::chromium;
    if (FirefoxProfiles::profileRoots().contains(desktopID))
        return Family::firefox;
    return Family::none;
}

bool supportsProfiles(const QString& desktopID)
{
    return family(desktopID) != Family::none;
}

std::optional<QString> userDataDirectory(const QString& desktopID)
{
    const auto found = dataDirectories().constFind(desktopID);
    if (found == dataDirectories().constEnd())
        return std::nullopt;
    return absolutePath(*found);
}

std::optional<QString> profileFolder(const QString& directory, const QString& desktopID)
{
    for (const FirefoxProfiles::LocatedProfile& located : FirefoxProfiles::profiles(desktopID)) {
        if (located.profile.directory == directory)
            return located.folder;
    }
    return std::nullopt;
}

QList<Profile> profiles(const QString& desktopID)
{
    if (family(desktopID) == Family::firefox) {
        QList<Profile> result;
        for (FirefoxProfiles::LocatedProfile& located : FirefoxProfiles::profiles(desktopID))
            result.append(std::move(located.profile));
        return result;
    }
    const std::optional<QString> dataDirectory = userDataDirectory(desktopID);
    if (!dataDirectory)
        return {};
    const Result<QByteArray> localState = BoundedFile::read(*dataDirectory + u"/Local State"_s, localStateLimit);
    if (!localState)
        return {};
    const std::optional<QJsonObject> records = infoCache(localState.value());
    if (!records)
        return {};

    QList<Profile> result;
    result.reserve(records->size());
    for (auto record = records->constBegin(); record != records->constEnd(); ++record) {
        if (!record->isObject())
            continue;
        const QJsonValue name = record->toObject().value(u"name"_s);
        result.append({record.key(), name.isString() ? name.toString() : record.key()});
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const Profile& a, const Profile& b) { return localizedLessThan(a.name, b.name); });
    return result;
}

QString profileName(const QString& directory, const QString& desktopID)
{
    const QList<Profile> listed = profiles(desktopID);
    const auto found = std::find_if(listed.cbegin(), listed.cend(),
                                    [&](const Profile& profile) { return profile.directory == directory; });
    return found != listed.cend() ? found->name : directory;
}

std::optional<QString> directoryOf(const QString& text, const QString& desktopID)
{
    // A name the user sees wins over a directory of the same text: "Profile 1" may be what someone named
    // their "Default" profile.
    const QList<Profile> listed = profiles(desktopID);
    for (const Profile& candidate : listed) {
        if (candidate.name == text)
            return candidate.directory;
    }
    for (const Profile& candidate : listed) {
        if (candidate.directory == text)
            return text;
    }
    for (const Profile& candidate : listed) {
        if (candidate.name.compare(text, Qt::CaseInsensitive) == 0)
            return candidate.directory;
    }
    return std::nullopt;
}

} // namespace BrowserProfiles
