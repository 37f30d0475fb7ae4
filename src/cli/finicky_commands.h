#pragma once

#include "cli_context.h"
#include "command_arguments.h"

// linkherd finicky locate|import|export: moving rules between Linkherd and Finicky.
int runFinickyLocate(const CliContext& context, const CommandArguments& arguments);
int runFinickyImport(const CliContext& context, const CommandArguments& arguments);
int runFinickyExport(const CliContext& context, const CommandArguments& arguments);
