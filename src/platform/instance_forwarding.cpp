#include "instance_forwarding.h"

#include <gio/gio.h>

namespace InstanceForwarding {

namespace {

// How long a second launch waits for the running instance to take its links.
constexpr int callTimeoutMs = 10'000;

bool meansNoOwner(const GError* error)
{
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
}

} // namespace

Answer forward(const std::vector<std::string>& links, const std::string& sourceApplication)
{
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return {Outcome::noInstance, {}};
    }

    GVariantBuilder platformData;
    g_variant_builder_init(&platformData, G_VARIANT_TYPE("a{sv}"));
    if (!sourceApplication.empty())
        g_variant_builder_add(&platformData, "{sv}", sourceKey, g_variant_new_string(sourceApplication.c_str()));
    GVariant* parameters = nullptr;
    const char* method = "Activate";
    if (links.empty()) {
        parameters = g_variant_new("(a{sv})", &platformData);
    } else {
        GVariantBuilder uris;
        g_variant_builder_init(&uris, G_VARIANT_TYPE("as"));
        for (const std::string& link : links)
            g_variant_builder_add(&uris, "s", link.c_str());
        parameters = g_variant_new("(asa{sv})", &uris, &platformData);
        method = "Open";
    }
    // Straight to the call, without asking first whether the name has an owner: the bus answers a call to a
    // name nobody owns with an error at once. No auto-start: when no instance runs, the caller becomes one.
    GVariant* reply =
        g_dbus_connection_call_sync(bus, serviceName, objectPath, "org.freedesktop.Application", method, parameters,
                                    nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, callTimeoutMs, nullptr, &error);
    g_object_unref(bus);
    if (reply) {
        g_variant_unref(reply);
        return {Outcome::forwarded, {}};
    }
    Answer answer{meansNoOwner(error) ? Outcome::noInstance : Outcome::failed,
                  error ? error->message : "unknown error"};
    g_clear_error(&error);
    return answer;
}

} // namespace InstanceForwarding
