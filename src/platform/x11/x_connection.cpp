#include "x_connection.h"

#include "base/logging.h"

#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <system_error>
#include <thread>
#include <vector>
#include <xcb/xcbext.h>

namespace {

using namespace std::chrono_literals;

// A local X server answers in well under a millisecond; one that takes this long is hung, or held by another
// client's server grab.
constexpr auto patience = 500ms;
// How long a server that left a request unanswered is left alone: a grab ends, so it is asked again later, but
// not by every link meanwhile.
constexpr auto rest = 30s;

struct State {
    std::mutex mutex;
    bool tried = false;
    // Null while not open, and for good once it could not be opened or broke.
    xcb_connection_t* connection = nullptr;
    std::chrono::steady_clock::time_point restingUntil;
    const xcb_screen_t* screen = nullptr;
    int screenNumber = 0;
};

State& state()
{
    static State instance;
    return instance;
}

// One attempt at xcb_connect, shared with the thread that makes it.
struct Attempt {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    xcb_connection_t* connection = nullptr;
    int screenNumber = 0;
};

// xcb_connect waits as long as the server takes to send its setup, and a server that accepts the connection but
// never answers would hold the link path for good. So it runs on a thread of its own, left behind (blocked, and
// closing what it opens should the server ever answer) when it takes longer than the link path can wait.
xcb_connection_t* connectInTime(int& screenNumber)
{
    const auto attempt = std::make_shared<Attempt>();
    try {
        std::thread([attempt] {
            int number = 0;
            xcb_connection_t* connection = xcb_connect(nullptr, &number);
            const std::lock_guard lock(attempt->mutex);
            if (attempt->abandoned) {
                xcb_disconnect(connection);
                return;
            }
            attempt->connection = connection;
            attempt->screenNumber = number;
            attempt->done = true;
            attempt->finished.notify_one();
        }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    std::unique_lock lock(attempt->mutex);
    if (!attempt->finished.wait_for(lock, patience, [&attempt] { return attempt->done; })) {
        attempt->abandoned = true;
        return nullptr;
    }
    screenNumber = attempt->screenNumber;
    return attempt->connection;
}

const xcb_screen_t* screenOf(xcb_connection_t* connection, int number)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; screens.rem > 0; ++i, xcb_screen_next(&screens)) {
        if (i == number)
            return screens.data;
    }
    return nullptr;
}

void open(State& state)
{
    state.tried = true;
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    int number = 0;
    xcb_connection_t* connection = connectInTime(number);
    if (!connection) {
        qCWarning(lcApp, "the X server of DISPLAY %s did not answer in time; not asked again",
                  qPrintable(qEnvironmentVariable("DISPLAY")));
        return;
    }
    const xcb_screen_t* screen = xcb_connection_has_error(connection) ? nullptr : screenOf(connection, number);
    if (!screen) {
        qCDebug(lcApp, "no X server at DISPLAY %s", qPrintable(qEnvironmentVariable("DISPLAY")));
        xcb_disconnect(connection);
        return;
    }
    state.connection = connection;
    state.screen = screen;
    state.screenNumber = number;
}

// The connection that is open, resting or not.
xcb_connection_t* openConnection()
{
    State& current = state();
    const std::lock_guard lock(current.mutex);
    if (!current.tried)
        open(current);
    if (current.connection && xcb_connection_has_error(current.connection)) {
        // Left unclosed: a caller on another thread may still hold it, and a broken connection's calls return at
        // once.
        qCWarning(lcApp, "the connection to the X server broke; not opened again");
        current.connection = nullptr;
        current.screen = nullptr;
    }
    return current.connection;
}

bool isResting()
{
    State& current = state();
    const std::lock_guard lock(current.mutex);
    return std::chrono::steady_clock::now() < current.restingUntil;
}

void letRest()
{
    State& current = state();
    const std::lock_guard lock(current.mutex);
    qCWarning(lcApp, "the X server did not answer within %lld ms; not asked for %lld s",
              static_cast<long long>(patience.count()), static_cast<long long>(rest.count()));
    current.restingUntil = std::chrono::steady_clock::now() + rest;
}

} // namespace

namespace X11 {

xcb_connection_t* connection()
{
    xcb_connection_t* const current = openConnection();
    if (!current || isResting())
        return nullptr;
    // No event is asked for; what arrives are errors of requests without a reply (a window closed before its
    // property was set), which would otherwise pile up unread.
    while (xcb_generic_event_t* event = xcb_poll_for_event(current))
        std::free(event);
    return current;
}

const xcb_screen_t* screen()
{
    return connection() ? state().screen : nullptr;
}

int screenNumber()
{
    return connection() ? state().screenNumber : 0;
}

void* awaitReply(unsigned int sequence)
{
    xcb_connection_t* const current = openConnection();
    if (!current)
        return nullptr;
    // A reply no one waits for is dropped when it comes, rather than kept for good.
    if (isResting()) {
        xcb_discard_reply(current, sequence);
        return nullptr;
    }
    // Requests wait in xcb's buffer until flushed, and polling for a reply does not flush.
    xcb_flush(current);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(current, sequence, &reply, &error)) {
            std::free(error);
            return reply;
        }
        if (xcb_connection_has_error(current))
            return nullptr;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= 0ms)
            break;
        pollfd socket{xcb_get_file_descriptor(current), POLLIN, 0};
        ::poll(&socket, 1, static_cast<int>(left.count()));
    }
    xcb_discard_reply(current, sequence);
    letRest();
    return nullptr;
}

void internAtoms(const char* const* names, xcb_atom_t* atoms, std::size_t count, bool onlyIfExists)
{
    std::fill(atoms, atoms + count, xcb_atom_t{XCB_ATOM_NONE});
    xcb_connection_t* const current = connection();
    if (!current)
        return;
    std::vector<xcb_intern_atom_cookie_t> cookies;
    cookies.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        cookies.push_back(
            xcb_intern_atom(current, onlyIfExists ? 1 : 0, static_cast<uint16_t>(std::strlen(names[i])), names[i]));
    for (std::size_t i = 0; i < count; ++i) {
        if (const auto answer = reply<xcb_intern_atom_reply_t>(cookies[i]))
            atoms[i] = answer->atom;
    }
}

} // namespace X11
