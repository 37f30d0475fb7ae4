#pragma once

#include <array>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

// Linkherd's own connection to the X server of $DISPLAY, apart from any the windows' toolkit has, so that what is
// asked of the server needs no GUI in the process. Everything here runs on the link path: no call waits long.
namespace X11 {

// The connection and the screen of $DISPLAY, opened on the first call. Null without DISPLAY (a Wayland session
// without XWayland, tests offscreen), and for good once the connection could not be opened in time or broke; null
// too for a while after the server left a request unanswered (see awaitReply).
xcb_connection_t* connection();
const xcb_screen_t* screen();

// The number of the screen in $DISPLAY (":0.1" is screen 1); 0 without a connection.
int screenNumber();

template <typename Reply>
using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

// The reply to a request sent on connection(), or null on an error (a window closed meanwhile: BadWindow), which
// is taken here rather than kept queued. A server that has not answered within 500 ms is not asked again for
// 30 s, so a hung or grabbed server costs a link half a second now and then, not every link.
void* awaitReply(unsigned int sequence);

template <typename Reply, typename Cookie>
Owned<Reply> reply(Cookie cookie)
{
    return Owned<Reply>(static_cast<Reply*>(awaitReply(cookie.sequence)), &std::free);
}

// The atoms of names, all asked in one round trip; XCB_ATOM_NONE for one the server does not have (onlyIfExists:
// no client has ever made it, so nothing is set under that name) or when it does not answer.
void internAtoms(const char* const* names, xcb_atom_t* atoms, std::size_t count, bool onlyIfExists);

template <std::size_t Count>
std::array<xcb_atom_t, Count> internAtoms(const std::array<const char*, Count>& names, bool onlyIfExists)
{
    std::array<xcb_atom_t, Count> atoms{};
    internAtoms(names.data(), atoms.data(), Count, onlyIfExists);
    return atoms;
}

} // namespace X11
