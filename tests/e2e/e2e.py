#!/usr/bin/env python3
"""End-to-end test of DORVMenu on a real X display.

Xvfb is the display, trayer the tray host, xdotool clicks, ImageMagick takes the screenshots,
and the stand-in bridge is the other end of every contact. Each step is checked from outside
the utility: the stand-in's request log, the file on disk, pixels on screen, X windows.
Runs inside a private network namespace so port 9876 is free; exits 77 (skipped) when the
machine does not allow one.

usage: e2e.py DORVMenu STANDIN_DIR OUTPUT_DIR

STANDIN_DIR is the folder holding the stand-in's server.py. The script's own command line must
not name server.py: the utility signals every process whose command line does.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77
BRIDGE = "http://127.0.0.1:9876"


def log(message):
    print("e2e: " + message, flush=True)


def fail(message):
    log("FAILED: " + message)
    sys.exit(1)


def enter_private_network():
    if os.environ.get("DORV_E2E_NETNS") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        return
    if not shutil.which("unshare"):
        log("SKIP: no unshare on this machine")
        sys.exit(SKIP)
    probe = subprocess.run(["unshare", "-n", "true"], capture_output=True)
    args = ["unshare", "-n"]
    if probe.returncode != 0:
        probe = subprocess.run(["unshare", "-rn", "true"], capture_output=True)
        args = ["unshare", "-rn"]
    if probe.returncode != 0:
        log("SKIP: no private network namespace here (%s)" % probe.stderr.decode().strip())
        sys.exit(SKIP)
    env = dict(os.environ, DORV_E2E_NETNS="1")
    sys.exit(subprocess.run(args + [sys.executable] + sys.argv, env=env).returncode)


class Screen:
    """Pixels of a screen region, read through ImageMagick."""

    def __init__(self, display, x, y, w, h, save_as=None):
        env = dict(os.environ, DISPLAY=display)
        png = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                              "+repage", "png:-"], env=env, capture_output=True, check=True).stdout
        if save_as:
            with open(save_as, "wb") as f:
                f.write(png)
        self.raw = subprocess.run(["convert", "png:-", "-depth", "8", "rgb:-"], input=png,
                                  capture_output=True, check=True).stdout
        self.w, self.h = w, h

    def px(self, x, y):
        i = 3 * (y * self.w + x)
        return tuple(self.raw[i:i + 3])


def darkness(bg, p):
    return sum(bg) / 3 - sum(p) / 3


def classify(p):
    r, g, b = p
    if g > r + 40 and g > b + 30:
        return "green"
    if r > g + 40 and g > b + 40:
        return "orange"
    if r > 200 and g < 140 and b < 140:
        return "red"
    if b > r + 60:
        return "blue"
    if max(p) - min(p) < 20 and 90 < r < 200:
        return "gray"
    return "other"


class Desktop:
    def __init__(self, app, server, out):
        self.app_path, self.server_path, self.out = app, server, out
        self.home = tempfile.mkdtemp(prefix="dorv-e2e-")
        self.procs = []
        self.step = 0

    # processes -------------------------------------------------------------------------------
    def spawn(self, cmd, **kw):
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.DEVNULL)
        self.procs.append(subprocess.Popen(cmd, **kw))
        return self.procs[-1]

    def start_display(self):
        read, write = os.pipe()
        xvfb = self.spawn(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24",
                           "-nolisten", "tcp"], pass_fds=(write,))
        os.close(write)
        number = os.read(read, 16).decode().strip()
        os.close(read)
        self.display = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display, HOME=self.home, QT_QPA_PLATFORM="xcb")
        self.env.pop("XDG_RUNTIME_DIR", None)
        self.wait(lambda: xvfb.poll() is None and subprocess.run(
            ["xdpyinfo"], env=self.env, capture_output=True).returncode == 0, 10,
            "the X server on " + self.display)
        self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                    "--height", "24", "--transparent", "false", "--tint", "0x000000",
                    "--SetDockType", "true"], env=self.env)
        self.wait(lambda: self.xdotool("search", "--class", "trayer").strip(), 10, "tray host")

    def start_bridge(self):
        self.bridge = self.spawn([sys.executable, self.server_path, "--home", self.home],
                                 env=self.env)
        self.wait(lambda: self.control() is not None, 10, "stand-in bridge")

    def start_app(self):
        self.app = self.spawn([self.app_path], env=self.env,
                              stderr=open(os.path.join(self.out, "app.log"), "w"))
        self.icon = self.wait(lambda: self.tray_icon(), 10, "tray icon")

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
        shutil.rmtree(self.home, ignore_errors=True)

    # helpers ---------------------------------------------------------------------------------
    def wait(self, probe, seconds, what):
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = probe()
            if value:
                return value
            time.sleep(0.1)
        self.shot("timeout")
        fail("timed out waiting for " + what)

    def xdotool(self, *args):
        return subprocess.run(["xdotool"] + list(args), env=self.env, capture_output=True,
                              text=True).stdout

    def window_geometry(self, *search, min_size=0):
        for wid in self.xdotool("search", "--onlyvisible", *search).split():
            out = self.xdotool("getwindowgeometry", "--shell", wid)
            g = dict(line.split("=", 1) for line in out.split())
            x, y, w, h = (int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
            if w >= min_size and h >= min_size:
                return (x, y, w, h)
        return None

    def tray_icon(self):
        g = self.window_geometry("--class", "trayer", min_size=20)
        if not g:
            return None
        s = Screen(self.display, *g)
        pixels = {s.px(x, y) for y in range(s.h) for x in range(s.w)}
        return g if len(pixels) > 4 else None

    def icon_color(self):
        s = Screen(self.display, *self.icon)
        pixels = [s.px(x, y) for y in range(s.h) for x in range(s.w)]
        bg = max(set(pixels), key=pixels.count)
        votes = {}
        for p in pixels:
            if sum(abs(a - b) for a, b in zip(p, bg)) > 90:
                c = classify(p)
                votes[c] = votes.get(c, 0) + 1
        votes.pop("other", None)
        return max(votes, key=votes.get) if votes else "none"

    def click(self, x, y):
        self.xdotool("mousemove", str(x), str(y), "click", "1")
        time.sleep(0.4)

    def shot(self, name):
        self.step += 1
        path = os.path.join(self.out, "%02d-%s.png" % (self.step, name))
        subprocess.run(["import", "-window", "root", path], env=self.env)

    def http(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        req = urllib.request.Request(BRIDGE + path, data=data, method=method)
        try:
            with urllib.request.urlopen(req, timeout=3) as r:
                return json.loads(r.read())
        except OSError:
            return None

    def control(self, **changes):
        if changes:
            return self.http("POST", "/_control", changes)
        return self.http("GET", "/_control")

    def requests(self, path=None):
        return [r for r in self.http("GET", "/_requests") or [] if path in (None, r["path"])]

    def click_band(self, g, x, band):
        self.click(g[0] + x, g[1] + (band[0] + band[1]) // 2)

    def click_color(self, g, s, color, xs, ys, what):
        """Clicks the middle of the pixels of one colour inside a region of a window."""
        hits = [(x, y) for y in ys for x in xs if classify(s.px(x, y)) == color]
        if not hits:
            fail("no " + what)
        self.click(g[0] + sum(p[0] for p in hits) // len(hits),
                   g[1] + sum(p[1] for p in hits) // len(hits))

    # the panel -------------------------------------------------------------------------------
    def panel(self):
        return self.window_geometry("--name", "^DORV$", min_size=50)

    def open_panel(self):
        if not self.panel():
            self.click(self.icon[0] + self.icon[2] // 2, self.icon[1] + self.icon[3] // 2)
        return self.wait(self.panel, 5, "the panel")

    def read_panel(self, name):
        g = self.open_panel()
        time.sleep(0.3)
        s = Screen(self.display, *g, save_as=os.path.join(self.out, "panel-%s.png" % name))
        bg = s.px(3, 2)
        # Dividers: full-width one-pixel lines a shade darker than the background.
        dividers = [y for y in range(1, s.h - 1)
                    if all(s.px(x, y) == s.px(2, y) for x in range(2, s.w - 2, 3))
                    and 4 < darkness(bg, s.px(2, y)) < 60]
        return g, s, bg, dividers

    def checked_row(self, s, dividers, rows):
        """Which project row carries the blue check mark, or None."""
        blue = [y for y in range(dividers[2], dividers[3])
                if any(classify(s.px(x, y)) == "blue" for x in range(14, 30))]
        for i, (top, bottom) in enumerate(rows):
            if blue and top - 4 <= blue[0] <= bottom + 4:
                return i
        return None

    def bands(self, s, bg, top, bottom, x0, x1, threshold=120):
        """Vertical extents of dark text between two lines, as (start, end) pairs."""
        rows = [y for y in range(top, bottom)
                if any(darkness(bg, s.px(x, y)) > threshold for x in range(x0, x1))]
        out = []
        for y in rows:
            if out and y <= out[-1][1] + 4:
                out[-1][1] = y
            else:
                out.append([y, y])
        return [tuple(b) for b in out]


def run(d):
    d.start_display()
    seed = "default: web\nprojects:\n  api: /srv/api\n  web: /srv/web\n"
    os.makedirs(os.path.join(d.home, ".marvek"))
    os.makedirs(os.path.join(d.home, "src", "My Tools"))
    with open(os.path.join(d.home, ".marvek", "chatwire-projects.yaml"), "w") as f:
        f.write(seed)
    d.start_bridge()
    d.start_app()

    log("1. before any click: nothing sent, gray icon")
    time.sleep(1.5)
    d.shot("started")
    if d.requests():
        fail("requests before the panel was shown: %s" % d.requests())
    if d.icon_color() != "gray":
        fail("icon is %s, expected gray" % d.icon_color())

    log("2. a click opens a 260-wide panel and polls at once; green, then orange")
    clicked = time.time()
    g = d.open_panel()
    if g[2] != 260:
        fail("panel is %d wide" % g[2])
    d.wait(lambda: d.requests("/status"), 2, "a status request")
    first = min(r["time"] for r in d.requests())
    if first - clicked > 1.5:
        fail("the first status request came %.1f s after the click" % (first - clicked))
    d.wait(lambda: d.icon_color() == "green", 3, "a green icon")
    d.shot("connected")
    d.control(chatwire="connecting")
    d.wait(lambda: d.icon_color() == "orange", 7, "an orange icon")
    d.shot("connecting")
    d.control(chatwire="connected")
    d.wait(lambda: d.icon_color() == "green", 7, "a green icon again")

    log("3. a click on a project row switches to it; the check mark moves")
    g, s, bg, dividers = d.read_panel("connected")
    if len(dividers) != 5:
        fail("connected panel has %d dividers, expected 5" % len(dividers))
    rows = d.bands(s, bg, dividers[2] + 1, dividers[3], 36, 200)
    if len(rows) != 2:
        fail("expected two project rows, found %s" % rows)
    if d.checked_row(s, dividers, rows) != 1:
        fail("the check mark is not on the default project web")
    d.control(clear_requests=True)
    d.click_band(g, 100, rows[0])
    d.wait(lambda: d.requests("/use"), 3, "POST /use")
    use = d.requests("/use")
    if len(use) != 1 or use[0]["body"] != '{"project":"api"}' or \
            use[0]["headers"].get("Content-Type") != "application/json":
        fail("unexpected /use requests: %s" % use)
    d.wait(lambda: any(r["time"] >= use[0]["time"] for r in d.requests("/status")), 2,
           "the follow-up status request")
    time.sleep(0.5)
    g, s, bg, dividers = d.read_panel("switched")
    if d.checked_row(s, dividers, d.bands(s, bg, dividers[2] + 1, dividers[3], 36, 200)) != 0:
        fail("the check mark did not move to api")

    log("4. New Session sends /new with no body")
    actions = d.bands(s, bg, dividers[3] + 1, dividers[4], 36, 200)
    if len(actions) != 3:
        fail("expected three actions, found %s" % actions)
    d.control(clear_requests=True)
    d.click_band(g, 80, actions[0])
    d.wait(lambda: d.requests("/new"), 3, "POST /new")
    new = d.requests("/new")[0]
    if new["method"] != "POST" or new["body"] or "Content-Type" in new["headers"]:
        fail("unexpected /new request: %s" % new)

    log("5. Configure Projects…: add a folder through the picker, star it, save")
    d.click_band(g, 80, actions[1])
    e = d.wait(lambda: d.window_geometry("--name", "^DORV Projects$", min_size=50), 5,
               "the editor window")
    if e[2:] != (320, 360):
        fail("editor is %dx%d" % e[2:])
    d.click_color(e, Screen(d.display, *e), "blue", range(e[2] - 60, e[2]), range(0, 40),
                  "add button")
    d.wait(lambda: d.window_geometry("--name", "^Select a project directory$", min_size=50), 5,
           "the folder picker")
    d.shot("picker")
    d.xdotool("type", "--delay", "10", os.path.join(d.home, "src", "My Tools"))
    d.xdotool("key", "Return")
    time.sleep(0.8)
    es = Screen(d.display, *e, save_as=os.path.join(d.out, "editor-added.png"))
    ebg = es.px(5, e[3] // 2)
    stars = d.bands(es, ebg, 42, e[3] - 50, 14, 30, threshold=30)
    if len(stars) != 3:
        fail("expected three rows in the editor, found %s" % stars)
    d.click_band(e, 21, stars[2])
    time.sleep(0.3)
    es = Screen(d.display, *e, save_as=os.path.join(d.out, "editor-starred.png"))
    d.click_color(e, es, "blue", range(e[2] - 120, e[2]), range(e[3] - 40, e[3]), "Save button")
    d.wait(lambda: not d.window_geometry("--name", "^DORV Projects$", min_size=50), 3,
           "the editor to close")
    expected = ("default: my-tools\nprojects:\n  api: /srv/api\n  web: /srv/web\n"
                "  my-tools: %s/src/My Tools\n" % d.home)
    with open(os.path.join(d.home, ".marvek", "chatwire-projects.yaml"), encoding="utf-8") as f:
        written = f.read()
    if written != expected:
        fail("file written as %r" % written)
    d.wait(lambda: (d.control() or {}).get("reloads") == 1, 3, "SIGHUP at the stand-in")
    d.wait(lambda: "my-tools" in ((d.http("GET", "/status") or {}).get("projects") or []), 3,
           "the new project in /status")

    log("6. stopping the bridge: gray within one poll, offline panel, New Session disabled")
    d.bridge.terminate()
    d.bridge.wait(5)
    d.wait(lambda: d.icon_color() == "gray", 7, "a gray icon")
    g, s, bg, dividers = d.read_panel("offline")
    if g[2] != 260 or len(dividers) != 4:
        fail("offline panel: width %d, %d dividers (expected 4)" % (g[2], len(dividers)))
    actions = d.bands(s, bg, dividers[2] + 1, dividers[3], 36, 200, threshold=40)
    if len(actions) != 3:
        fail("expected three actions offline, found %s" % actions)

    def ink(band):
        return max(darkness(bg, s.px(x, y)) for y in range(band[0], band[1] + 1)
                   for x in range(36, 200))
    if not ink(actions[0]) < 0.6 * ink(actions[1]):
        fail("New Session does not look disabled (%d vs %d)" % (ink(actions[0]), ink(actions[1])))

    log("7. Quit DORV ends the process with status 0")
    quit_band = d.bands(s, bg, dividers[3] + 1, s.h, 10, 120, threshold=40)
    d.click_band(g, 40, quit_band[0])
    try:
        code = d.app.wait(5)
    except subprocess.TimeoutExpired:
        fail("the utility did not quit")
    if code != 0:
        fail("the utility exited with %d" % code)
    d.shot("quit")
    log("all steps passed")


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    enter_private_network()
    app, standin, out = sys.argv[1:]
    server = os.path.join(standin, "server.py")
    os.makedirs(out, exist_ok=True)
    d = Desktop(app, server, out)
    try:
        run(d)
    finally:
        d.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
