#pragma once

#include "cli_context.h"

#include <QStringList>

// linkherd finicky locate
int runFinickyLocate(const CliContext& context, const QStringList& arguments);
// linkherd finicky export [--output FILE]
int runFinickyExport(const CliContext& context, const QStringList& arguments);
