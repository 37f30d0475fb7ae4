#pragma once

#include "cli_context.h"
#include "command_arguments.h"

// linkherd feedback send: sends the submission on standard input (FeedbackRecords) to the support endpoint and
// prints the outcome record. The feedback window runs it, so that the resident never loads the network stack.
int runFeedbackSend(const CliContext& context, const CommandArguments& arguments);
