#include "rules_file.h"

#include "rules_codec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace RulesFile {

namespace {

QString configDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

} // namespace

QString defaultPath()
{
    return configDirectory() + u"/linkherd/rules.json"_s;
}

Result<QString> ensureDefaultDirectory()
{
    if (configDirectory().isEmpty())
        return Failure{u"There is no configuration folder (neither XDG_CONFIG_HOME nor HOME is set)."_s};
    const QString directory = QFileInfo(defaultPath()).absolutePath();
    if (!QDir().mkpath(directory))
        return Failure{u"The folder %1 could not be created."_s.arg(directory)};
    return directory;
}

Contents read(const QString& path)
{
    Contents contents;
    QFile file(path);
    if (!file.exists())
        return contents;
    if (!file.open(QIODevice::ReadOnly)) {
        contents.status = Contents::Status::unreadable;
        contents.error = file.errorString();
        return contents;
    }
    contents.bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        contents.status = Contents::Status::unreadable;
        contents.error = file.errorString();
        return contents;
    }
    Result<RulesDocument> decoded = RulesCodec::decode(contents.bytes);
    if (!decoded) {
        contents.status = Contents::Status::unreadable;
        contents.error = decoded.error();
        return contents;
    }
    contents.status = Contents::Status::decoded;
    contents.document = std::move(decoded).value();
    return contents;
}

Result<QString> keepUnreadableCopy(const QString& path)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd'T'HHmmss'Z'"_s);
    QString copy = path + u".unreadable-"_s + stamp;
    for (int attempt = 2; QFileInfo::exists(copy); ++attempt)
        copy = path + u".unreadable-"_s + stamp + u'-' + QString::number(attempt);
    QFile original(path);
    if (!original.copy(copy))
        return Failure{original.errorString()};
    return copy;
}

} // namespace RulesFile
