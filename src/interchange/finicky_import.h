#pragma once

#include "finicky_config.h"
#include "javascript_engine.h"

namespace FinickyConfig {

// parse() with other bounds than the standard ones, so that tests of runaway configurations stay quick.
Result<Imported, ImportError> parse(const QString& text, const JavaScriptLimits& limits);

} // namespace FinickyConfig
