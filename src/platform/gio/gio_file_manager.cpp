#include "gio_file_manager.h"

#include "base/logging.h"

#include <QFileInfo>
#include <QUrl>
#include <gio/gio.h>

#include <memory>

namespace {

struct Item final {
    QByteArray uri;
    QByteArray folderUri;
};

void openFolder(const Item& item)
{
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri(item.folderUri.constData(), nullptr, &error)) {
        qCWarning(lcApp, "Could not open the folder %s: %s", item.folderUri.constData(),
                  error ? error->message : "unknown error");
        g_clear_error(&error);
    }
}

void shown(GObject* connection, GAsyncResult* result, gpointer data)
{
    const std::unique_ptr<Item> item(static_cast<Item*>(data));
    GError* error = nullptr;
    if (GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, &error)) {
        g_variant_unref(reply);
        return;
    }
    qCInfo(lcApp, "No file manager showed the file (%s); opening its folder", error ? error->message : "unknown");
    g_clear_error(&error);
    openFolder(*item);
}

void call(GObject*, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<Item> item(static_cast<Item*>(data));
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_finish(result, &error);
    if (!bus) {
        g_clear_error(&error);
        openFolder(*item);
        return;
    }
    const char* const uris[] = {item->uri.constData(), nullptr};
    // The file manager may well not be running: the bus starts it, which is what the user asked for.
    g_dbus_connection_call(bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                           "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", uris, ""), nullptr,
                           G_DBUS_CALL_FLAGS_NONE, 10'000, nullptr, shown, item.release());
    g_object_unref(bus);
}

} // namespace

void GioFileManager::showItem(const QString& path)
{
    const QFileInfo file(path);
    auto* item = new Item{QUrl::fromLocalFile(file.absoluteFilePath()).toEncoded(),
                          QUrl::fromLocalFile(file.absolutePath()).toEncoded()};
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, call, item);
}
