#include "instance_bus.h"

#include <gio/gio.h>

using namespace Qt::StringLiterals;

namespace InstanceBus {

namespace {

// How long a second launch waits for the running instance to take its links.
constexpr int callTimeoutMs = 10'000;

QString takeError(GError* error)
{
    const QString message = error ? QString::fromUtf8(error->message) : u"unknown error"_s;
    g_clear_error(&error);
    return message;
}

bool hasOwner(GDBusConnection* bus)
{
    GVariant* reply =
        g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                    "NameHasOwner", g_variant_new("(s)", serviceName), G_VARIANT_TYPE("(b)"),
                                    G_DBUS_CALL_FLAGS_NO_AUTO_START, callTimeoutMs, nullptr, nullptr);
    if (!reply)
        return false;
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

} // namespace

Result<Outcome> forward(const QStringList& links, const QString& sourceApplication)
{
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return Outcome::noInstance;
    }
    if (!hasOwner(bus)) {
        g_object_unref(bus);
        return Outcome::noInstance;
    }

    GVariantBuilder platformData;
    g_variant_builder_init(&platformData, G_VARIANT_TYPE("a{sv}"));
    if (!sourceApplication.isEmpty())
        g_variant_builder_add(&platformData, "{sv}", sourceKey,
                              g_variant_new_string(sourceApplication.toUtf8().constData()));
    GVariant* parameters = nullptr;
    const char* method = "Activate";
    if (links.isEmpty()) {
        parameters = g_variant_new("(a{sv})", &platformData);
    } else {
        GVariantBuilder uris;
        g_variant_builder_init(&uris, G_VARIANT_TYPE("as"));
        for (const QString& link : links)
            g_variant_builder_add(&uris, "s", link.toUtf8().constData());
        parameters = g_variant_new("(asa{sv})", &uris, &platformData);
        method = "Open";
    }
    // No auto-start: if the instance has just gone, this process becomes the instance instead.
    GVariant* reply =
        g_dbus_connection_call_sync(bus, serviceName, objectPath, "org.freedesktop.Application", method, parameters,
                                    nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, callTimeoutMs, nullptr, &error);
    g_object_unref(bus);
    if (!reply)
        return Failure{takeError(error)};
    g_variant_unref(reply);
    return Outcome::forwarded;
}

} // namespace InstanceBus
