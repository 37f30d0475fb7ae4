// A stand-in for an application in the foreground on an X server without a window manager: it maps a window
// carrying the given GTK application ID (or, with --wm-class, only that WM_CLASS instance and class name) and,
// as a window manager would, names it the active window on the root. Prints the window's ID once that is done,
// then stays until killed.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <xcb/xcb.h>

static xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    if (!reply) {
        std::fprintf(stderr, "active_window_client: cannot intern %s\n", name);
        std::exit(1);
    }
    const xcb_atom_t result = reply->atom;
    std::free(reply);
    return result;
}

int main(int argc, char* argv[])
{
    const bool byClass = argc == 4 && std::strcmp(argv[1], "--wm-class") == 0;
    if (argc != 2 && !byClass) {
        std::fprintf(stderr, "usage: active_window_client GTK_APPLICATION_ID | --wm-class INSTANCE CLASS\n");
        return 2;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "active_window_client: cannot open the display\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 100, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    if (byClass) {
        // Two NUL-terminated strings in one property.
        const std::string value = std::string(argv[2]) + '\0' + argv[3] + '\0';
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            static_cast<uint32_t>(value.size()), value.data());
    } else {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(connection, "_GTK_APPLICATION_ID"),
                            atom(connection, "UTF8_STRING"), 8, static_cast<uint32_t>(std::strlen(argv[1])), argv[1]);
    }
    xcb_map_window(connection, window);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, screen->root, atom(connection, "_NET_ACTIVE_WINDOW"),
                        XCB_ATOM_WINDOW, 32, 1, &window);
    // A round trip: everything above has reached the server before the caller is told.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    std::printf("0x%x\n", window);
    std::fflush(stdout);
    pause();
    return 0;
}
