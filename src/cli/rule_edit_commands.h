#pragma once

#include "cli_context.h"

#include <QStringList>

// `rules list|add|set|rm|mv`, `fallback` and `cleaning`: the rule operations of the command set, each one edit
// of the rules file under its lock.
int runRulesVerb(const CliContext& context, const QString& verb, const QStringList& arguments);
int runFallback(const CliContext& context, const QStringList& arguments);
int runCleaning(const CliContext& context, const QStringList& arguments);
