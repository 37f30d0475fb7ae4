#pragma once

#include "base/result.h"

#include <QString>

// Edits one key of a desktop configuration file (mimeapps.list, kdeglobals) in place, line by line, so
// that everything else in the file (comments, other groups, KDE's [$e] keys) stays exactly as it was.
namespace ConfigFiles {

// Sets group/key to value, adding the key, the group or the file when missing.
Result<void> setValue(const QString& path, const QString& group, const QString& key, const QString& value);
// Sets group/key to value only where the file already has that key.
Result<void> replaceValue(const QString& path, const QString& group, const QString& key, const QString& value);

} // namespace ConfigFiles
