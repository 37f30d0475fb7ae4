#include "gio_application_launcher.h"

#include "application_scope.h"
#include "base/logging.h"
#include "platform/posix/child_process.h"
#include "platform/xdg/desktop_exec.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <gio/gdesktopappinfo.h>

#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Names the launcher on the cancellable of its connection request.
constexpr char launcherKey[] = "linkherd-launcher";

void finishLaunch(GObject* source, GAsyncResult* result, gpointer data)
{
    auto* completion = static_cast<ApplicationLauncher::Completion*>(data);
    GError* error = nullptr;
    std::optional<QString> message;
    if (!g_app_info_launch_uris_finish(G_APP_INFO(source), result, &error)) {
        message = error ? QString::fromUtf8(error->message) : u"The application could not be started."_s;
        g_clear_error(&error);
    }
    (*completion)(message);
    delete completion;
    g_object_unref(source);
}

void finishOpenCall(GObject* source, GAsyncResult* result, gpointer data)
{
    auto* completion = static_cast<ApplicationLauncher::Completion*>(data);
    GError* error = nullptr;
    std::optional<QString> message;
    if (GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error)) {
        g_variant_unref(reply);
    } else {
        message = error ? QString::fromUtf8(error->message) : u"The application could not be started."_s;
        g_clear_error(&error);
    }
    (*completion)(message);
    delete completion;
}

// org.freedesktop.Application's object path for an application ID, as the desktop entry standard derives it.
QByteArray objectPathOf(const QByteArray& applicationID)
{
    QByteArray path = '/' + applicationID;
    path.replace('.', '/').replace('-', '_');
    return path;
}

void reap(GPid child)
{
    g_child_watch_add(
        child, [](GPid pid, gint, gpointer) { g_spawn_close_pid(pid); }, nullptr);
}

// What identifies a started application to systemd: its desktop entry's ID and name.
struct StartedEntry {
    GDBusConnection* bus;
    QString id;
    QString name;
};

void startedAsManager(GDesktopAppInfo*, GPid pid, gpointer data)
{
    const auto* entry = static_cast<const StartedEntry*>(data);
    reap(pid);
    moveIntoApplicationScope(entry->bus, entry->id, entry->name, pid);
}

// The environment of a started application: this process's, without the variables of Linkherd's own launch,
// with the activation of this one.
QProcessEnvironment childProcessEnvironment(const LaunchActivation& activation)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* const* variable = launchVariables(); *variable; ++variable)
        environment.remove(QString::fromLatin1(*variable));
    if (!activation.token.isEmpty())
        environment.insert(u"XDG_ACTIVATION_TOKEN"_s, activation.token);
    if (!activation.startupID.isEmpty())
        environment.insert(u"DESKTOP_STARTUP_ID"_s, activation.startupID);
    return environment;
}

bool isLaunchVariable(const char* entry)
{
    for (const char* const* variable = launchVariables(); *variable; ++variable) {
        const std::size_t length = std::strlen(*variable);
        if (std::strncmp(entry, *variable, length) == 0 && entry[length] == '=')
            return true;
    }
    return false;
}

// The same, as spawnChild takes it, straight from this process's environment: the detour through
// QProcessEnvironment and back to bytes cost the link some 50 microseconds.
QByteArrayList childEnvironment(const LaunchActivation& activation)
{
    QByteArrayList variables;
    for (char** entry = environ; *entry; ++entry) {
        if (!isLaunchVariable(*entry))
            variables.append(QByteArray(*entry));
    }
    if (!activation.token.isEmpty())
        variables.append("XDG_ACTIVATION_TOKEN=" + activation.token.toLocal8Bit());
    if (!activation.startupID.isEmpty())
        variables.append("DESKTOP_STARTUP_ID=" + activation.startupID.toLocal8Bit());
    return variables;
}

QString stringOf(GDesktopAppInfo* info, const char* key)
{
    char* value = g_desktop_app_info_get_string(info, key);
    const QString text = QString::fromUtf8(value);
    g_free(value);
    return text;
}

} // namespace

const char* const* launchVariables()
{
    static const char* const variables[] = {"GIO_LAUNCHED_DESKTOP_FILE", "GIO_LAUNCHED_DESKTOP_FILE_PID",
                                            "DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN", nullptr};
    return variables;
}

// GDBus connects and authenticates on its own thread while the resident starts up, instead of the start (or the
// first launch, which needs the connection too) waiting for it.
GioApplicationLauncher::GioApplicationLauncher() : m_connecting(g_cancellable_new())
{
    g_object_set_data(G_OBJECT(m_connecting), launcherKey, this);
    g_bus_get(G_BUS_TYPE_SESSION, G_CANCELLABLE(m_connecting), &GioApplicationLauncher::connected,
              g_object_ref(m_connecting));
}

GioApplicationLauncher::~GioApplicationLauncher()
{
    // The answer may still come; it then finds no launcher to give the connection to.
    g_object_set_data(G_OBJECT(m_connecting), launcherKey, nullptr);
    g_cancellable_cancel(G_CANCELLABLE(m_connecting));
    g_object_unref(m_connecting);
    if (m_sessionBus)
        g_object_unref(m_sessionBus);
}

void GioApplicationLauncher::connected(GObject*, GAsyncResult* result, gpointer data)
{
    auto* connecting = static_cast<GObject*>(data);
    auto* launcher = static_cast<GioApplicationLauncher*>(g_object_get_data(connecting, launcherKey));
    g_object_unref(connecting);
    GDBusConnection* bus = g_bus_get_finish(result, nullptr);
    if (!bus)
        return;                              // no session bus, or the launcher is gone
    if (!launcher || launcher->m_sessionBus) // gone, or a launch came first and took the connection
        g_object_unref(bus);
    else
        launcher->m_sessionBus = bus;
}

void GioApplicationLauncher::openLinks(const QString& applicationPath, const QStringList& links,
                                       const LaunchActivation& activation, Completion completion)
{
    GDesktopAppInfo* info = m_entries.entry(applicationPath);
    if (!info) {
        const QString error = u"The application %1 could not be found."_s.arg(applicationPath);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [completion, error] { completion(error); }, Qt::QueuedConnection);
        return;
    }
    if (!m_sessionBus)
        m_sessionBus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!activation.isEmpty())
        qCDebug(lcLauncher, "handing %s the activation token \"%s\" and startup ID \"%s\"",
                qUtf8Printable(applicationPath), qUtf8Printable(activation.token),
                qUtf8Printable(activation.startupID));
    GAppLaunchContext* context = g_app_launch_context_new();
    for (const char* const* variable = launchVariables(); *variable; ++variable)
        g_app_launch_context_unsetenv(context, *variable);
    if (!activation.token.isEmpty())
        g_app_launch_context_setenv(context, "XDG_ACTIVATION_TOKEN", activation.token.toUtf8().constData());
    if (!activation.startupID.isEmpty())
        g_app_launch_context_setenv(context, "DESKTOP_STARTUP_ID", activation.startupID.toUtf8().constData());
    QList<QByteArray> encoded;
    encoded.reserve(links.size());
    GList* uris = nullptr;
    for (const QString& link : links) {
        encoded.append(link.toUtf8());
        uris = g_list_append(uris, const_cast<char*>(encoded.back().constData()));
    }
    const QByteArray applicationID = QFileInfo(applicationPath).completeBaseName().toUtf8();
    const bool dbusActivatable = g_desktop_app_info_get_boolean(info, G_KEY_FILE_DESKTOP_KEY_DBUS_ACTIVATABLE);
    if (dbusActivatable && !activation.isEmpty() && m_sessionBus && g_dbus_is_name(applicationID.constData())) {
        // GIO puts a token into the Open call's platform_data only for an entry with StartupNotify=true, and then
        // one and the same for both keys (what the launch context makes up); the call is made here instead, with
        // the two the desktop handed over.
        GVariantBuilder files;
        g_variant_builder_init(&files, G_VARIANT_TYPE_STRING_ARRAY);
        for (const QByteArray& link : std::as_const(encoded))
            g_variant_builder_add(&files, "s", link.constData());
        GVariantBuilder platformData;
        g_variant_builder_init(&platformData, G_VARIANT_TYPE_VARDICT);
        if (!activation.token.isEmpty())
            g_variant_builder_add(&platformData, "{sv}", "activation-token",
                                  g_variant_new_string(activation.token.toUtf8().constData()));
        if (!activation.startupID.isEmpty())
            g_variant_builder_add(&platformData, "{sv}", "desktop-startup-id",
                                  g_variant_new_string(activation.startupID.toUtf8().constData()));
        g_dbus_connection_call(G_DBUS_CONNECTION(m_sessionBus), applicationID.constData(),
                               objectPathOf(applicationID).constData(), "org.freedesktop.Application", "Open",
                               g_variant_new("(asa{sv})", &files, &platformData), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
                               nullptr, finishOpenCall, new Completion(std::move(completion)));
        g_object_unref(info);
    } else if (dbusActivatable) {
        // GIO calls back in the main context, which Qt's event loop runs on the main thread. It reads the list
        // before returning.
        g_app_info_launch_uris_async(G_APP_INFO(info), uris, context, nullptr, finishLaunch,
                                     new Completion(std::move(completion)));
    } else if (g_desktop_app_info_get_boolean(info, G_KEY_FILE_DESKTOP_KEY_TERMINAL)) {
        // GIO knows the terminals to run it in. Started as our child (no double fork) and reaped by a child watch.
        GError* error = nullptr;
        std::optional<QString> message;
        StartedEntry entry{static_cast<GDBusConnection*>(m_sessionBus), QString::fromUtf8(applicationID),
                           QString::fromUtf8(g_app_info_get_name(G_APP_INFO(info)))};
        if (!g_desktop_app_info_launch_uris_as_manager(
                info, uris, context, static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
                nullptr, startedAsManager, &entry, &error)) {
            message = error ? QString::fromUtf8(error->message) : u"The application could not be started."_s;
            g_clear_error(&error);
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [completion = std::move(completion), message] { completion(message); },
            Qt::QueuedConnection);
        g_object_unref(info);
    } else {
        // The entry's own command line, spawned directly: GIO would fork the resident (about 1 ms for a process of
        // this size) and exec gio-launch-desktop before the browser (another exec).
        const DesktopExec exec{QString::fromUtf8(g_app_info_get_commandline(G_APP_INFO(info))),
                               QString::fromUtf8(g_app_info_get_name(G_APP_INFO(info))),
                               stringOf(info, G_KEY_FILE_DESKTOP_KEY_ICON), applicationPath};
        const QString workingDirectory = stringOf(info, G_KEY_FILE_DESKTOP_KEY_PATH);
        std::optional<QString> message;
        if (const Result<QList<QStringList>> starts = expandExec(exec, links); !starts) {
            message = starts.error();
        } else {
            const QByteArrayList environment = childEnvironment(activation);
            for (const QStringList& argv : *starts) {
                const Result<pid_t> child = spawnChild(argv, environment, workingDirectory);
                if (!child) {
                    message = child.error();
                    break;
                }
                reap(*child);
                qCDebug(lcLauncher, "started %s, process %d", applicationID.constData(), static_cast<int>(*child));
                moveIntoApplicationScope(static_cast<GDBusConnection*>(m_sessionBus), QString::fromUtf8(applicationID),
                                         exec.name, *child);
            }
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [completion = std::move(completion), message] { completion(message); },
            Qt::QueuedConnection);
        g_object_unref(info);
    }
    g_list_free(uris);
    g_object_unref(context);
}

Result<void> GioApplicationLauncher::spawnDetached(const QStringList& argv, const LaunchActivation& activation)
{
    if (argv.isEmpty())
        return Failure{u"There is no program to start."_s};
    QProcess process;
    process.setProgram(argv.front());
    process.setArguments(argv.mid(1));
    process.setProcessEnvironment(childProcessEnvironment(activation));
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return Failure{process.errorString()};
    return {};
}
