#!/usr/bin/env python3
"""End-to-end test of DORVMenu: one table of the steps a user takes, run on a real desktop with a
real tray (desktops.py) against the stand-in bridge. Controls are pressed through AT-SPI by role
and name, as a screen reader does; every check looks from outside the utility: the stand-in's
requests and reloads, the file, the icon's pixels or D-Bus item, the windows shown, exit status.

usage: e2e.py xembed|sni|sway|gnome|kde DORVMenu STANDIN_DIR OUTPUT_DIR [WL_POINTER]
Exits 77 (skipped) where the desktop cannot start. kde is not part of ./test.
"""

import collections
import json
import os
import signal
import sys
import time
import urllib.request

sys.dont_write_bytecode = True  # no caches in the source tree
from desktops import (DesktopError, StatusNotifier, desktop, enter,  # noqa: E402
                      find_accessible, missing, press)

X11, KEYS = ("xembed", "sni"), ("xembed", "sni", "sway")
SEED = "default: web\nprojects:\n  api: /srv/api\n  web: /srv/web\n"
STAR = "push button|toggle button|check box"  # the editor's star, as each platform shows it
ROWS = ("api", "web")
EDITOR = "DORV Projects"


def expect(what, got, wanted):
    if got != wanted:
        raise DesktopError("%s is %r, expected %r" % (what, got, wanted))


def color(pixels):
    """The colour most of the (r, g, b) pixels have: green, orange, gray or none."""
    votes = collections.Counter(
        "green" if g > r + 40 and g > b + 30 else "orange" if r > g + 40 and g > b + 40 else
        "gray" if max(r, g, b) - min(r, g, b) < 20 and 90 < r < 200 else "" for r, g, b in pixels)
    votes.pop("", None)
    return votes.most_common(1)[0][0] if votes else "none"


class Run:
    """The utility and the stand-in on desktop d; what the user and the bridge see."""

    def __init__(self, kind, app, standin, out, pointer):
        self.kind, self.app_path, self.out, self.step = kind, app, out, ""
        self.d, self.home, self.server = desktop(kind, pointer), os.environ["HOME"], standin
        self.list_file, self.tray = self.home + "/.marvek/chatwire-projects.yaml", None

    def log(self, message):
        print("e2e_%s: %s" % (self.kind, message), flush=True)

    def within(self, probe, seconds):
        try:
            return self.d.wait(probe, seconds, "")
        except DesktopError:
            return None

    def shot(self, name):
        self.d.screenshot("%s/%s-%s-%s.png" % (self.out, self.kind, self.step, name))

    def write_list(self, text):
        os.makedirs(os.path.dirname(self.list_file), exist_ok=True)
        open(self.list_file, "w").write(text)

    def http(self, path, body=None):
        try:
            return json.loads(urllib.request.urlopen("http://127.0.0.1:9876" + path, body and
                                                     json.dumps(body).encode(), timeout=3).read())
        except OSError:
            return None

    def control(self, **changes):
        return self.http("/_control", changes or None)

    def requests(self, path=None):
        return [r for r in self.http("/_requests") or [] if path in (None, r["path"])]

    def start_bridge(self):
        self.bridge = self.d.spawn([sys.executable, self.server + "/server.py", "--home",
                                    self.home])
        self.d.wait(self.control, 10, "the stand-in bridge")

    def serve(self, count):
        """A list of count projects, project-0 on, read again by the stand-in."""
        self.write_list("projects:\n" + "".join("  project-%d: /srv/p%d\n" % (i, i)
                                                 for i in range(count)))
        self.bridge.send_signal(signal.SIGHUP)
        self.d.wait(lambda: len((self.http("/status") or {}).get("projects", [])) == count, 3,
                  "%d projects at the stand-in" % count)

    def launch(self, log="app"):
        # --verbose: the log names every service command the utility ran.
        return self.d.spawn([self.app_path, "--verbose"], env=self.d.app_env(),
                            stderr=open("%s/%s-%s.log" % (self.out, self.kind, log), "w"))

    def icon_color(self):
        return color(self.d.pixels(*self.d.icon()) if self.kind == "xembed" else self.tray.pixels())

    def panel(self):
        return self.d.window("DORV")

    def settled(self, title="DORV"):
        """The window's place once it stays the same for a moment (it may grow once shown)."""
        first = self.d.window(title)
        time.sleep(0.3)
        return first if first and first == self.d.window(title) else None

    def open_panel(self):
        if not self.panel():
            icon = self.kind != "kde" and self.d.wait(self.d.icon, 5, "the icon drawn by the host")
            if icon:
                self.d.click(icon[0] + icon[2] // 2, icon[1] + icon[3] // 2)
            if self.kind in ("gnome", "kde") and not self.within(self.panel, 2):
                self.close_menu()  # GNOME's host may show its menu: Activate is what it sends
                self.tray.activate(1180, 780)
        return self.d.wait(self.settled, 5, "the panel titled exactly DORV")

    def close_menu(self):  # GNOME's host's menu
        if self.kind == "gnome" and self.d.menu():
            self.d.key("Escape")
            self.d.wait(lambda: not self.d.menu(), 3, "Escape to close the host's menu")

    def close(self, title="DORV"):
        self.d.key("Escape")
        if self.kind == "gnome" and not self.within(lambda: not self.d.window(title), 2):
            self.d.click(640, 700)  # a click outside takes the focus away
        self.d.wait(lambda: not self.d.window(title), 3, "Escape to close " + title)

    def find(self, role, name, seconds=3):
        return self.d.wait(lambda: find_accessible(name, role), seconds, "%s %r" % (role, name))

    def press(self, role, name):
        press(self.find(role, name))
        time.sleep(0.3)

    def panel_part(self, test):
        """The panel's Quit row, its window and its first accessible that passes test."""
        import pyatspi
        row = window = find_accessible("Quit DORV", "push button")
        while window and window.parent and window.parent.getRoleName() != "application":
            window = window.parent
        return row, window, window and pyatspi.findDescendant(window, test)

    def focused(self):
        """The name of the control with the keyboard focus, as a screen reader is told."""
        pyatspi = __import__("pyatspi")
        hit = self.panel_part(lambda a: a.getState().contains(pyatspi.STATE_FOCUSED))[2]
        return hit.name if hit else None

    def content_height(self, first):
        """(gap below the Quit row, window height) in the utility's own coordinates, once the
        panel shows a row whose name starts with first; else None."""
        row, window, shown = self.panel_part(lambda a: a.name.startswith(first))
        if not shown:
            return None
        (_, y, _, h), (_, wy, _, wh) = (a.queryComponent().getExtents(0) for a in (row, window))
        return wy + wh - (y + h), wh

    def fits(self, g, first):
        """The panel g lies inside the screen (work area), clear of the icon on X11, and ends 4 px
        below its Quit row (its height is its content's)."""
        area = self.d.area() if self.kind in ("gnome", "kde") else (0, 0, 1280, 800)
        expect("the panel %s inside %s" % (g, area), g[0] >= area[0] and g[1] >= area[1] and
               g[0] + g[2] <= area[0] + area[2] and g[1] + g[3] <= area[1] + area[3], True)
        icon = self.d.icon()
        expect("the panel %s clear of the icon %s" % (g, icon), self.kind not in X11 or
               g[1] >= icon[1] + icon[3] or g[1] + g[3] <= icon[1], True)
        gap = self.d.wait(lambda: self.content_height(first), 5, "a row " + first)
        expect("(the gap below Quit DORV, the window's height)", (gap[0], gap[1]), (4, g[3]))


def login_race(r):
    """Started before the tray (login): the panel shows as a window until the icon comes."""
    r.app = r.launch()
    time.sleep(4)
    r.shot("before-tray")
    expect("the window titled DORV before any tray", bool(r.panel()), True)
    r.d.start_tray()
    x, y, w, h = r.d.wait(r.d.icon, 10, "the icon in the tray that came later")
    r.d.wait(lambda: not r.panel(), 3, "the window to go when the icon came")
    r.d.click(x + w // 2, y + h // 2)
    r.d.wait(r.panel, 3, "the first click on the icon to open the panel")
    r.close()
    r.tray = StatusNotifier(r.d)


def opens(r):
    """Nothing is sent before a click opens the panel, near the icon, polling at once; the icon
    is one item titled DORV, gray, then its colour follows the bridge."""
    if r.tray:
        expect("(the registered items, the title)", (len(r.tray.items()), r.tray.prop("Title")),
               (1, "DORV"))
    if r.kind == "xembed":  # GNOME's host asks for the menu, which polls; sni, sway: opened
        time.sleep(1.5)
        expect("(the requests, the icon) before the panel was shown",
               (r.requests(), r.icon_color()), ([], "gray"))
    clicked = time.time()
    g = r.open_panel()
    expect("the panel's width", g[2], 260)
    first = r.d.wait(lambda: r.requests("/status"), 2, "a status request")[0]["time"]
    if r.kind in KEYS and first - clicked > 1.5:
        raise DesktopError("the first status request %.1f s after the click" % (first - clicked))
    icon = r.d.icon()
    r.log("panel at %s, icon at %s" % (g, icon))
    if r.kind in X11 and max(g[0] - icon[0] - icon[2], icon[0] - g[0] - g[2],
                             g[1] - icon[1] - icon[3], icon[1] - g[1] - g[3]) > 40:
        raise DesktopError("the panel %s is far from the icon %s" % (g, icon))
    if r.kind == "sway":
        expect("the panel floating", [w["floating"] for w in r.d.windows() if w["name"] == "DORV"],
               [1])
    if r.kind in ("gnome", "kde"):
        r.fits(g, "api")
    r.shot("panel")
    for state, c in (("connected", "green"), ("connecting", "orange"), ("connected", "green")):
        r.control(chatwire=state)
        r.d.wait(lambda: r.icon_color() == c, 7, "a %s icon" % c)


def closes(r):
    """A click outside closes the panel (Escape closes it in every step)."""
    r.d.click(40, 760)
    r.d.wait(lambda: not r.panel(), 3, "a click outside to close the panel")
    time.sleep(0.4)  # a click right after a focus loss is taken as the one that caused it


def switch(r):
    """Pressing a project row sends one /use with its name as JSON; the mark moves."""
    r.open_panel()
    marks = lambda: [r.find("push button", n).description for n in ROWS]  # noqa: E731
    expect("the marks of api and web", marks(), ["", "Active project"])
    r.control(clear_requests=True)
    r.press("push button", "api")
    r.d.wait(lambda: marks() == ["Active project", ""], 7, "api to become the active project")
    expect("the /use bodies", [q["body"] for q in r.requests("/use")], ['{"project":"api"}'])
    r.close()


def keyboard(r):
    """Tab, arrows, Return and Space alone switch projects and open the editor."""
    r.control(clear_requests=True)
    r.open_panel()
    time.sleep(0.5)
    expect("the focus in a panel just opened", r.focused(), None)

    def reach(name):
        for _ in range(16):
            now = r.focused()
            if now == name:
                return
            arrow = now in ROWS and name in ROWS and (
                "Up" if ROWS.index(now) > ROWS.index(name) else "Down")
            r.d.key(arrow or "Tab")
            if arrow and r.focused() == now:
                r.d.key("Tab")
        raise DesktopError("the keys never reached %r (the focus is on %r)" % (name, r.focused()))
    for project, key in (("web", "Return"), ("api", "space")):
        reach(project)
        r.d.key(key)
        r.d.wait(lambda: r.find("push button", project).description == "Active project", 7,
               "%s to press %s" % (key, project))
        expect("the focus after the rows were rebuilt", r.focused(), project)
    expect("the /use bodies", [q["body"] for q in r.requests("/use")],
           ['{"project":"web"}', '{"project":"api"}'])
    reach("Configure Projects…")
    r.d.key("Return")
    r.d.wait(lambda: r.d.window(EDITOR), 5, "the editor")
    r.close(EDITOR)
    with open(os.path.join(r.out, r.kind + "-app.log"), errors="replace") as f:
        ran = [line for line in f if "dorv.service" in line and (" start" in line or
                                                                 " stop" in line)]
    expect("the service commands run", ran, [])


def host_menu(r):
    """A click on a project in the host's menu for the icon sends one /use."""
    r.close_menu()
    other = "web" if r.http("/status")["active_project"] == "api" else "api"
    r.control(clear_requests=True)
    r.d.menu_click(other)
    r.d.wait(lambda: r.requests("/use"), 3, "POST /use")
    r.shot("menu")
    time.sleep(0.7)  # time for a second request, which must not come
    expect("the /use requests", [(q["method"], q["body"]) for q in r.requests("/use")],
           [("POST", '{"project":"%s"}' % other)])
    if r.kind == "sway":
        r.d.click(40, 760)  # waybar's menu takes no keys
    r.close_menu()


def editor(r):
    """The editor: Save writes the file and reloads the bridge once."""
    r.open_panel()
    r.press("push button", "Configure Projects…")
    size = r.d.wait(lambda: r.settled(EDITOR), 5, "the editor")[2:]
    if r.kind in KEYS:  # GNOME's size includes its title bar
        expect("the editor's size", size, (320, 360))
    alias, path = "api", "/srv/api"
    if r.kind == "xembed":
        alias, path = "my-tools", os.path.join(r.home, "src", "My Tools")
        os.makedirs(path)
        r.press("push button", "Add Project")
        r.d.wait(lambda: r.d.window("Select a project directory"), 5, "the folder picker")
        r.shot("picker")
        r.d.run("xdotool", "type", "--delay", "10", path)
        r.d.key("Return")
    r.press(STAR, "Make %s the default" % alias)
    star = r.find(STAR, "Make %s the default" % alias)
    expect("the star checked", star.getState().contains(__import__("pyatspi").STATE_CHECKED), True)
    r.shot("editor")
    r.press("push button", "Save")
    r.d.wait(lambda: not r.d.window(EDITOR), 3, "Save to close the editor")
    saved = ("default: %s\nprojects:\n  api: /srv/api\n  web: /srv/web\n" % alias +
             ("  my-tools: %s\n" % path if alias == "my-tools" else "")).encode()
    expect("the file written", open(r.list_file, "rb").read(), saved)
    r.d.wait(lambda: r.control()["reloads"], 3, "a reload at the stand-in")
    r.d.wait(lambda: alias in (r.http("/status") or {}).get("projects", []), 3,
           "the list the bridge read again")
    time.sleep(0.5)  # time for a second reload, which must not come
    expect("the reloads", r.control()["reloads"], 1)


def thirty(r):
    """Thirty projects: the panel grows to its content and stays inside the screen."""
    small = r.open_panel()
    r.close()
    r.serve(30)
    r.d.wait(lambda: (r.open_panel()[3] > small[3]), 7, "the panel to grow")
    r.tall = r.settled()  # for the offline step
    r.fits(r.tall, "project-")
    r.shot("thirty")
    r.close()


def offline(r):
    """Without the bridge: gray within a poll; the panel shrinks to its content."""
    r.bridge.terminate()
    r.bridge.wait(5)
    r.d.wait(lambda: r.icon_color() == "gray", 7, "a gray icon")
    g = r.open_panel()
    r.find("label", "Offline")
    r.shot("offline")
    expect("the offline panel %s shorter than %s" % (g, r.tall), g[3] < r.tall[3], True)
    r.fits(g, "Quit")
    r.close()
    r.start_bridge()


def second_start(r):
    """A second start opens the running copy's panel; after a crash a start runs again."""
    expect("the second start's exit status", r.launch("second").wait(3), 0)
    r.d.wait(r.panel, 3, "the panel the second start opened")
    first = r.tray.items()
    expect("the items", (len(first), r.app.poll()), (1, None))
    r.app.kill()
    r.app.wait()
    r.app = r.launch("third")
    r.d.wait(lambda: r.tray.items() not in ([], first), 5, "the new copy's item")
    time.sleep(1)
    expect("the items, the exit status", (len(r.tray.items()), r.app.poll()), (1, None))
    expect("a further start's exit status", r.launch("fourth").wait(5), 0)
    r.d.wait(r.panel, 3, "the new copy's panel")
    r.close()


def gnome_clicks(r):
    """Each click on the indicator (left, left, right) shows the panel or the host's menu."""
    r.close()
    for name, button in (("left", 1), ("second-left", 1), ("right", 3)):
        x, y, w, h = r.d.icon()
        r.d.click(x + w // 2, y + h // 2, button)
        # The host waits 400 ms for a double click before it opens its menu.
        r.d.wait(lambda: r.panel() or r.d.menu(), 2, "the panel or the menu after a click")
        r.shot(name)
        r.close_menu()
        if r.panel():
            r.close()


def quits(r):
    """Quit DORV ends the process with status 0."""
    r.open_panel()
    r.press("push button", "Quit DORV")
    expect("the exit status after Quit DORV", r.app.wait(5), 0)


ALL = ("xembed", "sni", "sway", "gnome", "kde")
STEPS = [
    (login_race, ("sni", "sway")),
    (opens, ALL),
    (closes, ("sway",)),
    (gnome_clicks, ("gnome",)),
    (switch, ("xembed", "sni", "sway", "gnome")),
    (keyboard, KEYS),
    (host_menu, ("sway", "gnome", "kde")),
    (editor, ("xembed", "sway", "gnome")),
    (thirty, ("xembed", "sni", "sway", "gnome")),
    (offline, ("xembed",)),
    (second_start, ("sni",)),
    (quits, ("xembed", "sway")),
]


def main():
    if len(sys.argv) not in (5, 6) or sys.argv[1] not in ALL:
        print(__doc__)
        return 2
    kind, app, standin, out = sys.argv[1:5]
    pointer = sys.argv[5] if len(sys.argv) == 6 else ""
    lacking = missing(kind) + ([pointer] if kind == "sway" and not os.access(pointer, os.X_OK)
                               else [])
    if lacking:
        print("e2e_%s: SKIP: missing %s (scripts/install-deps)" % (kind, ", ".join(lacking)))
        return 77
    os.makedirs(out, exist_ok=True)
    for name in os.listdir(out):
        if name.startswith(kind + "-"):
            os.remove(os.path.join(out, name))
    try:
        enter(kind)
    except DesktopError as e:
        print("e2e_%s: SKIP: %s" % (kind, e))
        return 77
    r, started, failed = Run(kind, app, standin, os.path.abspath(out), pointer), time.time(), []
    try:
        os.environ.update(r.d.start())  # for the AT-SPI and D-Bus clients in here
        r.write_list(SEED)
        r.start_bridge()
        if kind not in ("sni", "sway"):  # the others start with the tray up
            r.d.start_tray()
            r.app = r.launch()
            r.tray = None if kind == "xembed" else StatusNotifier(r.d)
    except DesktopError as e:
        print("e2e_%s: SKIP: the desktop did not start: %s" % (kind, e))
        r.d.stop()
        return 77
    try:
        for number, (step, kinds) in enumerate(STEPS, 1):
            if kind not in kinds:
                continue
            r.step = "%02d-%s" % (number, step.__name__)
            r.log("%s: %s" % (r.step, " ".join(step.__doc__.split())))
            try:
                step(r)
            except Exception as e:  # the step failed; the next may still tell more
                failed.append(r.step)
                r.log("FAILED: %s" % e)
                r.shot("failed")
                if step is login_race:
                    break  # no icon: nothing else can be reached
    finally:
        r.d.stop()
    r.log("%s in %.1f s" % ("FAILED: " + ", ".join(failed) if failed else "all steps passed",
                            time.time() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
