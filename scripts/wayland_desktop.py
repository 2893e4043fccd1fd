#!/usr/bin/env python3
"""A headless Wayland desktop for DORVMenu: sway with waybar as the StatusNotifierItem tray, a
private D-Bus session with the accessibility bus, a virtual pointer and keyboard.

sway refuses to run as root, so enter_session() first re-runs the calling script as uid 1000 in
its own user, network, PID and mount namespaces: port 9876 is its own, and a program that signals
processes by their command line (the utility's reload) sees only the session's. As a module:
`enter_session()`, then `with WaylandDesktop(home) as env: ...`; the desktop's methods find
windows in sway's tree, read the screen with grim, move and click the pointer and type. As a
command: `wayland_desktop.py [--home DIR] [--pointer WL_POINTER] -- CMD...` runs CMD on a
new desktop.
"""

import argparse
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import time

from virtual_desktop import WATCHER, DesktopError, VirtualDesktop

SIZE = (1280, 800)
BAR_HEIGHT = 28
BAR_COLOR = (32, 32, 32)

SWAY_CONFIG = """output HEADLESS-1 resolution {w}x{h} position 0 0
xwayland disable
"""
WAYBAR_CONFIG = {"layer": "top", "position": "top", "height": BAR_HEIGHT,
                 "modules-left": [], "modules-center": [], "modules-right": ["tray"],
                 "tray": {"icon-size": 16, "spacing": 4}}
# One flat colour and no frame around the tray, so what differs from it in the bar is the icon;
# the tray's menu keeps GTK's own look.
WAYBAR_STYLE = """window#waybar { background: #202020; border: none; box-shadow: none; }
#tray { background: transparent; padding: 0 8px; }
"""


def missing_tools():
    """The programs this machine lacks for the desktop besides sway, as a list of names."""
    need = ["waybar", "swaymsg", "grim", "wtype", "dbus-daemon", "gdbus",
            "/usr/libexec/at-spi-bus-launcher"]
    return [t for t in need if not shutil.which(t)]


def enter_session():
    """Re-runs this script as uid 1000 in private user, network, PID and mount namespaces (with
    its own /proc) and returns inside them; the script's exit status is passed on. Raises
    DesktopError where the machine allows none of this."""
    if os.environ.get("DORV_WAYLAND_SESSION") == "1":
        return
    if not shutil.which("unshare"):
        raise DesktopError("no unshare on this machine")
    # The inner unshare maps uid 1000 to whoever runs the outer one; --kill-child takes the
    # session down with it.
    inner = ["unshare", "-U", "-p", "-m", "--fork", "--mount-proc", "--kill-child",
             "--map-user=1000", "--map-group=1000"]
    # The loopback goes up before the inner namespace, whose uid 1000 may not touch it.
    lo_up = ["sh", "-c", 'ip link set lo up && exec "$@"', "sh"]
    for outer in (["unshare", "-n"] + lo_up, ["unshare", "-rn"] + lo_up):
        probe = subprocess.run(outer + inner + ["true"], capture_output=True)
        if probe.returncode == 0:
            env = dict(os.environ, DORV_WAYLAND_SESSION="1")
            sys.exit(subprocess.run(outer + inner + [sys.executable] + sys.argv,
                                    env=env).returncode)
    raise DesktopError("no namespaces for a user session here (%s)" %
                       probe.stderr.decode().strip())


class WaylandDesktop(VirtualDesktop):
    """start() brings up sway (DesktopError if it cannot start), start_tray() waybar and the
    pointer. Windows are sway's tree nodes; geometry() gives their place on the output."""

    def __init__(self, home=None, pointer="wl-pointer"):
        super().__init__("sni", home, "%dx%d" % SIZE)
        self.pointer_path = pointer
        self.pointer_proc = None

    def start(self):
        if not shutil.which("sway"):
            raise DesktopError("no sway on this machine")
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("DBUS_", "XDG_", "WAYLAND_", "AT_SPI", "DISPLAY",
                                         "SWAYSOCK", "QT_", "NO_AT_BRIDGE"))}
        self.env.update(HOME=self.home, XDG_RUNTIME_DIR=self.runtime,
                        XDG_CONFIG_HOME=os.path.join(self.runtime, "config"),
                        XDG_CACHE_HOME=os.path.join(self.runtime, "cache"),
                        XDG_DATA_HOME=os.path.join(self.runtime, "data"))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self._read_from(
            ["dbus-daemon", "--session", "--nofork", "--print-address={fd}"], "dbus-daemon")
        config = self._write("sway.conf", SWAY_CONFIG.format(w=SIZE[0], h=SIZE[1]))
        with open(os.path.join(self.runtime, "sway.log"), "w") as log:
            sway = self.spawn(["sway", "-c", config], stderr=log, env=dict(
                self.env, WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                WLR_RENDERER="pixman"))

        def started():
            if sway.poll() is not None:
                raise DesktopError("sway exited with %s" % sway.returncode)
            sockets = glob.glob(os.path.join(self.runtime, "sway-ipc.*.sock"))
            displays = [d for d in glob.glob(os.path.join(self.runtime, "wayland-*"))
                        if not d.endswith(".lock")]
            return sockets and displays and (sockets[0], os.path.basename(displays[0]))
        try:
            ipc, display = self.wait(started, 10, "sway's sockets")
        except DesktopError as e:
            raise DesktopError("%s (sway's log ends: %s)" % (e, self._log()))
        self.env.update(SWAYSOCK=ipc, WAYLAND_DISPLAY=display)
        self.wait(lambda: self.run("swaymsg", "-t", "get_outputs").returncode == 0, 5,
                  "sway's IPC")
        return self.env

    def start_tray(self):
        """waybar with its tray, the accessibility bus and the virtual pointer."""
        self.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        self.wait(lambda: "org.a11y.Bus" in self.bus_names(), 10, "the accessibility bus")
        self.spawn(["waybar", "-c", self._write("waybar.json", json.dumps(WAYBAR_CONFIG)),
                    "-s", self._write("waybar.css", WAYBAR_STYLE)])
        self.wait(lambda: WATCHER in self.bus_names(), 10, "waybar's StatusNotifierItem watcher")
        self.pointer_proc = self.spawn([self.pointer_path] + [str(v) for v in SIZE],
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        # A client takes a pointer only once the seat says it has one: give waybar that moment.
        self.point("move %d %d" % (SIZE[0] // 2, SIZE[1] // 2))
        time.sleep(0.3)
        return self.env

    def _write(self, name, text):
        path = os.path.join(self.runtime, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def _log(self):
        with open(os.path.join(self.runtime, "sway.log"), errors="replace") as f:
            return " | ".join(f.read().strip().splitlines()[-3:])

    def point(self, command):
        """Sends one command to the virtual pointer and waits until sway has handled it."""
        self.pointer_proc.stdin.write(command + "\n")
        self.pointer_proc.stdin.flush()
        answer = self.pointer_proc.stdout.readline().strip()
        if answer != "ok":
            raise DesktopError("the virtual pointer answered %r to %r" % (answer, command))

    def click(self, x, y, button="left"):
        # The move first, on its own: a client looks at where the pointer entered.
        self.point("move %d %d" % (x, y))
        time.sleep(0.05)
        self.point("click " + button)

    def key(self, *names):
        """Types the keys; the pause lets the focused client take the new keymap first."""
        self.run("wtype", "-s", "300", *[a for n in names for a in ("-k", n)])

    def tree(self):
        return json.loads(self.run("swaymsg", "-t", "get_tree", "-r").stdout)

    def windows(self, *search):
        """The visible windows: sway's nodes that have a pid, each with "floating" added."""
        found = []

        def walk(node, floating):
            if node.get("pid") and node.get("visible"):
                found.append(dict(node, floating=floating))
            for child in node.get("nodes", []):
                walk(child, floating)
            for child in node.get("floating_nodes", []):
                walk(child, True)
        walk(self.tree(), False)
        return found

    def window(self, title):
        return next((w for w in self.windows() if w.get("name") == title), None)

    def geometry(self, node):
        """(x, y, width, height) of the window's content on the output, without sway's frame."""
        r, c = node["rect"], node["window_rect"]
        return r["x"] + c["x"], r["y"] + c["y"], c["width"], c["height"]

    def settled(self, title):
        """(x, y, w, h) of the window titled title once it stays the same for a moment (a
        program may resize a window right after mapping it), or None while there is none."""
        def place():
            node = self.window(title)
            return node and self.geometry(node)
        first = place()
        time.sleep(0.3)
        return first if first and first == place() else None

    def workspace(self):
        """(x, y, width, height) of the area sway leaves to windows, below the bar."""
        ws = [n for o in self.tree()["nodes"] for n in o.get("nodes", [])
              if n["type"] == "workspace" and n["name"] != "__i3_scratch"]
        r = ws[0]["rect"]
        return r["x"], r["y"], r["width"], r["height"]

    def screenshot(self, target, crop=None, window=None, options=()):
        """Writes the screen, or the part (x, y, width, height) of it, to the file target; "-"
        gives the bytes of a PPM image."""
        geometry = ["-g", "%d,%d %dx%d" % crop] if crop else []
        kind = ["-t", "ppm"] if target == "-" else []
        return self.run("grim", *kind, *geometry, target, text=False).stdout

    def pixels(self, x, y, w, h):
        """The (r, g, b) of each screen pixel in the rectangle, row by row."""
        ppm = self.screenshot("-", (x, y, w, h))
        # A binary PPM: "P6", width, height and maximum, the last followed by one white space.
        head = re.match(rb"P6\s+\d+\s+\d+\s+\d+\s", ppm)
        raw = ppm[head.end():] if head else b""
        if len(raw) != w * h * 3:
            raise DesktopError("grim gave %d bytes for %dx%d pixels" % (len(raw), w, h))
        return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]

    def tray_icon(self):
        """(x, y, width, height) of what waybar's tray draws, or None while it draws nothing."""
        w = SIZE[0]
        px = self.pixels(0, 0, w, BAR_HEIGHT)
        ink = [(i % w, i // w) for i, p in enumerate(px)
               if sum(abs(a - b) for a, b in zip(p, BAR_COLOR)) > 60]
        if not ink:
            return None
        xs, ys = [x for x, _ in ink], [y for _, y in ink]
        return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1

    def menu_point(self, entry):
        """Where the middle of entry (an accessible in waybar's open menu) is on the screen. GTK
        knows places only inside the menu's own surface, so the menu is found on the screen by
        its white body: the accessible menu with an even margin of a few pixels."""
        import pyatspi
        inner = lambda a: a.queryComponent().getExtents(pyatspi.WINDOW_COORDS)  # noqa: E731
        mx, my, mw, mh = inner(entry.parent)
        ex, ey, ew, eh = inner(entry)
        white = [i for i, p in enumerate(self.pixels(0, 0, *SIZE)) if min(p) >= 250]
        if not white:
            raise DesktopError("no menu on the screen")
        xs, ys = [i % SIZE[0] for i in white], [i // SIZE[0] for i in white]
        box = (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)
        if not (0 <= box[2] - mw <= 16 and 0 <= box[3] - mh <= 16):
            raise DesktopError("the white area on the screen %s is not the %dx%d menu" %
                               (box, mw, mh))
        return (box[0] + box[2] // 2 + (ex + ew // 2) - (mx + mw // 2),
                box[1] + box[3] // 2 + (ey + eh // 2) - (my + mh // 2))

    def stop(self):
        if self.pointer_proc and self.pointer_proc.poll() is None:
            self.pointer_proc.stdin.close()
        super().stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--home", help="HOME for the programs on the desktop")
    parser.add_argument("--pointer", default="wl-pointer", help="the virtual-pointer client")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    try:
        enter_session()
        desktop = WaylandDesktop(args.home or os.environ.get("HOME"), args.pointer)
        with desktop as env:
            desktop.start_tray()
            return subprocess.run(args.command, env=dict(
                env, QT_QPA_PLATFORM="wayland", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")).returncode
    except DesktopError as e:
        print("wayland-desktop: %s" % e, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
