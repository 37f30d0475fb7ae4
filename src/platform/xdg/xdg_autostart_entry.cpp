#include "xdg_autostart_entry.h"

#include "app_info.h"
#include "base/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString XdgAutostartEntry::path()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/autostart/"_s +
           QString::fromLatin1(AppInfo::ownDesktopID) + u".desktop"_s;
}

AutostartEntry::Status XdgAutostartEntry::status()
{
    if (!QFileInfo::exists(path()))
        return Status::notRegistered;
    // A user (or a settings tool) may switch the entry off without removing it.
    const QSettings entry(path(), QSettings::IniFormat);
    const bool hidden = entry.value(u"Desktop Entry/Hidden"_s).toString() == u"true"_s;
    const bool disabled = entry.value(u"Desktop Entry/X-GNOME-Autostart-enabled"_s).toString() == u"false"_s;
    return hidden || disabled ? Status::notRegistered : Status::enabled;
}

Result<void> XdgAutostartEntry::enable()
{
    if (!QDir().mkpath(QFileInfo(path()).absolutePath()))
        return Failure{u"The folder %1 could not be created."_s.arg(QFileInfo(path()).absolutePath())};
    const QByteArray entry = "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Linkherd\n"
                             "Comment=Sends every link to the right browser\n"
                             "Exec=linkherd-app --background\n"
                             "Icon=" +
                             QByteArray(AppInfo::ownDesktopID) +
                             "\n"
                             "NoDisplay=true\n"
                             "X-GNOME-Autostart-enabled=true\n";
    return writeFileAtomically(path(), entry);
}

Result<void> XdgAutostartEntry::disable()
{
    QFile file(path());
    if (file.exists() && !file.remove())
        return Failure{file.errorString()};
    return {};
}
