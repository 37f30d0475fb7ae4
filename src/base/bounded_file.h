#pragma once

#include "result.h"

#include <QByteArray>
#include <QString>

// Reading a whole file that somebody else controls. Only a regular file (or a link to one) is read, and only
// up to a size: a FIFO would block the reader until something writes to it, a device such as /dev/zero never
// ends, and a huge file would take the memory with it. The failure says which, without the path.
namespace BoundedFile {

inline constexpr qint64 rulesFileLimit = qint64(64) * 1024 * 1024;
inline constexpr qint64 finickyConfigLimit = qint64(16) * 1024 * 1024;

// The bytes come with at least readAheadRoom bytes of capacity past their end, so that a parser that reads in
// blocks (simdjson reads up to 64 bytes past the end) can take them as they are, without a padded copy.
inline constexpr qsizetype readAheadRoom = 64;

Result<QByteArray> read(const QString& path, qint64 maxBytes);

} // namespace BoundedFile
