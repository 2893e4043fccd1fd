#!/usr/bin/env python3
"""A stand-in for the chatwire bridge, for trying DORVMenu and for its end-to-end tests.

It honours every contact the utility has with the real bridge: HTTP on loopback port 9876
(GET /status, POST /use, POST /new), the project list file ~/.marvek/chatwire-projects.yaml
(re-read on SIGHUP), and the log folder ~/Library/Logs/com.ferlinq. Standard library only.

A demo or a test steers it through /_control (GET: the current settings and counters; POST a
JSON object with any of: chatwire, busy, context_pct, queued, delay, status, malformed) and
reads every request the utility sent from GET /_requests.
"""

import argparse
import json
import os
import signal
import stat
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

LINE_BREAKS = "\n\x0b\x0c\r\x85\u2028\u2029"


def is_horizontal_space(ch):
    # Tab and every Unicode space separator (category Zs).
    import unicodedata
    return ch == "\t" or unicodedata.category(ch) == "Zs"


def trim(text):
    start, end = 0, len(text)
    while start < end and is_horizontal_space(text[start]):
        start += 1
    while end > start and is_horizontal_space(text[end - 1]):
        end -= 1
    return text[start:end]


def split_lines(text):
    lines, current = [], []
    for ch in text:
        if ch in LINE_BREAKS:
            lines.append("".join(current))
            current = []
        else:
            current.append(ch)
    lines.append("".join(current))
    return lines


def parse_projects(text):
    """The project list reader's rules: returns (default alias, [(alias, path), ...])."""
    # A leading byte-order mark is not content, as for the utility's reader.
    text = text[1:] if text.startswith("\ufeff") else text
    default, inside, entries = "", False, []
    for raw in split_lines(text):
        line = trim(raw)
        if line.startswith("default:"):
            default = trim(line.replace("default:", ""))
        elif line == "projects:":
            inside = True
        elif inside and ":" in line:
            alias, _, path = line.partition(":")
            entries.append((trim(alias), trim(path)))
        elif line == "" or line.startswith("#") or line.startswith("-"):
            continue
        else:
            inside = False
    return default, entries


# As the utility's ProjectConfig::kMaxFileBytes: a larger file is unreadable.
MAX_LIST_BYTES = 512 * 1024


def read_projects(path):
    """The list file as the utility reads it: (default, entries), or None when unreadable.

    Only a regular file (after symlinks) of at most MAX_LIST_BYTES, in strict UTF-8: a FIFO
    would block the reader, a device would never end.
    """
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    except OSError:
        return None
    with os.fdopen(fd, "rb") as f:
        info = os.fstat(fd)
        if not stat.S_ISREG(info.st_mode) or info.st_size > MAX_LIST_BYTES:
            return None
        data = f.read(info.st_size + 1)
    if len(data) > info.st_size:
        return None  # it grew while read: being written to
    try:
        return parse_projects(data.decode("utf-8"))
    except UnicodeDecodeError:
        return None


def main_parse(paths):
    """--parse FILE...: prints, per file, null or [[alias, path, is default], ...] as JSON."""
    lists = []
    for path in paths:
        read = read_projects(path)
        lists.append(None if read is None else
                     [[alias, p, alias == read[0]] for alias, p in read[1]])
    print(json.dumps(lists))


class Bridge:
    def __init__(self, home):
        self.home = Path(home)
        self.lock = threading.Lock()
        self.requests = []
        self.reloads = 0
        self.settings = {"chatwire": "connected", "busy": False, "context_pct": 12.5,
                         "queued": 0, "delay": 0, "status": 200, "malformed": False}
        self.projects = []
        self.active = ""
        log_dir = self.home / "Library" / "Logs" / "com.ferlinq"
        log_dir.mkdir(parents=True, exist_ok=True)
        self.log_file = open(log_dir / "bridge.log", "a", encoding="utf-8")
        self.reload()

    def log(self, message):
        self.log_file.write(time.strftime("%Y-%m-%d %H:%M:%S ") + message + "\n")
        self.log_file.flush()

    def reload(self):
        path = self.home / ".marvek" / "chatwire-projects.yaml"
        read = read_projects(path)
        if read is None:
            self.log("project list not readable: %s" % path)
            return
        default, entries = read
        with self.lock:
            self.projects = [alias for alias, _ in entries]
            if self.active not in self.projects:
                self.active = default if default in self.projects else (
                    self.projects[0] if self.projects else "")
        self.log("loaded %d projects from %s" % (len(entries), path))

    def status(self):
        with self.lock:
            s = self.settings
            return {"ok": True, "chatwire": s["chatwire"], "active_project": self.active,
                    "projects": list(self.projects), "marvek_busy": s["busy"],
                    "context_pct": s["context_pct"], "queued": s["queued"]}


class Handler(BaseHTTPRequestHandler):
    bridge = None
    server_version = "chatwire-bridge-standin"

    def log_message(self, fmt, *args):
        self.bridge.log("%s %s" % (self.address_string(), fmt % args))

    def reply(self, code, payload, raw=None):
        body = raw if raw is not None else json.dumps(payload).encode("utf-8")
        self.send_response(code)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def record(self, body):
        with self.bridge.lock:
            self.bridge.requests.append({
                "method": self.command, "path": self.path,
                "headers": {k: v for k, v in self.headers.items()},
                "body": body.decode("utf-8", "replace"), "time": time.time()})

    def misbehave(self):
        """Applies the steered delay, error status or malformed body; True when it answered."""
        s = self.bridge.settings
        if s["delay"]:
            time.sleep(float(s["delay"]))
        if s["status"] != 200:
            self.reply(int(s["status"]), {"ok": False, "error": "steered failure"})
            return True
        if s["malformed"]:
            self.reply(200, None, raw=b'{"ok": tru')
            return True
        return False

    def do_GET(self):
        if self.path == "/_requests":
            with self.bridge.lock:
                return self.reply(200, self.bridge.requests)
        if self.path == "/_control":
            with self.bridge.lock:
                return self.reply(200, dict(self.bridge.settings, reloads=self.bridge.reloads,
                                            pid=os.getpid()))
        self.record(b"")
        if self.path != "/status":
            return self.reply(404, {"ok": False, "error": "not found"})
        if not self.misbehave():
            self.reply(200, self.bridge.status())

    def do_POST(self):
        body = self.body()
        if self.path == "/_control":
            try:
                changes = json.loads(body or b"{}")
                assert isinstance(changes, dict)
            except (ValueError, AssertionError):
                return self.reply(400, {"ok": False, "error": "expected a JSON object"})
            with self.bridge.lock:
                if changes.pop("clear_requests", False):
                    self.bridge.requests.clear()
                self.bridge.settings.update(changes)
            return self.reply(200, {"ok": True})
        self.record(body)
        if self.path == "/use":
            try:
                project = json.loads(body).get("project")
            except (ValueError, AttributeError):
                project = None
            with self.bridge.lock:
                known = isinstance(project, str) and project in self.bridge.projects
                if known:
                    self.bridge.active = project
            self.bridge.log("switch to %r: %s" % (project, "done" if known else "refused"))
            return self.reply(200 if known else 404, {"ok": known})
        if self.path == "/new":
            with self.bridge.lock:
                self.bridge.settings["context_pct"] = 0
            self.bridge.log("new session")
            return self.reply(200, {"ok": True})
        self.reply(404, {"ok": False, "error": "not found"})


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=9876)
    parser.add_argument("--home", default=os.path.expanduser("~"),
                        help="home folder holding .marvek/ and Library/Logs/")
    parser.add_argument("--parse", nargs="+", metavar="FILE",
                        help="print the project lists read from these files as JSON, and exit")
    args = parser.parse_args()
    if args.parse:
        return main_parse(args.parse)

    bridge = Bridge(args.home)
    Handler.bridge = bridge

    def on_hup(_signum, _frame):
        with bridge.lock:
            bridge.reloads += 1
        threading.Thread(target=bridge.reload, daemon=True).start()

    signal.signal(signal.SIGHUP, on_hup)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    server = ThreadingHTTPServer((args.host, args.port), Handler)
    server.daemon_threads = True
    bridge.log("listening on %s:%d" % (args.host, args.port))
    print("chatwire-bridge stand-in on http://%s:%d (home %s)" % (args.host, args.port, args.home),
          flush=True)
    try:
        server.serve_forever()
    finally:
        bridge.log("stopped")


if __name__ == "__main__":
    main()
