#pragma once

#include "finicky_config.h"
#include "javascript_engine.h"

#include <QJsonObject>

namespace FinickyConfig {

// parse() with other bounds than the standard ones, so that tests of runaway configurations stay quick.
Result<Imported, ImportError> parse(const QString& text, const JavaScriptLimits& limits);

// What parse() does after the engine: the evaluated configuration (and the extras the extensions noted) mapped
// onto rules and notes. Separate so that the mapping can be checked on any object, not only on what JavaScript
// produced.
Result<Imported, ImportError> convert(const QJsonObject& extracted, const QJsonObject& extras);

} // namespace FinickyConfig
