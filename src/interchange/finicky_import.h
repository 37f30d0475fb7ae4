#pragma once

#include "finicky_config.h"

#include <QJsonObject>

namespace FinickyConfig {

// What an import does with a configuration once the JavaScript engine has evaluated it (the `linkherd` tool's
// FinickyEvaluation::parse): the evaluated configuration (and the extras the extensions noted) mapped onto rules
// and notes. Separate so that the mapping can be checked on any object, not only on what JavaScript produced.
Result<Imported, ImportError> convert(const QJsonObject& extracted, const QJsonObject& extras);

} // namespace FinickyConfig
