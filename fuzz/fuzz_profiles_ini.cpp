// Any bytes as a Firefox profiles root's profiles.ini (installs.ini's sections included), read the way the
// chooser and the rules window read it: a real file in Firefox's root, beside a profile group "g" whose database
// lists three members. The sections the parser keeps, written out again and parsed, give the same entries. The
// profiles listed have each directory and each folder once, every folder absolute and clean (a relative path's
// folder is that path from the root), and come sorted by name; looking a profile up by its directory gives its
// folder and name, by its name a profile of that name.
#include "browsers/browser_profiles.h"
#include "browsers/firefox_profiles.h"
#include "browsers/localized_compare.h"
#include "fuzz_support.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

const QString browser = u"firefox"_s;
QString root;

// The group as Firefox's profile manager writes it: one member where the entry points, one inside a folder of
// the root, one elsewhere.
void writeGroup()
{
    QDir().mkpath(root + u"/Profile Groups"_s);
    sqlite3* database = nullptr;
    const QByteArray path = QFile::encodeName(root + u"/Profile Groups/g.sqlite"_s);
    const bool written =
        sqlite3_open(path.constData(), &database) == SQLITE_OK &&
        sqlite3_exec(database,
                     "CREATE TABLE Profiles (id INTEGER NOT NULL, path TEXT NOT NULL UNIQUE, name TEXT NOT NULL,"
                     " PRIMARY KEY(id));"
                     "INSERT INTO Profiles VALUES (1, 'grp1.Group', 'Original');"
                     "INSERT INTO Profiles VALUES (2, 'Profiles/c3.Shopping', 'Shopping');"
                     "INSERT INTO Profiles VALUES (3, '/srv/groups/b2.Banking', 'Banking');",
                     nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(database);
    Fuzz::check(written, "the sandbox's profile group is written");
}

// What parseProfilesIni keeps, as profiles.ini.
QByteArray written(const QList<FirefoxProfiles::IniProfile>& entries)
{
    QByteArray text;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const FirefoxProfiles::IniProfile& entry = entries[i];
        text += "[Profile" + QByteArray::number(i) + "]\nName=" + entry.name.toUtf8() + "\nPath=" +
                entry.path.toUtf8() + "\nIsRelative=" + (entry.isRelative ? "1" : "0") + '\n';
        if (!entry.storeID.isEmpty())
            text += "StoreID=" + entry.storeID.toUtf8() + '\n';
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    root = Fuzz::setUpSandbox() + u"/.mozilla/firefox"_s;
    QDir().mkpath(root);
    writeGroup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text = Fuzz::bytes(data, size);
    const QList<FirefoxProfiles::IniProfile> entries = FirefoxProfiles::parseProfilesIni(text);
    for (const FirefoxProfiles::IniProfile& entry : entries)
        Fuzz::check(!entry.path.isEmpty(), "an entry has a path");
    Fuzz::check(FirefoxProfiles::parseProfilesIni(written(entries)) == entries,
                "the entries written out again read back the same");

    QFile file(root + u"/profiles.ini"_s);
    Fuzz::check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the sandbox is writable");
    file.write(text);
    file.close();

    const QList<FirefoxProfiles::LocatedProfile> located = FirefoxProfiles::profiles(browser);
    Fuzz::check(located.size() <= entries.size() + 2, "a group adds at most its other members");
    const QList<BrowserProfiles::Profile> listed = BrowserProfiles::profiles(browser);
    Fuzz::check(listed.size() == located.size(), "the browser's list is the located profiles");
    QSet<QString> directories;
    QSet<QString> folders;
    for (qsizetype i = 0; i < located.size(); ++i) {
        const BrowserProfiles::Profile& profile = located[i].profile;
        const QString& folder = located[i].folder;
        Fuzz::check(listed[i] == profile, "the browser's list is the located profiles");
        Fuzz::check(!directories.contains(profile.directory), "each directory is listed once");
        Fuzz::check(!folders.contains(folder), "each folder is listed once");
        directories.insert(profile.directory);
        folders.insert(folder);
        Fuzz::check(QDir::isAbsolutePath(folder) && QDir::cleanPath(folder) == folder,
                    "a profile's folder is absolute and clean");
        if (!QDir::isAbsolutePath(profile.directory))
            Fuzz::check(folder == QDir::cleanPath(root + u'/' + profile.directory),
                        "a relative profile's folder is its path from the root");
        if (i > 0)
            Fuzz::check(!localizedLessThan(profile.name, located[i - 1].profile.name), "profiles are sorted by name");

        Fuzz::check(BrowserProfiles::profileFolder(profile.directory, browser) == folder,
                    "a profile's directory finds its folder");
        Fuzz::check(BrowserProfiles::profileName(profile.directory, browser) == profile.name,
                    "a profile's directory finds its name");
        const std::optional<QString> byName = BrowserProfiles::directoryOf(profile.name, browser);
        Fuzz::check(byName && std::any_of(located.cbegin(), located.cend(),
                                          [&](const FirefoxProfiles::LocatedProfile& other) {
                                              return other.profile.directory == *byName &&
                                                     other.profile.name == profile.name;
                                          }),
                    "a profile's name finds a profile of that name");
    }
    return 0;
}
