#pragma once

#include <QLoggingCategory>

// Every log category of Linkherd, named org.linkherd.Linkherd.<area>. Link texts are logged at debug level
// only; desktop file IDs, names and paths may be logged at any level.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcRouter)
Q_DECLARE_LOGGING_CATEGORY(lcRules)
Q_DECLARE_LOGGING_CATEGORY(lcLauncher)
Q_DECLARE_LOGGING_CATEGORY(lcDefault)
Q_DECLARE_LOGGING_CATEGORY(lcAutostart)
Q_DECLARE_LOGGING_CATEGORY(lcFeedback)
