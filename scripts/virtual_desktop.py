#!/usr/bin/env python3
"""A virtual desktop for DORVMenu: Xvfb, a private D-Bus session with the accessibility bus,
and a tray host, either trayer (XEmbed) or xfce4-panel's status tray (StatusNotifierItem).

As a module: `with VirtualDesktop("sni", home) as env: ...` gives the environment a program
needs to run on it; the desktop's methods find windows and the tray icon, read the screen and
click, and find_accessible() and press() work controls through AT-SPI. As a command:
`virtual_desktop.py [--tray xembed|sni] [--home DIR] -- CMD...` runs CMD on a new desktop and
takes it down again when CMD ends.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

TRAYS = ("xembed", "sni")
WATCHER = "org.kde.StatusNotifierWatcher"

PANEL_CHANNEL = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="28"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
"""


class DesktopError(RuntimeError):
    pass


def enter_private_network():
    """Re-runs this script in private network, PID and mount namespaces, so that port 9876 is its
    own and the utility's reload, which signals every process whose command line matches the
    bridge's, finds only the stand-in this run started; returns inside them. Raises
    DesktopError where the machine allows none."""
    if os.environ.get("DORV_PRIVATE_NETNS") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        return
    if not shutil.which("unshare"):
        raise DesktopError("no unshare on this machine")
    for args in (["unshare", "-n"], ["unshare", "-rn"]):
        args += ["-p", "--fork", "--mount-proc", "--kill-child"]
        probe = subprocess.run(args + ["true"], capture_output=True)
        if probe.returncode == 0:
            env = dict(os.environ, DORV_PRIVATE_NETNS="1")
            sys.exit(subprocess.run(args + [sys.executable] + sys.argv, env=env).returncode)
    raise DesktopError("no private network namespace here (%s)" % probe.stderr.decode().strip())


def missing_tools(tray):
    """The programs this machine lacks for a desktop with this tray, as a list of names."""
    need = ["Xvfb", "xdpyinfo", "dbus-daemon", "gdbus", "/usr/libexec/at-spi-bus-launcher",
            "xdotool", "xprop", "import"]
    need += ["trayer"] if tray == "xembed" else ["xfce4-panel"]
    return [t for t in need if not shutil.which(t)]


class VirtualDesktop:
    def __init__(self, tray="xembed", home=None, size="1280x800"):
        if tray not in TRAYS:
            raise ValueError("tray must be one of %s" % (TRAYS,))
        self.tray, self.size = tray, size
        self.home = home or tempfile.mkdtemp(prefix="dorv-desktop-")
        self.runtime = tempfile.mkdtemp(prefix="dorv-runtime-")
        os.chmod(self.runtime, 0o700)
        self.procs = []
        self.env = None

    def __enter__(self):
        try:
            return self.start()
        except BaseException:
            self.stop()
            raise

    def __exit__(self, *exc):
        self.stop()

    def spawn(self, cmd, **kw):
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.DEVNULL)
        kw.setdefault("env", self.env)
        self.procs.append(subprocess.Popen(cmd, **kw))
        return self.procs[-1]

    def _read_from(self, cmd, what):
        """Starts cmd with a pipe as file descriptor 3 and returns the first line written to it."""
        read, write = os.pipe()
        proc = self.spawn([a.replace("{fd}", str(write)) for a in cmd], pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as pipe:
            line = pipe.readline().strip()
        if not line:
            raise DesktopError("%s did not start (exit %s)" % (what, proc.poll()))
        return line

    def wait(self, probe, seconds, what):
        """probe()'s first true value within seconds; what (or what() at the end) names it."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = probe()
            if value:
                return value
            time.sleep(0.1)
        raise DesktopError("timed out waiting for " + (what() if callable(what) else what))

    def run(self, *cmd, text=True):
        return subprocess.run(cmd, env=self.env, capture_output=True, text=text)

    def start(self, tray=True):
        """Brings up the display and the buses, and the tray unless told not to (start_tray()
        then starts it later, as a desktop's panel may come up after the programs it hosts)."""
        # -noreset: an X server that resets when its last client leaves refuses the next one
        # for a moment, and a tray host starting then fails.
        missing = missing_tools(self.tray)
        if missing:
            raise DesktopError("missing " + ", ".join(missing))
        display = ":" + self._read_from(["Xvfb", "-displayfd", "{fd}", "-screen", "0",
                                         self.size + "x24", "-nolisten", "tcp",
                                         "-noreset"], "Xvfb")
        config = os.path.join(self.runtime, "config")
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("DBUS_", "XDG_", "WAYLAND_", "AT_SPI"))}
        self.env.update(DISPLAY=display, HOME=self.home, XDG_RUNTIME_DIR=self.runtime,
                        XDG_CONFIG_HOME=config, XDG_CACHE_HOME=os.path.join(self.runtime, "cache"),
                        QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1",
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.wait(lambda: self.run("xdpyinfo").returncode == 0, 10, "the X server on " + display)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self._read_from(
            ["dbus-daemon", "--session", "--nofork", "--print-address={fd}"], "dbus-daemon")
        self.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        self.wait(lambda: "org.a11y.Bus" in self.bus_names(), 10, "the accessibility bus")
        return self.start_tray() if tray else self.env

    def start_tray(self):
        if self.tray == "xembed":
            self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                        "--height", "24", "--transparent", "false", "--tint", "0x000000",
                        "--SetDockType", "true"])
            self.wait(lambda: self.run("xdotool", "search", "--class", "trayer").stdout.strip(),
                      10, "trayer")
        else:
            channels = os.path.join(self.env["XDG_CONFIG_HOME"], "xfce4", "xfconf",
                                    "xfce-perchannel-xml")
            os.makedirs(channels, exist_ok=True)
            with open(os.path.join(channels, "xfce4-panel.xml"), "w") as f:
                f.write(PANEL_CHANNEL)
            self.spawn(["xfce4-panel", "--disable-wm-check"])
            self.wait(lambda: WATCHER in self.bus_names(), 15, "the StatusNotifierItem watcher")
        return self.env

    def bus_names(self):
        out = self.run("gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                       "--object-path", "/org/freedesktop/DBus",
                       "--method", "org.freedesktop.DBus.ListNames").stdout
        return out

    def windows(self, *search):
        """Ids of the visible X windows that `xdotool search` finds with these options."""
        return self.run("xdotool", "search", "--onlyvisible", *search).stdout.split()

    def window(self, title):
        """Id of a visible X window whose _NET_WM_NAME is exactly title, or None."""
        for wid in self.windows("--name", title):
            name = self.run("xprop", "-id", wid, "_NET_WM_NAME").stdout.partition(" = ")[2]
            if name.strip() == json.dumps(title, ensure_ascii=False):
                return wid
        return None

    def geometry(self, wid):
        """(x, y, width, height) of an X window."""
        g = dict(kv.split("=", 1) for kv in
                 self.run("xdotool", "getwindowgeometry", "--shell", wid).stdout.split())
        return tuple(int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def screenshot(self, target, crop=None, window="root", options=()):
        """Writes the window (the screen by default), or the part (x, y, width, height) of it, to
        target: a file name, or FORMAT:- for the bytes returned."""
        crop = ["-crop", "%dx%d+%d+%d" % (crop[2], crop[3], crop[0], crop[1]), "+repage"] if crop \
            else []
        return self.run("import", "-window", window, *crop, *options, target, text=False).stdout

    def pixels(self, x, y, w, h):
        """The (r, g, b) of each screen pixel in the rectangle, row by row."""
        raw = self.screenshot("rgb:-", (x, y, w, h), options=("-depth", "8"))
        return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]

    def click(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y), "click", "1")

    def tray_icon(self):
        """(x, y, width, height) of the icon shown in the tray, or None while there is none: with
        trayer the icon's own window, in xfce4-panel what is drawn apart from its border."""
        if self.tray == "xembed":
            for g in map(self.geometry, self.windows("--class", "trayer")):
                if g[2] >= 20 and len(set(self.pixels(*g))) > 4:
                    return g
            return None
        x0, y0, w, h = self.geometry(self.windows("--class", "xfce4-panel")[-1])
        px = self.pixels(x0, y0, w, h)
        ink = [(i % w, i // w) for i, p in enumerate(px)
               if sum(abs(a - b) for a, b in zip(p, px[w + 1])) > 90]
        rows = [y for _, y in ink]
        ink = [(x, y) for x, y in ink if rows.count(y) < w // 2]
        if not ink:
            return None
        xs, ys = [x for x, _ in ink], [y for _, y in ink]
        return (x0 + min(xs), y0 + min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)

    def click_tray_icon(self, icon=None):
        """Clicks the middle of the tray icon at icon, or where it is once shown; returns where."""
        x, y, w, h = icon or self.wait(self.tray_icon, 5, "the tray icon")
        self.click(x + w // 2, y + h // 2)
        return x + w // 2, y + h // 2

    def stop(self):
        self.stop_processes()
        shutil.rmtree(self.runtime, ignore_errors=True)

    def stop_processes(self):
        """Ends every process this desktop started, the last first."""
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        self.procs = []


def find_accessible(name, roles=None, app="DORV"):
    """The first showing accessible of the application `app` with this name and, when given, one
    of the role names in roles ("a|b"), or None. The desktop's environment must be in os.environ
    before pyatspi is first imported."""
    import pyatspi
    desktop = pyatspi.Registry.getDesktop(0)
    desktop.clear_cache()
    root = next((a for a in desktop if a is not None and a.name == app), None)
    return root and pyatspi.findDescendant(root, lambda a: a.name == name and (
        not roles or a.getRoleName() in roles.split("|")) and
        a.getState().contains(pyatspi.STATE_SHOWING))


def press(accessible):
    """Does the accessible's press, click or toggle action."""
    action = accessible.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    index = next((names.index(n) for n in ("press", "click", "toggle") if n in names), None)
    if index is None:
        raise DesktopError("%r has no press action (%s)" % (accessible.name, names))
    action.doAction(index)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tray", choices=TRAYS, default="xembed")
    parser.add_argument("--home", help="HOME for the programs on the desktop")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    try:
        with VirtualDesktop(args.tray, args.home or os.environ.get("HOME")) as env:
            return subprocess.run(args.command, env=env).returncode
    except DesktopError as e:
        print("virtual-desktop: %s" % e, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
