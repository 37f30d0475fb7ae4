"""A GNOME-on-Wayland session for tests: Debian's mutter, headless, with XWayland, on a private session bus.

mutter (--headless --wayland --virtual-monitor 1280x800) is the compositor and starts XWayland; a small GTK window
with GDK_BACKEND=wayland plays the native application that has the focus (tests/support/gui/wayland_window.py);
keys come from a virtual keyboard of mutter's org.gnome.Mutter.RemoteDesktop, which exists only while its session
is open. Linkherd is the installed one, started by the bus from its service file as on a desktop.
"""

import glob
import os
import queue
import shutil
import subprocess
import sys
import threading

from desktop_session import Session, fail, read, wait_for

WAYLAND_WINDOW = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "gui", "wayland_window.py")
REMOTE_DESKTOP = "org.gnome.Mutter.RemoteDesktop"
KEYSYMS = {"Control_L": 0xffe3, "Alt_L": 0xffe9, "Tab": 0xff09, "Return": 0xff0d, "Escape": 0xff1b, "1": 0x31, "2": 0x32, "a": 0x61}


def missing_tools():
    """What this session needs that the machine lacks (scripts/install-deps.sh installs all of it)."""
    missing = [tool for tool in ("mutter", "Xwayland", "dbus-daemon", "xdotool") if shutil.which(tool) is None]
    if not glob.glob("/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so"):
        missing.append("Qt's Wayland plugin (qt6-wayland)")
    try:
        import gi
        gi.require_version("Gtk", "3.0")
    except (ImportError, ValueError):
        missing.append("GTK 3 for Python (python3-gi, gir1.2-gtk-3.0)")
    return missing


class WaylandWindow:
    """The GTK window's process and the lines it reports, collected as they come."""

    def __init__(self, process):
        self.process = process
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._collect, daemon=True).start()

    def _collect(self):
        for line in self.process.stdout:
            self.lines.put(line.strip())

    def reported(self, line):
        """Whether the window has reported the line since the last forget()."""
        while not self.lines.empty():
            self.seen.append(self.lines.get())
        return line in self.seen or next((seen for seen in self.seen if seen.startswith(line)), None)

    def forget(self):
        self.reported("")
        self.seen.clear()

    def send(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()


class Keyboard:
    """A RemoteDesktop session of mutter: its virtual keyboard types into whichever surface has the focus."""

    def __init__(self, bus):
        from gi.repository import Gio, GLib
        self.GLib = GLib
        path = bus.call_sync(REMOTE_DESKTOP, "/org/gnome/Mutter/RemoteDesktop", REMOTE_DESKTOP, "CreateSession",
                             None, GLib.VariantType("(o)"), Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]
        self.session = Gio.DBusProxy.new_sync(bus, Gio.DBusProxyFlags.DO_NOT_LOAD_PROPERTIES, None, REMOTE_DESKTOP,
                                              path, REMOTE_DESKTOP + ".Session", None)
        self.session.call_sync("Start", None, Gio.DBusCallFlags.NONE, 5000, None)

    def _key(self, name, pressed):
        self.session.call_sync("NotifyKeyboardKeysym", self.GLib.Variant("(ub)", (KEYSYMS[name], pressed)),
                               0, 5000, None)

    def press(self, *names):
        """Presses the keys in order and lets go of them in the opposite order: press("Control_L", "1")."""
        for name in names:
            self._key(name, True)
        for name in reversed(names):
            self._key(name, False)

    def close(self):
        self.session.call_sync("Stop", None, 0, 5000, None)


class MutterSession(Session):
    def __init__(self, root, prefix):
        super().__init__(root, prefix)
        # As GNOME sets them; XDG_SESSION_TYPE is what tells Linkherd it is on Wayland whatever Qt runs on.
        self.env.update({"XDG_SESSION_TYPE": "wayland", "XDG_CURRENT_DESKTOP": "GNOME",
                         "WAYLAND_DISPLAY": "linkherd-test"})
        self.bus = None

    def up(self):
        self.start_bus()
        ready = os.path.join(self.root, "mutter-environment")
        # mutter runs the command once its displays are up, with DISPLAY and XAUTHORITY of its XWayland set.
        self.mutter = self.start(
            ["mutter", "--headless", "--wayland", "--virtual-monitor", "1280x800", "--wayland-display",
             self.env["WAYLAND_DISPLAY"], "--", "sh", "-c",
             'printf "%s\\n%s\\n" "$DISPLAY" "$XAUTHORITY" > "$0.part" && mv "$0.part" "$0" && exec sleep infinity',
             ready],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.root, "mutter.log"), "w"))

        def started():
            if self.mutter.poll() is not None:
                fail("mutter ended while starting:\n" + read(os.path.join(self.root, "mutter.log")))
            return read(ready).splitlines()
        self.env["DISPLAY"], self.env["XAUTHORITY"] = wait_for("mutter and XWayland", started, timeout=30)
        from gi.repository import Gio
        self.bus = Gio.DBusConnection.new_for_address_sync(
            self.env["DBUS_SESSION_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        self.update_activation_environment()

    def update_activation_environment(self, **extra):
        """What the bus gives the programs it starts (the resident among them), as gnome-session tells it."""
        from gi.repository import GLib
        names = ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP")
        variables = {name: self.env[name] for name in names}
        variables.update(extra)
        self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                  "UpdateActivationEnvironment", GLib.Variant("(a{ss})", (variables,)))

    def call(self, name, path, interface, method, parameters=None):
        from gi.repository import Gio
        return self.bus.call_sync(name, path, interface, method, parameters, None, Gio.DBusCallFlags.NONE, 10000,
                                  None).unpack()

    def has_owner(self, name):
        from gi.repository import GLib
        return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                         GLib.Variant("(s)", (name,)))[0]

    def wayland_window(self, fullscreen=False):
        # NO_AT_BRIDGE: GTK would otherwise start an accessibility bus that nothing here reads.
        env = dict(self.env, GDK_BACKEND="wayland", NO_AT_BRIDGE="1")
        env.pop("DISPLAY")
        process = self.start([sys.executable, WAYLAND_WINDOW] + (["--fullscreen"] if fullscreen else []), env=env,
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        return WaylandWindow(process)

    def keyboard(self):
        return Keyboard(self.bus)

    def x11_active_window_name(self):
        """The name of XWayland's active window; empty while a native Wayland window has the focus."""
        result = subprocess.run(["xdotool", "getactivewindow", "getwindowname"], env=self.env, capture_output=True,
                                text=True, timeout=10)
        return result.stdout.strip() if result.returncode == 0 else ""

    def quit_linkherd(self):
        if self.has_owner("org.linkherd.Linkherd"):
            from gi.repository import GLib
            self.call("org.linkherd.Linkherd", "/org/linkherd/Linkherd", "org.freedesktop.Application",
                      "ActivateAction", GLib.Variant("(sava{sv})", ("quit", [], {})))
            wait_for("Linkherd to quit", lambda: not self.has_owner("org.linkherd.Linkherd"))

    def down(self):
        if self.bus is not None:
            self.bus.close_sync(None)
        super().down()
