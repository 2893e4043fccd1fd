#!/usr/bin/env python3
"""A headless GNOME Shell (Wayland, one 1280x800 virtual monitor) with the AppIndicator
extension as the StatusNotifierItem host, for end-to-end tests of DORVMenu.

enter_session() re-runs the calling script as uid 1000 in private user, network, mount
and PID namespaces, inside its own D-Bus session, with HOME and the XDG folders pointing at
scratch folders (dconf and the shell write there, never to the real home); the PID namespace
ends every process the session started when the script ends. There, GnomeDesktop starts the
shell; its methods evaluate JavaScript in the shell (a small extension sets the shell's unsafe
mode, which opens org.gnome.Shell.Eval and the screenshot call to any client), click and type
through Clutter virtual input devices, read windows and the top bar, and take screenshots.

As a command: `gnome_desktop.py -- CMD...` runs CMD in such a session, next to a shell.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from virtual_desktop import DesktopError, VirtualDesktop  # noqa: E402

WATCHER = "org.kde.StatusNotifierWatcher"
APPINDICATOR = "ubuntu-appindicators@ubuntu.com"
UNSAFE = "dorv-unsafe-mode@dorv.test"
SESSION_FLAG = "DORV_GNOME_SESSION"
# Within the session, uid 1000 (an ordinary user, as the shell expects) stands for the caller;
# the tmpfs hides logind's seats, so the shell uses its own stand-in login manager.
INNER = ("ip link set lo up && mount -t tmpfs none /run/systemd && exec unshare -U "
         "--map-user=1000 --map-group=1000 dbus-run-session -- \"$@\"")


def missing_tools():
    """The programs this machine lacks for the session, as a list of names."""
    need = ["gnome-shell", "unshare", "ip", "dbus-run-session", "dbus-daemon", "gsettings",
            "/usr/libexec/at-spi-bus-launcher"]
    missing = [t for t in need if not shutil.which(t)]
    if not os.path.isdir("/usr/share/gnome-shell/extensions/" + APPINDICATOR):
        missing.append("gnome-shell-extension-appindicator")
    return missing


def enter_session():
    """Returns inside the session (see the module's doc); outside, runs this script there and
    exits with its status. Raises DesktopError where the machine allows no such namespaces."""
    if os.environ.get(SESSION_FLAG) == "1":
        return
    scratch = tempfile.mkdtemp(prefix="dorv-gnome-")
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("DBUS_", "XDG_", "WAYLAND_", "AT_SPI", "DISPLAY", "GNOME_"))}
    env.update({SESSION_FLAG: "1", "HOME": os.path.join(scratch, "home")})
    for name in ("runtime", "config", "data", "cache"):
        env["XDG_%s_%s" % (name.upper(), "DIR" if name == "runtime" else "HOME")] = \
            os.path.join(scratch, name)
    for path in (env["HOME"], env["XDG_RUNTIME_DIR"], env["XDG_CONFIG_HOME"],
                 env["XDG_DATA_HOME"], env["XDG_CACHE_HOME"]):
        os.makedirs(path, mode=0o700)
    cmd = ["unshare", "-rnmp", "--fork", "sh", "-c", INNER, "sh", sys.executable] + sys.argv
    try:
        probe = subprocess.run(["unshare", "-rnmp", "--fork", "sh", "-c", INNER, "sh", "true"],
                               env=env, capture_output=True, text=True)
        if probe.returncode != 0:
            raise DesktopError("no private namespaces for a GNOME session here (%s)" %
                               probe.stderr.strip())
        code = subprocess.run(cmd, env=env).returncode
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    sys.exit(code)


class GnomeDesktop(VirtualDesktop):
    """GNOME Shell as the desktop; spawning, waiting and running commands are the base's."""

    def __init__(self, size="1280x800", log_file=None):
        self.size, self.log_file = size, log_file
        self.width, self.height = (int(v) for v in size.split("x"))
        self.runtime = os.environ["XDG_RUNTIME_DIR"]
        self.procs = []
        self.env = dict(os.environ)
        self.shell = None

    def start(self):
        if os.environ.get(SESSION_FLAG) != "1":
            raise DesktopError("GnomeDesktop runs only inside enter_session()")
        # Without a system bus the shell crashes in its power menu.
        sysbus = os.path.join(self.runtime, "system_bus")
        self.spawn(["dbus-daemon", "--session", "--nofork", "--address=unix:path=" + sysbus])
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + sysbus
        self._install_unsafe_extension()
        for key, value in (("disable-user-extensions", "false"),
                           ("enabled-extensions", "['%s', '%s']" % (APPINDICATOR, UNSAFE)),
                           ("welcome-dialog-last-shown-version", "'999'")):
            self.gsettings("org.gnome.shell", key, value)
        # Else the unsafe mode's notice covers the top of the screen in every screenshot.
        self.gsettings("org.gnome.desktop.notifications", "show-banners", "false")
        self.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        log = open(self.log_file, "w") if self.log_file else subprocess.DEVNULL
        self.shell = self.spawn(["gnome-shell", "--headless", "--wayland",
                                 "--virtual-monitor", self.size], stdout=log, stderr=log)
        # Programs started later find the shell's Wayland display and its XWayland.
        self.env.update(WAYLAND_DISPLAY="wayland-0", XDG_SESSION_TYPE="wayland")
        import dbus
        self.bus = dbus.SessionBus()
        self.wait(lambda: self.shell.poll() is not None or WATCHER in self.bus_names(), 20,
                  "gnome-shell and the AppIndicator extension's watcher")
        if self.shell.poll() is not None:
            raise DesktopError("gnome-shell exited with status %d" % self.shell.returncode)
        self._shell = self.bus.get_object("org.gnome.Shell", "/org/gnome/Shell")
        self._screenshot = self.bus.get_object("org.gnome.Shell", "/org/gnome/Shell/Screenshot")
        self.wait(lambda: self.eval("imports.ui.main.layoutManager._startingUp === false"), 10,
                  "the shell to finish starting up")
        # The shell opens the overview at start-up; a hide() during its animation is ignored.
        self.wait(lambda: self.eval("{ const o = imports.ui.main.overview; if (o.visible) "
                                    "o.hide(); return !o.visible; }"), 5, "the overview to close")
        self.eval(POINTER_SETUP)
        return self.env

    def gsettings(self, schema, key, value):
        if self.run("gsettings", "set", schema, key, value).returncode != 0:
            raise DesktopError("gsettings could not set %s %s" % (schema, key))

    def _install_unsafe_extension(self):
        folder = os.path.join(os.environ["XDG_DATA_HOME"], "gnome-shell", "extensions", UNSAFE)
        os.makedirs(folder)
        with open(os.path.join(folder, "metadata.json"), "w") as f:
            json.dump({"uuid": UNSAFE, "name": "Unsafe mode for tests", "description": "tests",
                       "shell-version": ["43"]}, f)
        with open(os.path.join(folder, "extension.js"), "w") as f:
            f.write("function init() { return { enable() { global.context.unsafe_mode = true; "
                    "}, disable() {} }; }\n")

    def bus_names(self):
        return self.bus.list_names()

    def eval(self, js):
        """The JSON value of the JavaScript expression js, evaluated in the shell."""
        # The shell answers with the value in JSON.
        code = "(() => %s)()" % js if js.lstrip().startswith("{") else js
        ok, out = self._shell.Eval(code, dbus_interface="org.gnome.Shell")
        if not ok:
            raise DesktopError("the shell could not evaluate %r: %s" % (js[:60], out))
        return json.loads(out) if out else None

    def move(self, x, y):
        self.eval("{ global._dorvPointer.notify_absolute_motion(%s, %d, %d); return true; }" %
                  (NOW, x, y))

    def click(self, x, y, button=1):
        """Moves the pointer to (x, y) and presses and releases the button there."""
        self.move(x, y)
        time.sleep(0.05)
        for state in (1, 0):
            self.eval("{ global._dorvPointer.notify_button(%s, %d, %d); return true; }" %
                      (NOW, button, state))
            time.sleep(0.03)

    def key(self, name):
        """Presses and releases the key with this Clutter key name (Escape, Return)."""
        for state in (1, 0):
            self.eval("{ global._dorvKeyboard.notify_keyval(%s, imports.gi.Clutter.KEY_%s, %d); "
                      "return true; }" % (NOW, name, state))

    def windows(self):
        """The mapped windows: title, frame rectangle (x, y, w, h), Wayland or X11 client."""
        return self.eval(WINDOWS)

    def window(self, title):
        """(x, y, w, h) of the shown window titled exactly title, or None."""
        return next((tuple(w["rect"]) for w in self.windows() if w["title"] == title), None)

    def work_area(self):
        return tuple(self.eval(WORK_AREA))

    def indicator(self, prefix="appindicator-"):
        """(x, y, w, h) of the first top-bar indicator whose key starts with prefix, or None."""
        return self.eval(INDICATOR % json.dumps(prefix))

    def open_menu(self):
        """The labels of the top bar's open menu, in order ('' for a separator), or None."""
        return self.eval(OPEN_MENU)

    def menu_item(self, label):
        """(x, y, w, h) of the open menu's item labelled label, or None."""
        return self.eval(MENU_ITEM % json.dumps(label))

    def click_middle(self, place, what, button=1):
        """Clicks the middle of what place() gives, once it gives (x, y, w, h)."""
        x, y, w, h = self.wait(place, 5, what)
        self.click(x + w // 2, y + h // 2, button)

    def click_indicator(self, button=1):
        self.click_middle(self.indicator, "the indicator in the top bar", button)

    def click_menu_item(self, label):
        self.click_middle(lambda: self.menu_item(label), "the menu item " + label)

    def dismiss(self, shown):
        """Closes what shown() names (a menu, a window) as a user would: Escape, else a click on
        the desktop."""
        for close in (lambda: self.key("Escape"),
                      lambda: self.click(self.width // 2, self.height * 3 // 4)):
            if not shown():
                return
            close()
            try:
                self.wait(lambda: not shown(), 2, "")
            except DesktopError:
                pass
        if shown():
            raise DesktopError("the %s stays open after Escape and a click outside it" % shown())

    def screenshot(self, path):
        ok, _ = self._screenshot.Screenshot(False, False, path,
                                        dbus_interface="org.gnome.Shell.Screenshot")
        if not ok:
            raise DesktopError("the shell took no screenshot to " + path)

    def stop(self):
        self.stop_processes()  # the session's runtime folder is the session's to remove


NOW = "imports.gi.GLib.get_monotonic_time()"  # virtual input takes microseconds

POINTER_SETUP = """{
    const seat = imports.gi.Clutter.get_default_backend().get_default_seat();
    const Type = imports.gi.Clutter.InputDeviceType;
    global._dorvPointer = seat.create_virtual_device(Type.POINTER_DEVICE);
    global._dorvKeyboard = seat.create_virtual_device(Type.KEYBOARD_DEVICE);
    return true;
}"""

WINDOWS = """{
    return global.get_window_actors()
        .filter(a => a.visible && !a.meta_window.is_override_redirect())
        .map(a => {
            const w = a.meta_window, r = w.get_frame_rect();
            return { title: w.get_title(), rect: [r.x, r.y, r.width, r.height],
                     client: w.get_client_type() === 0 ? 'wayland' : 'x11',
                     focused: w.has_focus() };
        });
}"""

WORK_AREA = """{
    const r = imports.ui.main.layoutManager.getWorkAreaForMonitor(0);
    return [r.x, r.y, r.width, r.height];
}"""


def rect(actor):
    """JavaScript for the place of the actor on the screen, [x, y, w, h]."""
    return "[...%s.get_transformed_position(), ...%s.get_transformed_size()].map(Math.round)" % (
        actor, actor)


INDICATOR = """{
    const area = imports.ui.main.panel.statusArea;
    const key = Object.keys(area).find(k => k.startsWith(%s) && area[k].visible);
    if (!key) return null;
    return ACTOR_RECT;
}""".replace("ACTOR_RECT", rect("area[key]"))

# The top bar's menu manager knows which of its menus is open; a separator's label is empty.
OPEN_MENU = """{
    const menu = imports.ui.main.panel.menuManager.activeMenu;
    if (!menu || !menu.isOpen) return null;
    return menu._getMenuItems().filter(i => i.actor.visible)
        .map(i => i.label ? i.label.text : '');
}"""

MENU_ITEM = """{
    const menu = imports.ui.main.panel.menuManager.activeMenu;
    const item = menu && menu.isOpen &&
        menu._getMenuItems().find(i => i.actor.visible && i.label && i.label.text === %s);
    if (!item) return null;
    return ACTOR_RECT;
}""".replace("ACTOR_RECT", rect("item.actor"))


def main():
    if len(sys.argv) < 3 or sys.argv[1] != "--":
        print(__doc__)
        return 2
    try:
        enter_session()
        with GnomeDesktop(log_file=os.path.join(os.environ["XDG_RUNTIME_DIR"], "shell.log")) \
                as env:
            return subprocess.run(sys.argv[2:], env=env).returncode
    except DesktopError as e:
        print("gnome-desktop: %s" % e, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
