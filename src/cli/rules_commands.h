#pragma once

#include "cli_context.h"
#include "command_arguments.h"

// linkherd resolve URL [--from APP_ID] [--explain]
int runResolve(const CliContext& context, const CommandArguments& arguments);
// linkherd clean URL
int runClean(const CliContext& context, const CommandArguments& arguments);
// linkherd rules
int runRules(const CliContext& context, const CommandArguments& arguments);
