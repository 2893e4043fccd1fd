#!/usr/bin/env python3
"""End-to-end test of DORVMenu on a real X display with a real tray.

scripts/virtual_desktop.py provides Xvfb, a private D-Bus session with the accessibility bus,
and the tray host: trayer (XEmbed) or xfce4-panel's status tray (StatusNotifierItem). Controls
are found and pressed through AT-SPI by role and name, as a screen reader does; every step is
checked from outside the utility: the stand-in's request log, the file on disk, the signals it
counted, the icon's pixels, X window properties, the exit status. The XEmbed run goes through
every step of daily use; the StatusNotifierItem run checks what differs with that kind of tray
and that a second start opens the running copy's panel. Runs inside a private network
namespace so port 9876 is free; exits 77 (skipped) where the machine cannot run a part.

usage: e2e.py xembed|sni DORVMenu STANDIN_DIR OUTPUT_DIR

STANDIN_DIR is the folder holding the stand-in's server.py. The script's own command line must
not name server.py: the utility signals every process whose command line does.
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts"))
from virtual_desktop import (DesktopError, VirtualDesktop, enter_private_network,  # noqa: E402
                             missing_tools)

SKIP = 77
BRIDGE = "http://127.0.0.1:9876"
ITEM = "org.kde.StatusNotifierItem"
PROPS = "org.freedesktop.DBus.Properties"


def log(message):
    print("e2e: " + message, flush=True)


def fail(message):
    log("FAILED: " + message)
    sys.exit(1)


def skip(reason):
    log("SKIP: " + reason)
    sys.exit(SKIP)


def classify(r, g, b):
    if g > r + 40 and g > b + 30:
        return "green"
    if r > g + 40 and g > b + 40:
        return "orange"
    if max(r, g, b) - min(r, g, b) < 20 and 90 < r < 200:
        return "gray"
    return None


def main_color(pixels):
    """The colour most of the given (r, g, b) pixels have, or "none"."""
    votes = {}
    for p in pixels:
        c = classify(*p)
        if c:
            votes[c] = votes.get(c, 0) + 1
    return max(votes, key=votes.get) if votes else "none"


class Session:
    def __init__(self, tray, app, server, out):
        self.tray, self.app_path, self.server_path, self.out = tray, app, server, out
        self.home = tempfile.mkdtemp(prefix="dorv-e2e-")
        self.desktop = VirtualDesktop(tray, self.home)
        self.step = 0

    def start(self, seed):
        os.makedirs(os.path.join(self.home, ".marvek"))
        os.makedirs(os.path.join(self.home, "src", "My Tools"))
        with open(self.project_file(), "w") as f:
            f.write(seed)
        self.env = self.desktop.start()
        os.environ.update(self.env)  # AT-SPI and D-Bus clients in this process use the desktop
        import pyatspi
        self.atspi = pyatspi
        self.bridge = self.desktop.spawn([sys.executable, self.server_path, "--home", self.home])
        self.wait(lambda: self.control() is not None, 10, "stand-in bridge")
        self.app = self.launch()

    def launch(self, stderr_name="app.log"):
        return self.desktop.spawn([self.app_path],
                                  stderr=open(os.path.join(self.out, stderr_name), "w"))

    def stop(self):
        self.desktop.stop()
        shutil.rmtree(self.home, ignore_errors=True)

    def project_file(self):
        return os.path.join(self.home, ".marvek", "chatwire-projects.yaml")

    def wait(self, probe, seconds, what):
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = probe()
            if value:
                return value
            time.sleep(0.1)
        self.shot("timeout")
        fail("timed out waiting for " + what)

    def run(self, *cmd):
        return subprocess.run(cmd, env=self.env, capture_output=True, text=True).stdout

    def shot(self, name):
        self.step += 1
        self.run("import", "-window", "root",
                 os.path.join(self.out, "%s-%02d-%s.png" % (self.tray, self.step, name)))

    def pixels(self, x, y, w, h):
        raw = subprocess.run("import -window root -crop %dx%d+%d+%d +repage png:- | "
                             "convert png:- -depth 8 rgb:-" % (w, h, x, y), shell=True,
                             env=self.env, capture_output=True, check=True).stdout
        return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]

    def click(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y), "click", "1")

    # the bridge stand-in -----------------------------------------------------------------
    def http(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        req = urllib.request.Request(BRIDGE + path, data=data, method=method)
        try:
            with urllib.request.urlopen(req, timeout=3) as r:
                return json.loads(r.read())
        except OSError:
            return None

    def control(self, **changes):
        return self.http("POST" if changes else "GET", "/_control", changes or None)

    def requests(self, path=None):
        return [r for r in self.http("GET", "/_requests") or [] if path in (None, r["path"])]

    # X windows ---------------------------------------------------------------------------
    def window(self, title):
        """(x, y, w, h) of the visible window whose _NET_WM_NAME is exactly title, or None."""
        for wid in self.run("xdotool", "search", "--onlyvisible", "--name", title).split():
            name = self.run("xprop", "-id", wid, "_NET_WM_NAME").partition(" = ")[2].strip()
            if name != json.dumps(title, ensure_ascii=False):
                continue
            g = dict(line.split("=", 1) for line in
                     self.run("xdotool", "getwindowgeometry", "--shell", wid).split())
            return tuple(int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        return None

    def panel(self):
        return self.window("DORV")

    # AT-SPI ------------------------------------------------------------------------------
    def find(self, role, name, root=None):
        """The first showing accessible with one of the roles ("a|b") and this name, or None."""
        if root is None:
            desktop = self.atspi.Registry.getDesktop(0)
            desktop.clear_cache()
            root = next((a for a in desktop if a is not None and a.name == "DORV"), None)
            if root is None:
                return None
        return self.atspi.findDescendant(
            root, lambda a: a.getRoleName() in role.split("|") and a.name == name and
            a.getState().contains(self.atspi.STATE_SHOWING))

    def control_named(self, role, name, seconds=3):
        return self.wait(lambda: self.find(role, name), seconds, "%s %r" % (role, name))

    def press(self, role, name):
        acc = self.control_named(role, name)
        action = acc.queryAction()
        names = [action.getName(i).lower() for i in range(action.nActions)]
        index = next((names.index(n) for n in ("press", "click", "toggle") if n in names), None)
        if index is None:
            fail("%r has no press action (%s)" % (name, names))
        action.doAction(index)
        time.sleep(0.3)

    def click_on(self, role, name):
        x, y, w, h = self.control_named(role, name).queryComponent().getExtents(
            self.atspi.DESKTOP_COORDS)
        self.click(x + w // 2, y + h // 2)
        time.sleep(0.3)

    def has_state(self, role, name, state):
        return self.control_named(role, name).getState().contains(state)


class XEmbedTray:
    """trayer: the icon is an X window; its colour is read from the screen."""

    def __init__(self, s):
        self.s = s
        self.geometry = s.wait(self.find, 10, "the tray icon")

    def find(self):
        for wid in self.s.run("xdotool", "search", "--onlyvisible", "--class", "trayer").split():
            g = dict(line.split("=", 1) for line in
                     self.s.run("xdotool", "getwindowgeometry", "--shell", wid).split())
            g = tuple(int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
            if g[2] >= 20 and len(set(self.s.pixels(*g))) > 4:
                return g
        return None

    def color(self):
        return main_color(self.s.pixels(*self.geometry))

    def click(self):
        x, y, w, h = self.geometry
        self.s.click(x + w // 2, y + h // 2)
        return (x + w // 2, y + h // 2)


class SNITray:
    """xfce4-panel's status tray: the item is read over D-Bus, its icon clicked in the panel."""

    def __init__(self, s):
        import dbus
        self.s = s
        self.bus = dbus.bus.BusConnection(s.env["DBUS_SESSION_BUS_ADDRESS"])
        self.watcher = self.bus.get_object("org.kde.StatusNotifierWatcher",
                                           "/StatusNotifierWatcher")
        items = s.wait(self.items, 10, "a registered StatusNotifierItem")
        service, _, path = items[0].partition("/")
        self.item = self.bus.get_object(service, "/" + path)

    def items(self):
        return list(self.watcher.Get("org.kde.StatusNotifierWatcher",
                                     "RegisteredStatusNotifierItems", dbus_interface=PROPS))

    def prop(self, name):
        return self.item.Get(ITEM, name, dbus_interface=PROPS)

    def tooltip(self):
        return str(self.prop("ToolTip")[2])

    def color(self):
        w, h, data = max(self.prop("IconPixmap"), key=lambda p: p[0])
        argb = bytes(data)  # ARGB32 in network byte order
        return main_color([tuple(argb[i + 1:i + 4]) for i in range(0, len(argb), 4)
                           if argb[i] > 200])

    def click(self):
        """Clicks the middle of the icon drawn in the panel."""
        wid = self.s.run("xdotool", "search", "--onlyvisible", "--class", "xfce4-panel").split()
        g = dict(line.split("=", 1) for line in
                 self.s.run("xdotool", "getwindowgeometry", "--shell", wid[-1]).split())
        x0, y0, w, h = (int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        px = self.s.pixels(x0, y0, w, h)
        ink = [(i % w, i // w) for i, p in enumerate(px) if sum(abs(a - b) for a, b in
                                                               zip(p, px[w + 1])) > 90]
        rows = [y for _, y in ink]
        ink = [(x, y) for x, y in ink if rows.count(y) < w // 2]  # not the panel's border
        if not ink:
            fail("no icon drawn in the panel")
        x = x0 + (min(i[0] for i in ink) + max(i[0] for i in ink)) // 2
        y = y0 + (min(i[1] for i in ink) + max(i[1] for i in ink)) // 2
        self.s.click(x, y)
        return (x, y)


def open_panel(s, tray):
    if not s.panel():
        tray.click()
    return s.wait(s.panel, 5, "the panel")


def daily_use(s):
    tray = XEmbedTray(s)
    log("1. before any click: nothing sent, gray icon")
    time.sleep(1.5)
    s.shot("started")
    if s.requests():
        fail("requests before the panel was shown: %s" % s.requests())
    if tray.color() != "gray":
        fail("icon is %s, expected gray" % tray.color())

    log("2. a click opens a 260-wide panel and polls at once; green, then orange")
    clicked = time.time()
    g = open_panel(s, tray)
    if g[2] != 260:
        fail("panel is %d wide" % g[2])
    s.wait(lambda: s.requests("/status"), 2, "a status request")
    if min(r["time"] for r in s.requests()) - clicked > 1.5:
        fail("the first status request came more than 1.5 s after the click")
    s.wait(lambda: tray.color() == "green", 3, "a green icon")
    s.shot("connected")
    s.control(chatwire="connecting")
    s.wait(lambda: tray.color() == "orange", 7, "an orange icon")
    s.control(chatwire="connected")
    s.wait(lambda: tray.color() == "green", 7, "a green icon again")

    log("3. pressing a project row switches to it; the active mark moves")
    s.wait(lambda: s.find("push button", "web"), 3, "the project rows")
    if s.find("push button", "web").description != "Active project" or \
            s.find("push button", "api").description:
        fail("web is not the only active project")
    s.control(clear_requests=True)
    s.press("push button", "api")
    use = s.wait(lambda: s.requests("/use"), 3, "POST /use")
    if len(use) != 1 or use[0]["body"] != '{"project":"api"}' or \
            use[0]["headers"].get("Content-Type") != "application/json":
        fail("unexpected /use requests: %s" % use)
    s.wait(lambda: s.find("push button", "api").description == "Active project" and
           not s.find("push button", "web").description, 7, "api to become the active project")
    s.shot("switched")

    log("4. New Session sends /new with no body")
    s.control(clear_requests=True)
    s.press("push button", "New Session")
    new = s.wait(lambda: s.requests("/new"), 3, "POST /new")[0]
    if new["method"] != "POST" or new["body"] or "Content-Type" in new["headers"]:
        fail("unexpected /new request: %s" % new)

    log("5. Configure Projects…: add a folder through the picker, make it the default, save")
    s.press("push button", "Configure Projects…")
    e = s.wait(lambda: s.window("DORV Projects"), 5, "the editor titled exactly DORV Projects")
    if e[2:] != (320, 360):
        fail("editor is %dx%d" % e[2:])
    s.press("push button", "Add Project")
    s.wait(lambda: s.window("Select a project directory"), 5,
           "the folder picker titled exactly Select a project directory")
    s.shot("picker")
    s.run("xdotool", "type", "--delay", "10", os.path.join(s.home, "src", "My Tools"))
    s.run("xdotool", "key", "Return")
    star = "push button|toggle button|check box"
    s.press(star, "Make my-tools the default")
    if not s.has_state(star, "Make my-tools the default", s.atspi.STATE_CHECKED):
        fail("the star of my-tools is not checked")
    s.shot("editor")
    s.press("push button", "Save")
    s.wait(lambda: not s.window("DORV Projects"), 3, "the editor to close")
    expected = ("default: my-tools\nprojects:\n  api: /srv/api\n  web: /srv/web\n"
                "  my-tools: %s/src/My Tools\n" % s.home)
    with open(s.project_file(), encoding="utf-8") as f:
        written = f.read()
    if written != expected:
        fail("file written as %r" % written)
    s.wait(lambda: (s.control() or {}).get("reloads") == 1, 3, "SIGHUP at the stand-in")
    s.wait(lambda: "my-tools" in ((s.http("GET", "/status") or {}).get("projects") or []), 3,
           "the new project in /status")

    log("6. thirty projects: the panel fits the screen, clear of the icon; Escape closes it")
    tall_list = "projects:\n" + "".join("  project-%d: /srv/p%d\n" % (i, i) for i in range(30))
    with open(s.project_file(), "w") as f:
        f.write(tall_list)
    s.bridge.send_signal(signal.SIGHUP)
    s.wait(lambda: len((s.http("GET", "/status") or {}).get("projects") or []) == 30, 3,
           "thirty projects in /status")
    tall = s.wait(lambda: fits(s, tray, open_panel(s, tray), 30), 7, "the tall panel")
    s.shot("thirty-projects")
    s.run("xdotool", "key", "Escape")
    s.wait(lambda: not s.panel(), 3, "Escape to close the panel")

    log("7. stopping the bridge: gray within one poll; reopened at its content's height")
    s.bridge.terminate()
    s.bridge.wait(5)
    s.wait(lambda: tray.color() == "gray", 7, "a gray icon")
    g = open_panel(s, tray)
    s.wait(lambda: s.find("label", "Offline"), 3, "the offline panel")
    s.shot("offline")
    if g[3] >= tall[3] or not fits(s, tray, g, 0):
        fail("offline panel %s after a %s one" % (g, tall))
    if g[2] != 260 or s.has_state("push button", "New Session", s.atspi.STATE_ENABLED):
        fail("offline panel is %d wide or New Session is enabled" % g[2])

    log("8. with thirty projects again, Quit DORV ends the process with status 0")
    s.run("xdotool", "key", "Escape")
    s.bridge = s.desktop.spawn([sys.executable, s.server_path, "--home", s.home])
    s.wait(lambda: tray.color() == "green", 10, "a green icon")
    s.wait(lambda: fits(s, tray, open_panel(s, tray), 30), 7, "the tall panel")
    s.press("push button", "Quit DORV")
    exited(s.app, 0, 5, "Quit DORV")


def fits(s, tray, g, rows):
    """The panel shows `rows` project rows (or more), lies inside the screen and clear of the
    icon, and ends 4 px below its Quit row: its height is its content's."""
    quit_row = s.find("push button", "Quit DORV")
    if not quit_row or len(s.atspi.findAllDescendants(
            quit_row.parent.parent, lambda a: a.name.startswith("project-"))) < min(rows, 1):
        return None
    x, y, w, h = quit_row.queryComponent().getExtents(s.atspi.DESKTOP_COORDS)
    ix, iy, iw, ih = tray.geometry
    inside = g[0] >= 0 and g[1] >= 0 and g[0] + g[2] <= 1280 and g[1] + g[3] <= 800
    clear = g[1] >= iy + ih or g[1] + g[3] <= iy
    if not (inside and clear and g[1] + g[3] - (y + h) == 4):
        fail("panel %s (Quit row at %s) for a tray icon at %s" % (g, (x, y, w, h), tray.geometry))
    return g


def exited(proc, code, seconds, what):
    try:
        got = proc.wait(seconds)
    except subprocess.TimeoutExpired:
        fail("%s: still running after %d s" % (what, seconds))
    if got != code:
        fail("%s: exit status %d, expected %d" % (what, got, code))


def status_notifier(s):
    log("1. the item is registered, titled DORV, gray, tooltip Offline")
    tray = SNITray(s)
    if tray.prop("Title") != "DORV":
        fail("item title is %r" % str(tray.prop("Title")))
    s.wait(lambda: tray.tooltip() == "DORV Bridge: Offline", 3, "the Offline tooltip")
    if tray.color() != "gray":
        fail("icon is %s, expected gray" % tray.color())
    s.shot("started")

    log("2. a click on the icon in the panel opens the panel near it, inside the screen")
    x, y = tray.click()
    g = s.wait(s.panel, 5, "the panel")
    screen = tuple(int(v) for v in s.run("xdotool", "getdisplaygeometry").split())
    near = max(g[0] - x, x - g[0] - g[2], 0) + max(g[1] - y, y - g[1] - g[3], 0)
    if g[0] < 0 or g[1] < 0 or g[0] + g[2] > screen[0] or g[1] + g[3] > screen[1] or near > 40:
        fail("panel at %s for a click at %s" % (g, (x, y)))
    s.shot("panel")

    log("3. the pixmaps and the tooltip follow the bridge: green, orange")
    for state, color in (("connected", "green"), ("connecting", "orange")):
        s.control(chatwire=state)
        s.wait(lambda: tray.color() == color and
               tray.tooltip() == "DORV Bridge: " + state.capitalize(), 7, "a %s icon" % color)

    log("4. a second start opens the running copy's panel and exits 0; one item only")
    tray.click()
    s.wait(lambda: not s.panel(), 3, "the panel to close on a second click")
    time.sleep(0.5)  # a click within 300 ms of a close is taken as the one that closed it
    started = time.time()
    exited(s.launch("second.log"), 0, 5, "the second copy")
    if time.time() - started > 3:
        fail("the second copy took %.1f s" % (time.time() - started))
    s.wait(s.panel, 3, "the panel opened by the second start")
    s.shot("second-start")
    first = tray.items()
    if len(first) != 1 or s.app.poll() is not None:
        fail("items %s after the second start" % first)

    log("5. after a crash the next start runs, shows its icon and answers a further start")
    s.app.kill()
    s.app.wait()
    s.app = s.launch("third.log")
    s.wait(lambda: tray.items() not in ([], first), 5, "the new copy's item")
    time.sleep(1)
    if s.app.poll() is not None or len(tray.items()) != 1:
        fail("after a crash: exit %s, items %s" % (s.app.poll(), tray.items()))
    exited(s.launch("fourth.log"), 0, 5, "a start beside the new copy")  # it listens again
    s.wait(s.panel, 3, "the new copy's panel")


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("xembed", "sni"):
        print(__doc__)
        return 2
    tray, app, standin, out = sys.argv[1:]
    missing = missing_tools(tray) + [t for t in ("import", "xprop") if not shutil.which(t)]
    if missing:
        skip("the %s run needs %s" % (tray, ", ".join(missing)))
    try:
        import dbus  # noqa: F401
        import pyatspi  # noqa: F401
    except ImportError as e:
        skip("no AT-SPI or D-Bus client for Python (%s)" % e)
    try:
        enter_private_network()
    except DesktopError as e:
        skip(str(e))
    os.makedirs(out, exist_ok=True)
    s = Session(tray, app, os.path.join(standin, "server.py"), out)
    try:
        s.start("default: web\nprojects:\n  api: /srv/api\n  web: /srv/web\n")
        (daily_use if tray == "xembed" else status_notifier)(s)
        log("all steps passed")
    except DesktopError as e:
        skip("the virtual desktop did not start: %s" % e)
    finally:
        s.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
