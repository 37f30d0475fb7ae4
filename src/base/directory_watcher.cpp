#include "directory_watcher.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

DirectoryWatcher::DirectoryWatcher(QObject* parent) : QObject(parent) {}

DirectoryWatcher::~DirectoryWatcher()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

Result<void> DirectoryWatcher::watch(const QString& directory)
{
    if (m_descriptor >= 0)
        return Failure{u"already watching"_s};
    const int descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor < 0)
        return Failure{QString::fromLocal8Bit(std::strerror(errno))};
    constexpr uint32_t events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ONLYDIR;
    if (inotify_add_watch(descriptor, QFile::encodeName(directory).constData(), events) < 0) {
        const QString error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(descriptor);
        return Failure{error};
    }
    m_descriptor = descriptor;
    m_notifier = new QSocketNotifier(static_cast<qintptr>(descriptor), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DirectoryWatcher::readEvents);
    return {};
}

void DirectoryWatcher::readEvents()
{
    QStringList names;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t length = ::read(m_descriptor, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            if (event.mask & IN_Q_OVERFLOW)
                names.append(QString());
            else if (event.len > 0)
                names.append(QFile::decodeName(buffer + offset + sizeof event));
            offset += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
    if (!names.isEmpty())
        Q_EMIT entriesChanged(names);
}
