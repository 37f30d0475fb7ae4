// An application inside a sandbox as Flatpak makes one, for tests of where links come from: a process whose
// root directory holds a .flatpak-info naming it, which asks Linkherd over the session bus to open a link.
//
//   linkherd_sandboxed_caller ROOT URL
//
// ROOT is a directory the test prepared (with its .flatpak-info). The bus connection is made first, then the
// process changes its root to ROOT, as a sandboxed application's root is its own. Without the right to change
// the root (no user namespaces, no CAP_SYS_CHROOT) it exits with 77, which the test takes as "skip".

#include <gio/gio.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define LINKHERD_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LINKHERD_LEAK_CHECK 1
#endif
#endif
#ifdef LINKHERD_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace {

constexpr int cannotSandbox = 77;

bool writeText(const char* path, const std::string& text)
{
    const int file = ::open(path, O_WRONLY | O_CLOEXEC);
    if (file < 0)
        return false;
    const bool written = ::write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(file);
    return written;
}

// A user namespace in which this user keeps its own IDs, so the bus still recognises it, and may change root.
bool enterOwnUserNamespace()
{
    const std::string uid = std::to_string(::geteuid());
    const std::string gid = std::to_string(::getegid());
    if (::unshare(CLONE_NEWUSER) != 0) {
        std::fprintf(stderr, "no user namespace: %s\n", std::strerror(errno));
        return false;
    }
    return writeText("/proc/self/setgroups", "deny") && writeText("/proc/self/uid_map", uid + " " + uid + " 1") &&
           writeText("/proc/self/gid_map", gid + " " + gid + " 1");
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROOT URL\n", argv[0]);
        return 2;
    }
    const char* root = argv[1];
    const char* link = argv[2];

    // Before any thread exists: a process with threads cannot enter a new user namespace.
    if (::geteuid() != 0 && !enterOwnUserNamespace())
        return cannotSandbox;

    GError* error = nullptr;
    const char* address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
    GDBusConnection* bus = address
                               ? g_dbus_connection_new_for_address_sync(
                                     address,
                                     static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                       G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                     nullptr, nullptr, &error)
                               : nullptr;
    if (!bus) {
        std::fprintf(stderr, "no session bus: %s\n", error ? error->message : "DBUS_SESSION_BUS_ADDRESS is not set");
        return 1;
    }

#ifdef LINKHERD_LEAK_CHECK
    // In the sanitizer build: LeakSanitizer reads /proc, which the new root does not have, so it looks for leaks
    // now and not at exit.
    __lsan_do_leak_check();
#endif
    if (::chroot(root) != 0 || ::chdir("/") != 0) {
        std::fprintf(stderr, "cannot change root: %s\n", std::strerror(errno));
        return cannotSandbox;
    }

    const char* uris[] = {link, nullptr};
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.linkherd.Linkherd", "/org/linkherd/Linkherd", "org.freedesktop.Application", "Open",
        g_variant_new("(^as@a{sv})", uris, g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 10'000, nullptr, &error);
    if (!reply) {
        std::fprintf(stderr, "Open failed: %s\n", error->message);
        return 1;
    }
    g_variant_unref(reply);
    g_object_unref(bus);
    return 0;
}
