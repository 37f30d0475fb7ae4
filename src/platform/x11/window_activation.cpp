#include "window_activation.h"

#include "base/logging.h"

#include <QGuiApplication>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

// A value of the startup notification protocol, quoted: a startup ID is the launcher's own text.
QByteArray quoted(const QByteArray& value)
{
    QByteArray text = "\"";
    for (const char character : value) {
        if (character == '"' || character == '\\')
            text += '\\';
        text += character;
    }
    return text + '"';
}

// The message goes to the root window in pieces of 20 bytes, the first as _NET_STARTUP_INFO_BEGIN, the others as
// _NET_STARTUP_INFO; its terminating NUL tells the end.
void broadcast(xcb_connection_t* connection, xcb_window_t root, xcb_window_t sender, xcb_atom_t begin, xcb_atom_t more,
               const QByteArray& message)
{
    const QByteArray text = message + '\0';
    for (qsizetype offset = 0; offset < text.size(); offset += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = sender;
        event.type = offset == 0 ? begin : more;
        const qsizetype length = std::min<qsizetype>(20, text.size() - offset);
        std::memcpy(event.data.data8, text.constData() + offset, static_cast<size_t>(length));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
    }
}

} // namespace

namespace WindowActivation {

void adoptStartupID(QWindow* window, const QString& startupID)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!window || startupID.isEmpty() || !x11)
        return;
    xcb_connection_t* connection = x11->connection();
    static constexpr std::array names{"_NET_STARTUP_ID", "UTF8_STRING", "_NET_STARTUP_INFO_BEGIN", "_NET_STARTUP_INFO"};
    std::array<xcb_intern_atom_cookie_t, names.size()> cookies{};
    for (size_t i = 0; i < names.size(); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(names[i])), names[i]);
    std::array<xcb_atom_t, names.size()> atoms{};
    for (size_t i = 0; i < names.size(); ++i) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookies[i], nullptr);
        atoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
    }
    if (std::find(atoms.cbegin(), atoms.cend(), xcb_atom_t{XCB_ATOM_NONE}) != atoms.cend())
        return;

    qCDebug(lcApp, "giving a window the startup ID \"%s\"", qUtf8Printable(startupID));
    const QByteArray id = startupID.toUtf8();
    const auto native = static_cast<xcb_window_t>(window->winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, native, atoms[0], atoms[1], 8,
                        static_cast<uint32_t>(id.size()), id.constData());
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (screen)
        broadcast(connection, screen->root, native, atoms[2], atoms[3], "remove: ID=" + quoted(id));
    xcb_flush(connection);
}

QString startupIDForInputAt(quint64 serverTime)
{
    if (serverTime == 0 || !qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        return QString();
    static quint64 launches = 0;
    return u"linkherd-%1-%2_TIME%3"_s.arg(QCoreApplication::applicationPid()).arg(++launches).arg(serverTime);
}

void activate(QWindow* window, const QString& token)
{
    if (!window)
        return;
    // Qt's Wayland platform activates a window with the token in XDG_ACTIVATION_TOKEN and removes the variable
    // once used; elsewhere it stays, and goes here, so that no program started later inherits it.
    if (token.isEmpty() || QGuiApplication::platformName() != u"wayland"_s) {
        window->requestActivate();
        return;
    }
    qCDebug(lcApp, "activating a window with the token \"%s\"", qUtf8Printable(token));
    qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    window->requestActivate();
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

} // namespace WindowActivation
