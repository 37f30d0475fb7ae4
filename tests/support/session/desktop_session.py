"""A throwaway desktop session for tests that use the installed Linkherd as a person would.

A home with its own XDG folders, a private session bus, fake browsers (a shell script that appends each argument
it gets to a file), and every process started in its own process group, so that down() ends them all. The display
is the caller's: tests/app/atspi starts Xvfb, tests/app/mutter a headless mutter.
"""

import os
import signal
import subprocess
import time


def fail(message):
    raise AssertionError(message)


def wait_for(what, probe, timeout=15.0):
    """probe() until it gives something true; windows, buses and files change asynchronously."""
    try:
        from gi.repository import GLib
        context = GLib.MainContext.default()
    except ImportError:
        context = None
    deadline = time.monotonic() + timeout
    while True:
        # AT-SPI and D-Bus signals arrive through GLib's main context, which nothing else runs here.
        while context is not None and context.iteration(False):
            pass
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            fail(f"timed out waiting for {what}")
        time.sleep(0.05)


def read(path):
    try:
        with open(path, encoding="utf-8") as file:
            return file.read()
    except FileNotFoundError:
        return ""


class Session:
    """The processes of one throwaway desktop session, each in its own process group."""

    def __init__(self, root, prefix):
        self.root = root
        self.processes = []
        home = os.path.join(root, "home")
        self.config = os.path.join(home, ".config")
        self.data = os.path.join(home, ".local", "share")
        # Its own runtime folder, also when run as root in CI, where there is none: buses and compositors put
        # their sockets there.
        self.runtime = os.path.join(root, "runtime")
        for folder in (self.config, self.data, self.runtime, os.path.join(home, ".cache"), os.path.join(root, "bin")):
            os.makedirs(folder, mode=0o700, exist_ok=True)
        # The sanitizers' options too: in the sanitizer build the installed programs are instrumented, and their
        # findings count with the same suppressions as everywhere else.
        keep = ("PATH", "LD_LIBRARY_PATH", "TMPDIR", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS")
        self.env = {name: os.environ[name] for name in keep if name in os.environ}
        self.env.update({
            "PATH": os.path.join(prefix, "bin") + os.pathsep + self.env.get("PATH", "/usr/bin:/bin"),
            "HOME": home, "XDG_CONFIG_HOME": self.config, "XDG_DATA_HOME": self.data,
            "XDG_CACHE_HOME": os.path.join(home, ".cache"), "XDG_RUNTIME_DIR": self.runtime,
            # The installed tree first: the session bus finds the resident's service file there.
            "XDG_DATA_DIRS": os.path.join(prefix, "share") + ":/usr/share",
            "XDG_CONFIG_DIRS": os.path.join(root, "config-dirs"), "XDG_CURRENT_DESKTOP": "X-Generic",
            "GIO_USE_VFS": "local", "GSETTINGS_BACKEND": "memory", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8",
        })
        self.rules = os.path.join(self.config, "linkherd", "rules.json")
        self.received = os.path.join(root, "received")

    def start(self, argv, env=None, **options):
        process = subprocess.Popen(argv, env=env or self.env, start_new_session=True, **options)
        self.processes.append(process)
        return process

    def first_line(self, argv, what):
        """Starts a daemon that writes where it listens as its first line."""
        process = self.start(argv, stdout=subprocess.PIPE, text=True)
        line = process.stdout.readline().strip()
        if not line:
            fail(f"{what} did not start")
        return line

    def run(self, argv):
        return subprocess.run(argv, env=self.env, check=True, capture_output=True, text=True, timeout=30).stdout

    def start_bus(self):
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.first_line(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"], "the session bus")

    def received_links(self):
        return read(self.received).splitlines()

    def add_fake_browser(self):
        """"Fake" (first in the chooser) and a Firefox with two profiles, both recording into self.received."""
        program = os.path.join(self.root, "bin", "fake-browser")
        with open(program, "w") as script:
            script.write(f'#!/bin/sh\nfor link in "$@"; do printf "%s\\n" "$link" >> "{self.received}"; done\n')
        os.chmod(program, 0o755)
        applications = os.path.join(self.data, "applications")
        os.makedirs(applications, exist_ok=True)
        with open(os.path.join(applications, "fake.desktop"), "w") as entry:
            entry.write(f"[Desktop Entry]\nType=Application\nName=Fake\nExec={program} %U\n"
                        "MimeType=x-scheme-handler/http;x-scheme-handler/https;text/html;\n"
                        "Categories=Network;WebBrowser;\n")
        with open(os.path.join(applications, "firefox.desktop"), "w") as entry:
            entry.write(f"[Desktop Entry]\nType=Application\nName=Firefox\nExec={program} %u\n"
                        "MimeType=x-scheme-handler/http;x-scheme-handler/https;text/html;\n"
                        "Categories=Network;WebBrowser;\n")
        self.firefox_root = os.path.join(self.root, "home", ".mozilla", "firefox")
        os.makedirs(self.firefox_root, exist_ok=True)
        with open(os.path.join(self.firefox_root, "profiles.ini"), "w") as ini:
            ini.write("[Profile0]\nName=Work\nIsRelative=1\nPath=w.Work\n"
                      "[Profile1]\nName=Home\nIsRelative=1\nPath=h.Home\n")
        # GIO finds the handlers of a link type through mimeinfo.cache, which the desktop's install triggers write.
        self.run(["update-desktop-database", applications])

    def down(self):
        for process in reversed(self.processes):
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        for process in reversed(self.processes):
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
