#include "atomic_file.h"

#include <QSaveFile>

Result<void> writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failure{file.errorString()};
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return Failure{error};
    }
    if (!file.commit())
        return Failure{file.errorString()};
    return {};
}
