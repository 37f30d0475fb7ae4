#pragma once

#include "result.h"

#include <QString>
#include <QStringView>

// Where Linkherd keeps its files. Every path follows the XDG variables, so tests run in a temporary home.
namespace AppFolders {

// $XDG_CONFIG_HOME/linkherd (normally ~/.config/linkherd): the rules and the preferences. Nothing is created.
QString config();
QString configFile(QStringView name);

// config(), created with its parents when missing. Fails when there is no configuration folder at all.
Result<QString> ensureConfig();

} // namespace AppFolders
