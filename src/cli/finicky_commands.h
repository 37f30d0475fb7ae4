#pragma once

#include "cli_context.h"

#include <QStringList>

// linkherd finicky SUBCOMMAND …: the subcommands that move rules between Linkherd and Finicky (locate, import,
// export).
int runFinicky(const CliContext& context, const QStringList& arguments);
