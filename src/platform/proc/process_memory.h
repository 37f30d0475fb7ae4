#pragma once

#include <QtGlobal>

// The memory this process holds in RAM (its resident set, from /proc/self/statm), in bytes; 0 when it cannot
// be read. Cheap enough to ask every few milliseconds: one small read of a virtual file.
qint64 residentMemoryBytes();
