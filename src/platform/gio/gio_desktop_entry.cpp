#include "gio_desktop_entry.h"

using namespace Qt::StringLiterals;

namespace {

// g_free()s what GLib hands over.
QString takeString(gchar* text)
{
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

// Exec follows the desktop entry quoting rules, which GLib's shell-style parser reads.
QStringList splitExec(const QString& exec)
{
    gchar** argv = nullptr;
    if (exec.isEmpty() || !g_shell_parse_argv(exec.toUtf8().constData(), nullptr, &argv, nullptr))
        return {};
    QStringList arguments;
    for (gchar** argument = argv; *argument; ++argument)
        arguments.append(QString::fromUtf8(*argument));
    g_strfreev(argv);
    return arguments;
}

} // namespace

DesktopEntry desktopEntryOf(GDesktopAppInfo* info)
{
    DesktopEntry entry;
    entry.id = QString::fromUtf8(g_app_info_get_id(G_APP_INFO(info)));
    if (entry.id.endsWith(u".desktop"_s))
        entry.id.chop(8);
    entry.name = QString::fromUtf8(g_app_info_get_name(G_APP_INFO(info)));
    entry.filePath = QString::fromUtf8(g_desktop_app_info_get_filename(info));
    entry.icon = takeString(g_desktop_app_info_get_string(info, "Icon"));
    entry.exec = splitExec(takeString(g_desktop_app_info_get_string(info, "Exec")));
    entry.flatpakID = takeString(g_desktop_app_info_get_string(info, "X-Flatpak"));
    entry.startupWMClass = QString::fromUtf8(g_desktop_app_info_get_startup_wm_class(info));
    return entry;
}

void addWindowActions(GDesktopAppInfo* info, DesktopEntry& entry)
{
    // GIO lists the actions from what it has read; only an entry that has one of these is read again.
    const gchar* const* actions = g_desktop_app_info_list_actions(info);
    const bool wanted =
        actions && (g_strv_contains(actions, "new-window") || g_strv_contains(actions, "new-private-window"));
    const char* fileName = g_desktop_app_info_get_filename(info);
    if (!wanted || !fileName)
        return;
    GKeyFile* file = g_key_file_new();
    if (g_key_file_load_from_file(file, fileName, G_KEY_FILE_NONE, nullptr)) {
        entry.newWindowExec =
            splitExec(takeString(g_key_file_get_string(file, "Desktop Action new-window", "Exec", nullptr)));
        entry.privateWindowExec =
            splitExec(takeString(g_key_file_get_string(file, "Desktop Action new-private-window", "Exec", nullptr)));
    }
    g_key_file_free(file);
}
