#include "instance_forwarding.h"

#include "pipelined_call.h"

#include <cstdlib>
#include <cstring>
#include <dbus/dbus.h>

// libdbus rather than GDBus: its blocking call runs on the calling thread, where GDBus hands every message to
// a worker thread and back. For a process that lives for one call that hand-off is most of its run time
// (about 6 ms against 2 ms per link on a busy two-core machine).
namespace InstanceForwarding {

namespace {

// How long a caller waits for the instance to take its links, starting it included.
constexpr int callTimeoutMs = 10'000;

Outcome outcomeOf(const DBusError& error)
{
    if (dbus_error_has_name(&error, DBUS_ERROR_SERVICE_UNKNOWN) ||
        dbus_error_has_name(&error, DBUS_ERROR_NAME_HAS_NO_OWNER))
        return Outcome::noInstance;
    // org.freedesktop.DBus.Error.Spawn.ExecFailed, .ChildExited, …: the service file names a program that is
    // not there, or the program ended before it took the name.
    constexpr char spawnErrors[] = "org.freedesktop.DBus.Error.Spawn.";
    if (error.name && std::strncmp(error.name, spawnErrors, sizeof spawnErrors - 1) == 0)
        return Outcome::notStarted;
    return Outcome::failed;
}

bool appendEntry(DBusMessageIter* platformData, const char* key, const std::string& text)
{
    if (text.empty())
        return true;
    DBusMessageIter entry;
    DBusMessageIter value;
    const char* string = text.c_str();
    return dbus_message_iter_open_container(platformData, DBUS_TYPE_DICT_ENTRY, nullptr, &entry) &&
           dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key) &&
           dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, DBUS_TYPE_STRING_AS_STRING, &value) &&
           dbus_message_iter_append_basic(&value, DBUS_TYPE_STRING, &string) &&
           dbus_message_iter_close_container(&entry, &value) && dbus_message_iter_close_container(platformData, &entry);
}

bool appendPlatformData(DBusMessageIter* arguments, const HandOver& handOver)
{
    DBusMessageIter platformData;
    return dbus_message_iter_open_container(arguments, DBUS_TYPE_ARRAY, "{sv}", &platformData) &&
           appendEntry(&platformData, sourceKey, handOver.sourceApplication) &&
           appendEntry(&platformData, "activation-token", handOver.activationToken) &&
           appendEntry(&platformData, "desktop-startup-id", handOver.startupID) &&
           dbus_message_iter_close_container(arguments, &platformData);
}

// Open(as, a{sv}) with links, Activate(a{sv}) without; null when out of memory.
DBusMessage* callFor(const std::vector<std::string>& links, const HandOver& handOver, Start start)
{
    DBusMessage* call = dbus_message_new_method_call(serviceName, objectPath, "org.freedesktop.Application",
                                                     links.empty() ? "Activate" : "Open");
    if (!call)
        return nullptr;
    // The bus holds the call while it starts the instance, and delivers it once the name is taken.
    dbus_message_set_auto_start(call, start == Start::byBus);

    DBusMessageIter arguments;
    dbus_message_iter_init_append(call, &arguments);
    bool built = true;
    if (!links.empty()) {
        DBusMessageIter uris;
        built = dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING_AS_STRING, &uris);
        for (const std::string& link : links) {
            const char* text = link.c_str();
            built = built && dbus_message_iter_append_basic(&uris, DBUS_TYPE_STRING, &text);
        }
        built = built && dbus_message_iter_close_container(&arguments, &uris);
    }
    if (!built || !appendPlatformData(&arguments, handOver)) {
        dbus_message_unref(call);
        return nullptr;
    }
    return call;
}

// ActivateAction(s, av, a{sv}) with no parameter; null when out of memory.
DBusMessage* actionCallFor(const std::string& action, const HandOver& handOver, Start start)
{
    DBusMessage* call =
        dbus_message_new_method_call(serviceName, objectPath, "org.freedesktop.Application", "ActivateAction");
    if (!call)
        return nullptr;
    dbus_message_set_auto_start(call, start == Start::byBus);
    DBusMessageIter arguments;
    DBusMessageIter parameter;
    dbus_message_iter_init_append(call, &arguments);
    const char* name = action.c_str();
    if (!dbus_message_iter_append_basic(&arguments, DBUS_TYPE_STRING, &name) ||
        !dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, DBUS_TYPE_VARIANT_AS_STRING, &parameter) ||
        !dbus_message_iter_close_container(&arguments, &parameter) || !appendPlatformData(&arguments, handOver)) {
        dbus_message_unref(call);
        return nullptr;
    }
    return call;
}

// A token the bus cannot carry is not one the desktop made; the call goes without it.
HandOver checked(const HandOver& handOver)
{
    HandOver result = handOver;
    if (!isText(result.activationToken))
        result.activationToken.clear();
    if (!isText(result.startupID))
        result.startupID.clear();
    return result;
}

Answer answerTo(DBusMessage* reply)
{
    DBusError error;
    dbus_error_init(&error);
    if (!dbus_set_error_from_message(&error, reply))
        return {Outcome::forwarded, {}};
    Answer answer{outcomeOf(error), error.message ? error.message : "unknown error"};
    dbus_error_free(&error);
    return answer;
}

// Sends the call (made by build, which gets nothing when out of memory) and waits for the instance's answer.
template <typename Build>
Answer call(Build build)
{
    // Where the session names its bus, as desktops and systemd's user sessions do, the call goes out with the
    // connection's set-up; elsewhere libdbus finds the bus (the runtime folder's socket, autolaunch).
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) {
        DBusMessage* message = build();
        if (!message)
            return {Outcome::failed, "out of memory"};
        const PipelinedReply pipelined = callPipelined(address, message, callTimeoutMs);
        dbus_message_unref(message);
        switch (pipelined.status) {
        case PipelinedReply::Status::answered: {
            const Answer answer = answerTo(pipelined.reply);
            dbus_message_unref(pipelined.reply);
            return answer;
        }
        case PipelinedReply::Status::lost:
            return {Outcome::failed, pipelined.error};
        case PipelinedReply::Status::unsent:
            break;
        }
    }

    DBusError error;
    dbus_error_init(&error);
    // A private connection: this call must not share (or close) one that other code in the process holds.
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!bus) {
        dbus_error_free(&error);
        return {Outcome::noBus, {}};
    }
    // libdbus would otherwise end the whole process if the bus went away.
    dbus_connection_set_exit_on_disconnect(bus, FALSE);

    Answer answer{Outcome::failed, "out of memory"};
    if (DBusMessage* message = build()) {
        // The bus answers a call to a name nobody owns (and that it cannot or may not start) with an error at
        // once, so there is no need to ask first.
        if (DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, message, callTimeoutMs, &error)) {
            answer = {Outcome::forwarded, {}};
            dbus_message_unref(reply);
        } else {
            answer = {outcomeOf(error), error.message ? error.message : "unknown error"};
            dbus_error_free(&error);
        }
        dbus_message_unref(message);
    }
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return answer;
}

} // namespace

bool isText(const std::string& text)
{
    return dbus_validate_utf8(text.c_str(), nullptr) && std::strlen(text.c_str()) == text.size();
}

Answer forward(const std::vector<std::string>& links, const HandOver& handOver, Start start)
{
    for (const std::string& text : links) {
        if (!isText(text))
            return {Outcome::failed, "a link is not UTF-8 text"};
    }
    if (!isText(handOver.sourceApplication))
        return {Outcome::failed, "the source application is not UTF-8 text"};
    return call([&links, handOver = checked(handOver), start] { return callFor(links, handOver, start); });
}

Answer activateAction(const std::string& action, const HandOver& handOver, Start start)
{
    if (!isText(action) || !isText(handOver.sourceApplication))
        return {Outcome::failed, "the request is not UTF-8 text"};
    return call([&action, handOver = checked(handOver), start] { return actionCallFor(action, handOver, start); });
}

} // namespace InstanceForwarding
