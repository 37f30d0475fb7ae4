#pragma once

#include "cli_context.h"

#include <QStringList>

// linkherd finicky SUBCOMMAND …: the subcommands that move rules between Linkherd and Finicky.
int runFinicky(const CliContext& context, const QStringList& arguments);
// linkherd finicky import FILE [--add | --replace]
int runFinickyImport(const CliContext& context, const QStringList& arguments);
