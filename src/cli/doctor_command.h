#pragma once

#include "cli_context.h"

#include <QStringList>

// linkherd doctor [--fix]
int runDoctor(const CliContext& context, const QStringList& arguments);
