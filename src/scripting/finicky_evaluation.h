#pragma once

#include "interchange/finicky_config.h"
#include "javascript_engine.h"

// The import's first step: a Finicky configuration evaluated in the bounded JavaScript engine, then converted
// (FinickyConfig::convert). Only the `linkherd` tool runs it; the rules window starts the tool for it, so that
// a configuration that loops, allocates without end or crashes the engine never touches the resident.
namespace FinickyEvaluation {

// Evaluates a whole configuration text and converts what it exports. Browsers are resolved against the
// installed ones (Browsers::installed).
Result<FinickyConfig::Imported, FinickyConfig::ImportError> parse(const QString& text);

// parse() with other bounds than the standard ones, so that tests of runaway configurations stay quick.
Result<FinickyConfig::Imported, FinickyConfig::ImportError> parse(const QString& text, const JavaScriptLimits& limits);

} // namespace FinickyEvaluation
