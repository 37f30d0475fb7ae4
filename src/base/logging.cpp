#include "logging.h"

Q_LOGGING_CATEGORY(lcApp, "org.linkherd.Linkherd.app")
Q_LOGGING_CATEGORY(lcRouter, "org.linkherd.Linkherd.router")
Q_LOGGING_CATEGORY(lcRules, "org.linkherd.Linkherd.rules")
Q_LOGGING_CATEGORY(lcLauncher, "org.linkherd.Linkherd.launcher")
Q_LOGGING_CATEGORY(lcDefault, "org.linkherd.Linkherd.default")
Q_LOGGING_CATEGORY(lcLoginItem, "org.linkherd.Linkherd.loginitem")
