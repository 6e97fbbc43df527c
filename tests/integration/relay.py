"""Runs the real TavrikSrv binary for end-to-end tests.

Every Relay copies the binary into a temporary folder of its own (the log
lands beside it), starts it there and stops it by its PID. Waits are
generous and bounded: nothing here depends on tight timing.
"""
import ctypes
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

BINARY = os.environ.get("TAVRIK_BINARY") or os.path.join(
    os.path.dirname(__file__), "..", "..", "build", "TavrikSrv")
BOUNDARY = b"--ABCDEF12345678\r\n"
HEAD = (b"HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=ABCDEF12345678\r\n\r\n"
        + BOUNDARY)
STAMP = re.compile(rb"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - ")


def _die_with_parent():
    """Ends the relay when the test process dies (a test run killed by its timeout)."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def wait_until(condition, timeout=10.0, interval=0.02):
    """Polls condition() until it is true or timeout seconds pass; returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Relay:
    """One TavrikSrv process in a folder of its own."""

    def __init__(self, *args, port=None, debug_level=0, env=None):
        # No hyphen in the folder: the command line is split at every hyphen.
        self.folder = tempfile.mkdtemp(prefix="tavrik_it_")
        self.binary = os.path.join(self.folder, "TavrikSrv")
        shutil.copy2(BINARY, self.binary)
        self.port = port or free_port()
        self.args = ["-p", str(self.port), "-d", str(debug_level)] + [str(a) for a in args]
        self.env = env
        self.process = None

    def path(self, name):
        return os.path.join(self.folder, name)

    def start(self):
        with open(self.path("stderr.txt"), "wb") as stderr:
            self.process = subprocess.Popen([self.binary] + [str(a) for a in self.args], cwd=self.folder,
                                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                            stderr=stderr, env=self.env, start_new_session=True,
                                            preexec_fn=_die_with_parent)
        return self

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.kill()
        shutil.rmtree(self.folder, ignore_errors=True)

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait(10)

    def stop(self, sig=signal.SIGINT, timeout=10):
        """Sends sig to the process and waits for its exit status."""
        os.kill(self.process.pid, sig)
        return self.process.wait(timeout)

    def stderr(self):
        with open(self.path("stderr.txt"), "rb") as f:
            return f.read()

    # --- the log ---
    def log_text(self):
        try:
            with open(self.path("Debug.log"), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def messages(self):
        """Log messages without their time stamps (lines split at CR LF)."""
        lines = self.log_text().split(b"\r\n")
        return [STAMP.sub(b"", line).decode("latin-1") for line in lines if line]

    def wait_log(self, text, count=1, timeout=15):
        """Waits until a message containing text was logged count times.

        The log is written with a delay of about a second while lines keep
        coming, so waits are generous."""
        found = wait_until(lambda: sum(text in m for m in self.messages()) >= count, timeout)
        if not found:
            raise AssertionError(f"log never showed {text!r} x{count}:\n" + "\n".join(self.messages()[-30:]))

    def wait_listening(self, timeout=15):
        def accepting():
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    return True
            except OSError:
                return False
        if not wait_until(accepting, timeout):
            raise AssertionError("client listener never opened:\n" + "\n".join(self.messages()[-30:]))

    def client(self, request=b"GET / HTTP/1.0\r\n\r\n"):
        return StreamClient(self.port, request)


class StreamClient:
    """An HTTP client of the relay's multipart stream."""

    def __init__(self, port, request=b"GET / HTTP/1.0\r\n\r\n", timeout=15):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        # Parsed from a read position, not by slicing: a client that keeps up
        # with a fast relay must not copy its buffer for every part.
        self.buffer = bytearray()
        self.pos = 0
        if request:
            self.sock.sendall(request)
            self.head = self.read_exactly(len(HEAD))

    def close(self):
        self.sock.close()

    def unread(self):
        """Bytes received and not yet parsed."""
        return bytes(self.buffer[self.pos:])

    def _receive(self):
        if self.pos:
            del self.buffer[:self.pos]
            self.pos = 0
        data = self.sock.recv(1 << 20)
        if not data:
            raise EOFError("relay closed the stream")
        self.buffer += data

    def read_exactly(self, n):
        while len(self.buffer) - self.pos < n:
            self._receive()
        chunk = bytes(self.buffer[self.pos:self.pos + n])
        self.pos += n
        return chunk

    def next_part(self, timeout=30):
        """Returns (content type, body) of the next complete part."""
        deadline = time.monotonic() + timeout
        while True:
            header_end = self.buffer.find(b"\r\n\r\n", self.pos)
            if header_end >= 0:
                end = self.buffer.find(b"\r\n" + BOUNDARY, header_end + 4)
                if end >= 0:
                    content_type = self.buffer[self.pos:header_end].decode("latin-1")
                    body = bytes(self.buffer[header_end + 4:end])
                    self.pos = end + 2 + len(BOUNDARY)
                    return content_type, body
            if time.monotonic() > deadline:
                raise AssertionError("no complete part arrived in time")
            self._receive()

    def next_frame(self, content_type="Content-Type: text/plaintext", timeout=30):
        """The body of the next frame part, skipping keep-alive parts."""
        deadline = time.monotonic() + timeout
        while True:
            kind, body = self.next_part(max(0.1, deadline - time.monotonic()))
            if kind == content_type:
                return body
            if kind != "Content-Type: text/keepalive":
                raise AssertionError(f"unexpected part type {kind!r}")
            if time.monotonic() > deadline:  # keep-alive parts alone do not count
                raise AssertionError("no frame arrived in time")


class RelayTestCase(unittest.TestCase):
    def relay(self, *args, start=True, **kwargs):
        """A relay in a folder of its own; start=False to prepare the folder first."""
        relay = Relay(*args, **kwargs)
        self.addCleanup(relay.__exit__, None, None, None)
        return relay.start() if start else relay

    def stream(self, relay):
        client = relay.client()
        self.addCleanup(client.close)
        self.assertEqual(client.head, HEAD)
        return client
