#pragma once

#include "cli_context.h"

#include <QStringList>

// linkherd resolve URL [--from APP_ID] [--explain]
int runResolve(const CliContext& context, const QStringList& arguments);
// linkherd clean URL
int runClean(const CliContext& context, const QStringList& arguments);
// linkherd rules
int runRules(const CliContext& context, const QStringList& arguments);
