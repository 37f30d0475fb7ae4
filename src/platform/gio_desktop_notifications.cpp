#include "gio_desktop_notifications.h"

#include "app_info.h"
#include "base/logging.h"

#include <gio/gio.h>

#include <memory>

namespace {

// Servers may read the body as simple markup; only what markup would take for its own is escaped, so that
// servers that show it as it is show almost nothing odd.
QByteArray markupEscaped(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"));
    return escaped.toUtf8();
}

struct Notification final {
    QByteArray summary;
    QByteArray body;
};

void reportOutcome(GObject* connection, GAsyncResult* result, gpointer)
{
    GError* error = nullptr;
    if (GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, &error)) {
        g_variant_unref(reply);
        return;
    }
    // Most often no notification server runs; the log has said what the notification would have.
    qCDebug(lcApp, "No notification was shown: %s", error ? error->message : "unknown error");
    g_clear_error(&error);
}

void send(GObject*, GAsyncResult* result, gpointer data)
{
    const std::unique_ptr<Notification> notification(static_cast<Notification*>(data));
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_finish(result, &error);
    if (!bus) {
        qCDebug(lcApp, "No notification was shown: %s", error ? error->message : "no session bus");
        g_clear_error(&error);
        return;
    }
    GVariantBuilder hints;
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string(AppInfo::ownBundleID));
    const char* const noActions[] = {nullptr};
    GVariant* parameters =
        g_variant_new("(susss^asa{sv}i)", "Linkherd", guint32(0), AppInfo::ownBundleID,
                      notification->summary.constData(), notification->body.constData(), noActions, &hints, -1);
    // A server that is not running is not started for this: the message is not worth a new process.
    g_dbus_connection_call(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                           "org.freedesktop.Notifications", "Notify", parameters, G_VARIANT_TYPE("(u)"),
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, 10'000, nullptr, reportOutcome, nullptr);
    g_object_unref(bus);
}

} // namespace

void GioDesktopNotifications::notify(const QString& summary, const QString& body)
{
    auto* notification = new Notification{summary.toUtf8(), markupEscaped(body)};
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, send, notification);
}
