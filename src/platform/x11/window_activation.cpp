#include "window_activation.h"

#include "base/logging.h"
#include "x_connection.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cstring>

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

void adoptStartupID(quintptr nativeWindow, const QString& startupID)
{
    xcb_connection_t* const connection = X11::connection();
    const xcb_screen_t* const screen = X11::screen();
    if (nativeWindow == 0 || startupID.isEmpty() || !connection || !screen)
        return;
    const auto atoms = X11::internAtoms(
        std::array{"_NET_STARTUP_ID", "UTF8_STRING", "_NET_STARTUP_INFO_BEGIN", "_NET_STARTUP_INFO"}, false);
    if (std::find(atoms.cbegin(), atoms.cend(), xcb_atom_t{XCB_ATOM_NONE}) != atoms.cend())
        return;
    const auto [startupIdAtom, utf8String, infoBegin, info] = atoms;

    qCDebug(lcApp, "giving a window the startup ID \"%s\"", qUtf8Printable(startupID));
    const QByteArray id = startupID.toUtf8();
    const auto window = static_cast<xcb_window_t>(nativeWindow);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, startupIdAtom, utf8String, 8,
                        static_cast<uint32_t>(id.size()), id.constData());
    broadcast(connection, screen->root, window, infoBegin, info, "remove: ID=" + quoted(id));
    // The window's toolkit maps it over a connection of its own, and the server serves connections in no set
    // order: the window manager must find the ID on the window when the map reaches it. A round trip on this
    // connection returns only after the server has done the requests before it.
    X11::reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus(connection));
}

QString startupIDForInputAt(quint64 serverTime)
{
    if (serverTime == 0 || !X11::connection())
        return QString();
    static quint64 launches = 0;
    return u"linkherd-%1-%2_TIME%3"_s.arg(QCoreApplication::applicationPid()).arg(++launches).arg(serverTime);
}

} // namespace WindowActivation
