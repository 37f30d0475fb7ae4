#include "snap_applications.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace SnapApplications {

QString dataDirectory()
{
    const QString overridden = qEnvironmentVariable("LINKHERD_SNAP_DESKTOP_DIR");
    return overridden.isEmpty() ? u"/var/lib/snapd/desktop"_s : overridden;
}

QByteArray dataDirectoriesWith(const QByteArray& dataDirectories, const QString& directory)
{
    const QByteArray listed = dataDirectories.isEmpty() ? QByteArray("/usr/local/share:/usr/share") : dataDirectories;
    const QString wanted = QDir::cleanPath(directory);
    for (const QByteArray& entry : listed.split(':')) {
        if (!entry.isEmpty() && QDir::cleanPath(QFile::decodeName(entry)) == wanted)
            return {};
    }
    return listed + ':' + QFile::encodeName(directory);
}

void addToDataDirectories()
{
    const QString directory = dataDirectory();
    if (!QFileInfo(directory + u"/applications"_s).isDir())
        return;
    const QByteArray value = dataDirectoriesWith(qgetenv("XDG_DATA_DIRS"), directory);
    if (!value.isEmpty())
        qputenv("XDG_DATA_DIRS", value);
}

} // namespace SnapApplications
