#pragma once

#include <dbus/dbus.h>
#include <string>

// One method call on the session bus in a single write: the connection's authentication, the bus's Hello and the
// call go out together, and only then is anything read. libdbus waits for the bus's answer to each of the three
// first, which on a busy two-core machine costs more than the hand-over of the links itself. libdbus still makes
// and reads the messages; only the socket and the authentication's two lines are done here.
namespace InstanceForwarding {

struct PipelinedReply {
    enum class Status {
        unsent,   // nothing reached the bus: no Unix socket in the address, no connection, authentication refused
        answered, // reply holds the call's method return or error; the caller unrefs it
        lost,     // the call may have been delivered, but no answer came; error says why
    };
    Status status = Status::unsent;
    DBusMessage* reply = nullptr;
    std::string error;
};

// Sends call (not yet sent anywhere; its serial is set here) to the bus at address, a D-Bus address such as
// DBUS_SESSION_BUS_ADDRESS holds, and waits up to timeoutMs for its answer.
PipelinedReply callPipelined(const char* address, DBusMessage* call, int timeoutMs);

} // namespace InstanceForwarding
