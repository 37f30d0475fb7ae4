#pragma once

#include "cli_context.h"
#include "command_arguments.h"

// `rules list|add|set|rm|mv`, `fallback` and `cleaning`: the rule operations of the command set, each one edit
// of the rules file under its lock.
int runRulesList(const CliContext& context, const CommandArguments& arguments);
int runRulesAdd(const CliContext& context, const CommandArguments& arguments);
int runRulesSet(const CliContext& context, const CommandArguments& arguments);
int runRulesRemove(const CliContext& context, const CommandArguments& arguments);
int runRulesMove(const CliContext& context, const CommandArguments& arguments);
int runFallback(const CliContext& context, const CommandArguments& arguments);
int runCleaning(const CliContext& context, const CommandArguments& arguments);
