"""A tiny Chrome DevTools Protocol client on the Python standard library:
starts a headless Chromium and drives one page over its websocket."""
import base64
import json
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import urllib.request


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


class WebSocket:
    """Client side of RFC 6455, text frames only, enough for the protocol's JSON."""

    def __init__(self, url, timeout=30):
        assert url.startswith("ws://")
        hostport, path = url[5:].split("/", 1)
        host, port = hostport.rsplit(":", 1)
        self.sock = socket.create_connection((host, int(port)), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET /{path} HTTP/1.1\r\nHost: {hostport}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            self.buffer += self._recv()
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise ConnectionError(f"no websocket: {head!r}")

    def _recv(self):
        chunk = self.sock.recv(1 << 20)
        if not chunk:
            raise ConnectionError("websocket closed")
        return chunk

    def _take(self, n):
        while len(self.buffer) < n:
            self.buffer += self._recv()
        data, self.buffer = self.buffer[:n], self.buffer[n:]
        return data

    def send(self, text):
        payload = text.encode()
        header = bytes([0x81])
        n = len(payload)
        if n < 126:
            header += bytes([0x80 | n])
        elif n < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", n)
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", n)
        mask = os.urandom(4)
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

    def receive(self):
        message = b""
        while True:
            first, second = self._take(2)
            n = second & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._take(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._take(8))[0]
            data = self._take(n)
            opcode = first & 0x0F
            if opcode == 0x8:
                raise ConnectionError("websocket closed by the browser")
            if opcode in (0x9, 0xA):  # ping, pong: nothing to do for this client
                continue
            message += data
            if first & 0x80:
                return message.decode()

    def close(self):
        self.sock.close()


class Browser:
    """A headless Chromium with one page; stop() ends it."""

    def __init__(self, binary, width=1280, height=900):
        self.profile = tempfile.mkdtemp(prefix="tavrik_chromium_")
        self.process = subprocess.Popen(
            [binary, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-extensions", "--disable-background-networking", "--hide-scrollbars",
             "--remote-debugging-port=0", "--remote-allow-origins=*", f"--user-data-dir={self.profile}",
             f"--window-size={width},{height}", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.monotonic() + 30
        while not (lines := self._read_lines(port_file)):
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.stop()
                raise RuntimeError("Chromium did not open its debugging port")
            time.sleep(0.05)
        port = int(lines[0])
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=10) as response:
            pages = [t for t in json.load(response) if t["type"] == "page"]
        self.ws = WebSocket(pages[0]["webSocketDebuggerUrl"])
        self.next_id = 0
        self.call("Page.enable")
        self.call("Emulation.setDeviceMetricsOverride",
                  width=width, height=height, deviceScaleFactor=1, mobile=False)

    @staticmethod
    def _read_lines(path):
        """The file's complete lines; none while it is missing or half written."""
        try:
            with open(path) as f:
                text = f.read()
        except FileNotFoundError:
            return []
        return text.split("\n")[:-1]

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.ws.receive())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})

    def navigate(self, url):
        self.call("Page.navigate", url=url)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        return result.get("result", {}).get("value")

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def stop(self):
        try:
            if hasattr(self, "ws"):
                self.ws.close()
        finally:
            if self.process.poll() is None:
                self.process.kill()
                self.process.wait(10)
            shutil.rmtree(self.profile, ignore_errors=True)
