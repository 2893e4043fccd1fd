#!/usr/bin/env python3
"""End-to-end test of DORVMenu in GNOME Shell 43 with the AppIndicator extension, the tray most
GNOME users have.

scripts/gnome_desktop.py runs a headless shell on a 1280x800 virtual monitor in private
namespaces; the utility runs on it natively on Wayland (or, with --platform xcb, on XWayland).
Clicks are real pointer input from a Clutter virtual device on the indicator in the top bar and
on the shell's own menu items. Every check looks from outside the utility: the watcher's list,
the shell's window actors and menus, the stand-in's request log, and AT-SPI for the panel's
last row. Exits 77 (skipped) only where the shell cannot start.

usage: e2e_gnome.py DORVMenu STANDIN_DIR OUTPUT_DIR [--platform wayland|xcb]

The script's own command line must not name server.py: the utility signals every process whose
command line does.
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from e2e_session import (Session, StatusNotifier, log, quit_row_gap,  # noqa: E402
                         require_clients, skip)
from gnome_desktop import GnomeDesktop, enter_session, missing_tools  # noqa: E402
from virtual_desktop import DesktopError  # noqa: E402

PROJECTS = ("api", "web")
CLICKS = (("left", 1), ("second left", 1), ("right", 3))


class Run(Session):
    def __init__(self, app, standin, out, platform):
        super().__init__(GnomeDesktop(log_file=os.path.join(out, "gnome-shell.log")),
                         "gnome-" + platform, app, standin, out, os.environ["HOME"])
        self.platform, self.faults = platform, []

    def launch(self):
        env = dict(self.d.env, QT_QPA_PLATFORM=self.platform, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        if self.platform == "xcb":
            env.update(DISPLAY=self.d.eval("imports.gi.GLib.getenv('DISPLAY')"),
                       XAUTHORITY=self.d.eval("imports.gi.GLib.getenv('XAUTHORITY')") or "")
        return super().launch("gnome-app.log", env=env)

    def fault(self, message):
        log("FAULT: " + message)
        self.faults.append(message)

    def panel(self):
        return self.d.window("DORV")

    def shown(self):
        """What the user sees of the utility: "panel", "menu" (the host's), both, or None."""
        seen = (["panel"] if self.panel() else []) + (["menu"] if self.d.open_menu() else [])
        return " and ".join(seen) or None

    def dismiss(self):
        self.d.dismiss(self.shown)

    def open_menu(self):
        """Right-clicks the indicator; the menu's labels, or None when no menu opens."""
        self.dismiss()
        self.d.click_indicator(3)
        return self.within(self.d.open_menu, 2)


def registered(r):
    log("1. the item is registered, titled DORV, and shown in the top bar")
    item = StatusNotifier(r)
    if str(item.prop("Title")) != "DORV":
        r.fault("the item's title is %r, expected 'DORV'" % str(item.prop("Title")))
    log("   indicator at %s" % (r.wait(r.d.indicator, 5, "the indicator in the top bar"),))
    r.shot("started")
    return item


def clicks(r, item):
    log("2. a left click, a second left click, a right click: each shows the panel or the menu")
    outcomes = []
    for name, button in CLICKS:
        r.dismiss()
        before = len(r.requests("/status"))
        r.d.click_indicator(button)
        seen = r.within(r.shown, 2)  # the host waits 400 ms for a double click, then opens its menu
        r.shot(name.replace(" ", "-") + "-click")
        outcomes.append("%s click: %s" % (name, seen or "nothing"))
        log("   %s (status requests %d -> %d)" % (outcomes[-1], before,
                                                  len(r.requests("/status"))))
    if any(o.endswith("nothing") for o in outcomes):
        r.fault("a click on the indicator showed the user nothing (%s); the item's Menu is %s, "
                "so the shell has no menu to show and sends Activate only for the first click"
                % ("; ".join(outcomes), str(item.prop("Menu"))))
    r.dismiss()

    menu = r.open_menu()
    if not menu:
        r.fault("no menu to check (Open Panel, the projects): the item's Menu is %s" %
                str(item.prop("Menu")))
        return False
    if menu[0] != "Open Panel":
        r.fault("the menu's first item is %r, expected 'Open Panel' (menu: %s)" % (menu[0], menu))
        return True
    r.d.click_menu_item("Open Panel")
    if not r.within(r.panel, 3):
        r.fault("'Open Panel' in the host's menu opened no window titled DORV")
    return True


def projects(r):
    log("3. the menu lists the projects; a click on one sends one POST /use")
    first = r.open_menu()
    menu = r.within(lambda: set(PROJECTS) <= set(r.d.open_menu() or ()) and r.d.open_menu(), 7)
    if not menu:
        r.fault("the menu does not list the projects %s: %s" % (list(PROJECTS), r.d.open_menu()
                                                                 or first))
        return
    log("   menu: %s" % menu)
    r.shot("menu")
    r.control(clear_requests=True)
    r.d.click_menu_item("api")
    r.within(lambda: r.requests("/use"), 3)
    time.sleep(1)  # a second request would come at once
    use = [(q["method"], q["body"]) for q in r.requests("/use")]
    if use != [("POST", '{"project":"api"}')]:
        r.fault("a click on the menu item 'api' sent %s, expected one POST /use "
                "{\"project\":\"api\"}" % use)


def open_panel(r, item):
    """Opens the panel from the host's menu, or (with no menu) calls Activate as the host does
    on a click; its geometry."""
    r.dismiss()
    if "Open Panel" in (r.open_menu() or ()):
        r.d.click_menu_item("Open Panel")
    else:
        r.dismiss()
        item.activate(0, 0)
    return r.wait(r.panel, 3, "the panel (window titled DORV)")


def panel_geometry(r, item, rows, first):
    """Checks the open panel: on the output, inside the work area, 260 wide, and as high as its
    content (AT-SPI gives its last row's place in the window)."""
    g = open_panel(r, item)
    area, icon = r.d.work_area(), r.d.indicator()
    log("   panel %s (%s client), work area %s, indicator %s" % (
        g, next(w["client"] for w in r.d.windows() if w["title"] == "DORV"), area, icon))
    r.shot("panel-%d-projects" % rows)
    if g[2] != 260:
        r.fault("the panel is %d px wide, expected 260" % g[2])
    if g[0] < area[0] or g[1] < area[1] or g[0] + g[2] > area[0] + area[2] or \
            g[1] + g[3] > area[1] + area[3]:
        below = g[1] + g[3] - r.d.height
        r.fault("with %d projects the panel %s is not inside the work area %s%s" % (
            rows, g, area, "; its last %d px (the Quit DORV row) are below the output" % below
            if below > 0 else ""))
    # Only once the panel shows the list the stand-in has now.
    bottom, height = r.wait(lambda: quit_row_gap(first), 5,
                            "the panel's Quit DORV button through AT-SPI")
    g = r.panel() or g
    log("   Quit DORV row ends %d px above the bottom of the %d px window (%d px on screen)" %
        (bottom, height, g[3]))
    if bottom != 4 or height != g[3]:
        r.fault("with %d projects the panel is %d px high on screen, %d px in the utility, and "
                "its Quit DORV row ends %d px above its bottom: not its content's height (4 px)"
                % (rows, g[3], height, bottom))


def panel_heights(r, item):
    log("4. the open panel lies on the output, at its content's height: two, thirty projects")
    panel_geometry(r, item, len(PROJECTS), PROJECTS[0])
    r.serve_projects(30)
    r.dismiss()
    time.sleep(5.5)  # the next poll brings them to the panel
    # Only the rows on screen exist: any of the new list's will do.
    panel_geometry(r, item, 30, "project-")


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("app")
    parser.add_argument("standin")
    parser.add_argument("out")
    parser.add_argument("--platform", choices=("wayland", "xcb"), default="wayland")
    a = parser.parse_args()
    app, standin, out, platform = a.app, a.standin, a.out, a.platform
    if missing_tools():
        skip("gnome-shell cannot start here: missing %s" % ", ".join(missing_tools()))
    require_clients("gnome-shell cannot be driven here")
    os.makedirs(out, exist_ok=True)
    try:
        enter_session()
    except DesktopError as e:
        skip("gnome-shell cannot start here: %s" % e)
    for name in os.listdir(out):
        if name.startswith("gnome-%s-" % platform) and name.endswith(".png"):
            os.remove(os.path.join(out, name))
    r = Run(app, os.path.abspath(standin), os.path.abspath(out), platform)
    started = time.time()
    try:
        r.start("default: web\nprojects:\n" + "".join("  %s: /srv/%s\n" % (p, p)
                                                      for p in PROJECTS))
        item = registered(r)
        if clicks(r, item):
            projects(r)
        panel_heights(r, item)
    except DesktopError as e:
        r.fault(str(e))
        r.shot("failed")
    finally:
        r.d.stop()
    log("%d fault(s) in %.1f s on %s" % (len(r.faults), time.time() - started, platform))
    return 1 if r.faults else 0


if __name__ == "__main__":
    sys.exit(main())
