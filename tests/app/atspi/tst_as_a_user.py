#!/usr/bin/python3
"""The installed Linkherd used as a person would, through the accessibility tree (AT-SPI) on a bare X server.

Usage: tst_as_a_user.py PREFIX, where PREFIX holds Linkherd as `cmake --install --prefix PREFIX` leaves it.
Starts its own Xvfb, session bus and accessibility bus in a throwaway home with a fake browser, and ends every
process it started. Exits 77 (CTest: skipped) when a tool is missing, except under CI, where that is a failure.
"""

import importlib.util
import json
import os
import shutil
import sys
import tempfile
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support", "session"))
from desktop_session import Session, fail, read, wait_for  # noqa: E402

AT_SPI_BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
LINK = "https://github.com/linkherd/linkherd/pulls?q=is%3Aopen"
SAFE_LINK = ("https://eur01.safelinks.protection.outlook.com/?url=" + urllib.parse.quote(LINK, safe="")
             + "&data=05%7C02%7Cx%40example.com&sdata=abc%3D&reserved=0")
TABS = ["General", "Links", "Chooser", "Automation", "About"]
pyatspi = None  # imported once the session is up: it reaches the accessibility bus of that session


class AtspiSession(Session):
    """The session on a bare X server, with the accessibility bus; Qt exposes its windows there."""

    def __init__(self, root, prefix):
        super().__init__(root, prefix)
        self.env.update({"QT_QPA_PLATFORM": "xcb", "QT_ACCESSIBILITY": "1", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})

    def up(self):
        display = self.first_line(["Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                  "Xvfb")
        self.env["DISPLAY"] = ":" + display
        self.start_bus()
        self.start([AT_SPI_BUS_LAUNCHER, "--launch-immediately"])
        # This process is the assistive technology: libatspi reads the session from its own environment.
        os.environ.update({name: self.env[name] for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")})
        # Qt asks the launcher for the accessibility bus once, when it starts: it has to be there first.
        from gi.repository import Gio, GLib
        bus = Gio.DBusConnection.new_for_address_sync(
            self.env["DBUS_SESSION_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        wait_for("the accessibility bus", lambda: bus.call_sync(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
            GLib.Variant("(s)", ("org.a11y.Bus",)), None, Gio.DBusCallFlags.NONE, 5000, None).unpack()[0])
        # Named outright, so neither side can end up on another session's bus through a display's property.
        address = bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None, None,
                                Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]
        bus.close_sync(None)
        os.environ["AT_SPI_BUS_ADDRESS"] = self.env["AT_SPI_BUS_ADDRESS"] = address


def descendants(node, depth=0):
    """Every object below node, depth first; objects that vanish mid-walk (a closed menu) are left out."""
    try:
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:
        return
    for child in children:
        if child is None:
            continue
        yield child
        if depth < 40:
            yield from descendants(child, depth + 1)


def find(root, role, name, showing=False):
    """The first object below root with that role and name (None: any name), or None."""
    for node in descendants(root):
        try:
            if node.getRole() == role and name in (None, node.name) and (
                    not showing or node.getState().contains(pyatspi.STATE_SHOWING)):
                return node
        except Exception:
            continue
    return None


def window(title):
    def probe():
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            for child in (app.getChildAtIndex(i) for i in range(app.childCount if app else 0)):
                # A top-level QWidget that is neither a main window nor a dialog is a "filler".
                if child is not None and child.name == title:
                    return app, child
        return None
    return wait_for(f'the "{title}" window', probe, timeout=30)


def press(node, name):
    action = node.queryAction()
    available = [action.getName(i) for i in range(action.nActions)]
    if name not in available:
        fail(f'"{node.name}" offers {available}, not "{name}"')
    action.doAction(available.index(name))


def unnamed_controls(page):
    """Focusable controls a screen reader could only announce by their role."""
    unnamed = []
    for node in descendants(page):
        try:
            states = node.getState()
            if states.contains(pyatspi.STATE_FOCUSABLE) and states.contains(pyatspi.STATE_SHOWING) \
                    and not node.name.strip():
                unnamed.append(f"{node.getRoleName()} (parent: {node.parent.getRoleName()} \"{node.parent.name}\")")
        except Exception:
            continue
    return unnamed


def as_a_user(session):
    session.start(["linkherd-app"])
    app, rules = window("Rules")

    # Popup menus are no children of the application: a screen reader learns of them when they are shown.
    shown = []
    pyatspi.Registry.registerEventListener(lambda event: event.detail1 and shown.append(event.source),
                                           "object:state-changed:showing")
    more = wait_for('the "…" button', lambda: find(rules, pyatspi.ROLE_PUSH_BUTTON, "Import, export, and hand editing"))
    press(more, "Press")
    item = wait_for('"Settings…" in the menu', lambda: next(
        filter(None, (find(menu, pyatspi.ROLE_MENU_ITEM, "Settings…") for menu in shown)), None))
    press(item, "Press")
    _, settings = window("Settings")

    tabs = wait_for("the settings tabs", lambda: find(settings, pyatspi.ROLE_PAGE_TAB_LIST, None))
    unnamed = {}
    for title in TABS:
        tab = wait_for(f'the "{title}" tab', lambda: find(tabs, pyatspi.ROLE_PAGE_TAB, title))
        press(tab, "Press")
        page = wait_for(f'the "{title}" page', lambda: find(settings, pyatspi.ROLE_FILLER, title, showing=True))
        missing = unnamed_controls(settings)
        if missing:
            unnamed[title] = missing
        if title == "Links":
            unwrap = find(page, pyatspi.ROLE_CHECK_BOX, "Unwrap redirect links")
            if unwrap is None:
                fail('no "Unwrap redirect links" switch on the Links tab')
            press(unwrap, "Toggle")
            wait_for('"unwrapsRedirects": true in rules.json', lambda: unwraps(session.rules))
        if title == "Chooser":
            profiles = find(page, pyatspi.ROLE_CHECK_BOX, "Show profiles")
            if profiles is None:
                fail('no "Show profiles" switch on the Chooser tab')
            press(profiles, "Toggle")
    if unnamed:
        fail("focusable controls without an accessible name: " + json.dumps(unnamed, ensure_ascii=False, indent=1))

    # Only the rule sends the link to the browser, and only once the rule sees the real host.
    session.run(["linkherd", "fallback", "--ask"])
    session.run(["linkherd", "rules", "add", "--host", "github.com", "--in", "fake"])
    session.run(["linkherd-app", SAFE_LINK])
    received = wait_for("a link at the fake browser", lambda: read(session.received).splitlines())
    if received != [LINK]:
        fail(f"the fake browser received {received}, not {LINK}")

    # With "Show profiles" on, the chooser offers each Firefox profile; the one chosen opens the link.
    os.remove(session.received)
    session.run(["linkherd-app", "https://example.org/"])
    _, chooser = window("Open Link")
    rows = {name: wait_for(f'the "{name}" row', lambda: find(chooser, pyatspi.ROLE_PUSH_BUTTON, name))
            for name in ("Firefox — Home", "Firefox — Work")}
    press(rows["Firefox — Work"], "Press")
    expected = ["--profile", os.path.join(session.firefox_root, "w.Work"), "https://example.org/"]
    received = wait_for("the link at Firefox", lambda: read(session.received).splitlines())
    if received != expected:
        fail(f"Firefox received {received}, not {expected}")


def unwraps(path):
    try:
        return json.loads(read(path))["rewriter"].get("unwrapsRedirects") is True
    except (ValueError, KeyError):
        return False  # not written yet


def main():
    global pyatspi
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    missing = [tool for tool in ("Xvfb", "dbus-daemon") if shutil.which(tool) is None]
    if not os.access(AT_SPI_BUS_LAUNCHER, os.X_OK):
        missing.append(AT_SPI_BUS_LAUNCHER + " (at-spi2-core)")
    if importlib.util.find_spec("pyatspi") is None:
        missing.append("pyatspi (python3-pyatspi)")
    if missing:
        print("missing (scripts/install-deps.sh installs them):", ", ".join(missing))
        sys.exit(1 if os.environ.get("CI") else 77)

    with tempfile.TemporaryDirectory(prefix="linkherd-atspi-") as root:
        session = AtspiSession(root, os.path.abspath(sys.argv[1]))
        try:
            session.add_fake_browser()
            session.up()
            pyatspi = importlib.import_module("pyatspi")
            as_a_user(session)
        finally:
            session.down()
    print("PASS: the installed Linkherd, used through the accessibility tree")


if __name__ == "__main__":
    main()
