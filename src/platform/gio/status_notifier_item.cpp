#include "status_notifier_item.h"

#include "base/logging.h"
#include "dbus_menu.h"

#include <QCoreApplication>
#include <gio/gio.h>

#include <atomic>
#include <utility>

namespace {

constexpr char watcherName[] = "org.kde.StatusNotifierWatcher";
constexpr char watcherPath[] = "/StatusNotifierWatcher";
constexpr char itemPath[] = "/StatusNotifierItem";
constexpr char itemInterface[] = "org.kde.StatusNotifierItem";
constexpr char menuPath[] = "/MenuBar";

// The panels read the interface from here, and GDBus checks every call's arguments against it.
constexpr char introspection[] = R"xml(<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconThemePath" type="s" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionMovieName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="ContextMenu"><arg name="x" type="i"/><arg name="y" type="i"/></method>
    <method name="Activate"><arg name="x" type="i"/><arg name="y" type="i"/></method>
    <method name="SecondaryActivate"><arg name="x" type="i"/><arg name="y" type="i"/></method>
    <method name="Scroll"><arg name="delta" type="i"/><arg name="orientation" type="s"/></method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewAttentionIcon"/>
    <signal name="NewOverlayIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus"><arg name="status" type="s"/></signal>
  </interface>
</node>)xml";

// No pixmaps: the icon is found by name, in the panel's theme or under IconThemePath.
GVariant* noPixmaps()
{
    return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
}

int nextInstance()
{
    static std::atomic<int> instances{0};
    return ++instances;
}

} // namespace

struct StatusNotifierItem::State final : std::enable_shared_from_this<State> {
    explicit State(std::function<void()> menuAboutToShow) : menu(std::move(menuAboutToShow)) {}
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State()
    {
        if (!bus)
            return;
        if (nameOwnership)
            g_bus_unown_name(nameOwnership);
        if (watcherWatch) // none when the objects could not be exported
            g_bus_unwatch_name(watcherWatch);
        if (registration)
            g_dbus_connection_unregister_object(bus, registration);
        g_dbus_node_info_unref(interfaces);
        g_object_unref(bus);
    }

    void connected(GDBusConnection* connection);
    void ownName();
    void registerWithWatcher();
    GVariant* property(const gchar* name) const;

    Appearance appearance;
    DBusMenu menu;
    QByteArray busName;
    bool visible = true;

    GDBusConnection* bus = nullptr;
    GDBusNodeInfo* interfaces = nullptr;
    guint registration = 0;
    guint nameOwnership = 0;
    guint watcherWatch = 0;
    bool ownsName = false;
    bool watcherPresent = false;
};

namespace {

using State = StatusNotifierItem::State;
using WeakState = std::weak_ptr<State>;

gpointer weakState(State& state)
{
    return new WeakState(state.weak_from_this());
}

void freeWeakState(gpointer data)
{
    delete static_cast<WeakState*>(data);
}

std::shared_ptr<State> lockState(gpointer data)
{
    return static_cast<WeakState*>(data)->lock();
}

void itemCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
              GDBusMethodInvocation* invocation, gpointer)
{
    // The item is only a menu (ItemIsMenu): the panel opens it on any click, and asks nothing else of the item.
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* itemGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property, GError** error,
                  gpointer data)
{
    const std::shared_ptr<State> state = lockState(data);
    GVariant* value = state ? state->property(property) : nullptr;
    if (!value)
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s", property);
    return value;
}

const GDBusInterfaceVTable itemVTable = {itemCall, itemGet, nullptr, {}};

void busReady(GObject*, GAsyncResult* result, gpointer data)
{
    const std::unique_ptr<WeakState> weak(static_cast<WeakState*>(data));
    GError* error = nullptr;
    GDBusConnection* connection = g_bus_get_finish(result, &error);
    if (!connection) {
        qCDebug(lcApp, "No tray icon: %s", error ? error->message : "no session bus");
        g_clear_error(&error);
        return;
    }
    if (const std::shared_ptr<State> state = weak->lock())
        state->connected(connection);
    g_object_unref(connection);
}

void nameAcquired(GDBusConnection*, const gchar*, gpointer data)
{
    if (const std::shared_ptr<State> state = lockState(data)) {
        state->ownsName = true;
        state->registerWithWatcher();
    }
}

void nameLost(GDBusConnection*, const gchar* name, gpointer data)
{
    if (const std::shared_ptr<State> state = lockState(data)) {
        if (state->ownsName || state->nameOwnership)
            qCDebug(lcApp, "The tray icon's bus name %s is not ours", name);
        state->ownsName = false;
    }
}

void watcherAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer data)
{
    if (const std::shared_ptr<State> state = lockState(data)) {
        state->watcherPresent = true;
        state->registerWithWatcher();
    }
}

void watcherVanished(GDBusConnection*, const gchar*, gpointer data)
{
    if (const std::shared_ptr<State> state = lockState(data))
        state->watcherPresent = false;
}

void registered(GObject* connection, GAsyncResult* result, gpointer)
{
    GError* error = nullptr;
    if (GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, &error)) {
        g_variant_unref(reply);
        return;
    }
    qCDebug(lcApp, "The panel did not take the tray icon: %s", error ? error->message : "no answer");
    g_clear_error(&error);
}

} // namespace

void StatusNotifierItem::State::connected(GDBusConnection* connection)
{
    GError* error = nullptr;
    interfaces = g_dbus_node_info_new_for_xml(introspection, &error);
    Q_ASSERT(interfaces); // the text above is ours
    bus = G_DBUS_CONNECTION(g_object_ref(connection));
    registration = g_dbus_connection_register_object(bus, itemPath, interfaces->interfaces[0], &itemVTable,
                                                     weakState(*this), freeWeakState, &error);
    if (!registration || !menu.exportOn(bus, menuPath)) {
        qCWarning(lcApp, "No tray icon: %s", error ? error->message : "its menu was not exported");
        g_clear_error(&error);
        return;
    }
    watcherWatch = g_bus_watch_name_on_connection(bus, watcherName, G_BUS_NAME_WATCHER_FLAGS_NONE, watcherAppeared,
                                                  watcherVanished, weakState(*this), freeWeakState);
    if (visible)
        ownName();
}

void StatusNotifierItem::State::ownName()
{
    if (!bus || nameOwnership)
        return;
    nameOwnership = g_bus_own_name_on_connection(bus, busName.constData(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                                                 nameAcquired, nameLost, weakState(*this), freeWeakState);
}

void StatusNotifierItem::State::registerWithWatcher()
{
    if (!visible || !ownsName || !watcherPresent)
        return;
    // A watcher that is not running is not started for this: a panel starts its own.
    g_dbus_connection_call(bus, watcherName, watcherPath, watcherName, "RegisterStatusNotifierItem",
                           g_variant_new("(s)", busName.constData()), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, 10'000,
                           nullptr, registered, nullptr);
}

GVariant* StatusNotifierItem::State::property(const gchar* name) const
{
    const QByteArray property(name);
    if (property == "Category")
        return g_variant_new_string("ApplicationStatus");
    if (property == "Id")
        return g_variant_new_string(appearance.id.toUtf8().constData());
    if (property == "Title")
        return g_variant_new_string(appearance.title.toUtf8().constData());
    if (property == "Status")
        return g_variant_new_string("Active");
    if (property == "WindowId")
        return g_variant_new_int32(0);
    if (property == "IconThemePath")
        return g_variant_new_string(appearance.iconThemePath.toUtf8().constData());
    if (property == "IconName")
        return g_variant_new_string(appearance.iconName.toUtf8().constData());
    if (property == "OverlayIconName" || property == "AttentionIconName" || property == "AttentionMovieName")
        return g_variant_new_string("");
    if (property == "IconPixmap" || property == "OverlayIconPixmap" || property == "AttentionIconPixmap")
        return noPixmaps();
    if (property == "ToolTip")
        return g_variant_new("(s@a(iiay)ss)", "", noPixmaps(), appearance.title.toUtf8().constData(), "");
    if (property == "ItemIsMenu")
        return g_variant_new_boolean(true);
    if (property == "Menu")
        return g_variant_new_object_path(menuPath);
    return nullptr;
}

StatusNotifierItem::StatusNotifierItem(Appearance appearance, std::function<void()> menuAboutToShow)
    : m_state(std::make_shared<State>(std::move(menuAboutToShow)))
{
    m_state->appearance = std::move(appearance);
    m_state->busName = QByteArray("org.kde.StatusNotifierItem-") +
                       QByteArray::number(QCoreApplication::applicationPid()) + '-' +
                       QByteArray::number(nextInstance());
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, busReady, weakState(*m_state));
}

StatusNotifierItem::~StatusNotifierItem() = default;

void StatusNotifierItem::setMenu(const QList<TrayMenuEntry>& entries)
{
    m_state->menu.setEntries(entries);
}

void StatusNotifierItem::setVisible(bool visible)
{
    State& state = *m_state;
    if (std::exchange(state.visible, visible) == visible)
        return;
    if (visible) {
        state.ownName();
    } else if (state.nameOwnership) {
        // Panels take an item whose bus name is gone out of the tray.
        g_bus_unown_name(state.nameOwnership);
        state.nameOwnership = 0;
        state.ownsName = false;
    }
}
