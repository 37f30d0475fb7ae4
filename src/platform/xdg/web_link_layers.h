#pragma once

#include "base/result.h"

#include <QString>
#include <QStringList>

#include <optional>

// The places on a Linux desktop that decide which program opens a web link, read as each of them reads itself.
// What they say is judged above: this only reports.
namespace WebLinkLayers {

// One of the files of default applications, whether it exists or not.
struct MimeappsList final {
    QString path;
    // The desktop it is specific to, in lower case ("gnome"); empty for a plain mimeapps.list.
    QString desktop;
};

// $XDG_CURRENT_DESKTOP's names in lower case, in order.
QStringList currentDesktops();
// Every mimeapps.list in the order the desktop reads them: the user's configuration, the system's, then the
// (deprecated) user and system data folders; in each, the current desktops' own lists before the plain one.
QList<MimeappsList> mimeappsLists();
// KDE's settings file, whose [General] BrowserApplication opens web links on KDE.
QString kdeglobalsPath();

// The desktop file ID (with ".desktop") GIO opens this MIME type with; nothing when there is none.
std::optional<QString> gioDefault(const QString& mimeType);
// Whether an application with this desktop file ID (with ".desktop") is installed.
bool isInstalled(const QString& desktopFileID);

// What `xdg-settings get default-web-browser` prints; fails when it cannot be run or reports an error.
Result<QString> xdgSettingsDefaultBrowser();
// `xdg-settings set default-web-browser desktopFileID`.
Result<void> setXdgSettingsDefaultBrowser(const QString& desktopFileID);

enum class BusName { owned, notOwned, noBus };
// Whether a process owns the name on the session bus. Never starts one.
BusName sessionBusNameState(const QString& name);
// The session bus's service file for the name, as the bus looks for it in the XDG data folders; empty when
// there is none.
QString sessionServiceFile(const QString& name);
// The command of a service file's Exec line, split as the bus splits it (shell quoting: Linkherd's installed
// file quotes the path in single quotes); empty when the file has none or it does not parse.
QStringList sessionServiceCommand(const QString& serviceFile);

} // namespace WebLinkLayers
