#include "application_scope.h"

#include "base/logging.h"

#include <gio/gio.h>

using namespace Qt::StringLiterals;

namespace {

// systemd's unit name escaping (systemd-escape): every byte but ASCII letters, digits, ":", "_" and "." (and "."
// first) as \xNN, so "-" is left to separate the parts of the name.
QString escapedUnitName(const QString& text)
{
    QString escaped;
    const QByteArray bytes = text.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
                           c == '_' || (c == '.' && i > 0);
        if (plain)
            escaped.append(QLatin1Char(static_cast<char>(c)));
        else
            escaped.append(u"\\x%1"_s.arg(uint(c), 2, 16, QChar(u'0')));
    }
    return escaped;
}

void logAnswer(GObject* source, GAsyncResult* result, gpointer data)
{
    auto* unit = static_cast<char*>(data);
    GError* error = nullptr;
    if (GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error)) {
        qCDebug(lcLauncher, "started in %s", unit);
        g_variant_unref(reply);
    } else {
        qCDebug(lcLauncher, "left in Linkherd's own unit, as %s was not made: %s", unit,
                error ? error->message : "no reason");
        g_clear_error(&error);
    }
    g_free(unit);
}

} // namespace

QString applicationScopeName(const QString& entryID, pid_t pid)
{
    return u"app-%1-%2.scope"_s.arg(escapedUnitName(entryID)).arg(pid);
}

void moveIntoApplicationScope(_GDBusConnection* bus, const QString& entryID, const QString& description, pid_t pid)
{
    if (!bus || entryID.isEmpty())
        return;
    const QByteArray unit = applicationScopeName(entryID, pid).toUtf8();
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a(sv)"));
    const guint32 process = static_cast<guint32>(pid);
    g_variant_builder_add(&properties, "(sv)", "PIDs",
                          g_variant_new_fixed_array(G_VARIANT_TYPE_UINT32, &process, 1, sizeof process));
    g_variant_builder_add(&properties, "(sv)", "Slice", g_variant_new_string("app.slice"));
    g_variant_builder_add(&properties, "(sv)", "Description", g_variant_new_string(description.toUtf8().constData()));
    g_variant_builder_add(&properties, "(sv)", "CollectMode", g_variant_new_string("inactive-or-failed"));
    g_dbus_connection_call(bus, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                           "org.freedesktop.systemd1.Manager", "StartTransientUnit",
                           g_variant_new("(ssa(sv)@a(sa(sv)))", unit.constData(), "fail", &properties,
                                         g_variant_new_array(G_VARIANT_TYPE("(sa(sv))"), nullptr, 0)),
                           G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, logAnswer,
                           g_strdup(unit.constData()));
}
