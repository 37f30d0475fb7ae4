#pragma once

#include <QHash>
#include <QHashFunctions>
#include <QList>
#include <QString>

#include <optional>

// The user profiles of browsers: of the Chromium family, read from the browser's own "Local State" file; of the
// Firefox family, from its profiles.ini and profile-group databases (firefox_profiles.h). Read only: a
// browser's files are never locked or written. Nothing is cached, so a profile the user adds or renames in the
// browser shows up the next time a list is asked for.
namespace BrowserProfiles {

struct Profile final {
    QString directory; // what rules store: for Chromium the profile's directory inside the user data directory
                       // ("Default", "Profile 1"), passed as --profile-directory; for Firefox the profile's path
                       // as profiles.ini writes it (relative to its root, "abc123.default-release")
    QString name;      // the name the user sees in the browser

    friend bool operator==(const Profile&, const Profile&) = default;
};

// Where a browser keeps its user data. The base is resolved on every call, so the current HOME and
// XDG_CONFIG_HOME count, not those at start-up.
struct DataDirectory final {
    enum class Base {
        ConfigHome, // $XDG_CONFIG_HOME, else ~/.config: where native packages keep their data
        Home,       // the home directory: Flatpak apps keep theirs in ~/.var/app/<app ID>/config, Snaps in
                    // ~/snap/<name>/common
    };

    Base base = Base::ConfigHome;
    QString relativePath;

    friend bool operator==(const DataDirectory&, const DataDirectory&) = default;
};

// The absolute path, resolved now.
QString absolutePath(const DataDirectory& directory);

// Every Chromium-family browser, by desktop file ID (without ".desktop"). Built on first use,
// never changed. Keys are exact: "Google-Chrome" and "google-chrome.desktop" are not in it. The Firefox family's
// table is FirefoxProfiles::profileRoots().
const QHash<QString, DataDirectory>& dataDirectories();

enum class Family { none, chromium, firefox };
Family family(const QString& desktopID);

bool supportsProfiles(const QString& desktopID);

// The absolute path of a Chromium-family browser's user data directory; absent for any other browser.
std::optional<QString> userDataDirectory(const QString& desktopID);

// The absolute folder of a Firefox-family profile the browser lists; absent for a profile it does not list
// (any more) and for other browsers.
std::optional<QString> profileFolder(const QString& directory, const QString& desktopID);

// The browser's profiles, sorted by name (case ignored, numbers by value). Empty when the browser does not
// support profiles or its "Local State" cannot be read or does not have the expected shape.
QList<Profile> profiles(const QString& desktopID);

// The display name of the profile in that directory; the directory itself when there is no such profile
// (any more), so a rule naming a vanished profile still shows something recognisable.
QString profileName(const QString& directory, const QString& desktopID);

// The directory of the profile that the text names, by the name the user sees (exactly, then ignoring case)
// or by its directory. Absent when the browser lists no such profile.
std::optional<QString> directoryOf(const QString& text, const QString& desktopID);

} // namespace BrowserProfiles

inline size_t qHash(const BrowserProfiles::Profile& profile, size_t seed = 0)
{
    return qHashMulti(seed, profile.directory, profile.name);
}
