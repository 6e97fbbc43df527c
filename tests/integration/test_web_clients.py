"""The web port against clients that trickle, half-close, pipeline or send too
much: every well-formed request still gets its whole answer, in order."""
import socket
import threading
import time
import unittest

from relay import RelayTestCase, free_port

SLOTS = 16
HALF_CLOSE_PATHS = ("/", "/status", "/metrics", "/missing")


def read_to_end(sock):
    received = b""
    while chunk := sock.recv(65536):
        received += chunk
    return received


def complete_answers(data):
    """The status codes of the whole answers in data, in order, and the bytes left over."""
    codes = []
    while b"\r\n\r\n" in data:
        head, rest = data.split(b"\r\n\r\n", 1)
        fields = dict(line.split(b": ", 1) for line in head.split(b"\r\n")[1:])
        length = int(fields.get(b"Content-Length", b"0"))
        if len(rest) < length:
            break
        codes.append(int(head.split(b" ")[1]))
        data = rest[length:]
    return codes, data


class Trickler(threading.Thread):
    """A client that sends one byte of a never-ending head every interval and
    connects again whenever the relay closes it."""

    def __init__(self, port, interval):
        super().__init__(daemon=True)
        self.port, self.interval = port, interval
        self.stopping = threading.Event()
        self.sock = None

    def run(self):
        head = b"GET /status HTTP/1.1\r\nX-Slow: " + b"a" * 4000
        while not self.stopping.is_set():
            try:
                self.sock = socket.create_connection(("127.0.0.1", self.port), timeout=5)
                for byte in head:
                    self.sock.sendall(bytes([byte]))
                    if self.stopping.wait(self.interval):
                        break
            except OSError:
                self.stopping.wait(0.1)
            finally:
                if self.sock:
                    self.sock.close()

    def stop(self):
        self.stopping.set()
        self.join(10)


class WebClientsTest(RelayTestCase):
    def setUp(self):
        self.web_port = free_port()
        relay = self.relay("-l", "-t", free_port(), "-w", f"127.0.0.1:{self.web_port}")
        relay.wait_listening()

    def ask_status(self):
        try:
            with socket.create_connection(("127.0.0.1", self.web_port), timeout=5) as sock:
                sock.sendall(b"GET /status HTTP/1.1\r\nConnection: close\r\n\r\n")
                return complete_answers(read_to_end(sock))[0] == [200]
        except OSError:
            return False

    def test_trickling_clients_do_not_hold_the_port(self):
        # As many tricklers as slots: without a deadline for the head (or an
        # eviction) every slot stays taken.
        tricklers = [Trickler(self.web_port, 2.0) for _ in range(SLOTS)]
        for trickler in tricklers:
            trickler.start()
        self.addCleanup(lambda: [t.stop() for t in tricklers])
        time.sleep(4)  # every slot taken and trickling
        answered = 0
        for _ in range(20):
            answered += self.ask_status()
            time.sleep(0.5)
        self.assertEqual(answered, 20)

    def test_half_closed_request_gets_its_whole_answer(self):
        for path in HALF_CLOSE_PATHS:
            complete = 0
            for _ in range(50):
                with socket.create_connection(("127.0.0.1", self.web_port), timeout=10) as sock:
                    sock.sendall(f"GET {path} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
                    sock.shutdown(socket.SHUT_WR)
                    codes, rest = complete_answers(read_to_end(sock))
                    complete += len(codes) == 1 and rest == b""
            self.assertEqual(complete, 50, path)

    def test_pipelined_requests_are_answered_in_order(self):
        with socket.create_connection(("127.0.0.1", self.web_port), timeout=10) as sock:
            requests = b"GET /status HTTP/1.1\r\n\r\n" * 599
            sock.sendall(requests + b"GET /missing HTTP/1.1\r\nConnection: close\r\n\r\n")
            codes, rest = complete_answers(read_to_end(sock))
        self.assertEqual(codes, [200] * 599 + [404])
        self.assertEqual(rest, b"")

    def test_oversized_head_gets_400_not_a_reset(self):
        with socket.create_connection(("127.0.0.1", self.web_port), timeout=10) as sock:
            sock.sendall(b"GET / HTTP/1.1\r\nX: " + b"a" * (1 << 20))
            time.sleep(0.3)  # answered meanwhile; a client may go on sending a while
            sock.sendall(b"a" * 65536)
            time.sleep(0.2)
            answer = read_to_end(sock)
        self.assertEqual(complete_answers(answer), ([400], b""), answer[:80])


if __name__ == "__main__":
    unittest.main()
