#pragma once

#include "result.h"

#include <QString>

#include <chrono>

// An exclusive advisory lock (flock) on a lock file, held for as long as the object lives. The kernel drops it
// when the process ends, however it ends, so a writer killed mid-edit never leaves it taken. The lock file
// itself is never removed: removing it would let two writers lock two different files of the same name.
class FileLock final {
public:
    struct Error final {
        bool busy = false; // another process held it for the whole wait
        QString text;
    };

    // Creates the lock file when missing; waits at most `wait` for another holder to let go.
    static Result<FileLock, Error> acquire(const QString& lockPath, std::chrono::milliseconds wait);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

private:
    explicit FileLock(int descriptor) : m_descriptor(descriptor) {}

    int m_descriptor = -1;
};
