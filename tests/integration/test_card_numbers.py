"""Card numbers are masked on every output: the viewers' /receipts, MQTT, a
TCP recorder, /status, /metrics and the log never carry a receipt's card
number in full; the client port's stream, the printer's own copy, does.
mask_card_numbers = false turns masking off, with a warning in the log."""
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.request

from relay import RelayTestCase, free_port, wait_until
from test_outputs import Broker, Subscriber
from traffic import connect

ESC = b"\x1b"
GS = b"\x1d"
FULL = [b"4111111111111111", b"4111 1111 1111 1111"]
MASKED = "411111******1111"
# The number printed in groups, and stored in a QR code that is then printed.
RECEIPT = (ESC + b"@VISA 4111 1111 1111 1111\nTOTAL 9.99\n" + GS + b"(k\x13\x001P04111111111111111" +
           GS + b"(k\x03\x001Q0" + GS + b"V\x00")
LAST = b"Thank you\n" + GS + b"V\x00"


def read_until(sock, marker, timeout=20):
    """Everything sock sends until marker has arrived."""
    data = b""
    deadline = time.monotonic() + timeout
    while marker not in data:
        sock.settimeout(max(0.1, deadline - time.monotonic()))
        chunk = sock.recv(65536)
        if not chunk:
            raise AssertionError(f"connection ended; got {data!r}")
        data += chunk
    return data


def receipt_events(stream):
    """The JSON of each receipt event in the bytes of /receipts."""
    return [json.loads(line[len(b"data: "):]) for line in stream.split(b"\n") if line.startswith(b"data: ")]


def get(port, path):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=5) as answer:
        return answer.read()


class CardNumberTest(RelayTestCase):
    def start_relay(self, outputs, web_port):
        self.source_port = free_port()
        relay = self.relay("-l", "-t", self.source_port, "-u", "-w", f"127.0.0.1:{web_port}", "-k", "outputs.toml",
                           debug_level=3, start=False)
        with open(relay.path("outputs.toml"), "w") as f:
            f.write(outputs)
        relay.start()
        relay.wait_listening()
        return relay

    def open_events(self, web_port):
        events = socket.create_connection(("127.0.0.1", web_port), timeout=10)
        self.addCleanup(events.close)
        events.sendall(b"GET /receipts HTTP/1.1\r\nHost: x\r\n\r\n")
        read_until(events, b"\r\n\r\n")  # subscribed before any receipt is printed
        return events

    def print_job(self, data):
        pos = connect(self.source_port)
        pos.sendall(data)
        pos.close()

    @unittest.skipUnless(shutil.which("mosquitto") and shutil.which("mosquitto_sub"), "mosquitto not installed")
    def test_no_output_but_the_client_port_carries_the_full_number(self):
        broker_port = free_port()
        broker = Broker(broker_port)
        broker.start()
        self.addCleanup(broker.stop)
        mqtt = Subscriber(broker_port, "store1")
        self.addCleanup(mqtt.close)
        recorder_server = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(recorder_server.close)
        web_port = free_port()
        folder = tempfile.mkdtemp(prefix="tavrik_cards_")
        self.addCleanup(shutil.rmtree, folder, True)
        journal = os.path.join(folder, "j.db")
        relay = self.start_relay(f'[journal]\npath = "{journal}"\n\n[mqtt]\nhost = "127.0.0.1"\nport = {broker_port}\ntopic = "store1"\n\n'
                                 f'[[recorder]]\nhost = "127.0.0.1"\nport = {recorder_server.getsockname()[1]}\n',
                                 web_port)
        mqtt.wait_for("store1/status online")
        recorder_server.settimeout(15)
        recorder, _ = recorder_server.accept()
        self.addCleanup(recorder.close)
        client = self.stream(relay)
        events = self.open_events(web_port)

        self.print_job(RECEIPT)
        self.assertEqual(client.next_frame(timeout=10), RECEIPT)  # the printer's copy, unchanged
        self.print_job(LAST)  # everything of the first receipt went out before this one
        self.assertEqual(client.next_frame(timeout=10), LAST)

        sse = read_until(events, b"Thank you")
        lines = []
        while not any("Thank you" in line for line in lines):
            lines.append(mqtt.next())
        on_mqtt = [json.loads(line.split(" ", 1)[1]) for line in lines if line.startswith("store1/receipt ")]
        recorded = read_until(recorder, b"Thank you")
        for name, receipt in (("/receipts", receipt_events(sse)[0]), ("MQTT", on_mqtt[0])):
            self.assertEqual(receipt["text"], f"VISA {MASKED}\nTOTAL 9.99\n", name)
            self.assertEqual(receipt["codes"], [{"symbology": "QR", "data": MASKED}], name)
        self.assertNotIn("raw", on_mqtt[0])  # base64 of the printer's bytes only with raw = true
        self.assertTrue(recorded.startswith(f"VISA {MASKED}\r\nTOTAL 9.99\r\n".encode()), recorded)

        self.assertTrue(wait_until(lambda: json.loads(get(web_port, "/status"))["journal"]["written"] >= 2,
                                   timeout=15), "the journal never wrote both receipts")
        files = b"".join(open(journal + suffix, "rb").read() for suffix in ("", "-wal") if os.path.exists(journal + suffix))
        status = get(web_port, "/status") + get(web_port, "/metrics")
        self.assertEqual(relay.stop(), 0)
        stored = subprocess.run(["sqlite3", journal, "SELECT text FROM receipts ORDER BY seq"], check=True,
                                capture_output=True, timeout=15).stdout
        self.assertIn(f"VISA {MASKED}".encode(), stored)
        captured = {"/receipts": sse, "MQTT": "\n".join(lines).encode(), "recorder": recorded,
                    "/status and /metrics": status, "log": relay.log_text(),
                    "journal": stored + files}
        for name, data in captured.items():
            for number in FULL:
                self.assertNotIn(number, data, name)

    def test_masking_switched_off_is_logged_and_shows_the_full_number(self):
        web_port = free_port()
        relay = self.start_relay("mask_card_numbers = false\n", web_port)
        events = self.open_events(web_port)
        self.print_job(RECEIPT)
        sse = read_until(events, b"TOTAL")
        self.assertEqual(receipt_events(sse)[0]["text"], "VISA 4111 1111 1111 1111\nTOTAL 9.99\n")
        relay.wait_log("Card number masking is off")
        self.assertEqual(relay.stop(), 0)
        warnings = [m for m in relay.messages() if "masking" in m]
        self.assertEqual(warnings, ["Card number masking is off (mask_card_numbers = false): "
                                    "receipts may carry full card numbers."])


if __name__ == "__main__":
    unittest.main()
