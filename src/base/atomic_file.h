#pragma once

#include "result.h"

#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes: written to a temporary file next to it, then renamed over it, so that no
// reader (another program, a file watcher) ever sees half a file.
Result<void> writeFileAtomically(const QString& path, const QByteArray& bytes);
