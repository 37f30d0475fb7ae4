#pragma once

#include "cli_context.h"
#include "command_arguments.h"

// linkherd doctor: every layer that decides where web links go, checked.
int runDoctor(const CliContext& context, const CommandArguments& arguments);
