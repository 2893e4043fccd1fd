"""The harness the end-to-end tests share: the utility and the stand-in bridge on one of the
virtual desktops (virtual_desktop.py, wayland_desktop.py, gnome_desktop.py), what the bridge saw,
the tray item as its host sees it over D-Bus, and how a test reports.

Reports go to stdout prefixed with the test's name; fail() exits 1 and skip() exits 77, which
CTest counts as skipped.
"""

import collections
import json
import os
import signal
import subprocess
import sys
import time
import urllib.request

from virtual_desktop import DesktopError, find_accessible, press

PROPS = "org.freedesktop.DBus.Properties"
STAR = "push button|toggle button|check box"  # the editor's star, as each platform shows it
NAME = os.path.splitext(os.path.basename(sys.argv[0]))[0]


def log(message):
    print("%s: %s" % (NAME, message), flush=True)


def fail(message):
    log("FAILED: " + message)
    sys.exit(1)


def skip(reason):
    log("SKIP: " + reason)
    sys.exit(77)


def expect(what, got, wanted):
    if got != wanted:
        fail("%s is %r, expected %r" % (what, got, wanted))


def require_clients(why):
    """Skips the test where Python has no D-Bus or AT-SPI client."""
    try:
        import dbus  # noqa: F401
        import pyatspi  # noqa: F401
    except ImportError as e:
        skip("%s: no D-Bus or AT-SPI client for Python (%s)" % (why, e))


def classify(pixel):
    r, g, b = pixel
    if g > r + 40 and g > b + 30:
        return "green"
    if r > g + 40 and g > b + 40:
        return "orange"
    if max(r, g, b) - min(r, g, b) < 20 and 90 < r < 200:
        return "gray"
    return None


def main_color(pixels):
    """The colour most of the given (r, g, b) pixels have, or "none"."""
    votes = collections.Counter(filter(None, map(classify, pixels)))
    return votes.most_common(1)[0][0] if votes else "none"


class Session:
    """The utility and the stand-in bridge (the server.py in standin) on the desktop d, with its
    HOME at home; screenshots and logs go to out, named after the run."""

    def __init__(self, d, run, app, standin, out, home):
        self.d, self.run, self.app_path, self.out, self.home = d, run, app, out, home
        self.server_path = os.path.join(standin, "server.py")
        self.project_file = os.path.join(home, ".marvek", "chatwire-projects.yaml")
        self.wait, self.step = d.wait, 0  # wait raises DesktopError: report it as a failure

    def write_projects(self, text):
        os.makedirs(os.path.dirname(self.project_file), exist_ok=True)
        with open(self.project_file, "w") as f:
            f.write(text)

    def serve_projects(self, count):
        """Writes a list of count projects, project-0 on, and has the stand-in read it again."""
        self.write_projects("projects:\n" + "".join("  project-%d: /srv/p%d\n" % (i, i)
                                                     for i in range(count)))
        self.bridge.send_signal(signal.SIGHUP)
        self.wait(lambda: len(self.projects()) == count, 3, "%d projects at the stand-in" % count)

    def start(self, seed):
        """Writes the project list, brings up the desktop (the test is skipped where it cannot
        start), the stand-in and the utility."""
        self.write_projects(seed)
        try:
            os.environ.update(self.d.start())  # for the AT-SPI and D-Bus clients in here
        except DesktopError as e:
            skip("the desktop did not start: %s" % e)
        self.started()
        self.start_bridge()
        self.app = self.launch()

    def started(self):
        """What a desktop needs once it runs, before the bridge and the utility start."""

    def start_bridge(self):
        self.bridge = self.d.spawn([sys.executable, self.server_path, "--home", self.home])
        self.wait(self.control, 10, "stand-in bridge")

    def launch(self, log_name="app.log", args=(), env=None):
        return self.d.spawn([self.app_path] + list(args), env=env or self.d.env,
                            stderr=open(os.path.join(self.out, log_name), "w"))

    def shot(self, name):
        self.step += 1
        self.d.screenshot(os.path.join(self.out, "%s-%02d-%s.png" % (self.run, self.step, name)))

    def within(self, probe, seconds):
        """probe()'s first true value within seconds, else None."""
        try:
            return self.wait(probe, seconds, "")
        except DesktopError:
            return None

    def http(self, path, body=None):
        """The stand-in's JSON answer to a GET, or to a POST of body; None when it answers not."""
        data = None if body is None else json.dumps(body).encode()
        try:
            with urllib.request.urlopen("http://127.0.0.1:9876" + path, data, timeout=3) as r:
                return json.loads(r.read())
        except OSError:
            return None

    def control(self, **changes):
        return self.http("/_control", changes or None)

    def requests(self, path=None):
        return [r for r in self.http("/_requests") or [] if path in (None, r["path"])]

    def reloads(self):
        """How many reload signals the stand-in has had."""
        return (self.control() or {}).get("reloads")

    def file_bytes(self):
        with open(self.project_file, "rb") as f:
            return f.read()

    def projects(self):
        return (self.http("/status") or {}).get("projects") or []

    def window(self, title):
        """(x, y, w, h) of the visible window titled exactly title, or None."""
        found = self.d.window(title)
        return found and self.d.geometry(found)

    def panel(self):
        return self.window("DORV")

    def find(self, role, name, seconds=3):
        return self.wait(lambda: find_accessible(name, role), seconds, "%s %r" % (role, name))

    def press(self, role, name):
        press(self.find(role, name))
        time.sleep(0.3)

    def has_state(self, role, name, state):
        return self.find(role, name).getState().contains(state)

    def exited(self, proc, seconds, what):
        try:
            expect(what + ": exit status", proc.wait(seconds), 0)
        except subprocess.TimeoutExpired:
            fail("%s: still running after %d s" % (what, seconds))


def focused():
    """The name of the control that has the keyboard focus, as a screen reader is told."""
    import pyatspi
    desktop = pyatspi.Registry.getDesktop(0)
    desktop.clear_cache()
    root = next((a for a in desktop if a is not None and a.name == "DORV"), None)
    hit = root and pyatspi.findDescendant(
        root, lambda a: a.getState().contains(pyatspi.STATE_FOCUSED))
    return hit.name if hit else None


def quit_row_gap(first):
    """How far the panel's Quit DORV row ends above the bottom of its window, and the window's
    height, in the utility's own coordinates (natively on Wayland it places its windows at 0, 0);
    None until the panel shows a row whose name starts with first."""
    import pyatspi
    row = find_accessible("Quit DORV", "push button")
    if not row or not pyatspi.findDescendant(row.parent.parent,
                                             lambda a: a.name.startswith(first)):
        return None
    window = row
    while window.parent and window.parent.getRoleName() != "application":
        window = window.parent
    _, y, _, h = row.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    _, wy, _, wh = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return wy + wh - (y + h), wh


class StatusNotifier:
    """The item as the tray host sees it over D-Bus."""

    def __init__(self, s):
        import dbus
        self.bus = dbus.bus.BusConnection(s.d.env["DBUS_SESSION_BUS_ADDRESS"])
        self.watcher = self.bus.get_object("org.kde.StatusNotifierWatcher",
                                           "/StatusNotifierWatcher")
        item = s.wait(self.items, 10, "a registered StatusNotifierItem")[0]
        # GNOME's watcher lists an item as "SERVICE@/PATH", the others as "SERVICE/PATH".
        service, _, path = item.partition("/")
        self.item = self.bus.get_object(service.rstrip("@"), "/" + path)

    def items(self):
        return list(self.watcher.Get("org.kde.StatusNotifierWatcher",
                                     "RegisteredStatusNotifierItems", dbus_interface=PROPS))

    def prop(self, name):
        return self.item.Get("org.kde.StatusNotifierItem", name, dbus_interface=PROPS)

    def menu(self):
        """The item's menu as a host reads it over DBusMenu: (label, properties) of each shown
        entry, "-" for a separator; None when the item exports no menu."""
        path = str(self.prop("Menu"))
        if path in ("/", "/NO_DBUSMENU"):
            return None
        menu = self.bus.get_object(self.item.requested_bus_name, path)
        _, (_, _, children) = menu.GetLayout(0, -1, [], dbus_interface="com.canonical.dbusmenu")
        return [("-" if p.get("type") == "separator" else str(p.get("label", "")), p)
                for _, p, _ in children if p.get("visible", True)]

    def activate(self, x, y):
        self.item.Activate(x, y, dbus_interface="org.kde.StatusNotifierItem")

    def state(self):
        """The tooltip and the colour of the largest pixmap (ARGB32, network byte order)."""
        argb = bytes(max(self.prop("IconPixmap"), key=lambda p: p[0])[2])
        return str(self.prop("ToolTip")[2]), main_color(
            [tuple(argb[i + 1:i + 4]) for i in range(0, len(argb), 4) if argb[i] > 200])
