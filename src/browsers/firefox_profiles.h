#pragma once

#include "browser_profiles.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// The profiles of Firefox-family browsers. A profiles root holds "profiles.ini", which lists each profile's
// folder and name; profiles of Firefox's newer profile manager are listed there once per group, the group's
// members in "<root>/Profile Groups/<StoreID>.sqlite". All of it is only read, and read again at every call.
namespace FirefoxProfiles {

// Every Firefox-family browser's profiles roots by desktop file ID, the one the browser itself uses first
// when several exist. Built on first use, never changed; keys are exact.
const QHash<QString, QList<BrowserProfiles::DataDirectory>>& profileRoots();

// One [ProfileN] section of profiles.ini.
struct IniProfile final {
    QString name;
    QString path; // as written: relative to the root when isRelative
    bool isRelative = false;
    QString storeID; // the profile group this entry stands for; empty for a profile of its own

    friend bool operator==(const IniProfile&, const IniProfile&) = default;
};

// Reads profiles.ini as Firefox does: [Profile0], [Profile1], … up to the first number without a section; a
// section without Path or Name, or with a relative Path not marked IsRelative=1, is passed over. Other sections ([General], [Install<hash>] naming each
// installation's default) list no profiles.
QList<IniProfile> parseProfilesIni(const QByteArray& text);

struct LocatedProfile final {
    BrowserProfiles::Profile profile; // directory: the path as the browser wrote it
    QString folder;                   // absolute
};

// The browser's profiles from all its roots, each once (the first root's wins), sorted by name.
QList<LocatedProfile> profiles(const QString& desktopID);

} // namespace FirefoxProfiles
