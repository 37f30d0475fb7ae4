#include "xembed_tray.h"

#include "x_connection.h"

#include <QByteArray>

namespace XEmbedTray {

bool isRunning()
{
    xcb_connection_t* const connection = X11::connection();
    if (!connection)
        return false;
    // The tray of the screen Linkherd is on owns the selection named after that screen.
    const QByteArray name = QByteArray("_NET_SYSTEM_TRAY_S").append(QByteArray::number(X11::screenNumber()));
    const auto [selection] = X11::internAtoms(std::array{name.constData()}, true);
    if (selection == XCB_ATOM_NONE)
        return false;
    const auto owner = X11::reply<xcb_get_selection_owner_reply_t>(xcb_get_selection_owner(connection, selection));
    return owner && owner->owner != XCB_NONE;
}

} // namespace XEmbedTray
