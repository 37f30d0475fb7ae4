#pragma once

#include "cli_context.h"

#include <QStringList>

// linkherd browsers [--default]
int runBrowsers(const CliContext& context, const QStringList& arguments);
// linkherd profiles ID
int runProfiles(const CliContext& context, const QStringList& arguments);
// linkherd open URL --in ID [--profile DIR]
int runOpen(const CliContext& context, const QStringList& arguments);
// linkherd default [--set | --hand-back ID]
int runDefault(const CliContext& context, const QStringList& arguments);
