#include "firefox_profiles.h"

#include "base/bounded_file.h"
#include "localized_compare.h"
#include "profile_group_database.h"

#include <QDir>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;
using BrowserProfiles::DataDirectory;

namespace FirefoxProfiles {

namespace {

// profiles.ini has a few lines per profile.
constexpr qint64 profilesIniLimit = qint64(1) * 1024 * 1024;

DataDirectory home(const QString& path)
{
    return {DataDirectory::Base::Home, path};
}

DataDirectory configHome(const QString& path)
{
    return {DataDirectory::Base::ConfigHome, path};
}

// Firefox keeps its profiles in ~/.mozilla/firefox when that exists, else (newer releases) in
// $XDG_CONFIG_HOME/mozilla/firefox; both are read. Firefox ESR, Beta, Developer Edition and Nightly share
// Firefox's roots, each with a default of its own.
QList<DataDirectory> firefoxRoots()
{
    return {home(u".mozilla/firefox"_s), configHome(u"mozilla/firefox"_s)};
}

// A Flatpak sees ~/.var/app/<app ID> as its home and ~/.var/app/<app ID>/config as its XDG_CONFIG_HOME.
QList<DataDirectory> flatpakRoots(const QString& appID, const QString& homeRoot, const QString& configRoot = {})
{
    QList<DataDirectory> roots{home(u".var/app/"_s + appID + u'/' + homeRoot)};
    if (!configRoot.isEmpty())
        roots.append(home(u".var/app/"_s + appID + u"/config/"_s + configRoot));
    return roots;
}

QHash<QString, QList<DataDirectory>> buildProfileRoots()
{
    // Fedora's own package names its entry org.mozilla.firefox too, as the Flatpak is named: that ID reads the
    // Flatpak's roots, then the native ones.
    QList<DataDirectory> firefoxFlatpak =
        flatpakRoots(u"org.mozilla.firefox"_s, u".mozilla/firefox"_s, u"mozilla/firefox"_s);
    firefoxFlatpak.append(firefoxRoots());
    return {
        // Firefox and its channels: Debian, Arch, openSUSE and Mozilla's own packages
        {u"firefox"_s, firefoxRoots()},
        {u"firefox-esr"_s, firefoxRoots()},
        {u"firefox-beta"_s, firefoxRoots()},
        {u"firefox-devedition"_s, firefoxRoots()},
        {u"firefox-developer-edition"_s, firefoxRoots()},
        {u"firefox-nightly"_s, firefoxRoots()},
        {u"org.mozilla.firefox"_s, firefoxFlatpak},
        // The Snap: its HOME is ~/snap/firefox/common
        {u"firefox_firefox"_s,
         {home(u"snap/firefox/common/.mozilla/firefox"_s), home(u"snap/firefox/common/.config/mozilla/firefox"_s)}},
        // Forks with Firefox's layout under a folder of their own
        {u"librewolf"_s, {home(u".librewolf"_s)}},
        {u"io.gitlab.librewolf-community"_s, flatpakRoots(u"io.gitlab.librewolf-community"_s, u".librewolf"_s)},
        {u"waterfox"_s, {home(u".waterfox"_s)}},
        {u"net.waterfox.waterfox"_s, flatpakRoots(u"net.waterfox.waterfox"_s, u".waterfox"_s)},
        {u"floorp"_s, {home(u".floorp"_s)}},
        {u"one.ablaze.floorp"_s, flatpakRoots(u"one.ablaze.floorp"_s, u".floorp"_s)},
    };
}

// A StoreID names a file in the root's "Profile Groups" folder, and nothing outside it.
bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'/') && name != u"."_s && name != u".."_s;
}

QString folderOf(const QString& root, const QString& path, bool isRelative)
{
    return QDir::cleanPath(isRelative ? root + u'/' + path : path);
}

// The profiles of one root, in file order: a group's members in the group's order in place of its entry.
QList<LocatedProfile> profilesIn(const QString& root)
{
    const Result<QByteArray> text = BoundedFile::read(root + u"/profiles.ini"_s, profilesIniLimit);
    if (!text)
        return {};
    QList<LocatedProfile> result;
    for (const IniProfile& entry : parseProfilesIni(text.value())) {
        if (isPlainFileName(entry.storeID)) {
            const Result<QList<ProfileGroupDatabase::Member>> members =
                ProfileGroupDatabase::members(root + u"/Profile Groups/"_s + entry.storeID + u".sqlite"_s);
            // A group that cannot be read still has the member the entry points at.
            if (members && !members->isEmpty()) {
                for (const ProfileGroupDatabase::Member& member : members.value()) {
                    const bool relative = !QDir::isAbsolutePath(member.path);
                    result.append({{member.path, member.name}, folderOf(root, member.path, relative)});
                }
                continue;
            }
        }
        result.append({{entry.path, entry.name}, folderOf(root, entry.path, entry.isRelative)});
    }
    return result;
}

} // namespace

const QHash<QString, QList<DataDirectory>>& profileRoots()
{
    static const QHash<QString, QList<DataDirectory>> table = buildProfileRoots();
    return table;
}

QList<IniProfile> parseProfilesIni(const QByteArray& text)
{
    // Sections by name, keys by name; a key given twice keeps its first value.
    QHash<QString, QHash<QString, QString>> sections;
    QString current;
    bool inSection = false;
    const QString decoded = QString::fromUtf8(text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text);
    for (QStringView line : QStringView(decoded).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype end = line.indexOf(u']');
            inSection = end > 1;
            if (!inSection)
                continue;
            current = line.mid(1, end - 1).toString();
            if (!sections.contains(current))
                sections.insert(current, {});
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inSection || equals <= 0)
            continue;
        QHash<QString, QString>& keys = sections[current];
        const QString key = line.left(equals).trimmed().toString();
        if (!keys.contains(key))
            keys.insert(key, line.mid(equals + 1).trimmed().toString());
    }

    QList<IniProfile> profiles;
    for (int number = 0;; ++number) {
        const auto section = sections.constFind(u"Profile"_s + QString::number(number));
        if (section == sections.cend())
            break;
        const QString path = section->value(u"Path"_s);
        const auto name = section->constFind(u"Name"_s);
        const bool isRelative = section->value(u"IsRelative"_s) == u"1"_s;
        // Firefox passes over a path it is told is absolute and is not: it would name a folder relative to
        // whatever folder the browser was started in.
        if (path.isEmpty() || name == section->cend() || (!isRelative && !QDir::isAbsolutePath(path)))
            continue;
        profiles.append({*name, path, isRelative, section->value(u"StoreID"_s)});
    }
    return profiles;
}

QList<LocatedProfile> profiles(const QString& desktopID)
{
    const auto roots = profileRoots().constFind(desktopID);
    if (roots == profileRoots().cend())
        return {};
    QList<LocatedProfile> result;
    QSet<QString> directories;
    QSet<QString> folders;
    QSet<QString> readRoots;
    for (const DataDirectory& root : *roots) {
        // Two roots can be one folder (a link from one to the other): it is read once.
        const QString rootPath = BrowserProfiles::absolutePath(root);
        const QString canonicalRoot = QDir(rootPath).canonicalPath();
        if (canonicalRoot.isEmpty() || readRoots.contains(canonicalRoot))
            continue;
        readRoots.insert(canonicalRoot);
        for (LocatedProfile& located : profilesIn(rootPath)) {
            if (directories.contains(located.profile.directory) || folders.contains(located.folder))
                continue;
            directories.insert(located.profile.directory);
            folders.insert(located.folder);
            result.append(std::move(located));
        }
    }
    std::stable_sort(result.begin(), result.end(), [](const LocatedProfile& a, const LocatedProfile& b) {
        return localizedLessThan(a.profile.name, b.profile.name);
    });
    return result;
}

} // namespace FirefoxProfiles
