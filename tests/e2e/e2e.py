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

import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from e2e_session import (STAR, Session, StatusNotifier, expect, fail, focused,  # noqa: E402
                         log, main_color, require_clients, skip)
from virtual_desktop import (DesktopError, VirtualDesktop, enter_private_network,  # noqa: E402
                             find_accessible, missing_tools)


class XSession(Session):
    def __init__(self, tray, app, standin, out):
        home = tempfile.mkdtemp(prefix="dorv-e2e-")
        super().__init__(VirtualDesktop(tray, home), tray, app, standin, out, home)

    def started(self):
        os.makedirs(os.path.join(self.home, "src", "My Tools"))  # for the folder picker

    def launch(self, log_name="app.log"):
        # --verbose: the log shows every service command the utility ran.
        return super().launch(log_name, ["--verbose"])

    def open_panel(self, icon):
        if not self.panel():
            self.d.click_tray_icon(icon)
        return self.wait(self.panel, 5, "the panel")


def daily_use(s):
    import pyatspi
    icon = s.wait(s.d.tray_icon, 10, "the tray icon")
    color = lambda: main_color(s.d.pixels(*icon))  # noqa: E731
    tall_panel = lambda: s.wait(lambda: fits(s, icon, s.open_panel(icon), 30), 7,  # noqa: E731
                                lambda: "a tall panel that fits: " + s.seen)
    log("1. before any click: nothing sent, gray icon")
    time.sleep(1.5)
    s.shot("started")
    expect("requests before the panel was shown", s.requests(), [])
    expect("the icon", color(), "gray")

    log("2. a click opens a 260-wide panel and polls at once; green, then orange")
    clicked = time.time()
    expect("the panel's width", s.open_panel(icon)[2], 260)
    s.wait(lambda: s.requests("/status"), 2, "a status request")
    if min(r["time"] for r in s.requests()) - clicked > 1.5:
        fail("the first status request came more than 1.5 s after the click")
    s.wait(lambda: color() == "green", 3, "a green icon")
    s.shot("connected")
    for state, c in (("connecting", "orange"), ("connected", "green")):
        s.control(chatwire=state)
        s.wait(lambda: color() == c, 7, "a %s icon" % c)

    log("3. pressing a project row switches to it; the active mark moves")
    marks = lambda: [s.find("push button", n).description for n in ("api", "web")]  # noqa: E731
    expect("the marks of api and web", marks(), ["", "Active project"])
    s.control(clear_requests=True)
    s.press("push button", "api")
    use = s.wait(lambda: s.requests("/use"), 3, "POST /use")
    expect("the /use requests (body, Content-Type)", [
        (r["body"], r["headers"].get("Content-Type")) for r in use],
        [('{"project":"api"}', "application/json")])
    s.wait(lambda: marks() == ["Active project", ""], 7, "api to become the active project")
    s.shot("switched")

    log("4. New Session sends /new with no body")
    s.control(clear_requests=True)
    s.press("push button", "New Session")
    new = s.wait(lambda: s.requests("/new"), 3, "POST /new")[0]
    expect("the /new request (method, has body, has Content-Type)", (new["method"], bool(
        new["body"]), "Content-Type" in new["headers"]), ("POST", False, False))

    log("5. Configure Projects…: add a folder through the picker, make it the default, save")
    s.press("push button", "Configure Projects…")
    e = s.wait(lambda: s.window("DORV Projects"), 5, "the editor titled exactly DORV Projects")
    expect("the editor's size", e[2:], (320, 360))
    s.press("push button", "Add Project")
    s.wait(lambda: s.window("Select a project directory"), 5,
           "the folder picker titled exactly Select a project directory")
    s.shot("picker")
    s.d.run("xdotool", "type", "--delay", "10", os.path.join(s.home, "src", "My Tools"))
    s.d.run("xdotool", "key", "Return")
    s.press(STAR, "Make my-tools the default")
    expect("the star of my-tools checked", s.has_state(STAR, "Make my-tools the default",
                                                       pyatspi.STATE_CHECKED), True)
    s.shot("editor")
    s.press("push button", "Save")
    s.wait(lambda: not s.window("DORV Projects"), 3, "the editor to close")
    expect("the file written", s.file_bytes().decode(), "default: my-tools\nprojects:\n"
           "  api: /srv/api\n  web: /srv/web\n  my-tools: %s/src/My Tools\n" % s.home)
    s.wait(lambda: s.reloads() == 1, 3, "SIGHUP at the stand-in")
    s.wait(lambda: "my-tools" in s.projects(), 3, "the new project in /status")

    keyboard_only(s, icon)

    log("6. thirty projects: the panel fits the screen, clear of the icon; Escape closes it, a click at once reopens it")
    s.serve_projects(30)
    tall = tall_panel()
    s.shot("thirty-projects")
    s.d.run("xdotool", "key", "Escape")
    s.wait(lambda: not s.panel(), 3, "Escape to close the panel")
    s.open_panel(icon)  # a click right after Escape opens it again
    s.d.run("xdotool", "key", "Escape")
    s.wait(lambda: not s.panel(), 3, "Escape to close the panel")

    log("7. stopping the bridge: gray within one poll; reopened at its content's height")
    s.bridge.terminate()
    s.bridge.wait(5)
    s.wait(lambda: color() == "gray", 7, "a gray icon")
    g = s.open_panel(icon)
    s.find("label", "Offline")
    s.shot("offline")
    if g[3] >= tall[3] or not fits(s, icon, g, 0):
        fail("offline panel %s after a %s one; %s" % (g, tall, s.seen))
    expect("the offline panel's width", g[2], 260)
    expect("New Session enabled", s.has_state("push button", "New Session",
                                              pyatspi.STATE_ENABLED), False)

    log("8. with thirty projects again, Quit DORV ends the process with status 0")
    s.d.run("xdotool", "key", "Escape")
    s.start_bridge()
    s.wait(lambda: color() == "green", 10, "a green icon")
    tall_panel()
    s.press("push button", "Quit DORV")
    s.exited(s.app, 5, "Quit DORV")


def keyboard_only(s, icon):
    log("5b. the keyboard only: Tab to a project, Return, again; the editor, Escape; no service "
        "command but the first query")
    s.control(clear_requests=True)
    s.open_panel(icon)
    time.sleep(0.5)
    # Nothing has the focus until Tab: a Space now would act on no control.
    expect("the focus in a panel just opened", focused(), None)

    def tab_to(name):
        for _ in range(12):
            s.d.run("xdotool", "key", "Tab")
            time.sleep(0.15)
            if focused() == name:
                return
        fail("Tab never reached %r (focus on %r)" % (name, focused()))

    for project in ("web", "api"):
        tab_to(project)
        s.d.run("xdotool", "key", "Return")
        s.wait(lambda: [r["body"] for r in s.requests("/use")][-1:] ==
               ['{"project":"%s"}' % project], 3, "POST /use for " + project)
        # The rows are rebuilt for the new active project: the focus stays where it was.
        s.wait(lambda: s.find("push button", project).description == "Active project", 7,
               project + " to become the active project")
        expect("the focus after the rows were rebuilt", focused(), project)
    tab_to("Configure Projects…")
    s.d.run("xdotool", "key", "Return")
    s.wait(lambda: s.window("DORV Projects"), 5, "the editor")
    s.d.run("xdotool", "key", "Escape")
    s.wait(lambda: not s.window("DORV Projects"), 3, "Escape to close the editor")
    expect("the /use bodies", [r["body"] for r in s.requests("/use")],
           ['{"project":"web"}', '{"project":"api"}'])
    with open(os.path.join(s.out, "app.log"), encoding="utf-8", errors="replace") as f:
        ran = [line for line in f if "dorv.service" in line]
    if any(" start " in line or " stop " in line for line in ran):
        fail("a service command ran: %s" % ran)


def fits(s, icon, g, rows):
    """g, the panel's geometry, if the panel shows `rows` project rows (or more), lies inside the
    screen and clear of the icon, and ends 4 px below its Quit row: its height is its content's.
    Else None, and s.seen says what was seen (a panel that grows may need a moment)."""
    import pyatspi
    quit_row, s.seen = find_accessible("Quit DORV", "push button"), "no project rows"
    if not quit_row or len(pyatspi.findAllDescendants(
            quit_row.parent.parent, lambda a: a.name.startswith("project-"))) < min(rows, 1):
        return None
    x, y, w, h = quit_row.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    inside = g[0] >= 0 and g[1] >= 0 and g[0] + g[2] <= 1280 and g[1] + g[3] <= 800
    clear = g[1] >= icon[1] + icon[3] or g[1] + g[3] <= icon[1]
    s.seen = "panel %s (Quit row at %s) for a tray icon at %s" % (g, (x, y, w, h), icon)
    return g if inside and clear and g[1] + g[3] - (y + h) == 4 else None


def status_notifier(s):
    log("1. the item is registered, titled DORV, gray, tooltip Offline")
    tray = StatusNotifier(s)
    expect("the item's title", str(tray.prop("Title")), "DORV")
    s.wait(lambda: tray.state()[0] == "DORV Bridge: Offline", 3, "the Offline tooltip")
    expect("the icon", tray.state()[1], "gray")
    s.shot("started")

    log("2. a click on the icon in the panel opens the panel near it, inside the screen")
    x, y = s.d.click_tray_icon()
    g = s.wait(s.panel, 5, "the panel")
    screen = tuple(int(v) for v in s.d.run("xdotool", "getdisplaygeometry").stdout.split())
    near = max(g[0] - x, x - g[0] - g[2], 0) + max(g[1] - y, y - g[1] - g[3], 0)
    if g[0] < 0 or g[1] < 0 or g[0] + g[2] > screen[0] or g[1] + g[3] > screen[1] or near > 40:
        fail("panel at %s for a click at %s" % (g, (x, y)))
    s.shot("panel")

    log("3. the pixmaps and the tooltip follow the bridge: green, orange")
    for state, color in (("connected", "green"), ("connecting", "orange")):
        s.control(chatwire=state)
        s.wait(lambda: tray.state() == ("DORV Bridge: " + state.capitalize(), color), 7,
               "a %s icon" % color)

    log("4. a second start opens the running copy's panel and exits 0; one item only")
    s.d.click_tray_icon()
    s.wait(lambda: not s.panel(), 3, "the panel to close on a second click")
    started = time.time()
    s.exited(s.launch("second.log"), 5, "the second copy")
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
    s.exited(s.launch("fourth.log"), 5, "a start beside the new copy")  # it listens again
    s.wait(s.panel, 3, "the new copy's panel")


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("xembed", "sni"):
        print(__doc__)
        return 2
    tray, app, standin, out = sys.argv[1:]
    if missing_tools(tray):
        skip("the %s run needs %s" % (tray, ", ".join(missing_tools(tray))))
    require_clients("the %s run" % tray)
    try:
        enter_private_network()
    except DesktopError as e:
        skip(str(e))
    os.makedirs(out, exist_ok=True)
    s = XSession(tray, app, standin, out)
    try:
        s.start("default: web\nprojects:\n  api: /srv/api\n  web: /srv/web\n")
        (daily_use if tray == "xembed" else status_notifier)(s)
        log("all steps passed")
    except DesktopError as e:
        s.shot("failed")
        fail(str(e))
    finally:
        s.d.stop()
        shutil.rmtree(s.home, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
