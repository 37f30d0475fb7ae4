#pragma once

#include "base/result.h"

#include <QString>

// Whether Linkherd is listed in the desktop's application menu. The entry in force is hidden with NoDisplay=true,
// every other key kept (MimeType, Exec, DBusActivatable), so links still reach Linkherd:
// - installed for the user alone ($XDG_DATA_HOME/applications, where `cmake --install --prefix ~/.local` puts
//   it), the entry itself is given NoDisplay=true and a mark saying Linkherd added it; showing removes both
//   lines, which gives the file back as it was installed. Reinstalling replaces the file, and with it the
//   hiding: the entry is listed again, and the switch follows the desktop's state.
// - installed elsewhere (/usr, /usr/local, a package), a copy with NoDisplay=true and a mark is put in the
//   user's applications folder, which takes the installed entry's place; showing removes the copy, and only a
//   copy Linkherd made.
class LauncherEntry final {
public:
    // $XDG_DATA_HOME/applications/org.linkherd.Linkherd.desktop
    static QString userPath();
    // The installed entry the copy is made from: the first in $XDG_DATA_DIRS; empty when there is none.
    static QString installedPath();

    static bool isHidden();
    // Hiding what is already hidden brings a copy up to date with the installed entry (a newer version may
    // name other link types or another program); nothing is written when it is.
    static Result<void> setHidden(bool hidden);
};
