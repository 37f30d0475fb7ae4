#pragma once

#include "cli_context.h"
#include "command_arguments.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

// Runs one `linkherd` command line (without the program name) and returns its exit code. The rules file is
// `defaultRulesPath` unless the command line names another with --rules; the browser commands work on the
// desktop `services` describe.
int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err, const QString& defaultRulesPath,
           const CliServices& services = {});

// linkherd help [COMMAND]
int runHelp(const CliContext& context, const CommandArguments& arguments);
