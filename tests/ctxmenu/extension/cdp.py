"""A small client of the DevTools protocol over --remote-debugging-pipe:
messages are JSON texts ended by a NUL byte, ours on the browser's fd 3,
the browser's on its fd 4. Needs no package beyond the standard library."""
import json
import os
import select
import subprocess
import time


class CdpError(Exception):
    pass


class Browser:
    def __init__(self, argv, env=None, log=None):
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()
        # The browser reads commands on fd 3 and writes on fd 4; a shell puts
        # our pipe ends there, whatever numbers they have here.
        script = f'exec 3<&{to_browser_r} 4>&{from_browser_w} {to_browser_r}<&- {from_browser_w}>&-; exec "$@"'
        self.proc = subprocess.Popen(["bash", "-c", script, "browser", *argv], pass_fds=(to_browser_r, from_browser_w),
                                     env=env, stdout=log or subprocess.DEVNULL, stderr=log or subprocess.DEVNULL,
                                     start_new_session=True)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self._buf = b""
        self._next_id = 0
        self.events = []

    def _read_message(self, deadline):
        while b"\0" not in self._buf:
            left = deadline - time.monotonic()
            if left <= 0:
                raise CdpError("the browser did not answer in time")
            ready, _, _ = select.select([self._from_browser], [], [], left)
            if not ready:
                continue
            chunk = os.read(self._from_browser, 1 << 20)
            if not chunk:
                raise CdpError("the browser closed its pipe")
            self._buf += chunk
        raw, self._buf = self._buf.split(b"\0", 1)
        return json.loads(raw)

    def send(self, method, params=None, session=None, timeout=30):
        self._next_id += 1
        msg = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            msg["sessionId"] = session
        os.write(self._to_browser, json.dumps(msg).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            reply = self._read_message(deadline)
            if reply.get("id") == self._next_id:
                if "error" in reply:
                    raise CdpError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self.events.append(reply)

    def evaluate(self, session, expression, timeout=30):
        """The value of a JavaScript expression (promises awaited)."""
        r = self.send("Runtime.evaluate", {"expression": expression, "awaitPromise": True, "returnByValue": True,
                                           "timeout": timeout * 1000}, session, timeout + 5)
        if "exceptionDetails" in r:
            d = r["exceptionDetails"]
            raise CdpError(f"script failed: {d.get('exception', {}).get('description') or d.get('text')}")
        return r["result"].get("value")

    def wait_target(self, test, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for t in self.send("Target.getTargets")["targetInfos"]:
                if test(t):
                    return t
            time.sleep(0.2)
        raise CdpError("no such target appeared")

    def attach(self, target_id):
        return self.send("Target.attachToTarget", {"targetId": target_id, "flatten": True})["sessionId"]

    def close(self):
        try:
            self.send("Browser.close", timeout=5)
        except (CdpError, OSError):
            pass
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(self.proc.pid, 9)
            self.proc.wait(5)
        for fd in (self._to_browser, self._from_browser):
            try:
                os.close(fd)
            except OSError:
                pass
