#pragma once

#include "base/result.h"

#include <QString>

#include <optional>

// Reads and edits one key of a desktop configuration file (mimeapps.list, kdeglobals, a D-Bus service file) in
// place, line by line, so that everything else in the file (comments, other groups, KDE's [$e] keys) stays
// exactly as it was.
namespace ConfigFiles {

// The value of group/key as the file has it (the last one, where a key is repeated), trimmed; nothing when the
// file or the key is missing. Fails when the file exists but cannot be read whole.
Result<std::optional<QString>> value(const QString& path, const QString& group, const QString& key);

// Sets group/key to value, adding the key, the group or the file when missing.
Result<void> setValue(const QString& path, const QString& group, const QString& key, const QString& value);
// Sets group/key to value only where the file already has that key.
Result<void> replaceValue(const QString& path, const QString& group, const QString& key, const QString& value);
// Removes every line of group/key; a file without it is left untouched.
Result<void> removeValue(const QString& path, const QString& group, const QString& key);

} // namespace ConfigFiles
