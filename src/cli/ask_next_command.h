#pragma once

#include "cli_context.h"

#include <QStringList>

// linkherd ask-next
int runAskNext(const CliContext& context, const QStringList& arguments);
