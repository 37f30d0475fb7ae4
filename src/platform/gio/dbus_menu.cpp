#include "dbus_menu.h"

#include "base/bounded_file.h"
#include "base/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QSet>
#include <gio/gio.h>

#include <unordered_map>
#include <utility>

namespace {

constexpr char menuInterface[] = "com.canonical.dbusmenu";

// GDBus checks every call's arguments against this.
constexpr char introspection[] = R"xml(<node>
  <interface name="com.canonical.dbusmenu">
    <property name="Version" type="u" access="read"/>
    <property name="TextDirection" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="IconThemePath" type="as" access="read"/>
    <method name="GetLayout">
      <arg name="parentId" type="i" direction="in"/>
      <arg name="recursionDepth" type="i" direction="in"/>
      <arg name="propertyNames" type="as" direction="in"/>
      <arg name="revision" type="u" direction="out"/>
      <arg name="layout" type="(ia{sv}av)" direction="out"/>
    </method>
    <method name="GetGroupProperties">
      <arg name="ids" type="ai" direction="in"/>
      <arg name="propertyNames" type="as" direction="in"/>
      <arg name="properties" type="a(ia{sv})" direction="out"/>
    </method>
    <method name="GetProperty">
      <arg name="id" type="i" direction="in"/>
      <arg name="name" type="s" direction="in"/>
      <arg name="value" type="v" direction="out"/>
    </method>
    <method name="Event">
      <arg name="id" type="i" direction="in"/>
      <arg name="eventId" type="s" direction="in"/>
      <arg name="data" type="v" direction="in"/>
      <arg name="timestamp" type="u" direction="in"/>
    </method>
    <method name="EventGroup">
      <arg name="events" type="a(isvu)" direction="in"/>
      <arg name="idErrors" type="ai" direction="out"/>
    </method>
    <method name="AboutToShow">
      <arg name="id" type="i" direction="in"/>
      <arg name="needUpdate" type="b" direction="out"/>
    </method>
    <method name="AboutToShowGroup">
      <arg name="ids" type="ai" direction="in"/>
      <arg name="updatesNeeded" type="ai" direction="out"/>
      <arg name="idErrors" type="ai" direction="out"/>
    </method>
    <signal name="ItemsPropertiesUpdated">
      <arg name="updatedProps" type="a(ia{sv})"/>
      <arg name="removedProps" type="a(ias)"/>
    </signal>
    <signal name="LayoutUpdated"><arg name="revision" type="u"/><arg name="parent" type="i"/></signal>
    <signal name="ItemActivationRequested"><arg name="id" type="i"/><arg name="timestamp" type="u"/></signal>
  </interface>
</node>)xml";

// A menu entry's icon given as a file: a panel cannot be relied on to read our files, so the PNG itself goes.
constexpr qint64 iconFileLimit = 256 * 1024;

// The menu draws "_" as the mark of the next letter's mnemonic; a "_" of the text is written twice.
QByteArray menuLabel(const QString& text)
{
    QString label = text;
    label.replace(u'_', QStringLiteral("__"));
    return label.toUtf8();
}

// "Ctrl+R" as the menu protocol spells it: [["Control", "R"]].
GVariant* shortcutVariant(const QString& portable)
{
    QStringList parts = portable.split(u'+');
    if (portable.endsWith(QStringLiteral("++"))) { // the key is "+" itself
        parts.removeLast();
        parts.last() = QStringLiteral("+");
    }
    GVariantBuilder keys;
    g_variant_builder_init(&keys, G_VARIANT_TYPE("as"));
    for (const QString& part : std::as_const(parts)) {
        const QString name = part == u"Ctrl"   ? QStringLiteral("Control")
                             : part == u"Meta" ? QStringLiteral("Super")
                                               : part;
        g_variant_builder_add(&keys, "s", name.toUtf8().constData());
    }
    GVariantBuilder combinations;
    g_variant_builder_init(&combinations, G_VARIANT_TYPE("aas"));
    g_variant_builder_add_value(&combinations, g_variant_builder_end(&keys));
    return g_variant_builder_end(&combinations);
}

} // namespace

struct DBusMenu::State final : std::enable_shared_from_this<State> {
    struct Node {
        TrayMenuEntry entry; // its children are in `children`
        QList<int> children;
    };

    std::function<void()> aboutToShow;
    GDBusConnection* bus = nullptr;
    GDBusNodeInfo* interfaces = nullptr;
    guint registration = 0;
    QByteArray path;
    std::unordered_map<int, Node> nodes{{0, Node{}}};
    int lastId = 0;
    guint32 revision = 1;
    std::unordered_map<QString, QByteArray> iconFiles; // read once, for as long as the menu lives

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State()
    {
        if (registration)
            g_dbus_connection_unregister_object(bus, registration);
        if (interfaces)
            g_dbus_node_info_unref(interfaces);
        if (bus)
            g_object_unref(bus);
    }

    void setEntries(const QList<TrayMenuEntry>& entries);
    int addNode(const TrayMenuEntry& entry);
    GVariant* property(const gchar* name) const;
    GVariant* nodeProperties(int id, const QSet<QByteArray>& names);
    GVariant* layout(int id, int depth, const QSet<QByteArray>& names);
    void call(const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation);
    bool runEvent(int id, const gchar* eventId, guint32 timestamp);
    void emitSignal(const char* signal, GVariant* parameters);
};

namespace {

using State = DBusMenu::State;
using WeakState = std::weak_ptr<State>;

std::shared_ptr<State> lockState(gpointer data)
{
    return static_cast<WeakState*>(data)->lock();
}

QSet<QByteArray> nameSet(GVariant* strings)
{
    QSet<QByteArray> names;
    GVariantIter iter;
    g_variant_iter_init(&iter, strings);
    const gchar* name = nullptr;
    while (g_variant_iter_next(&iter, "&s", &name))
        names.insert(QByteArray(name));
    return names;
}

void menuCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant* parameters,
              GDBusMethodInvocation* invocation, gpointer data)
{
    if (const std::shared_ptr<State> state = lockState(data))
        state->call(method, parameters, invocation);
    else
        g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownObject", "Gone");
}

GVariant* menuGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property, GError** error,
                  gpointer data)
{
    const std::shared_ptr<State> state = lockState(data);
    GVariant* value = state ? state->property(property) : nullptr;
    if (!value)
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s", property);
    return value;
}

const GDBusInterfaceVTable menuVTable = {menuCall, menuGet, nullptr, {}};

} // namespace

void DBusMenu::State::setEntries(const QList<TrayMenuEntry>& entries)
{
    nodes.clear();
    Node root;
    for (const TrayMenuEntry& entry : entries)
        root.children.append(addNode(entry));
    nodes.emplace(0, std::move(root));
    ++revision;
    emitSignal("LayoutUpdated", g_variant_new("(ui)", revision, 0));
}

int DBusMenu::State::addNode(const TrayMenuEntry& entry)
{
    const int id = ++lastId;
    Node node{entry, {}};
    node.entry.children.clear();
    for (const TrayMenuEntry& child : entry.children)
        node.children.append(addNode(child));
    nodes.emplace(id, std::move(node));
    return id;
}

GVariant* DBusMenu::State::property(const gchar* name) const
{
    const QByteArray property(name);
    if (property == "Version")
        return g_variant_new_uint32(3);
    if (property == "TextDirection")
        return g_variant_new_string(QLocale().textDirection() == Qt::RightToLeft ? "rtl" : "ltr");
    if (property == "Status")
        return g_variant_new_string("normal");
    if (property == "IconThemePath") // the lines' icons are the desktop's own
        return g_variant_new_strv(nullptr, 0);
    return nullptr;
}

GVariant* DBusMenu::State::nodeProperties(int id, const QSet<QByteArray>& names)
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    const auto wanted = [&names](const char* name) { return names.isEmpty() || names.contains(name); };
    const auto add = [&builder, &wanted](const char* name, GVariant* value) {
        if (wanted(name))
            g_variant_builder_add(&builder, "{sv}", name, value);
        else
            g_variant_unref(g_variant_ref_sink(value));
    };
    const Node& node = nodes.at(id); // the callers ask only for entries the menu has
    const TrayMenuEntry& entry = node.entry;
    if (id == 0) {
        add("children-display", g_variant_new_string("submenu"));
        return g_variant_builder_end(&builder);
    }
    if (entry.separator) {
        add("type", g_variant_new_string("separator"));
        return g_variant_builder_end(&builder);
    }
    add("label", g_variant_new_string(menuLabel(entry.text).constData()));
    if (!entry.enabled)
        add("enabled", g_variant_new_boolean(false));
    if (!node.children.isEmpty())
        add("children-display", g_variant_new_string("submenu"));
    if (!entry.shortcut.isEmpty())
        add("shortcut", shortcutVariant(entry.shortcut));
    if (QDir::isAbsolutePath(entry.icon)) {
        auto file = iconFiles.find(entry.icon);
        if (file == iconFiles.end()) {
            const Result<QByteArray> read = BoundedFile::read(entry.icon, iconFileLimit);
            file =
                iconFiles.emplace(entry.icon, read && read.value().startsWith("\x89PNG") ? read.value() : QByteArray())
                    .first;
        }
        const QByteArray& png = file->second;
        if (!png.isEmpty())
            add("icon-data", g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, png.constData(), gsize(png.size()), 1));
    } else if (!entry.icon.isEmpty()) {
        add("icon-name", g_variant_new_string(entry.icon.toUtf8().constData()));
    }
    return g_variant_builder_end(&builder);
}

GVariant* DBusMenu::State::layout(int id, int depth, const QSet<QByteArray>& names)
{
    GVariantBuilder children;
    g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
    if (depth != 0) {
        for (const int child : nodes.at(id).children)
            g_variant_builder_add(&children, "v", layout(child, depth < 0 ? depth : depth - 1, names));
    }
    return g_variant_new("(i@a{sv}@av)", id, nodeProperties(id, names), g_variant_builder_end(&children));
}

bool DBusMenu::State::runEvent(int id, const gchar* eventId, guint32 timestamp)
{
    const auto node = nodes.find(id);
    if (node == nodes.end())
        return false;
    const TrayMenuEntry& entry = node->second.entry;
    // The event's timestamp is not the X server time with every panel (some send the seconds since 1970), and a
    // wrong time would make the window manager hold back the window it is given for; so the command gets none.
    Q_UNUSED(timestamp);
    if (g_str_equal(eventId, "clicked") && entry.enabled && entry.activated) {
        // From the event loop: the command may rebuild the menu, and the panel is answered first.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [activated = entry.activated] { activated(0); }, Qt::QueuedConnection);
    }
    return true;
}

void DBusMenu::State::call(const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation)
{
    const QByteArray name(method);
    if (name == "GetLayout") {
        gint32 parent = 0;
        gint32 depth = -1;
        GVariant* propertyNames = nullptr;
        g_variant_get(parameters, "(ii@as)", &parent, &depth, &propertyNames);
        const QSet<QByteArray> names = nameSet(propertyNames);
        g_variant_unref(propertyNames);
        if (!nodes.contains(parent)) {
            g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.InvalidArgs",
                                                       "No such menu entry");
            return;
        }
        g_dbus_method_invocation_return_value(invocation,
                                              g_variant_new("(u@(ia{sv}av))", revision, layout(parent, depth, names)));
    } else if (name == "GetGroupProperties") {
        GVariant* ids = nullptr;
        GVariant* propertyNames = nullptr;
        g_variant_get(parameters, "(@ai@as)", &ids, &propertyNames);
        const QSet<QByteArray> names = nameSet(propertyNames);
        GVariantBuilder result;
        g_variant_builder_init(&result, G_VARIANT_TYPE("a(ia{sv})"));
        GVariantIter iter;
        g_variant_iter_init(&iter, ids);
        gint32 id = 0;
        while (g_variant_iter_next(&iter, "i", &id)) {
            if (nodes.contains(id))
                g_variant_builder_add(&result, "(i@a{sv})", id, nodeProperties(id, names));
        }
        g_variant_unref(ids);
        g_variant_unref(propertyNames);
        g_dbus_method_invocation_return_value(invocation,
                                              g_variant_new("(@a(ia{sv}))", g_variant_builder_end(&result)));
    } else if (name == "GetProperty") {
        gint32 id = 0;
        const gchar* property = nullptr;
        g_variant_get(parameters, "(i&s)", &id, &property);
        GVariant* properties = nodes.contains(id) ? nodeProperties(id, {QByteArray(property)}) : nullptr;
        GVariant* value = properties ? g_variant_lookup_value(properties, property, nullptr) : nullptr;
        if (properties)
            g_variant_unref(g_variant_ref_sink(properties));
        if (value)
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
        else
            g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.InvalidArgs",
                                                       "No such menu entry or property");
        if (value)
            g_variant_unref(value);
    } else if (name == "Event") {
        gint32 id = 0;
        const gchar* eventId = nullptr;
        GVariant* data = nullptr;
        guint32 timestamp = 0;
        g_variant_get(parameters, "(i&svu)", &id, &eventId, &data, &timestamp);
        g_variant_unref(data);
        const bool known = runEvent(id, eventId, timestamp);
        if (known)
            g_dbus_method_invocation_return_value(invocation, nullptr);
        else
            g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.InvalidArgs",
                                                       "No such menu entry");
    } else if (name == "EventGroup") {
        GVariantIter* events = nullptr;
        g_variant_get(parameters, "(a(isvu))", &events);
        GVariantBuilder errors;
        g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
        gint32 id = 0;
        const gchar* eventId = nullptr;
        GVariant* data = nullptr;
        guint32 timestamp = 0;
        while (g_variant_iter_next(events, "(i&svu)", &id, &eventId, &data, &timestamp)) {
            if (!runEvent(id, eventId, timestamp))
                g_variant_builder_add(&errors, "i", id);
            g_variant_unref(data);
        }
        g_variant_iter_free(events);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(@ai)", g_variant_builder_end(&errors)));
    } else if (name == "AboutToShow" || name == "AboutToShowGroup") {
        GVariantBuilder errors;
        g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
        bool root = false;
        if (name == "AboutToShow") {
            gint32 id = 0;
            g_variant_get(parameters, "(i)", &id);
            root = id == 0;
        } else {
            GVariantIter* ids = nullptr;
            g_variant_get(parameters, "(ai)", &ids);
            gint32 id = 0;
            while (g_variant_iter_next(ids, "i", &id)) {
                root = root || id == 0;
                if (!nodes.contains(id))
                    g_variant_builder_add(&errors, "i", id);
            }
            g_variant_iter_free(ids);
        }
        // A change the menu takes on reaches the panel as LayoutUpdated; nothing is up to date yet here.
        if (root && aboutToShow)
            QMetaObject::invokeMethod(QCoreApplication::instance(), aboutToShow, Qt::QueuedConnection);
        if (name == "AboutToShow") {
            g_variant_builder_clear(&errors);
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
        } else {
            g_dbus_method_invocation_return_value(
                invocation, g_variant_new("(@ai@ai)", g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0),
                                          g_variant_builder_end(&errors)));
        }
    } else {
        g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod", method);
    }
}

void DBusMenu::State::emitSignal(const char* signal, GVariant* parameters)
{
    if (!registration) {
        g_variant_unref(g_variant_ref_sink(parameters));
        return;
    }
    g_dbus_connection_emit_signal(bus, nullptr, path.constData(), menuInterface, signal, parameters, nullptr);
}

DBusMenu::DBusMenu(std::function<void()> aboutToShow) : m_state(std::make_shared<State>())
{
    m_state->aboutToShow = std::move(aboutToShow);
}

DBusMenu::~DBusMenu() = default;

bool DBusMenu::exportOn(GDBusConnection* bus, const char* path)
{
    State& state = *m_state;
    Q_ASSERT(!state.bus); // once
    GError* error = nullptr;
    state.interfaces = g_dbus_node_info_new_for_xml(introspection, &error);
    Q_ASSERT(state.interfaces); // the text above is ours
    state.bus = G_DBUS_CONNECTION(g_object_ref(bus));
    state.path = path;
    state.registration = g_dbus_connection_register_object(
        bus, path, state.interfaces->interfaces[0], &menuVTable, new WeakState(m_state),
        [](gpointer data) { delete static_cast<WeakState*>(data); }, &error);
    if (!state.registration) {
        qCWarning(lcApp, "The tray menu was not exported: %s", error ? error->message : "unknown error");
        g_clear_error(&error);
    }
    return state.registration != 0;
}

void DBusMenu::setEntries(const QList<TrayMenuEntry>& entries)
{
    m_state->setEntries(entries);
}
