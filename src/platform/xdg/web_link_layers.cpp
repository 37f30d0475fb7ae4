#include "web_link_layers.h"

#include "config_files.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gio/gdesktopappinfo.h>

using namespace Qt::StringLiterals;

namespace WebLinkLayers {

namespace {

// xdg-settings asks the desktop's own tools, which may take a moment on a busy session.
constexpr int xdgSettingsTimeoutMs = 10'000;

Result<QString> runXdgSettings(const QStringList& arguments)
{
    QProcess process;
    process.start(u"xdg-settings"_s, arguments);
    if (!process.waitForStarted(xdgSettingsTimeoutMs))
        return Failure{u"xdg-settings could not be run (it comes with xdg-utils)"_s};
    if (!process.waitForFinished(xdgSettingsTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return Failure{u"xdg-settings did not answer"_s};
    }
    const QString out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString err = QString::fromUtf8(process.readAllStandardError()).trimmed();
        return Failure{err.isEmpty() ? u"xdg-settings failed"_s : err.section(u'\n', 0, 0)};
    }
    return out;
}

} // namespace

QStringList currentDesktops()
{
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(u':', Qt::SkipEmptyParts);
}

QList<MimeappsList> mimeappsLists()
{
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders.append(data + u"/applications"_s);
    QList<MimeappsList> lists;
    for (const QString& folder : std::as_const(folders)) {
        for (const QString& desktop : currentDesktops())
            lists.append({folder + u'/' + desktop + u"-mimeapps.list"_s, desktop});
        lists.append({folder + u"/mimeapps.list"_s, QString()});
    }
    return lists;
}

QString kdeglobalsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/kdeglobals"_s;
}

std::optional<QString> gioDefault(const QString& mimeType)
{
    GAppInfo* info = g_app_info_get_default_for_type(mimeType.toUtf8().constData(), FALSE);
    if (!info)
        return std::nullopt;
    const QString id = QString::fromUtf8(g_app_info_get_id(info));
    g_object_unref(info);
    return id;
}

bool isInstalled(const QString& desktopFileID)
{
    GDesktopAppInfo* info = g_desktop_app_info_new(desktopFileID.toUtf8().constData());
    if (!info)
        return false;
    g_object_unref(info);
    return true;
}

Result<QString> xdgSettingsDefaultBrowser()
{
    return runXdgSettings({u"get"_s, u"default-web-browser"_s});
}

Result<void> setXdgSettingsDefaultBrowser(const QString& desktopFileID)
{
    const Result<QString> run = runXdgSettings({u"set"_s, u"default-web-browser"_s, desktopFileID});
    if (!run)
        return Failure{run.error()};
    return {};
}

BusName sessionBusNameState(const QString& name)
{
    // Without an address GIO would fall back to autolaunching a bus: a question must not start one.
    const QString runtimeBus = qEnvironmentVariable("XDG_RUNTIME_DIR") + u"/bus"_s;
    if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") &&
        (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") || !QFileInfo::exists(runtimeBus)))
        return BusName::noBus;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return BusName::noBus;
    GVariant* reply =
        g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                    "NameHasOwner", g_variant_new("(s)", name.toUtf8().constData()),
                                    G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 5'000, nullptr, nullptr);
    g_object_unref(bus);
    if (!reply)
        return BusName::noBus;
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned ? BusName::owned : BusName::notOwned;
}

QString sessionServiceFile(const QString& name)
{
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, u"dbus-1/services/"_s + name + u".service"_s);
}

QStringList sessionServiceCommand(const QString& serviceFile)
{
    const Result<std::optional<QString>> exec = ConfigFiles::value(serviceFile, u"D-BUS Service"_s, u"Exec"_s);
    if (!exec || !exec.value())
        return {};
    char** argv = nullptr;
    if (!g_shell_parse_argv(exec.value()->toUtf8().constData(), nullptr, &argv, nullptr))
        return {};
    QStringList command;
    for (char** argument = argv; *argument; ++argument)
        command.append(QString::fromUtf8(*argument));
    g_strfreev(argv);
    return command;
}

} // namespace WebLinkLayers
