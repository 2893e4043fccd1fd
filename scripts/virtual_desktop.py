#!/usr/bin/env python3
"""A virtual desktop for DORVMenu: Xvfb, a private D-Bus session with the accessibility bus,
and a tray host, either trayer (XEmbed) or xfce4-panel's status tray (StatusNotifierItem).

As a module: `with VirtualDesktop("sni", home) as env: ...` gives the environment a program
needs to run on it. As a command: `virtual_desktop.py [--tray xembed|sni] [--home DIR] -- CMD...`
runs CMD on a new desktop and takes it down again when CMD ends.
"""

import argparse
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
    """Re-runs this script in a private network namespace, so that port 9876 is its own; returns
    inside it. Raises DesktopError where the machine allows none."""
    if os.environ.get("DORV_PRIVATE_NETNS") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        return
    if not shutil.which("unshare"):
        raise DesktopError("no unshare on this machine")
    for args in (["unshare", "-n"], ["unshare", "-rn"]):
        probe = subprocess.run(args + ["true"], capture_output=True)
        if probe.returncode == 0:
            env = dict(os.environ, DORV_PRIVATE_NETNS="1")
            sys.exit(subprocess.run(args + [sys.executable] + sys.argv, env=env).returncode)
    raise DesktopError("no private network namespace here (%s)" % probe.stderr.decode().strip())


def missing_tools(tray):
    """The programs this machine lacks for a desktop with this tray, as a list of names."""
    need = ["Xvfb", "xdpyinfo", "dbus-daemon", "/usr/libexec/at-spi-bus-launcher"]
    need += ["trayer", "xdotool"] if tray == "xembed" else ["xfce4-panel", "gdbus"]
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
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = probe()
            if value:
                return value
            time.sleep(0.1)
        raise DesktopError("timed out waiting for " + what)

    def run(self, *cmd):
        return subprocess.run(cmd, env=self.env, capture_output=True, text=True)

    def start(self):
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
        if self.tray == "xembed":
            self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                        "--height", "24", "--transparent", "false", "--tint", "0x000000",
                        "--SetDockType", "true"])
            self.wait(lambda: self.run("xdotool", "search", "--class", "trayer").stdout.strip(),
                      10, "trayer")
        else:
            channels = os.path.join(config, "xfce4", "xfconf", "xfce-perchannel-xml")
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

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        self.procs = []
        shutil.rmtree(self.runtime, ignore_errors=True)


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
