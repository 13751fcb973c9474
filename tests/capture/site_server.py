#!/usr/bin/python3
"""Loopback server for the capture test site (tests/capture/site).

Prints "PORT HOST2" on one line once it listens: PORT on 127.0.0.1, and HOST2
("127.0.0.1:OTHERPORT"), a second origin serving the same files, for
cross-origin references. Serves
until its standard input closes (whoever started it has ended, however it
ended) or --lifetime seconds pass.

HTTP/1.1 with keep-alive; every answer has a Content-Length. The type goes by
the extension; site/rules.json changes the answer for some paths:
  "type": T               Content-Type T whatever the name says
  "charset": C            "; charset=C" after the type (the page says nothing)
  "encoding": gzip|deflate  the body compressed, when the request accepts it
  "redirect": [CODE, LOC] that status with Location LOC (relative ones too)
"{{PORT}}" and "{{HOST2}}" in text files become this server's port and second
origin, so pages can name the server absolutely.

With --log FILE every request goes to FILE as "HOST PATH" on a line.
"""

import argparse
import gzip
import json
import os
import socket
import sys
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote, urlsplit

TYPES = {
    ".html": "text/html", ".htm": "text/html", ".xml": "application/xml", ".xsl": "text/xsl",
    ".css": "text/css", ".js": "text/javascript", ".png": "image/png", ".gif": "image/gif",
    ".jpg": "image/jpeg", ".jpeg": "image/jpeg", ".webp": "image/webp", ".svg": "image/svg+xml",
    ".ico": "image/x-icon", ".otf": "font/otf", ".ttf": "font/ttf", ".woff": "font/woff", ".woff2": "font/woff2",
    ".wav": "audio/wav", ".txt": "text/plain",
}
TEMPLATED = (".html", ".htm", ".xml", ".xsl", ".css", ".js", ".svg")

ROOT = None
RULES = {}
SUBST = {}
LOG = None
LOG_LOCK = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def answer(self, code, body=b"", headers=(), head_only=False):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not head_only:
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET(head_only=True)

    def do_GET(self, head_only=False):
        if LOG:
            with LOG_LOCK:
                LOG.write(f"{self.headers.get('Host', '-')} {self.path}\n")
                LOG.flush()
        rel = unquote(urlsplit(self.path).path, encoding="utf-8", errors="surrogateescape").lstrip("/")
        rule = RULES.get(rel, {})
        if "redirect" in rule:
            code, location = rule["redirect"]
            self.answer(code, b"moved\n", [("Location", templated(location)), ("Content-Type", "text/plain")],
                        head_only)
            return
        path = os.path.normpath(os.path.join(ROOT, rel))
        if not (path == ROOT or path.startswith(ROOT + os.sep)) or not os.path.isfile(path):
            self.answer(404, b"not here\n", [("Content-Type", "text/plain")], head_only)
            return
        with open(path, "rb") as f:
            body = f.read()
        ext = os.path.splitext(path)[1].lower()
        if ext in TEMPLATED and b"{{" in body:
            body = templated(body.decode("utf-8")).encode("utf-8")
        ctype = rule.get("type") or TYPES.get(ext, "application/octet-stream")
        if "charset" in rule:
            ctype += "; charset=" + rule["charset"]
        headers = [("Content-Type", ctype)]
        encoding = rule.get("encoding")
        accepted = [t.split(";")[0].strip().lower() for t in self.headers.get("Accept-Encoding", "").split(",")]
        if encoding in accepted:
            body = gzip.compress(body) if encoding == "gzip" else zlib.compress(body)
            headers.append(("Content-Encoding", encoding))
        if encoding:
            headers.append(("Vary", "Accept-Encoding"))
        self.answer(200, body, headers, head_only)


def templated(text):
    for key, value in SUBST.items():
        text = text.replace(key, value)
    return text


class Server(ThreadingHTTPServer):
    daemon_threads = True
    # Many workers open connections at once: a short queue drops some.
    request_queue_size = 64
    allow_reuse_address = True


def main():
    global ROOT, RULES, LOG
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "site"))
    ap.add_argument("--lifetime", type=float, default=600)
    ap.add_argument("--log")
    args = ap.parse_args()
    ROOT = os.path.realpath(args.root)
    rules_path = os.path.join(ROOT, "rules.json")
    if os.path.exists(rules_path):
        with open(rules_path, encoding="utf-8") as f:
            RULES = {k: v for k, v in json.load(f).items() if not k.startswith("#")}
    if args.log:
        LOG = open(args.log, "a", encoding="utf-8", errors="backslashreplace")

    main_server = Server(("127.0.0.1", 0), Handler)
    port = main_server.server_address[1]
    # Another port rather than another loopback address: a browser kept off
    # the network resolves no name and no address but 127.0.0.1.
    second = Server(("127.0.0.1", 0), Handler)
    host2 = f"127.0.0.1:{second.server_address[1]}"
    SUBST.update({"{{PORT}}": str(port), "{{HOST2}}": host2})
    for server in (main_server, second):
        threading.Thread(target=server.serve_forever, daemon=True).start()
    print(f"{port} {host2}", flush=True)

    def watch_input():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        except (OSError, ValueError):
            pass
        os._exit(0)

    threading.Thread(target=watch_input, daemon=True).start()
    time.sleep(args.lifetime)
    os._exit(0)


if __name__ == "__main__":
    main()
