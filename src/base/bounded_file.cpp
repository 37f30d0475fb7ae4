#include "bounded_file.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString sizeText(qint64 bytes)
{
    constexpr qint64 mebibyte = 1024 * 1024;
    return bytes % mebibyte == 0 ? QString::number(bytes / mebibyte) + u" MiB"_s : QString::number(bytes) + u" bytes"_s;
}

Failure tooLarge(qint64 maxBytes)
{
    return Failure{u"Larger than %1"_s.arg(sizeText(maxBytes))};
}

class Descriptor final {
public:
    explicit Descriptor(int descriptor) : m_descriptor(descriptor) {}
    ~Descriptor()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

} // namespace

namespace BoundedFile {

Result<QByteArray> read(const QString& path, qint64 maxBytes)
{
    const QByteArray name = QFile::encodeName(path);
    // Devices are not even opened (opening some of them does something); what is opened is checked again, so
    // nothing can be swapped in between. Opening without blocking keeps a FIFO from waiting for a writer.
    struct stat status {};
    if (::stat(name.constData(), &status) != 0)
        return Failure{systemError(errno)};
    if (!S_ISREG(status.st_mode))
        return Failure{u"Not a regular file"_s};
    const Descriptor file(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0)
        return Failure{systemError(errno)};
    if (::fstat(file.get(), &status) != 0)
        return Failure{systemError(errno)};
    if (!S_ISREG(status.st_mode))
        return Failure{u"Not a regular file"_s};
    if (status.st_size > maxBytes)
        return tooLarge(maxBytes);

    // One byte more than the file's size, so that the end shows without growing the buffer; the file may grow
    // while it is read, and one byte more than the limit is enough to tell.
    QByteArray bytes(qsizetype(std::min<qint64>(status.st_size, maxBytes) + 1), Qt::Uninitialized);
    bytes.reserve(bytes.size() + readAheadRoom);
    qint64 length = 0;
    for (;;) {
        if (length == bytes.size()) {
            if (length > maxBytes)
                return tooLarge(maxBytes);
            bytes.resize(qsizetype(std::min(maxBytes + 1, std::max<qint64>(length * 2, 4096))));
            bytes.reserve(bytes.size() + readAheadRoom);
        }
        const ssize_t got = ::read(file.get(), bytes.data() + length, size_t(bytes.size() - length));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Failure{systemError(errno)};
        if (got == 0)
            break;
        length += got;
    }
    if (length > maxBytes)
        return tooLarge(maxBytes);
    bytes.truncate(qsizetype(length));
    return bytes;
}

} // namespace BoundedFile
