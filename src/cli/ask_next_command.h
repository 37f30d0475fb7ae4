#pragma once

#include "cli_context.h"
#include "command_arguments.h"

// linkherd ask-next
int runAskNext(const CliContext& context, const CommandArguments& arguments);
