"""A small WebDriver BiDi client: one WebSocket connection to Firefox's
remote agent, JSON commands and their answers. Standard library only."""
import base64
import json
import os
import socket
import struct


class BidiError(Exception):
    pass


class Bidi:
    def __init__(self, port, timeout=60):
        self.s = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        self.s.sendall((f"GET /session HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
                        f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.s.recv(4096)
            if not chunk:
                raise BidiError("the connection closed during the handshake")
            head += chunk
        head, self.buf = head.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise BidiError(head.decode(errors="replace"))
        self.next_id = 0
        self.events = []

    def _exact(self, n):
        while len(self.buf) < n:
            chunk = self.s.recv(1 << 20)
            if not chunk:
                raise BidiError("the connection closed")
            self.buf += chunk
        data, self.buf = self.buf[:n], self.buf[n:]
        return data

    def _send(self, payload, op=1):
        mask = os.urandom(4)
        n = len(payload)
        if n < 126:
            head = bytes([0x80 | op, 0x80 | n])
        elif n < 65536:
            head = bytes([0x80 | op, 0x80 | 126]) + struct.pack(">H", n)
        else:
            head = bytes([0x80 | op, 0x80 | 127]) + struct.pack(">Q", n)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.s.sendall(head + mask + masked)

    def _recv(self):
        data = b""
        while True:
            b1, b2 = self._exact(2)
            n = b2 & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._exact(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._exact(8))[0]
            mask = self._exact(4) if b2 & 0x80 else None
            payload = self._exact(n)
            if mask:
                payload = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
            op = b1 & 0x0F
            if op == 9:
                self._send(payload, 10)
                continue
            if op == 8:
                raise BidiError("closed by the browser")
            data += payload
            if b1 & 0x80:
                return json.loads(data)

    def call(self, method, params=None):
        self.next_id += 1
        self._send(json.dumps({"id": self.next_id, "method": method, "params": params or {}}).encode())
        while True:
            r = self._recv()
            if r.get("id") == self.next_id:
                if r.get("type") == "error":
                    raise BidiError(f"{method}: {r.get('error')}: {r.get('message')}")
                return r.get("result", {})
            self.events.append(r)

    def evaluate(self, context, expression):
        r = self.call("script.evaluate", {"expression": expression, "target": {"context": context},
                                          "awaitPromise": True, "resultOwnership": "none"})
        if r.get("type") != "success":
            raise BidiError(f"script failed: {r.get('exceptionDetails', {}).get('text')}")
        return r["result"].get("value")

    def close(self):
        try:
            self.s.close()
        except OSError:
            pass
