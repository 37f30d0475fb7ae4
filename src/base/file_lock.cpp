#include "file_lock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

Result<FileLock, FileLock::Error> FileLock::acquire(const QString& lockPath, std::chrono::milliseconds wait)
{
    const int descriptor = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return Error{false, lockPath + u": "_s + QString::fromLocal8Bit(std::strerror(errno))};
    FileLock lock(descriptor);
    // Holders keep it for one read and one write of a small file; polling keeps the wait bounded, which a
    // blocking flock cannot be.
    const QDeadlineTimer deadline(wait);
    unsigned long pause = 1;
    for (;;) {
        if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0)
            return lock;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return Error{false, lockPath + u": "_s + QString::fromLocal8Bit(std::strerror(errno))};
        if (deadline.hasExpired())
            return Error{true, lockPath + u" is held by another program"_s};
        QThread::msleep(std::min(pause, static_cast<unsigned long>(std::max<qint64>(deadline.remainingTime(), 0))));
        pause = std::min<unsigned long>(pause * 2, 20);
    }
}

FileLock::FileLock(FileLock&& other) noexcept : m_descriptor(std::exchange(other.m_descriptor, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept
{
    std::swap(m_descriptor, other.m_descriptor);
    return *this;
}

FileLock::~FileLock()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor); // closing the only descriptor of the open file releases the lock
}
