#include "resident_channel.h"

#include "base/logging.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

ResidentChannel* ResidentChannel::overStandardStreams(QObject* parent)
{
    const int input = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    const int output = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC); null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::close(null);
    }
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    return new ResidentChannel(input, output, parent);
}

ResidentChannel::ResidentChannel(int input, int output, QObject* parent)
    : QObject(parent),
      m_input(input),
      m_output(output)
{
    if (m_input < 0 || m_output < 0) {
        qCCritical(lcApp, "The windows have no line to the resident");
        QMetaObject::invokeMethod(this, &ResidentChannel::closed, Qt::QueuedConnection);
        return;
    }
    ::fcntl(m_input, F_SETFL, ::fcntl(m_input, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(m_input, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ResidentChannel::readAvailable);
}

ResidentChannel::~ResidentChannel()
{
    if (m_input >= 0)
        ::close(m_input);
    if (m_output >= 0)
        ::close(m_output);
}

void ResidentChannel::send(const QString& kind, const QJsonObject& fields)
{
    if (m_output < 0)
        return;
    const QByteArray line = WindowMessages::encode(kind, fields);
    // Short lines to a reader that reads whenever it can: a write that must wait does so briefly.
    for (qsizetype written = 0; written < line.size();) {
        const ssize_t count = ::write(m_output, line.constData() + written, static_cast<size_t>(line.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            qCWarning(lcApp, "The resident is gone: %s", std::strerror(errno));
            ::close(std::exchange(m_output, -1));
            return;
        }
        written += count;
    }
}

void ResidentChannel::readAvailable()
{
    char buffer[65536];
    while (true) {
        const ssize_t count = ::read(m_input, buffer, sizeof buffer);
        if (count > 0) {
            m_reader.append(QByteArray(buffer, count));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // The end: the resident let go of this process, or ended.
        m_notifier->setEnabled(false);
        while (std::optional<WindowMessages::Message> message = m_reader.next()) {
            ++m_received;
            Q_EMIT messageReceived(*message);
        }
        Q_EMIT closed();
        return;
    }
    while (std::optional<WindowMessages::Message> message = m_reader.next()) {
        ++m_received;
        Q_EMIT messageReceived(*message);
    }
}
