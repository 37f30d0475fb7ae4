#pragma once

#include "cli_context.h"
#include "command_arguments.h"

// The commands that look at and act on the installed browsers: browsers, profiles, open, default.
int runBrowsers(const CliContext& context, const CommandArguments& arguments);
int runProfiles(const CliContext& context, const CommandArguments& arguments);
int runOpen(const CliContext& context, const CommandArguments& arguments);
int runDefault(const CliContext& context, const CommandArguments& arguments);
