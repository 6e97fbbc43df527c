"""The web port (-w) end to end: the four paths, HEAD, the error answers, the
receipts as Server-Sent Events with replay, and a client port unchanged by it."""
import http.client
import json
import socket
import time
import unittest

from relay import RelayTestCase, free_port, wait_until
from traffic import connect

CP858_RECEIPT = b"\x1b@\x1bt\x13Coffee     \xd5 2.50\nTotal      \xd5 2.50\n\x1bi"


class WebPortTestCase(RelayTestCase):
    def web_relay(self, *extra):
        """A relay that takes a TCP peer on a source port and serves the web port."""
        self.source_port = free_port()
        self.web_port = free_port()
        relay = self.relay("-l", "-t", self.source_port, "-u", "-w", f"127.0.0.1:{self.web_port}", *extra)
        relay.wait_listening()
        self.source = connect(self.source_port)
        self.addCleanup(self.source.close)
        return relay

    def request(self, method, path, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.web_port, timeout=10)
        self.addCleanup(conn.close)
        conn.request(method, path, headers=headers or {})
        response = conn.getresponse()
        return response, response.read()

    def raw(self, data, timeout=10):
        """Sends raw bytes and returns everything until the server closes."""
        with socket.create_connection(("127.0.0.1", self.web_port), timeout=timeout) as sock:
            sock.sendall(data)
            received = b""
            while chunk := sock.recv(65536):
                received += chunk
            return received


class EventStream:
    """A reader of /receipts."""

    def __init__(self, port, last_event_id=None):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        extra = f"Last-Event-ID: {last_event_id}\r\n" if last_event_id is not None else ""
        self.sock.sendall(f"GET /receipts HTTP/1.1\r\nHost: x\r\n{extra}\r\n".encode())
        self.buffer = b""
        self.head = self._until(b"\r\n\r\n")

    def _until(self, marker):
        while marker not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise AssertionError(f"stream ended; got {self.buffer!r}")
            self.buffer += chunk
        block, self.buffer = self.buffer.split(marker, 1)
        return block

    def next_block(self):
        """The next event or comment block, as its lines."""
        return self._until(b"\n\n").decode("utf-8").split("\n")

    def next_receipt(self):
        while True:
            lines = self.next_block()
            if "event: receipt" in lines:
                fields = dict(line.split(": ", 1) for line in lines)
                return int(fields["id"]), json.loads(fields["data"])

    def close(self):
        self.sock.close()


class WebPortTest(WebPortTestCase):
    def test_viewer_page_status_and_metrics(self):
        self.web_relay("-d", "3")
        response, page = self.request("GET", "/")
        self.assertEqual(response.status, 200)
        self.assertEqual(response.getheader("Content-Type"), "text/html; charset=utf-8")
        self.assertIn(b"new EventSource(\"receipts\")", page)
        for outside in (b"http://", b"https://", b"src=", b"<link"):
            self.assertNotIn(outside, page, "the page must need nothing from elsewhere")

        head, body = self.request("HEAD", "/")
        self.assertEqual(body, b"")
        self.assertEqual(head.getheader("Content-Length"), str(len(page)))

        self.source.sendall(CP858_RECEIPT)
        wait_until(lambda: json.loads(self.request("GET", "/status")[1])["framesRelayed"] == 1)
        response, body = self.request("GET", "/status")
        self.assertEqual(response.getheader("Content-Type"), "application/json")
        status = json.loads(body)
        self.assertRegex(status["version"], r"^\d+\.\d+\.\d+$")
        self.assertEqual(status["source"]["kind"], "network")
        self.assertEqual(status["source"]["state"], "connected")
        self.assertEqual(status["source"]["peer"], "127.0.0.1")
        self.assertEqual(status["framesRelayed"], 1)
        self.assertEqual(status["bytesRelayed"], len(CP858_RECEIPT))
        self.assertEqual(status["logLevel"], 3)
        self.assertEqual(status["printerStatus"], "unknown")
        self.assertRegex(status["lastFrameTime"], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
        for key in ("uptimeSeconds", "clientsConnected", "partsHeldBack", "partsDropped", "webConnections"):
            self.assertIsInstance(status[key], int, key)

        response, body = self.request("GET", "/metrics")
        self.assertTrue(response.getheader("Content-Type").startswith("text/plain; version=0.0.4"))
        metrics = body.decode()
        self.assertIn(f"tavrik_bytes_relayed_total {len(CP858_RECEIPT)}\n", metrics)
        self.assertIn("tavrik_frames_relayed_total 1\n", metrics)
        self.assertIn('tavrik_source_up{kind="network",state="connected"} 1\n', metrics)
        # Every sample has its HELP and TYPE lines.
        for line in metrics.splitlines():
            if not line.startswith("#"):
                name = line.split("{")[0].split(" ")[0]
                self.assertIn(f"# HELP {name} ", metrics)
                self.assertIn(f"# TYPE {name} ", metrics)

    def test_error_answers(self):
        self.web_relay()
        response, body = self.request("GET", "/missing")
        self.assertEqual((response.status, body), (404, b"404 Not Found\n"))
        response, _ = self.request("POST", "/", headers={"Content-Length": "0"})
        self.assertEqual(response.status, 405)
        self.assertEqual(response.getheader("Allow"), "GET, HEAD")
        for bad in (b"NONSENSE\r\n\r\n", b"GET / HTTP/1.1\r\nX: " + b"a" * 9000 + b"\r\n\r\n"):
            answer = self.raw(bad)  # returns once the server closed the connection
            self.assertTrue(answer.startswith(b"HTTP/1.1 400 Bad Request\r\n"), answer[:80])

    def test_keep_alive_connection_serves_several_requests(self):
        self.web_relay()
        conn = http.client.HTTPConnection("127.0.0.1", self.web_port, timeout=10)
        self.addCleanup(conn.close)
        for path in ("/status", "/metrics", "/", "/status"):
            conn.request("GET", path)
            response = conn.getresponse()
            response.read()
            self.assertEqual(response.status, 200, path)

    def test_seventeenth_connection_is_refused_while_sixteen_stream(self):
        self.web_relay()
        streams = [EventStream(self.web_port) for _ in range(16)]
        held = [stream.sock for stream in streams]
        with socket.create_connection(("127.0.0.1", self.web_port), timeout=10) as extra:
            extra.sendall(b"GET /status HTTP/1.1\r\n\r\n")
            try:
                self.assertEqual(extra.recv(100), b"", "closed without an answer")
            except ConnectionResetError:
                pass  # closed before the request arrived
        held.pop().close()
        self.assertTrue(wait_until(lambda: self._status_answers()))
        for sock in held:
            sock.close()

    def _status_answers(self):
        try:
            return self.request("GET", "/status")[0].status == 200
        except OSError:
            return False

    def test_receipts_as_events_with_replay_after_last_event_id(self):
        self.web_relay()
        stream = EventStream(self.web_port)
        self.addCleanup(stream.close)
        self.assertTrue(stream.head.startswith(b"HTTP/1.1 200 OK\r\n"))
        self.assertIn(b"Content-Type: text/event-stream; charset=utf-8\r\n", stream.head)
        self.assertEqual(stream.next_block(), ["retry: 1000"])

        self.source.sendall(CP858_RECEIPT)
        seq, receipt = stream.next_receipt()
        self.assertEqual(seq, 1)
        self.assertEqual(receipt["seq"], 1)
        self.assertEqual(receipt["bytes"], len(CP858_RECEIPT))
        self.assertTrue(receipt["cut"])
        self.assertEqual(receipt["text"], "Coffee     € 2.50\nTotal      € 2.50\n")
        self.assertRegex(receipt["time"], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")

        for i in range(2, 5):
            self.source.sendall(f"Receipt {i}\n".encode() + b"\x1bi")
            self.assertEqual(stream.next_receipt()[0], i)
        self.assertEqual(stream.next_block(), [": keep-alive"])  # within 3 s of quiet

        again = EventStream(self.web_port, last_event_id=2)
        self.addCleanup(again.close)
        again.next_block()
        self.assertEqual([again.next_receipt()[0] for _ in range(2)], [3, 4])
        fresh = EventStream(self.web_port)
        self.addCleanup(fresh.close)
        fresh.next_block()
        self.assertEqual([fresh.next_receipt()[0] for _ in range(4)], [1, 2, 3, 4])

    def test_client_port_stream_is_unchanged(self):
        relay = self.web_relay()
        client = self.stream(relay)
        stream = EventStream(self.web_port)
        self.addCleanup(stream.close)
        self.source.sendall(CP858_RECEIPT)
        self.assertEqual(client.next_frame(), CP858_RECEIPT)
        self.assertEqual(stream.next_receipt()[0], 1)

    def test_web_port_taken_at_start_is_tried_again_until_it_listens(self):
        self.web_port = free_port()
        holder = socket.create_server(("127.0.0.1", self.web_port))
        self.addCleanup(holder.close)
        relay = self.relay("-l", "-t", free_port(), "-w", f"127.0.0.1:{self.web_port}")
        relay.wait_listening()  # the relay goes on meanwhile
        relay.wait_log("Web port error: ")
        time.sleep(2)  # the retry after 1 s finds it taken too; the next comes 10 s later
        holder.close()
        self.assertTrue(wait_until(self._status_answers, timeout=20))
        self.assertEqual(json.loads(self.request("GET", "/status")[1])["webPort"], "listening")
        messages = relay.messages()
        self.assertEqual(sum("Web port error: " in m for m in messages), 1, messages)
        self.assertEqual(messages.count(f"Web port listening on 127.0.0.1:{self.web_port}."), 1, messages)

    def test_web_port_on_the_client_or_listening_port_is_a_start_up_error(self):
        for switches, problem in (
                (("-p", 8200, "-w", 8200), b"-w: port 8200 is the client port (-p)\n"),
                (("-l", "-t", 8201, "-w", "127.0.0.1:8201"),
                 b"-w: port 8201 is the source's listening port (-l -t)\n")):
            with self.subTest(switches=switches):
                relay = self.relay(*switches)
                self.assertEqual(relay.process.wait(10), 2)
                self.assertEqual(relay.stderr(), problem)
                self.assertEqual(relay.log_text(), b"")

    def test_without_the_switch_there_is_no_web_port(self):
        web_port = free_port()
        relay = self.relay("-l", "-t", free_port())
        relay.wait_listening()
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", web_port), timeout=2).close()
        self.assertFalse(any("Web" in m for m in relay.messages()))


if __name__ == "__main__":
    unittest.main()
