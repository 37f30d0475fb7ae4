#include "active_window.h"

#include "app_info.h"
#include "platform/application_catalog.h"
#include "x_connection.h"

#include <QList>

#include <array>

using namespace Qt::StringLiterals;

namespace {

bool isLinkherd(const QString& id)
{
    return id.compare(QLatin1StringView(AppInfo::ownDesktopID), Qt::CaseInsensitive) == 0;
}

std::optional<QString> unlessLinkherd(const QString& id)
{
    if (id.isEmpty() || isLinkherd(id))
        return std::nullopt;
    return id;
}

xcb_get_property_cookie_t requestProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                                          xcb_atom_t type)
{
    // 1024 32-bit units: far more than any ID or class name needs.
    return xcb_get_property(connection, 0, window, property, type, 0, 1024);
}

// The property's bytes, if it is set as 8-bit data of the expected type. An error (the active window closed
// meanwhile: BadWindow) is no value.
std::optional<QByteArray> byteProperty(xcb_get_property_cookie_t cookie)
{
    const auto reply = X11::reply<xcb_get_property_reply_t>(cookie);
    if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 8)
        return std::nullopt;
    QByteArray value(static_cast<const char*>(xcb_get_property_value(reply.get())),
                     xcb_get_property_value_length(reply.get()));
    // Some clients count the terminating NUL in.
    while (value.endsWith('\0'))
        value.chop(1);
    return value;
}

std::optional<xcb_window_t> activeWindow(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t netActiveWindow)
{
    const auto reply = X11::reply<xcb_get_property_reply_t>(
        xcb_get_property(connection, 0, root, netActiveWindow, XCB_ATOM_WINDOW, 0, 1));
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) < static_cast<int>(sizeof(xcb_window_t)))
        return std::nullopt;
    const xcb_window_t window = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    if (window == XCB_WINDOW_NONE)
        return std::nullopt;
    return window;
}

// WM_CLASS holds two NUL-terminated strings: the instance name (usually the executable) and the class name. An
// entry that names its windows' class in StartupWMClass says best which application they belong to; otherwise
// entries are most often named after the class, sometimes after its lower case or the executable.
std::optional<QString> applicationOfWindowClass(const QString& instance, const QString& windowClass,
                                                ApplicationCatalog& catalog)
{
    for (const QString& candidate : {windowClass, instance}) {
        if (candidate.isEmpty())
            continue;
        if (const std::optional<DesktopEntry> entry = catalog.applicationWithWindowClass(candidate))
            return unlessLinkherd(entry->id);
    }
    for (const QString& candidate : {windowClass, windowClass.toLower(), instance}) {
        if (candidate.isEmpty() || isLinkherd(candidate))
            continue;
        if (catalog.application(candidate))
            return candidate;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> activeWindowApplication(ApplicationCatalog& catalog)
{
    xcb_connection_t* const connection = X11::connection();
    const xcb_screen_t* const screen = X11::screen();
    if (!connection || !screen)
        return std::nullopt;

    // One missing from the server means no client has ever set that property.
    const auto [netActiveWindow, gtkApplicationId, kdeDesktopFile, utf8String] = X11::internAtoms(
        std::array{"_NET_ACTIVE_WINDOW", "_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE", "UTF8_STRING"}, true);
    if (netActiveWindow == XCB_ATOM_NONE)
        return std::nullopt;

    const std::optional<xcb_window_t> window = activeWindow(connection, screen->root, netActiveWindow);
    if (!window)
        return std::nullopt;

    // The three properties in one round trip, read in order of how directly they name the application.
    const bool hasUtf8 = utf8String != XCB_ATOM_NONE;
    std::optional<xcb_get_property_cookie_t> gtkCookie, kdeCookie;
    if (gtkApplicationId != XCB_ATOM_NONE && hasUtf8)
        gtkCookie = requestProperty(connection, *window, gtkApplicationId, utf8String);
    if (kdeDesktopFile != XCB_ATOM_NONE && hasUtf8)
        kdeCookie = requestProperty(connection, *window, kdeDesktopFile, utf8String);
    const xcb_get_property_cookie_t classCookie =
        requestProperty(connection, *window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);

    // Every request is answered, even after the answer is known, so no reply is left queued.
    const std::optional<QByteArray> gtkId = gtkCookie ? byteProperty(*gtkCookie) : std::nullopt;
    const std::optional<QByteArray> kdeFile = kdeCookie ? byteProperty(*kdeCookie) : std::nullopt;
    const std::optional<QByteArray> wmClass = byteProperty(classCookie);

    const QList<QByteArray> classParts = wmClass.value_or(QByteArray()).split('\0');
    const QString instance = QString::fromLocal8Bit(classParts.value(0));
    const QString windowClass = QString::fromLocal8Bit(classParts.value(1));
    // Linkherd's own windows (the panel, the rules) speak for no one: nothing else of theirs is tried.
    if (instance == u"linkherd-resident"_s || windowClass == u"Linkherd"_s)
        return std::nullopt;
    if (const QString id = QString::fromUtf8(gtkId.value_or(QByteArray())).trimmed(); !id.isEmpty())
        return unlessLinkherd(id);
    if (QString id = QString::fromUtf8(kdeFile.value_or(QByteArray())).trimmed(); !id.isEmpty()) {
        if (id.endsWith(u".desktop"_s))
            id.chop(8);
        return unlessLinkherd(id);
    }
    return applicationOfWindowClass(instance, windowClass, catalog);
}
