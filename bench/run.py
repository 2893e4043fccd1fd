#!/usr/bin/env python3
"""Runs the benchmarks and prints one table.

    python3 bench/run.py [BUILD_DIR] [lists]   (default: build; ./test or cmake --build builds
                                                it; "lists": only the long-list measures)
    python3 bench/run.py BUILD_DIR soak [MINUTES]   a day of a flapping bridge, compressed: the
                                                list and the state change at every poll and the
                                                bridge is gone 7 s of each minute (default 60)

Everything runs on a private Xvfb display with trayer as the tray, against the stand-in bridge on
a free loopback port. The baseline is bench_baretray: a bare Qt tray application built in the
same tree, run in the same session.
"""

import json
import os
import shutil
import socket
import threading
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def values(output):
    out = {}
    for line in output.splitlines():
        parts = line.split()
        if len(parts) == 2:
            try:
                out[parts[0]] = float(parts[1])
            except ValueError:
                pass
    return out


class Session:
    def __init__(self, build):
        self.build = build
        self.procs = []
        self.home = tempfile.mkdtemp(prefix="dorv-bench-")
        read, write = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24", "-nolisten",
                    "tcp"], pass_fds=(write,))
        os.close(write)
        self.env = dict(os.environ, DISPLAY=":" + os.read(read, 16).decode().strip(),
                        HOME=self.home, QT_QPA_PLATFORM="xcb")
        os.close(read)
        self.env.pop("XDG_RUNTIME_DIR", None)
        self.start(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                    "--height", "24", "--SetDockType", "true"], env=self.env)
        time.sleep(1)
        self.port = free_port()
        self.start([sys.executable, os.path.join(ROOT, "tools", "chatwire-bridge", "server.py"),
                    "--port", str(self.port), "--home", self.home], env=self.env)
        self.url = "http://127.0.0.1:%d" % self.port
        time.sleep(1)

    def bridge_with(self, n):
        """A second stand-in bridge whose project list holds n projects; returns its URL."""
        home = tempfile.mkdtemp(prefix="dorv-bench-list-", dir=self.home)
        os.makedirs(os.path.join(home, ".marvek"))
        with open(os.path.join(home, ".marvek", "chatwire-projects.yaml"), "w") as f:
            f.write("projects:\n" + "".join("  project-%d: /home/user/src/project-%d\n" % (i, i)
                                            for i in range(n)))
        port = free_port()
        self.start([sys.executable, os.path.join(ROOT, "tools", "chatwire-bridge", "server.py"),
                    "--port", str(port), "--home", home], env=self.env)
        time.sleep(1)
        return "http://127.0.0.1:%d" % port

    def start(self, cmd, **kw):
        p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)
        self.procs.append(p)
        return p

    def run(self, *args, timeout=600):
        try:
            out = subprocess.run(list(args), env=self.env, capture_output=True, text=True,
                                 timeout=timeout)
        except subprocess.TimeoutExpired as e:  # a measure that never ends reports what it has
            return values(e.stdout.decode() if e.stdout else "")
        if out.returncode != 0:
            print("%s: exit %d\n%s" % (" ".join(args), out.returncode, out.stderr[-2000:]),
                  file=sys.stderr)
        return values(out.stdout)

    def tray_width(self):
        out = subprocess.run(["xdotool", "search", "--class", "trayer", "getwindowgeometry",
                              "--shell", "%@"], env=self.env, capture_output=True,
                             text=True).stdout
        widths = [int(line.split("=")[1]) for line in out.split() if line.startswith("WIDTH=")]
        return max(widths) if widths else 0

    def startup_ms(self, cmd):
        """Milliseconds from exec to the tray host showing the new icon."""
        before = self.tray_width()
        t0 = time.monotonic()
        p = subprocess.Popen(cmd, env=self.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        while self.tray_width() <= before and time.monotonic() - t0 < 10:
            time.sleep(0.002)
        elapsed = (time.monotonic() - t0) * 1000
        p.terminate()
        p.wait()
        time.sleep(0.5)
        return elapsed

    def close(self):
        for p in reversed(self.procs):
            p.terminate()
            p.wait()
        shutil.rmtree(self.home, ignore_errors=True)


class FlappingBridge(threading.Thread):
    """Answers GET /status with a different list, active project and state every time, and
    stops listening for the last 7 s of each minute (connections are refused, as when the
    bridge restarts)."""

    def __init__(self):
        super().__init__(daemon=True)
        self.port = free_port()
        self.url = "http://127.0.0.1:%d" % self.port
        self.replies = 0
        self.start()

    def reply(self):
        n = self.replies
        projects = ["project-%d" % ((n + i) % 60) for i in range(30)]
        body = json.dumps({"ok": True, "chatwire": ("connected", "connecting")[n % 2],
                           "active_project": projects[n % 30], "projects": projects,
                           "marvek_busy": n % 3 == 0, "context_pct": n % 101,
                           "queued": n % 5}).encode()
        return (b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n"
                b"Content-Length: %d\r\n\r\n" % len(body)) + body

    def run(self):
        start, listener = time.monotonic(), None
        while True:
            if (time.monotonic() - start) % 60 >= 53:
                if listener:
                    listener.close()
                    listener = None
                time.sleep(0.1)
                continue
            if not listener:
                listener = socket.create_server(("127.0.0.1", self.port))
                listener.settimeout(0.2)
            try:
                conn, _ = listener.accept()
            except socket.timeout:
                continue
            with conn:
                conn.settimeout(2)
                head = b""
                try:
                    while b"\r\n\r\n" not in head:
                        data = conn.recv(4096)
                        if not data:
                            break
                        head += data
                    conn.sendall(self.reply())
                    self.replies += 1
                except OSError:
                    pass


def soak(s, dorv, minutes):
    """RSS, open files and threads each minute; the growth after the first five minutes (the
    allocator and Qt's caches settling) as a least-squares slope."""
    bridge = FlappingBridge()
    print("| minute | RSS KiB | open files | threads |")
    print("|---|---|---|---|", flush=True)
    rows = []
    with subprocess.Popen([dorv, "soak", bridge.url, str(minutes)], env=s.env, text=True,
                          stdout=subprocess.PIPE) as p:
        for line in p.stdout:  # a line a minute, shown as it comes
            if line.startswith("minute "):
                r = dict(zip(line.split()[0::2], map(int, line.split()[1::2])))
                rows.append(r)
                print("| %d | %d | %d | %d |" % (r["minute"], r["rss_kib"], r["fds"],
                                                 r["threads"]), flush=True)
    settled = [r for r in rows if r["minute"] >= 5]
    if len(settled) >= 2:
        xs, ys = [r["minute"] for r in settled], [r["rss_kib"] for r in settled]
        mx, my = statistics.mean(xs), statistics.mean(ys)
        slope = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)
        print("\n%d status replies; RSS minute %d to %d: %+d KiB, %.1f KiB a minute" % (
            bridge.replies, xs[0], xs[-1], ys[-1] - ys[0], slope))


def main():
    if sys.argv[2:3] == ["soak"]:
        s = Session(os.path.abspath(sys.argv[1]))
        try:
            soak(s, os.path.join(s.build, "bench", "bench_dorv"),
                 int(sys.argv[3]) if len(sys.argv) > 3 else 60)
        finally:
            s.close()
        return
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
    bare = os.path.join(build, "bench", "bench_baretray")
    dorv = os.path.join(build, "bench", "bench_dorv")
    app = os.path.join(build, "src", "app", "dorvmenu")
    only_lists = sys.argv[2:3] == ["lists"]
    s = Session(build)
    rows = []
    try:
        if not only_lists:
            rows += general(s, bare, dorv, app, build)
        rows += long_lists(s, dorv)
    finally:
        s.close()

    print("| measure | DORVMenu | bare tray app | ratio | target |")
    print("|---|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")


def long_lists(s, dorv):
    """The panel and the editor with 30, 1,000 and 10,000 projects."""
    rows = []
    for n, polls in ((30, 200), (1000, 100), (10000, 30)):
        url = s.bridge_with(n)
        runs = [s.run(dorv, "lists", url, str(n), str(polls), timeout=300) for _ in range(3)]

        def get(key, fmt):  # the median of three runs
            found = [r[key] for r in runs if key in r]
            return fmt % statistics.median(found) if found else "did not finish"
        rows.append(("%d projects: CPU per poll, panel open / closed" % n,
                     get("cpu_us_per_poll_open", "%.0f us") + " / " +
                     get("cpu_us_per_poll_closed", "%.0f us"), "", "",
                     "open minus closed as at 30"))
        for key, what in (("first_rows", "the first poll's rows into the open panel"),
                          ("open_panel", "open the panel"), ("open_editor", "open the editor")):
            rows.append(("%d projects: %s, wall / CPU" % (n, what),
                         get(key + "_ms", "%.1f ms") + " / " + get(key + "_cpu_ms", "%.1f ms"),
                         "", "", "as at 30"))
    return rows


def general(s, bare, dorv, app, build):
    """Memory, CPU per poll, the chunked drip, start-up and the list file, against the bare tray
    app."""
    rows = []
    base_rss = statistics.median(s.run(bare, "--report-after", "3000")["rss_kib"]
                                 for _ in range(3))
    label_rss = statistics.median(
        s.run(bare, "--report-after", "3000", "--with-label")["rss_kib"] for _ in range(3))
    idle_rss = statistics.median(s.run(dorv, "idle", s.url)["rss_kib"] for _ in range(3))
    rows.append(("Idle resident memory, panel shown + 100 polls", "%.1f MiB" % (idle_rss / 1024),
                 "%.1f MiB" % (base_rss / 1024), "%.2f x" % (idle_rss / base_rss), "<= 1.3 x"))
    rows.append(("  the same, against the bare app that once showed one line of text",
                 "%.1f MiB" % (idle_rss / 1024), "%.1f MiB" % (label_rss / 1024),
                 "%.2f x" % (idle_rss / label_rss), ""))

    g = s.run(dorv, "growth", s.url, "20000", timeout=1800)
    rows.append(("Memory growth, polls 2,000 to 20,000",
                 "%+.0f KiB" % (g["rss_kib_late"] - g["rss_kib_early"]), "", "",
                 "none beyond noise"))

    c = s.run(dorv, "cpu", s.url, "2000")
    rows.append(("CPU per accepted poll, panel open", "%.0f us" % c["cpu_us_per_poll_open"],
                 "", "%.2f refreshes/poll" % c["refreshes_per_poll_open"], "1 refresh/poll"))
    rows.append(("CPU per accepted poll, panel closed", "%.0f us" % c["cpu_us_per_poll_closed"],
                 "", "%.2f refreshes/poll" % c["refreshes_per_poll_closed"], "1 refresh/poll"))

    drip = os.path.join(build, "bench", "bench_drip")
    d = s.run(drip, "poll", "5")
    rows.append(("Status poll in 1-byte chunks: 900 KiB at once, then one every 5 ms for 5 s",
                 "%.0f ms CPU (%.1f %% of a core)" % (d["poll_cpu_ms"],
                                                      100 * d["poll_cpu_share"]),
                 "", "", "linear in the reply"))
    p = min((s.run(drip, "parse") for _ in range(3)), key=lambda r: r["parse_bytewise_ms"])
    rows.append(("Reading a 1 MiB reply of 1-byte chunks: whole / a byte at a time",
                 "%.1f ms / %.1f ms" % (p["parse_whole_ms"], p["parse_bytewise_ms"]), "", "",
                 "linear"))

    base_start = statistics.median(s.startup_ms([bare]) for _ in range(5))
    dorv_start = statistics.median(s.startup_ms([app]) for _ in range(5))
    rows.append(("Start-up to tray icon", "%.0f ms" % dorv_start, "%.0f ms" % base_start,
                 "%.2f x" % (dorv_start / base_start), "close to 1 x"))

    # 10,000 entries of this length are about the largest list the size cap allows.
    for n in (1000, 10000):
        r = s.run(dorv, "config", str(n))
        rows.append(("Project list of %d entries: load / save" % n,
                     "%.2f ms / %.2f ms" % (r["load_ms"], r["save_ms"]), "", "",
                     "linear"))
    # The file at the size cap, of the shortest entries (the most entries per byte) and of
    # short ones: the cost of the largest list a panel open may read.
    for line, shape in ((":", "empty entries"), ("  a: /a", "entries \"  a: /a\"")):
        r = sorted((s.run(dorv, "listfile", "cap", line) for _ in range(3)),
                   key=lambda v: v["load_ms"])[1]
        rows.append(("List file at the size cap, %s: load (CPU), peak memory growth" % shape,
                     "%.1f ms (%.1f ms), %.1f MiB" % (r["load_ms"], r["load_cpu_ms"],
                                                      r["peak_kib"] / 1024), "", "",
                     "well under 100 ms, a few tens of MiB"))
    return rows


if __name__ == "__main__":
    main()
