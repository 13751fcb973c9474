#!/usr/bin/python3
"""Loopback HTTP (and optionally HTTPS) server for the fetcher's tests.

Prints "PORT TLSPORT" (TLSPORT 0 without --tls-dir) on one line once it
listens on 127.0.0.1, then serves until its standard input closes (the test
that started it has ended, however it ended) or --lifetime seconds pass.

With --tls-dir DIR it first makes a throw-away CA and a certificate for
127.0.0.1 signed by it in DIR (ca.pem is what clients should trust).

With --http11-close every answer has an HTTP/1.1 status line but no
Connection header, and the connection is closed after it, as many small
servers (Python's own among them) answer an HTTP/1.0 request: a client that
goes by the status line takes the closed connection for reusable.

With --keepalive answers are HTTP/1.1 and the connection stays open for the
next request (except for the routes whose bodies end with the connection),
so that a client's connection reuse can be seen.

Every request counts against its path; GET /_count/PATH answers how many
requests /PATH has had, so tests can tell how many attempts were made.
GET /_stats answers "connections C held H": C connections have carried a
request other than /_..., and at most H /hold/ requests were held at once.

Routes:
  /echo/...                    200, the request line and headers as received
  /page/...                    200, "page:" and the path
  /status/CODE/...             that status
  /flaky/N/...                 504 for the first N requests, then 200
  /redirect/CODE/...?to=LOC    that status with "Location: LOC"; no Location without "to"
  /loop/...                    302 back to itself
  /auth-once/...               401 the first time, then 200 "welcome"
  /auth-always/CODE/...        that status (401 or 407) every time
  /bytes/N                     N pattern bytes (byte i is i % 251) with Content-Length
  /nolength/N                  the same without Content-Length, in pieces
  /lies/N[?length=L]           Content-Length L (default 10^12), then N pattern bytes
  /stall/...                   Content-Length 1000000, 1000 pattern bytes, then silence
  /hang/...                    nothing at all, not even a status line
  /silent/...                  200 and its headers, then silence
  /drip/N/MS/...               200, then N pattern bytes every MS milliseconds
  /files/PATH                  the file PATH below --root, 404 when missing
  /chain/N.htm                 a frameset whose one frame is (N+1).htm, up to 10000.htm
  /hold/MS/...                 200 "held:" and the path, after MS milliseconds
  /gzip/N, /deflate/N          N pattern bytes compressed with that Content-Encoding
  /badgzip/...                 "Content-Encoding: gzip" on bytes that are not
  /bomb/MB/...                 gzip of MB mebibytes of zeros (about 1 KB a MB on
                               the wire), with Content-Length
  /drop-next/...               200; the next request on the same connection is
                               counted, then the connection closed unanswered
  /typed/...?ct=VALUE          200 "typed" with "Content-Type: VALUE"
"""

import argparse
import os
import ssl
import subprocess
import sys
import threading
import time
import gzip
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, unquote, urlsplit

PATTERN = bytes(range(251)) * 400
ROOT = None
COUNTS = {}
COUNTS_LOCK = threading.Lock()
STATS = {"connections": 0, "holding": 0, "held": 0}


def pattern(n):
    chunks = []
    while n > 0:
        k = min(n, len(PATTERN))
        chunks.append(PATTERN[:k])
        n -= k
    return b"".join(chunks)


BOMBS = {}


def bomb(mb):
    # A block of a mebibyte of zeros ends in a full flush, so it refers to
    # nothing before it and can stand any number of times in one stream:
    # a bomb of any size costs the server one block.
    if mb not in BOMBS:
        block = zlib.compressobj(9, zlib.DEFLATED, -15)
        zeros = bytes(1 << 20)
        middle = block.compress(zeros) + block.flush(zlib.Z_FULL_FLUSH)
        crc = 0
        for _ in range(mb):
            crc = zlib.crc32(zeros, crc)
        end = zlib.compressobj(9, zlib.DEFLATED, -15).flush(zlib.Z_FINISH)
        header = b"\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\xff"
        trailer = crc.to_bytes(4, "little") + ((mb << 20) & 0xFFFFFFFF).to_bytes(4, "little")
        BOMBS[mb] = header + middle * mb + end + trailer
    return BOMBS[mb]


def pattern_pieces(n, size=len(PATTERN)):
    # Whole multiples of 251 keep every piece starting at pattern byte 0.
    while n > 0:
        k = min(n, size)
        yield PATTERN[:k]
        n -= k


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):
        pass

    def handle(self):
        try:
            super().handle()
        except (BrokenPipeError, ConnectionResetError):
            pass  # a client that gives up on an answer is no fault here

    def send_body(self, code, body, extra=()):
        self.send_response(code)
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        split = urlsplit(self.path)
        path = split.path
        parts = path.split("/")[1:]
        if parts and parts[0] == "_count":
            with COUNTS_LOCK:
                n = COUNTS.get("/" + "/".join(parts[1:]), 0)
            self.send_body(200, str(n).encode())
            return
        if parts and parts[0] == "_stats":
            with COUNTS_LOCK:
                text = "connections %d held %d" % (STATS["connections"], STATS["held"])
            self.send_body(200, text.encode())
            return
        with COUNTS_LOCK:
            COUNTS[path] = COUNTS.get(path, 0) + 1
            count = COUNTS[path]
            # One handler serves one connection, however many requests.
            if not getattr(self, "counted", False):
                self.counted = True
                STATS["connections"] += 1
        if getattr(self, "drop_next", False):
            self.close_connection = True
            return
        route = parts[0] if parts else ""
        if route in ("nolength", "lies", "stall", "hang", "silent", "drip"):
            # Their bodies end with the connection, whatever the protocol.
            self.close_connection = True
        arg = parts[1] if len(parts) > 1 else ""

        if route == "echo":
            text = self.requestline + "\n" + str(self.headers)
            self.send_body(200, text.encode("latin-1"))
        elif route == "page":
            self.send_body(200, ("page:" + path).encode("latin-1"))
        elif route == "status":
            self.send_body(int(arg), ("status " + arg).encode())
        elif route == "flaky":
            if count <= int(arg):
                self.send_body(504, b"not yet")
            else:
                self.send_body(200, b"at last")
        elif route == "redirect":
            to = parse_qs(split.query).get("to")
            extra = [("Location", to[0])] if to else []
            self.send_body(int(arg), b"moved", extra)
        elif route == "loop":
            self.send_body(302, b"again", [("Location", path)])
        elif route == "auth-once":
            if count == 1:
                self.send_body(401, b"who are you", [("WWW-Authenticate", 'Basic realm="test"')])
            else:
                self.send_body(200, b"welcome")
        elif route == "auth-always":
            self.send_body(int(parts[1]), b"no", [("Proxy-Authenticate", 'Basic realm="test"')])
        elif route == "bytes":
            self.send_body(200, pattern(int(arg)))
        elif route in ("nolength", "lies"):
            self.send_response(200)
            if route == "lies":
                self.send_header("Content-Length", parse_qs(split.query).get("length", [str(10**12)])[0])
            self.end_headers()
            for piece in pattern_pieces(int(arg), 251 * 17):
                self.wfile.write(piece)
                self.wfile.flush()
        elif route == "stall":
            self.send_response(200)
            self.send_header("Content-Length", "1000000")
            self.end_headers()
            self.wfile.write(pattern(1000))
            self.wfile.flush()
            time.sleep(30)
        elif route == "hang":
            time.sleep(30)
        elif route == "silent":
            self.send_response(200)
            self.end_headers()
            self.wfile.flush()
            time.sleep(30)
        elif route == "drip":
            self.send_response(200)
            self.end_headers()
            end = time.monotonic() + 30
            try:
                while time.monotonic() < end:
                    self.wfile.write(pattern(int(arg)))
                    self.wfile.flush()
                    time.sleep(int(parts[2]) / 1000.0)
            except OSError:
                pass  # the client gave up
        elif route == "chain":
            n = int(arg.split(".")[0] or 0)
            body = '<frameset><frame src="%d.htm"></frameset>' % (n + 1) if n < 10000 else "<p>end</p>"
            self.send_body(200, body.encode())
        elif route == "hold":
            with COUNTS_LOCK:
                STATS["holding"] += 1
                STATS["held"] = max(STATS["held"], STATS["holding"])
            time.sleep(int(arg) / 1000.0)
            with COUNTS_LOCK:
                STATS["holding"] -= 1
            self.send_body(200, ("held:" + path).encode("latin-1"))
        elif route in ("gzip", "deflate"):
            data = pattern(int(arg))
            packed = gzip.compress(data) if route == "gzip" else zlib.compress(data)
            self.send_body(200, packed, [("Content-Encoding", route)])
        elif route == "bomb":
            self.send_body(200, bomb(int(arg)), [("Content-Encoding", "gzip")])
        elif route == "drop-next":
            self.drop_next = True
            self.send_body(200, b"dropping")
        elif route == "badgzip":
            self.send_body(200, b"\x1f\x8b\x08\x00 this is not what it claims to be", [("Content-Encoding", "gzip")])
        elif route == "typed":
            body = b"typed"
            self.send_response(200)
            self.send_header("Content-Type", parse_qs(split.query).get("ct", [""])[0])
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif route == "files" and ROOT:
            target = os.path.realpath(os.path.join(ROOT, *[unquote(p) for p in parts[1:]]))
            if not target.startswith(ROOT + os.sep) or not os.path.isfile(target):
                self.send_body(404, b"no such file")
            else:
                with open(target, "rb") as f:
                    self.send_body(200, f.read())
        else:
            self.send_body(404, b"no such route")


def make_certificates(folder):
    cnf = os.path.join(folder, "openssl.cnf")
    with open(cnf, "w") as f:
        f.write(
            "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = unused\n"
            "[ca]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
            "subjectKeyIdentifier = hash\n"
            "[server]\nbasicConstraints = CA:FALSE\nsubjectAltName = IP:127.0.0.1\n"
            "keyUsage = critical,digitalSignature\nextendedKeyUsage = serverAuth\n"
            "authorityKeyIdentifier = keyid\n"
        )
    p = lambda name: os.path.join(folder, name)
    key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run = lambda args: subprocess.run(["openssl"] + args, check=True, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.PIPE)
    run(["req", "-x509", "-config", cnf, "-extensions", "ca", *key, "-keyout", p("ca.key"),
         "-out", p("ca.pem"), "-days", "2", "-subj", "/CN=Clipvault test CA"])
    run(["req", "-new", "-config", cnf, *key, "-keyout", p("server.key"), "-out", p("server.csr"),
         "-subj", "/CN=127.0.0.1"])
    run(["x509", "-req", "-in", p("server.csr"), "-CA", p("ca.pem"), "-CAkey", p("ca.key"),
         "-CAcreateserial", "-out", p("server.pem"), "-days", "2", "-extfile", cnf,
         "-extensions", "server"])
    return p("server.pem"), p("server.key")


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tls-dir")
    ap.add_argument("--lifetime", type=float, default=120)
    ap.add_argument("--root")
    ap.add_argument("--http11-close", action="store_true")
    ap.add_argument("--keepalive", action="store_true")
    args = ap.parse_args()
    if args.keepalive:
        Handler.protocol_version = "HTTP/1.1"
    if args.http11_close:
        # The handler still closes after an HTTP/1.0 request; only the
        # status line changes.
        Handler.protocol_version = "HTTP/1.1"
    global ROOT
    if args.root:
        ROOT = os.path.realpath(args.root)

    ThreadingHTTPServer.daemon_threads = True
    # Many connections may arrive at once from a parallel client.
    ThreadingHTTPServer.request_queue_size = 64
    plain = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    serve(plain)
    tls_port = 0
    if args.tls_dir:
        cert, key = make_certificates(args.tls_dir)
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(cert, key)
        tls = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        tls.socket = ctx.wrap_socket(tls.socket, server_side=True)
        tls_port = tls.server_address[1]
        serve(tls)

    print(plain.server_address[1], tls_port, flush=True)
    threading.Timer(args.lifetime, lambda: os._exit(0)).start()
    sys.stdin.buffer.read()
    os._exit(0)


if __name__ == "__main__":
    main()
