#pragma once

#include "cli_context.h"

#include <QStringList>

// linkherd finicky import FILE [--add | --replace]
int runFinickyImport(const CliContext& context, const QStringList& arguments);
