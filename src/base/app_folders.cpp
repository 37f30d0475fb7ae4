#include "app_folders.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace AppFolders {

namespace {

QString userConfig()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

} // namespace

QString config()
{
    return userConfig() + u"/linkherd"_s;
}

QString configFile(QStringView name)
{
    return config() + u'/' + name;
}

Result<QString> ensureConfig()
{
    if (userConfig().isEmpty())
        return Failure{u"There is no configuration folder (neither XDG_CONFIG_HOME nor HOME is set)."_s};
    const QString directory = config();
    if (!QDir().mkpath(directory))
        return Failure{u"The folder %1 could not be created."_s.arg(directory)};
    return directory;
}

} // namespace AppFolders
