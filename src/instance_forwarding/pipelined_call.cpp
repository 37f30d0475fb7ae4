#include "pipelined_call.h"

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace InstanceForwarding {

namespace {

constexpr dbus_uint32_t helloSerial = 1;
constexpr dbus_uint32_t callSerial = 2;
// The authentication's answer is one short line ("OK <server GUID>"); anything longer is not a bus.
constexpr std::size_t longestAuthenticationLine = 1024;

class Socket {
public:
    explicit Socket(int descriptor) : m_descriptor(descriptor) {}
    ~Socket()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

// A connected socket to the first of the address's unix:path= or unix:abstract= entries that accepts one, as
// libdbus tries them in order, or -1.
int connectTo(const char* address)
{
    DBusAddressEntry** entries = nullptr;
    int count = 0;
    if (!dbus_parse_address(address, &entries, &count, nullptr))
        return -1;
    int connected = -1;
    for (int index = 0; index < count && connected < 0; ++index) {
        if (std::strcmp(dbus_address_entry_get_method(entries[index]), "unix") != 0)
            continue;
        const char* path = dbus_address_entry_get_value(entries[index], "path");
        const char* abstract = dbus_address_entry_get_value(entries[index], "abstract");
        const char* name = path ? path : abstract;
        sockaddr_un socketAddress{};
        socketAddress.sun_family = AF_UNIX;
        // An abstract name starts with a NUL byte, which counts in its length.
        const std::size_t offset = path ? 0 : 1;
        if (!name || offset + std::strlen(name) > sizeof socketAddress.sun_path - (path ? 1 : 0))
            continue;
        std::memcpy(socketAddress.sun_path + offset, name, std::strlen(name));
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + std::strlen(name) + (path ? 1 : 0));
        const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (descriptor < 0)
            break;
        if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&socketAddress), length) == 0)
            connected = descriptor;
        else
            ::close(descriptor);
    }
    dbus_address_entries_free(entries);
    return connected;
}

bool append(std::string& bytes, DBusMessage* message)
{
    char* marshalled = nullptr;
    int length = 0;
    if (!dbus_message_marshal(message, &marshalled, &length))
        return false;
    bytes.append(marshalled, static_cast<std::size_t>(length));
    dbus_free(marshalled);
    return true;
}

// The NUL byte that starts every connection, EXTERNAL authentication as this user (the bus checks it against the
// socket's peer credentials), BEGIN, Hello and the call.
bool request(std::string& bytes, DBusMessage* call)
{
    char user[32];
    std::snprintf(user, sizeof user, "%u", static_cast<unsigned>(::geteuid()));
    bytes.append(1, '\0');
    bytes += "AUTH EXTERNAL ";
    for (const char* digit = user; *digit; ++digit) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(*digit));
        bytes += hex;
    }
    bytes += "\r\nBEGIN\r\n";
    DBusMessage* hello = dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello");
    if (!hello)
        return false;
    dbus_message_set_serial(hello, helloSerial);
    dbus_message_set_serial(call, callSerial);
    const bool appended = append(bytes, hello) && append(bytes, call);
    dbus_message_unref(hello);
    return appended;
}

bool sendAll(int socket, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t written = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        sent += static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

PipelinedReply callPipelined(const char* address, DBusMessage* call, int timeoutMs)
{
    const Socket socket(connectTo(address));
    std::string bytes;
    if (socket.get() < 0 || !request(bytes, call) || !sendAll(socket.get(), bytes))
        return {};

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string received;
    bool authenticated = false;
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{socket.get(), POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&readable, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return {PipelinedReply::Status::lost, nullptr,
                    "no answer within " + std::to_string(timeoutMs / 1000) + " s"};
        const ssize_t length = ::read(socket.get(), buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0) {
            // Before the bus accepted the authentication it handled nothing that followed it.
            if (!authenticated)
                return {};
            return {PipelinedReply::Status::lost, nullptr, "the bus closed the connection"};
        }
        received.append(buffer, static_cast<std::size_t>(length));

        if (!authenticated) {
            const std::size_t end = received.find("\r\n");
            if (end == std::string::npos) {
                if (received.size() > longestAuthenticationLine)
                    return {};
                continue;
            }
            if (received.compare(0, 3, "OK ") != 0)
                return {};
            received.erase(0, end + 2);
            authenticated = true;
        }
        // The bus answers Hello, may announce the name it gave, and then answers the call.
        for (;;) {
            const int needed = dbus_message_demarshal_bytes_needed(received.data(), static_cast<int>(received.size()));
            if (needed < 0)
                return {PipelinedReply::Status::lost, nullptr, "the bus sent something that is not a message"};
            if (needed == 0 || received.size() < static_cast<std::size_t>(needed))
                break;
            DBusMessage* message = dbus_message_demarshal(received.data(), needed, nullptr);
            received.erase(0, static_cast<std::size_t>(needed));
            if (!message)
                return {PipelinedReply::Status::lost, nullptr, "the bus sent something that is not a message"};
            const int type = dbus_message_get_type(message);
            if ((type == DBUS_MESSAGE_TYPE_METHOD_RETURN || type == DBUS_MESSAGE_TYPE_ERROR) &&
                dbus_message_get_reply_serial(message) == callSerial)
                return {PipelinedReply::Status::answered, message, {}};
            dbus_message_unref(message);
        }
    }
}

} // namespace InstanceForwarding
