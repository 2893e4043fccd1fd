"""The desktops the end-to-end steps run on, each behind one small interface (icon() is the
(x, y, w, h) of what the tray draws, or None; menu_click(label) clicks an entry of the host's
menu for the icon). xembed, sni: Xvfb with trayer or xfce4-panel (scripts/virtual_desktop.py);
sway: headless, with waybar; gnome: GNOME Shell with the AppIndicator extension, driven through
its Eval call; kde: KWin and Plasma.
"""

import glob
import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from virtual_desktop import (TRAYS, WATCHER, DesktopError, VirtualDesktop,  # noqa
                             find_accessible, missing_tools, press)

NEEDS = {"sway": ["sway", "waybar", "swaymsg", "grim", "wtype"],
         "gnome": ["gnome-shell", "gsettings", "/usr/share/gnome-shell/extensions/"
                   "ubuntu-appindicators@ubuntu.com"],
         "kde": ["kwin_wayland", "plasmashell", "kded5", "convert"]}


def missing(kind):
    common = ["unshare", "ip", "dbus-daemon", "gdbus", "/usr/libexec/at-spi-bus-launcher"]
    need = common + NEEDS.get(kind, [])
    return [t for t in need if not (shutil.which(t) or os.path.exists(t))] + (
        missing_tools(kind) if kind in TRAYS else [])


def enter(kind):
    """Re-runs this script in private user, network, PID and mount namespaces with their own
    /proc (port 9876 and every process the utility can see or signal are the run's own), HOME
    and the XDG folders in a scratch folder, and exits with its status; returns inside. Wayland
    compositors refuse root: they run as uid 1000; logind's seats are hidden from GNOME and
    Plasma (they use a stand-in login manager)."""
    if os.environ.get("DORV_E2E_INSIDE"):
        return
    inner = "ip link set lo up"
    if kind in ("gnome", "kde"):
        inner += " && mount -t tmpfs none /run/systemd"
    inner += " && exec " + ("" if kind in ("xembed", "sni") else
                            "unshare -U --map-user=1000 --map-group=1000 ")
    inner += "dbus-run-session -- " if kind in ("gnome", "kde") else ""
    scratch = os.path.realpath(__import__("tempfile").mkdtemp(prefix="dorv-e2e-"))
    env = {k: v for k, v in os.environ.items() if not k.startswith(
        ("DBUS_", "XDG_", "WAYLAND_", "AT_SPI", "DISPLAY", "GNOME_", "SWAYSOCK", "QT_"))}
    env.update(DORV_E2E_INSIDE="1", HOME=scratch + "/home", XDG_RUNTIME_DIR=scratch + "/runtime")
    for name in ("config", "data", "cache"):
        env["XDG_%s_HOME" % name.upper()] = "%s/%s" % (scratch, name)
    for name in ("home", "runtime", "config", "data", "cache"):
        os.makedirs(os.path.join(scratch, name), mode=0o700)
    cmd = ["unshare", "-rnmp", "--fork", "--mount-proc", "--kill-child", "sh", "-c",
           inner + '"$@"', "sh"]
    try:
        probe = subprocess.run(cmd + ["true"], env=env, capture_output=True, text=True)
        if probe.returncode != 0:
            raise DesktopError("no private namespaces here (%s)" % probe.stderr.strip())
        code = subprocess.run(cmd + [sys.executable] + sys.argv, env=env).returncode
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    sys.exit(code)


class X11(VirtualDesktop):
    """Xvfb with trayer (XEmbed) or xfce4-panel (StatusNotifierItem); no window manager."""

    def __init__(self, kind):
        super().__init__(kind, os.environ["HOME"])

    def start(self):
        return super().start(tray=False)

    def app_env(self):
        return self.env

    def key(self, name):
        self.run("xdotool", "key", name)
        time.sleep(0.15)  # for the focus to move

    def icon(self):
        return self.tray_icon()

    def click(self, x, y, button=1):
        self.run("xdotool", "mousemove", str(x), str(y), "click", str(button))

    def window(self, title):
        found = super().window(title)
        return found and self.geometry(found)


class Wayland(VirtualDesktop):
    """Common to the Wayland desktops: a scratch environment inside enter()."""

    def __init__(self):
        self.home, self.runtime = os.environ["HOME"], os.environ["XDG_RUNTIME_DIR"]
        self.procs, self.env = [], dict(os.environ)

    def start_tray(self):
        pass  # the desktop's own

    def bus_names(self):  # GNOME's and Plasma's through the connection they keep
        return self.bus.list_names() if hasattr(self, "bus") else super().bus_names()

    def app_env(self):
        return dict(self.env, QT_QPA_PLATFORM="wayland", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")

    def menu_click(self, label):
        StatusNotifier(self).menu_event(label)  # what waybar and Plasma send on a click

    def write(self, name, text):
        open(os.path.join(self.runtime, name), "w").write(text)
        return os.path.join(self.runtime, name)


SWAY_BAR = {"layer": "top", "position": "top", "height": 28, "modules-right": ["tray"],
            "tray": {"icon-size": 16, "spacing": 4}}
# One flat colour and no frame around the tray, so what differs from it in the bar is the icon.
SWAY_STYLE = "window#waybar { background: #202020; border: none; } #tray { padding: 0 8px; }"


class Sway(Wayland):
    def __init__(self, pointer):
        super().__init__()
        self.pointer_path, self.pointer = pointer, None

    def start(self):
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self._read_from(
            ["dbus-daemon", "--session", "--nofork", "--print-address={fd}"], "dbus-daemon")
        self.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        config = self.write("sway.conf", "output HEADLESS-1 resolution 1280x800\nxwayland disable")
        sway = self.spawn(["sway", "-c", config], stderr=open(self.runtime + "/sway.log", "w"),
                          env=dict(self.env, WLR_BACKENDS="headless", WLR_RENDERER="pixman",
                                   WLR_LIBINPUT_NO_DEVICES="1"))

        def sockets():
            if sway.poll() is not None:
                raise DesktopError("sway exited with %s" % sway.returncode)
            ipc = glob.glob(self.runtime + "/sway-ipc.*.sock")
            shown = [d for d in glob.glob(self.runtime + "/wayland-*") if "." not in d]
            return ipc and shown and (ipc[0], os.path.basename(shown[0]))
        ipc, display = self.wait(sockets, 10, "sway's sockets")
        self.env.update(SWAYSOCK=ipc, WAYLAND_DISPLAY=display)
        self.wait(lambda: self.run("swaymsg", "-t", "get_outputs").returncode == 0, 5, "sway")
        self.wait(lambda: "org.a11y.Bus" in self.bus_names(), 10, "the accessibility bus")
        self.pointer = self.spawn([self.pointer_path, "1280", "800"], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, text=True)
        # The seat has a keyboard only while a virtual one exists, and a client that loses the
        # last keyboard loses its focus: this one stays for the whole session.
        self.spawn(["wtype", "-s", "86400000"])
        return self.env

    def start_tray(self):
        self.spawn(["waybar", "-c", self.write("waybar.json", json.dumps(SWAY_BAR)),
                    "-s", self.write("waybar.css", SWAY_STYLE)])
        self.wait(lambda: WATCHER in self.bus_names(), 10, "waybar's StatusNotifierItem watcher")
        self.point("move 640 400")  # a client takes a pointer once the seat says it has one
        time.sleep(0.3)

    def point(self, command):
        """One command to the virtual pointer, answered once sway has handled it."""
        self.pointer.stdin.write(command + "\n")
        self.pointer.stdin.flush()
        if self.pointer.stdout.readline().strip() != "ok":
            raise DesktopError("the virtual pointer refused %r" % command)

    def click(self, x, y, button=1):
        self.point("move %d %d" % (x, y))  # on its own: a client looks at where it entered
        time.sleep(0.05)
        self.point("click " + ("left" if button == 1 else "right"))

    def key(self, name):
        self.run("wtype", "-s", "300", "-k", name)  # the pause: the client takes the keymap

    def windows(self):
        found, todo = [], [(json.loads(self.run("swaymsg", "-t", "get_tree", "-r").stdout), 0)]
        while todo:
            node, floating = todo.pop()
            if node.get("pid") and node.get("visible"):
                found.append(dict(node, floating=floating))
            todo += [(n, floating) for n in node.get("nodes", [])]
            todo += [(n, 1) for n in node.get("floating_nodes", [])]
        return found

    def window(self, title):
        node = next((w for w in self.windows() if w.get("name") == title), None)
        if not node:
            return None
        r, c = node["rect"], node["window_rect"]
        return r["x"] + c["x"], r["y"] + c["y"], c["width"], c["height"]

    def screenshot(self, path, crop=None):
        return self.run("grim", *(["-g", "%d,%d %dx%d" % crop] if crop else []),
                        *(["-t", "ppm"] if path == "-" else []), path, text=False).stdout

    def pixels(self, x, y, w, h):
        ppm = self.screenshot("-", (x, y, w, h))
        raw = ppm[re.match(rb"P6\s+\d+\s+\d+\s+\d+\s", ppm).end():]
        return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]

    def icon(self):
        ink = [i for i, p in enumerate(self.pixels(0, 0, 1280, 28))
               if sum(abs(a - 32) for a in p) > 60]
        xs, ys = [i % 1280 for i in ink], [i // 1280 for i in ink]
        return ink and (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)


GNOME_UNSAFE = "dorv-unsafe-mode@dorv.test"
NOW = "imports.gi.GLib.get_monotonic_time()"  # virtual input takes microseconds
GNOME_JS = {
    "setup": """{ const seat = imports.gi.Clutter.get_default_backend().get_default_seat();
        const T = imports.gi.Clutter.InputDeviceType;
        global._dorvPointer = seat.create_virtual_device(T.POINTER_DEVICE);
        global._dorvKeys = seat.create_virtual_device(T.KEYBOARD_DEVICE); return true; }""",
    "windows": """{ return global.get_window_actors().filter(a => a.visible &&
        !a.meta_window.is_override_redirect()).map(a => { const r = a.meta_window.get_frame_rect();
        return [a.meta_window.get_title(), [r.x, r.y, r.width, r.height]]; }); }""",
    "area": """{ const r = imports.ui.main.layoutManager.getWorkAreaForMonitor(0);
        return [r.x, r.y, r.width, r.height]; }""",
    "icon": """{ const a = imports.ui.main.panel.statusArea;
        const k = Object.keys(a).find(k => k.startsWith('appindicator-') && a[k].visible);
        const r = k ? RECT(a[k]) : [NaN]; return r.every(isFinite) ? r : null; }""",
    # The top bar's open menu: its labels (label null), or where the item labelled label is.
    "menu": """{ const m = imports.ui.main.panel.menuManager.activeMenu, label = %s;
        const items = m && m.isOpen ? m._getMenuItems().filter(i => i.actor.visible) : [];
        const item = items.find(i => i.label && i.label.text === label);
        if (label === null) return items.length ? items.map(i => i.label && i.label.text) : null;
        return item ? RECT(item.actor) : null; }""",
}
for _k, _js in GNOME_JS.items():
    GNOME_JS[_k] = re.sub(r"RECT\(([^)]*)\)", r"[...\1.get_transformed_position(), "
                          r"...\1.get_transformed_size()].map(Math.round)", _js)


class Gnome(Wayland):
    def start(self):
        import dbus
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=%s/sysbus" % self.runtime
        self.spawn(["dbus-daemon", "--session", "--nofork", "--address=" +
                    self.env["DBUS_SYSTEM_BUS_ADDRESS"]])  # else the shell's power menu crashes
        folder = os.path.join(os.environ["XDG_DATA_HOME"], "gnome-shell/extensions", GNOME_UNSAFE)
        os.makedirs(folder)  # unsafe mode opens Eval and the screenshot call
        open(folder + "/metadata.json", "w").write(json.dumps(
            {"uuid": GNOME_UNSAFE, "name": "t", "description": "t", "shell-version": ["43"]}))
        open(folder + "/extension.js", "w").write(
            "function init() { return { enable() { global.context.unsafe_mode = true; }, "
            "disable() {} }; }")
        for schema, key, value in (
                ("shell", "disable-user-extensions", "false"),
                ("shell", "enabled-extensions", "['ubuntu-appindicators@ubuntu.com', '%s']"
                 % GNOME_UNSAFE), ("shell", "welcome-dialog-last-shown-version", "'999'"),
                ("desktop.notifications", "show-banners", "false")):
            self.run("gsettings", "set", "org.gnome." + schema, key, value)
        self.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        shell = self.spawn(["gnome-shell", "--headless", "--wayland", "--virtual-monitor",
                            "1280x800"], stderr=open(self.runtime + "/shell.log", "w"))
        self.env.update(WAYLAND_DISPLAY="wayland-0", XDG_SESSION_TYPE="wayland")
        self.bus = dbus.SessionBus()
        self.wait(lambda: shell.poll() is not None or WATCHER in self.bus_names(), 20,
                  "gnome-shell and the AppIndicator watcher")
        if shell.poll() is not None:
            raise DesktopError("gnome-shell exited with status %d" % shell.returncode)
        self.shell = self.bus.get_object("org.gnome.Shell", "/org/gnome/Shell")

        def started():
            try:
                return self.eval("imports.ui.main.layoutManager._startingUp === false")
            except dbus.DBusException:  # its object may come a moment after the watcher
                return False
        self.wait(started, 10, "the shell")
        # The shell opens the overview at start-up; a hide() during its animation is ignored.
        self.wait(lambda: self.eval("{ const o = imports.ui.main.overview; if (o.visible) "
                                    "o.hide(); return !o.visible; }"), 5, "the overview to close")
        self.eval(GNOME_JS["setup"])
        return self.env

    def eval(self, js):
        ok, out = self.shell.Eval("(() => %s)()" % js if js.startswith("{") else js,
                                  dbus_interface="org.gnome.Shell")
        if not ok:
            raise DesktopError("the shell could not evaluate %r: %s" % (js[:60], out))
        return json.loads(out) if out else None

    def click(self, x, y, button=1):
        self.eval("{ global._dorvPointer.notify_absolute_motion(%s, %d, %d); }" % (NOW, x, y))
        time.sleep(0.05)
        for state in (1, 0):
            self.eval("{ global._dorvPointer.notify_button(%s, %d, %d); }" % (NOW, button, state))
            time.sleep(0.03)

    def key(self, name):
        for state in (1, 0):
            self.eval("{ global._dorvKeys.notify_keyval(%s, imports.gi.Clutter.KEY_%s, %d); }"
                      % (NOW, name, state))

    def window(self, title):
        return next((tuple(r) for t, r in self.eval(GNOME_JS["windows"]) if t == title), None)

    def area(self):
        return tuple(self.eval(GNOME_JS["area"]))

    def icon(self):
        return self.eval(GNOME_JS["icon"])

    def menu(self, label=None):
        return self.eval(GNOME_JS["menu"] % json.dumps(label))

    def menu_click(self, label):
        if not self.menu():
            x, y, w, h = self.wait(self.icon, 5, "the indicator")
            self.click(x + w // 2, y + h // 2, 3)
        x, y, w, h = self.wait(lambda: self.menu(label), 7, "%r in the menu" % label)
        self.click(x + w // 2, y + h // 2)

    def screenshot(self, path):
        self.bus.get_object("org.gnome.Shell", "/org/gnome/Shell/Screenshot").Screenshot(
            False, False, path, dbus_interface="org.gnome.Shell.Screenshot")


KWIN_WINDOWS = """print("DORV-WINDOWS " + JSON.stringify(workspace.clientList().filter(c =>
    !c.minimized).map(c => { const g = c.frameGeometry, a = workspace.clientArea(
    KWin.PlacementArea, c); return [c.caption, [g.x, g.y, g.width, g.height],
    [a.x, a.y, a.width, a.height]]; })));"""


class Kde(Wayland):
    """KWin on a virtual output, kded5 (the watcher) and plasmashell with its system tray."""

    def start(self):
        import dbus
        self.env.update(DBUS_SYSTEM_BUS_ADDRESS="unix:path=%s/sysbus" % self.runtime,
                        XDG_CURRENT_DESKTOP="KDE", KDE_FULL_SESSION="true", KDE_SESSION_VERSION="5",
                        KWIN_SCREENSHOT_NO_PERMISSION_CHECKS="1",
                        QT_LOGGING_RULES="kwin_scripting=true")
        self.spawn(["dbus-daemon", "--session", "--nofork",
                    "--address=" + self.env["DBUS_SYSTEM_BUS_ADDRESS"]])
        # The installed binary carries a file capability that a user namespace cannot grant.
        shutil.copy("/usr/bin/kwin_wayland", self.runtime)
        self.kwin_log = self.runtime + "/kwin.log"
        self.spawn([self.runtime + "/kwin_wayland", "--virtual", "--width", "1280", "--height",
                    "800", "--socket", "wayland-kde", "--xwayland", "--no-lockscreen",
                    "--no-global-shortcuts", "--exit-with-session", "sleep 3600"],
                   stderr=open(self.kwin_log, "w"))
        self.bus = dbus.SessionBus()
        self.wait(lambda: "org.kde.KWin" in self.bus_names(), 15, "KWin")
        self.env.update(WAYLAND_DISPLAY="wayland-kde", QT_QPA_PLATFORM="wayland")
        for cmd in ("/usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd", "kded5", "plasmashell"):
            self.spawn([cmd])
        self.wait(lambda: WATCHER in self.bus_names(), 20, "kded5's watcher")
        self.wait(lambda: "org.kde.plasmashell" in self.bus_names(), 20, "plasmashell")
        time.sleep(2)
        return self.env

    def icon(self):
        return None  # Plasma's tray is not read on the screen: Activate stands in for a click

    def windows(self):
        """(title, frame, work area) of each shown window, from a script run inside KWin."""
        path = self.write("windows.js", KWIN_WINDOWS)
        scripting = self.bus.get_object("org.kde.KWin", "/Scripting")
        name, before = "dorv-%d" % time.monotonic_ns(), os.path.getsize(self.kwin_log)
        scripting.loadScript(path, name, dbus_interface="org.kde.kwin.Scripting", signature="ss")
        scripting.start(dbus_interface="org.kde.kwin.Scripting")

        def output():
            with open(self.kwin_log, errors="replace") as f:
                f.seek(before)
                return next((line.split("DORV-WINDOWS ", 1)[1] for line in f
                             if "DORV-WINDOWS " in line), None)
        try:
            return json.loads(self.wait(output, 5, "the KWin script's output"))
        finally:
            scripting.unloadScript(name, dbus_interface="org.kde.kwin.Scripting")

    def window(self, title):
        return next((tuple(g) for t, g, _ in self.windows() if t == title), None)

    def area(self):
        return tuple(self.windows()[0][2])


    def screenshot(self, path):
        import dbus
        read, write = os.pipe()
        data = []
        reader = threading.Thread(target=lambda: data.append(os.fdopen(read, "rb").read()))
        reader.start()
        meta = self.bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2").CaptureWorkspace(
            {}, dbus.types.UnixFd(write), dbus_interface="org.kde.KWin.ScreenShot2")
        os.close(write)
        reader.join(10)
        subprocess.run(["convert", "-size", "%dx%d" % (meta["width"], meta["height"]), "-depth",
                        "8", "bgra:-", path], input=data[0], check=True)  # QImage's ARGB32


class StatusNotifier:
    """The icon's item as its host sees it over D-Bus."""

    def __init__(self, d):
        import dbus
        self.bus = dbus.bus.BusConnection(d.env["DBUS_SESSION_BUS_ADDRESS"])
        self.watcher = self.bus.get_object(WATCHER, "/StatusNotifierWatcher")
        item = d.wait(self.items, 10, "a registered StatusNotifierItem")[0]
        # GNOME's watcher lists an item as "SERVICE@/PATH", the others as "SERVICE/PATH".
        service, _, path = item.partition("/")
        self.item = self.bus.get_object(service.rstrip("@"), "/" + path)

    def items(self):
        return list(self.watcher.Get(WATCHER, "RegisteredStatusNotifierItems",
                                     dbus_interface="org.freedesktop.DBus.Properties"))

    def prop(self, name):
        return self.item.Get("org.kde.StatusNotifierItem", name,
                             dbus_interface="org.freedesktop.DBus.Properties")

    def activate(self, x, y):
        self.item.Activate(x, y, dbus_interface="org.kde.StatusNotifierItem")

    def pixels(self):
        """The opaque pixels of the largest pixmap (ARGB32, network byte order) as (r, g, b)."""
        argb = bytes(max(self.prop("IconPixmap"), key=lambda p: p[0])[2])
        return [tuple(argb[i + 1:i + 4]) for i in range(0, len(argb), 4) if argb[i] > 200]

    def menu_event(self, label):
        """Sends the click on the menu's entry labelled label that a host sends."""
        menu = self.bus.get_object(self.item.requested_bus_name, str(self.prop("Menu")))
        menu.AboutToShow(0, dbus_interface="com.canonical.dbusmenu")
        _, (_, _, children) = menu.GetLayout(0, -1, [], dbus_interface="com.canonical.dbusmenu")
        found = [i for i, p, _ in children if str(p.get("label", "")) == label]
        if not found:
            raise DesktopError("no %r in the menu" % label)
        menu.Event(found[0], "clicked", 0, 0, dbus_interface="com.canonical.dbusmenu")


def desktop(kind, pointer):
    return {"xembed": lambda: X11("xembed"), "sni": lambda: X11("sni"), "sway": lambda: Sway(
        pointer), "gnome": Gnome, "kde": Kde}[kind]()
