#pragma once

#include "base/result.h"

#include <QString>

// Whether Linkherd is listed in the desktop's application menu. Hiding it puts a copy of its installed desktop
// entry in the user's applications folder ($XDG_DATA_HOME/applications), which takes the installed entry's
// place, with NoDisplay=true and every other key kept (MimeType, Exec, DBusActivatable): links still reach
// Linkherd. Showing it removes that copy, and only a copy Linkherd made.
class LauncherEntry final {
public:
    // $XDG_DATA_HOME/applications/org.linkherd.Linkherd.desktop
    static QString userPath();
    // The installed entry the copy is made from: the first in $XDG_DATA_DIRS; empty when there is none.
    static QString installedPath();

    static bool isHidden();
    static Result<void> setHidden(bool hidden);
};
