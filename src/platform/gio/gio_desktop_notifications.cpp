#include "gio_desktop_notifications.h"

#include "app_info.h"
#include "base/logging.h"

#include <QHash>
#include <gio/gio.h>

namespace {

constexpr char serverName[] = "org.freedesktop.Notifications";
constexpr char serverPath[] = "/org/freedesktop/Notifications";
constexpr char serverInterface[] = "org.freedesktop.Notifications";

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

void logNotShown(const GError* error, const char* fallback)
{
    // Most often no notification server runs; the log has said what the notification would have.
    qCDebug(lcApp, "No notification was shown: %s", error ? error->message : fallback);
}

} // namespace

struct GioDesktopNotifications::State final : std::enable_shared_from_this<State> {
    struct Shown {
        ActionHandler handler;
        guint32 serverId = 0; // 0 until the server has answered
    };

    GDBusConnection* bus = nullptr; // set once the server's signals are listened to
    guint actionSubscription = 0;
    guint closedSubscription = 0;
    QHash<Id, Shown> shown;
    Id lastId = 0;

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State()
    {
        if (!bus)
            return;
        g_dbus_connection_signal_unsubscribe(bus, actionSubscription);
        g_dbus_connection_signal_unsubscribe(bus, closedSubscription);
        g_object_unref(bus);
    }

    Id idOfServerId(guint32 serverId) const
    {
        for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
            if (it->serverId == serverId)
                return it.key();
        }
        return 0;
    }

    void listen(GDBusConnection* connection);
    static void close(GDBusConnection* connection, guint32 serverId);
};

namespace {

using State = GioDesktopNotifications::State;

// One notification on its way to the server. Without a state it is told and forgotten.
struct Request final {
    std::weak_ptr<State> state;
    DesktopNotifications::Id id = 0;
    QByteArray summary;
    QByteArray body;
    QList<QByteArray> actions; // key, label, key, label, …
};

struct Answer final {
    std::weak_ptr<State> state;
    DesktopNotifications::Id id = 0;
};

void remembered(GObject* connection, GAsyncResult* result, gpointer data)
{
    const std::unique_ptr<Answer> answer(static_cast<Answer*>(data));
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, &error);
    if (!reply) {
        logNotShown(error, "unknown error");
        g_clear_error(&error);
        if (const std::shared_ptr<State> state = answer->state.lock())
            state->shown.remove(answer->id);
        return;
    }
    guint32 serverId = 0;
    g_variant_get(reply, "(u)", &serverId);
    g_variant_unref(reply);
    const std::shared_ptr<State> state = answer->state.lock();
    if (!state)
        return;
    const auto shown = state->shown.find(answer->id);
    if (shown == state->shown.end())
        State::close(G_DBUS_CONNECTION(connection), serverId); // withdrawn while on its way
    else
        shown->serverId = serverId;
}

void send(GObject*, GAsyncResult* result, gpointer data)
{
    const std::unique_ptr<Request> request(static_cast<Request*>(data));
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_finish(result, &error);
    const std::shared_ptr<State> state = request->state.lock();
    if (!bus) {
        logNotShown(error, "no session bus");
        g_clear_error(&error);
        if (state)
            state->shown.remove(request->id);
        return;
    }
    const bool tracked = request->id != 0;
    if (tracked && (!state || !state->shown.contains(request->id))) {
        g_object_unref(bus); // withdrawn, or its sender gone, before it was sent
        return;
    }
    if (tracked)
        state->listen(bus);

    GVariantBuilder actions;
    g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
    for (const QByteArray& text : std::as_const(request->actions))
        g_variant_builder_add(&actions, "s", text.constData());
    GVariantBuilder hints;
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string(AppInfo::ownDesktopID));
    GVariant* parameters = g_variant_new("(susssasa{sv}i)", "Linkherd", guint32(0), AppInfo::ownDesktopID,
                                         request->summary.constData(), request->body.constData(), &actions, &hints, -1);
    // A server that is not running is not started for this: the message is not worth a new process.
    g_dbus_connection_call(bus, serverName, serverPath, serverInterface, "Notify", parameters, G_VARIANT_TYPE("(u)"),
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, 10'000, nullptr, remembered,
                           new Answer{request->state, request->id});
    g_object_unref(bus);
}

// The server's signals, delivered on the main thread for as long as the state lives.
void serverSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal, GVariant* parameters,
                  gpointer data)
{
    const std::shared_ptr<State> state = static_cast<std::weak_ptr<State>*>(data)->lock();
    if (!state)
        return;
    guint32 serverId = 0;
    guint32 reason = 0;
    const gchar* key = "";
    const bool invoked = g_str_equal(signal, "ActionInvoked");
    if (invoked && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)")))
        g_variant_get(parameters, "(u&s)", &serverId, &key);
    else if (!invoked && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uu)")))
        g_variant_get(parameters, "(uu)", &serverId, &reason);
    const DesktopNotifications::Id id = serverId ? state->idOfServerId(serverId) : 0;
    if (id == 0)
        return; // another program's notification
    const DesktopNotifications::ActionHandler handler = state->shown.take(id).handler;
    if (invoked && handler)
        handler(QString::fromUtf8(key));
}

} // namespace

void GioDesktopNotifications::State::listen(GDBusConnection* connection)
{
    if (bus)
        return;
    bus = G_DBUS_CONNECTION(g_object_ref(connection));
    // Each subscription keeps a weak pointer of its own, freed by GDBus once no call of the handler can follow.
    const auto subscribe = [this](const char* signal) {
        return g_dbus_connection_signal_subscribe(
            bus, serverName, serverInterface, signal, serverPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, serverSignal,
            new std::weak_ptr<State>(weak_from_this()),
            [](gpointer data) { delete static_cast<std::weak_ptr<State>*>(data); });
    };
    actionSubscription = subscribe("ActionInvoked");
    closedSubscription = subscribe("NotificationClosed");
}

void GioDesktopNotifications::State::close(GDBusConnection* connection, guint32 serverId)
{
    g_dbus_connection_call(connection, serverName, serverPath, serverInterface, "CloseNotification",
                           g_variant_new("(u)", serverId), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, 10'000, nullptr,
                           nullptr, nullptr);
}

GioDesktopNotifications::GioDesktopNotifications() : m_state(std::make_shared<State>()) {}

GioDesktopNotifications::~GioDesktopNotifications() = default;

void GioDesktopNotifications::notify(const QString& summary, const QString& body)
{
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, send, new Request{{}, 0, summary.toUtf8(), markupEscaped(body), {}});
}

DesktopNotifications::Id GioDesktopNotifications::notifyWithActions(const QString& summary, const QString& body,
                                                                    const QList<Action>& actions, ActionHandler handler)
{
    const Id id = ++m_state->lastId;
    m_state->shown.insert(id, {std::move(handler), 0});
    QList<QByteArray> texts;
    for (const Action& action : actions)
        texts << action.key.toUtf8() << action.label.toUtf8();
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, send,
              new Request{m_state, id, summary.toUtf8(), markupEscaped(body), std::move(texts)});
    return id;
}

void GioDesktopNotifications::withdraw(Id id)
{
    const auto shown = m_state->shown.constFind(id);
    if (shown == m_state->shown.cend())
        return;
    // Not yet answered: the answer closes it.
    if (shown->serverId != 0 && m_state->bus)
        State::close(m_state->bus, shown->serverId);
    m_state->shown.erase(shown);
}
