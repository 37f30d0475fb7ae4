#!/usr/bin/python3
"""The installed Linkherd on GNOME's Wayland desktop: Debian's mutter, headless, with a native Wayland window in front.

Usage: tst_under_mutter.py PREFIX [PLATFORM...], where PREFIX holds Linkherd as `cmake --install --prefix PREFIX`
leaves it, and the PLATFORMs are Qt's to run it with (default: xcb, that is XWayland, and wayland).
A link clicked in the Wayland window (Return in it starts linkherd-app through GTK's launch context) that the rules
leave to the user brings the "Open Link" panel in front, fullscreen window or not, and Ctrl+1 typed on mutter's
virtual keyboard opens it in the first browser; a panel left waiting comes back in front with the next link (with
Qt's Wayland plugin only through the startup ID GTK hands over, taken as the activation token); a rule still routes
without the panel; "Ask for the next link" (`linkherd ask-next`, the launcher entry's `linkherd-app --ask-next`)
sends one link to the panel whatever the rules. Exits 77 (CTest: skipped) when mutter cannot start here, or a tool
is missing outside CI.
"""

import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support", "session"))
from desktop_session import fail, wait_for  # noqa: E402
from mutter_session import MutterSession, missing_tools  # noqa: E402

ASKS = "https://example.org/asks"
RULED = "https://routed.example/"


class Scene:
    """One Wayland window in front with the keyboard, and mutter's virtual keyboard typing into it."""

    def __init__(self, session, fullscreen):
        self.session = session
        self.window = session.wayland_window(fullscreen)
        # The virtual keyboard comes a moment after its session, and until a keyboard's first key nothing has the
        # keyboard focus: type until the window sees a key.
        self.keyboard = session.keyboard()
        self.wait("the virtual keyboard", lambda: self.keyboard.press("a") or self.window.reported("key a"))
        self.wait("the Wayland window to have the focus", lambda: self.window.reported("active"))

    def wait(self, what, probe):
        """wait_for, with what the window reported in the message when it times out."""
        try:
            return wait_for(what, probe)
        except AssertionError as error:
            fail(f"{error}; the window reported {self.window.seen}")

    def click_link(self, link):
        self.window.forget()
        self.window.send("link " + link)
        self.wait("the window to take the link", lambda: self.window.reported("pending " + link))
        self.keyboard.press("Return")
        return self.wait("linkherd-app started by the window", lambda: self.window.reported("launched"))

    def panel_in_front(self, link, x11):
        self.click_link(link)
        self.wait("the Wayland window to lose the focus to the panel", lambda: self.window.reported("inactive"))
        if x11:
            self.wait('"Open Link" as the active window', lambda: self.session.x11_active_window_name() == "Open Link")

    def answer(self, link):
        """Ctrl+1 in the panel, and link at the first browser."""
        before = len(self.session.received_links())
        # The Wayland window loses the focus a moment before the panel has it, and a key typed in between reaches
        # nobody: type again each second until the link is there.
        typed = []

        def opened():
            if self.session.received_links()[before:] == [link]:
                return True
            if not typed or time.monotonic() - typed[-1] > 1:
                typed.append(time.monotonic())
                self.keyboard.press("Control_L", "1")
            return False
        self.wait(f"{link} at the first browser", opened)

    def panel_takes_the_keyboard(self, link, x11):
        self.panel_in_front(link, x11)
        self.answer(link)
        self.wait("the Wayland window to have the focus back", lambda: self.window.reported("active"))

    def waiting_panel_comes_back(self, first, second, x11):
        """A panel left waiting (Alt+Tab back to the window) comes in front again with the next link."""
        self.panel_in_front(first, x11)
        self.window.forget()
        self.keyboard.press("Alt_L", "Tab")
        self.wait("the Wayland window to have the focus again", lambda: self.window.reported("active"))
        self.panel_in_front(second, x11)
        self.answer(first)
        self.answer(second)
        self.wait("the Wayland window to have the focus back", lambda: self.window.reported("active"))

    def routed_without_panel(self, link):
        before = len(self.session.received_links())
        self.click_link(link)
        self.wait("the link at the rule's browser", lambda: self.session.received_links()[before:] == [link])
        if self.window.reported("inactive"):
            fail(f"{link} took the focus from the Wayland window; a rule should have routed it")

    def close(self):
        self.keyboard.close()
        self.window.process.stdin.close()
        self.window.process.wait(timeout=10)


def under_mutter(session, platform):
    x11 = platform == "xcb"
    session.quit_linkherd()
    session.update_activation_environment(QT_QPA_PLATFORM=platform, QT_LOGGING_RULES="org.linkherd.*.debug=true")

    scene = Scene(session, fullscreen=False)
    scene.panel_takes_the_keyboard(ASKS, x11)
    scene.routed_without_panel(RULED)
    session.run(["linkherd", "ask-next"])
    scene.panel_takes_the_keyboard(RULED + "next", x11)
    scene.routed_without_panel(RULED + "after")
    scene.waiting_panel_comes_back(ASKS + "/first", ASKS + "/second", x11)
    scene.close()

    scene = Scene(session, fullscreen=True)
    scene.panel_takes_the_keyboard(ASKS + "/fullscreen", x11)
    session.run(["linkherd-app", "--ask-next"])  # the launcher entry's action
    scene.panel_takes_the_keyboard(RULED + "fullscreen", x11)
    scene.close()


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    missing = missing_tools()
    if missing:
        print("missing (scripts/install-deps.sh installs them):", ", ".join(missing))
        sys.exit(1 if os.environ.get("CI") else 77)

    with tempfile.TemporaryDirectory(prefix="linkherd-mutter-") as root:
        session = MutterSession(root, os.path.abspath(sys.argv[1]))
        try:
            session.add_fake_browser()
            try:
                session.up()
            except AssertionError as error:
                print(f"SKIP: mutter cannot start on this machine: {error}")
                sys.exit(77)
            session.run(["linkherd", "fallback", "--ask"])
            session.run(["linkherd", "rules", "add", "--host", "routed.example", "--in", "firefox"])
            for platform in sys.argv[2:] or ["xcb", "wayland"]:
                under_mutter(session, platform)
                print(f"ok: Qt's {platform} platform")
        finally:
            session.down()
    print("PASS: the installed Linkherd under mutter, over a native Wayland window")


if __name__ == "__main__":
    main()
