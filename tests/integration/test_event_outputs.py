"""Rule hits at the recorders' own event interfaces, against the real binary:
mock receivers written here take the requests each kind documents (a
webhook, Frigate's event API, Nx's createEvent, ZoneMinder's zmtrigger lines,
Milestone's generic-event strings over TCP and UDP); a receiver that is down
gets the queued events in order when it is back, one that answers 500 is
logged once and tried again until it takes them."""
import base64
import http.server
import json
import os
import queue
import shutil
import socket
import threading
import time
import unittest
import urllib.request

from relay import RelayTestCase, free_port, wait_until
from traffic import connect

CUT = b"\x1dV\x00"
IMAGE_RECEIPT = os.path.join(os.path.dirname(__file__), "..", "data", "void-receipt.pbm")


class HttpReceiver:
    """An HTTP server on loopback that notes every request and answers each
    with the next status of `statuses` (200 once they are used up)."""

    def __init__(self, port=0, statuses=()):
        self.requests = queue.Queue()
        self.statuses = list(statuses)
        receiver = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                status = receiver.statuses.pop(0) if receiver.statuses else 200
                receiver.requests.put((time.monotonic(), self.path, dict(self.headers), body, status))
                self.send_response(status)
                self.send_header("Content-Length", "2")
                self.end_headers()
                self.wfile.write(b"{}")

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()

    def next(self, timeout=20):
        return self.requests.get(timeout=timeout)

    def delivered(self, count, timeout=30):
        """The bodies of the next `count` requests that were answered 2xx."""
        bodies = []
        deadline = time.monotonic() + timeout
        while len(bodies) < count:
            _, _, _, body, status = self.next(max(0.1, deadline - time.monotonic()))
            if 200 <= status < 300:
                bodies.append(json.loads(body))
        return bodies


class LineReceiver:
    """A TCP listener (zmtrigger, a Milestone event server) that collects lines."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.data = b""
        self.lock = threading.Lock()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        try:
            peer, _ = self.listener.accept()
        except OSError:
            return
        with peer:
            while chunk := peer.recv(4096):
                with self.lock:
                    self.data += chunk

    def lines(self, count, ending, timeout=20):
        def enough():
            with self.lock:
                return self.data.count(ending) >= count
        wait_until(enough, timeout)
        with self.lock:
            return self.data.split(ending)[:count]

    def close(self):
        self.listener.close()


class EventOutputsTestCase(RelayTestCase):
    def start(self, outputs):
        self.source_port = free_port()
        self.web_port = free_port()
        relay = self.relay("-l", "-t", self.source_port, "-u", "-w", f"127.0.0.1:{self.web_port}",
                           "-k", "outputs.toml", start=False)
        with open(relay.path("outputs.toml"), "w") as f:
            f.write(outputs)
        relay.start()
        relay.wait_listening()
        return relay

    def send_job(self, data):
        pos = connect(self.source_port)
        pos.sendall(data)
        pos.close()
        return time.monotonic()

    def get(self, path):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.web_port}{path}", timeout=5) as answer:
            return answer.read().decode()

    def receiver(self, **kwargs):
        receiver = HttpReceiver(**kwargs)
        self.addCleanup(receiver.close)
        return receiver


class EventOutputsTest(EventOutputsTestCase):
    def test_each_receiver_gets_its_documented_request_for_one_hit(self):
        hook, frigate, nx = self.receiver(), self.receiver(), self.receiver()
        zm, xp_tcp = LineReceiver(), LineReceiver()
        self.addCleanup(zm.close)
        self.addCleanup(xp_tcp.close)
        xp_udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        xp_udp.bind(("127.0.0.1", 0))
        xp_udp.settimeout(20)
        self.addCleanup(xp_udp.close)
        self.start(f'''name = "till 3"
[[rule]]
name = "refund"
match = "REFUND"
[[event]]
name = "hook"
type = "webhook"
url = "http://127.0.0.1:{hook.port}/pos/events"
headers = ["X-Shop: 12"]
auth = "bearer"
token = "s3cret"
png = true
[[event]]
name = "nvr"
type = "frigate"
url = "http://127.0.0.1:{frigate.port}"
camera = "till3"
duration = 45
[[event]]
name = "vms"
type = "nx"
url = "http://127.0.0.1:{nx.port}/"
cameras = ["{{cam-1}}"]
auth = "basic"
username = "admin"
password = "pw"
[[event]]
name = "zm"
type = "zoneminder"
host = "127.0.0.1"
port = {zm.port}
monitor = "4"
[[event]]
name = "xp"
type = "milestone"
host = "127.0.0.1"
port = {xp_tcp.port}
[[event]]
name = "xp-udp"
type = "milestone"
protocol = "udp"
host = "127.0.0.1"
port = {xp_udp.getsockname()[1]}
template = "POS {{till}}: {{rule}} #{{seq}} {{amount}}"
''')
        sent = self.send_job(b"SALE 3.00\nREFUND 12.50\n" + CUT)
        arrived, path, headers, body, _ = hook.next()
        self.assertLess(arrived - sent, 1.0)
        self.assertEqual(path, "/pos/events")
        self.assertEqual((headers["X-Shop"], headers["Authorization"], headers["Content-Type"]),
                         ("12", "Bearer s3cret", "application/json"))
        event = json.loads(body)
        self.assertEqual({k: event[k] for k in ("type", "rule", "seq", "till", "line", "text")},
                         {"type": "rule", "rule": "refund", "seq": 1, "till": "till 3", "line": "REFUND 12.50",
                          "text": "SALE 3.00\nREFUND 12.50\n"})
        png = base64.b64decode(event["png"])  # the receipt's picture, 576 dots wide
        self.assertEqual((png[:8], int.from_bytes(png[16:20], "big")), (b"\x89PNG\r\n\x1a\n", 576))

        _, path, _, body, _ = frigate.next()
        self.assertEqual(path, "/api/events/till3/receipt/create")
        self.assertEqual(json.loads(body), {"sub_label": "refund", "duration": 45, "include_recording": True})

        _, path, headers, body, _ = nx.next()
        self.assertEqual(path, "/api/createEvent")
        self.assertEqual(headers["Authorization"], "Basic " + base64.b64encode(b"admin:pw").decode())
        document = json.loads(body)
        self.assertEqual((document["source"], document["caption"], document["metadata"]),
                         ("till 3", "refund", {"cameraRefs": ["{cam-1}"]}))
        self.assertTrue(document["description"].startswith("REFUND 12.50\n\nSALE 3.00"))

        self.assertEqual(zm.lines(1, b"\n"), [b"4|on+30|100|refund|REFUND 12.50 SALE 3.00 REFUND 12.50 |REFUND 12.50"])
        self.assertEqual(xp_tcp.lines(1, b"\r\n"), [b"till 3 refund 1 REFUND 12.50"])
        self.assertEqual(xp_udp.recv(2048), b"POS till 3: refund #1 \r\n")

        # A receipt that matches no rule raises nothing anywhere.
        self.send_job(b"SALE 1.00\n" + CUT)
        time.sleep(1)
        self.assertTrue(hook.requests.empty())
        self.assertTrue(frigate.requests.empty())
        metrics = self.get("/metrics")
        self.assertIn('tavrik_rule_matches_total{rule="refund"} 1\n', metrics)
        for name in ("hook", "nvr", "vms", "zm", "xp", "xp-udp"):
            self.assertIn(f'tavrik_event_output_sent_total{{output="{name}"}} 1\n', metrics)
        status = json.loads(self.get("/status"))
        self.assertEqual([o["name"] for o in status["eventOutputs"]], ["hook", "nvr", "vms", "zm", "xp", "xp-udp"])

    def test_a_receiver_that_is_down_or_fails_gets_the_events_in_order_later(self):
        down_port = free_port()
        failing = self.receiver(statuses=(500, 500))
        relay = self.start(f'''[[rule]]
name = "refund"
match = "REFUND"
[[event]]
name = "down"
type = "webhook"
url = "http://127.0.0.1:{down_port}/"
[[event]]
name = "failing"
type = "webhook"
url = "http://127.0.0.1:{failing.port}/"
''')
        for n in range(3):
            self.send_job(b"REFUND %d.00\n" % n + CUT)
            time.sleep(0.05)
        # Answered 500 twice, taken the third time: one line for the outage, one when it is over.
        events = failing.delivered(3)
        self.assertEqual([e["seq"] for e in events], [1, 2, 3])
        self.assertFalse(any("png" in e for e in events), "a picture sent without png = true")
        relay.wait_log("event output failing connected.")
        self.assertEqual(sum("event output failing disconnected: HTTP 500." in m for m in relay.messages()), 1)
        time.sleep(5)  # the other one has been down for 5 s
        relay.wait_log("event output down disconnected: ")
        back = self.receiver(port=down_port)
        self.assertEqual([e["seq"] for e in back.delivered(3, timeout=40)], [1, 2, 3])
        relay.wait_log("event output down connected.")
        self.assertEqual(sum("event output down disconnected" in m for m in relay.messages()), 1)

    @unittest.skipUnless(os.path.exists("/usr/share/tesseract-ocr"), "Tesseract's language data not installed")
    def test_a_rule_fires_on_the_text_read_from_a_receipt_printed_as_an_image(self):
        hook = self.receiver()
        self.start(f'[[rule]]\nname = "void"\nmatch = "VOID"\n'
                   f'[[event]]\nname = "hook"\ntype = "webhook"\nurl = "http://127.0.0.1:{hook.port}/"\n')
        with open(IMAGE_RECEIPT, "rb") as f:
            header = [f.readline() for _ in range(3)]
            bits = f.read()
        width, height = map(int, header[2].split())
        self.send_job(b"\x1b@\x1dv0\x00" + bytes([width // 8 % 256, width // 8 // 256, height % 256, height // 256])
                      + bits + CUT)
        event = json.loads(hook.next()[3])
        self.assertEqual((event["rule"], event["line"]), ("void", "VOID 4.99"))


if __name__ == "__main__":
    unittest.main()
