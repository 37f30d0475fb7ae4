#!/usr/bin/python3
"""A native Wayland window (GTK 3, GDK_BACKEND=wayland) that plays the application a link is clicked in.

Usage: wayland_window.py [--fullscreen]. Reports on standard output, a line each: "active" / "inactive" when it
gains or loses the keyboard focus, "key NAME" for each key pressed in it, "launched ID" when it has started
linkherd-app. A line "link URL" on standard input (answered "pending URL") makes the next Return pressed in the
window start `linkherd-app URL` the way a GTK application opens a link: through its display's launch context,
which tells the compositor of the launch and gives the program its ID ("launched -" when there is none). GTK 3.24
under mutter 43 announces it through gtk_shell1 and hands it over as DESKTOP_STARTUP_ID, not as an xdg-activation
token.
"""

import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gio, GLib, Gtk  # noqa: E402

pending = []


def say(line):
    print(line, flush=True)


def on_key(window, event):
    name = Gdk.keyval_name(event.keyval)
    say(f"key {name}")
    if name == "Return" and pending:
        link = pending.pop(0)
        context = window.get_display().get_app_launch_context()
        context.set_timestamp(event.time)
        program = Gio.AppInfo.create_from_commandline(
            "linkherd-app %u", "linkherd-app",
            Gio.AppInfoCreateFlags.SUPPORTS_URIS | Gio.AppInfoCreateFlags.SUPPORTS_STARTUP_NOTIFICATION)
        tokens = []
        context.connect("launched", lambda _context, _info, data: tokens.append(
            data.lookup_value("startup-notification-id", None)))
        program.launch_uris([link], context)
        token = tokens[0].get_string() if tokens and tokens[0] is not None else ""
        say(f"launched {token or '-'}")
    return True


def on_input(channel, _condition):
    line = channel.readline()
    if not line:
        Gtk.main_quit()
        return False
    command, _, argument = line.strip().partition(" ")
    if command == "link":
        pending.append(argument)
        say(f"pending {argument}")
    return True


def main():
    window = Gtk.Window(title="Wayland window")
    window.set_default_size(640, 480)
    window.connect("notify::is-active", lambda *_: say("active" if window.is_active() else "inactive"))
    window.connect("key-press-event", on_key)
    window.connect("destroy", Gtk.main_quit)
    if "--fullscreen" in sys.argv:
        window.fullscreen()
    window.show_all()
    window.present()
    GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT,
                      GLib.IOCondition.IN | GLib.IOCondition.HUP, on_input)
    Gtk.main()


if __name__ == "__main__":
    main()
