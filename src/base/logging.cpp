#include "logging.h"

// Links are logged at debug level only, and debug is off unless QT_LOGGING_RULES turns it on: where the log goes
// (the journal, a terminal), the links a user opens are nobody's business.

Q_LOGGING_CATEGORY(lcApp, "org.linkherd.Linkherd.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRouter, "org.linkherd.Linkherd.router", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRules, "org.linkherd.Linkherd.rules", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLauncher, "org.linkherd.Linkherd.launcher", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDefault, "org.linkherd.Linkherd.default", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAutostart, "org.linkherd.Linkherd.loginitem", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFeedback, "org.linkherd.Linkherd.feedback", QtInfoMsg)
