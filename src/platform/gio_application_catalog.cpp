#include "gio_application_catalog.h"

#include "gio_desktop_entry.h"

#include <gio/gdesktopappinfo.h>

QList<DesktopEntry> GioApplicationCatalog::webBrowsers()
{
    QList<DesktopEntry> entries;
    GList* all = g_app_info_get_all_for_type("x-scheme-handler/https");
    for (GList* item = all; item; item = item->next) {
        auto* info = G_IS_DESKTOP_APP_INFO(item->data) ? G_DESKTOP_APP_INFO(item->data) : nullptr;
        // A null desktop name asks about the current desktop, from XDG_CURRENT_DESKTOP.
        if (info && g_desktop_app_info_get_show_in(info, nullptr))
            entries.append(desktopEntryOf(info));
    }
    g_list_free_full(all, g_object_unref);
    return entries;
}

std::optional<DesktopEntry> GioApplicationCatalog::defaultWebBrowser()
{
    GAppInfo* info = g_app_info_get_default_for_uri_scheme("https");
    if (!info)
        return std::nullopt;
    std::optional<DesktopEntry> entry;
    if (G_IS_DESKTOP_APP_INFO(info))
        entry = desktopEntryOf(G_DESKTOP_APP_INFO(info));
    g_object_unref(info);
    return entry;
}

std::optional<DesktopEntry> GioApplicationCatalog::application(const QString& id)
{
    if (id.isEmpty())
        return std::nullopt;
    GDesktopAppInfo* info = g_desktop_app_info_new((id + u".desktop").toUtf8().constData());
    if (!info)
        return std::nullopt;
    DesktopEntry entry = desktopEntryOf(info);
    g_object_unref(info);
    return entry;
}
