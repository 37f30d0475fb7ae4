#pragma once

#include <QByteArray>
#include <QString>

// Installed Snaps' desktop entries: snapd writes them to /var/lib/snapd/desktop/applications (IDs such as
// "firefox_firefox") and relies on the session putting /var/lib/snapd/desktop into XDG_DATA_DIRS, which some
// sessions do not (one started without /etc/profile.d, a desktop's own session script).
namespace SnapApplications {

// The data directory holding snapd's applications folder; LINKHERD_SNAP_DESKTOP_DIR replaces it (tests).
QString dataDirectory();

// XDG_DATA_DIRS with the directory appended, as the value to set; empty when it is listed already. An unset
// variable stands for the XDG base directory default, which is kept.
QByteArray dataDirectoriesWith(const QByteArray& dataDirectories, const QString& directory);

// Appends the directory to this process's XDG_DATA_DIRS when it exists and is not listed, so that GIO lists
// the Snaps. First thing in main(): GLib reads the variable once.
void addToDataDirectories();

} // namespace SnapApplications
