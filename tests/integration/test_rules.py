"""Rules against the real binary: receipts that match raise one event each on
MQTT (<topic>/event) and on the web port's stream (event: alert), others
none, counted in /metrics; with -o, a drawer the passed-through printer
reports open past the threshold raises drawer_open, then drawer_closed."""
import json
import shutil
import threading
import time
import unittest
import urllib.request

from relay import RelayTestCase, free_port, wait_until
from test_outputs import Broker, Subscriber
from test_printer_tap import ScriptedPrinter
from test_web import EventStream
from traffic import connect

CUT = b"\x1dV\x00"
KICK = b"\x1bp\x00\x19\xfa"  # ESC p: the drawer pulse
DRAWER_SHUT = 0x16  # DLE EOT 1: pin 3 high
DRAWER_OPEN = 0x12  # pin 3 low

RULES = '''name = "till 3"
[[rule]]
name = "refund"
match = "REFUND"
[[rule]]
name = "no sale"
drawer = "without_text"
[[rule]]
name = "big sale"
amount_after = "TOTAL"
above = 500
'''


def get(port, path):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=5) as answer:
        return answer.read().decode()


def next_alert(events):
    while True:
        lines = events.next_block()
        if "event: alert" in lines:
            return json.loads(dict(line.split(": ", 1) for line in lines)["data"])


class RulesTestCase(RelayTestCase):
    def start(self, outputs, *args):
        self.source_port = free_port()
        self.web_port = free_port()
        relay = self.relay("-l", "-t", self.source_port, "-u", "-w", f"127.0.0.1:{self.web_port}",
                           "-k", "outputs.toml", *args, start=False)
        with open(relay.path("outputs.toml"), "w") as f:
            f.write(outputs)
        relay.start()
        relay.wait_listening()
        return relay

    def send_job(self, data):
        pos = connect(self.source_port)
        pos.sendall(data)
        pos.close()


@unittest.skipUnless(shutil.which("mosquitto") and shutil.which("mosquitto_sub"), "mosquitto not installed")
class ReceiptRulesTest(RulesTestCase):
    def test_matching_receipts_raise_one_event_each_on_mqtt_and_the_stream(self):
        broker_port = free_port()
        broker = Broker(broker_port)
        broker.start()
        self.addCleanup(broker.stop)
        mqtt = Subscriber(broker_port, "store1")
        self.addCleanup(mqtt.close)
        self.start(RULES + f'[mqtt]\nhost = "127.0.0.1"\nport = {broker_port}\ntopic = "store1"\n')
        mqtt.wait_for("store1/status online")
        events = EventStream(self.web_port)
        self.addCleanup(events.close)

        jobs = [
            (b"SALE 3.00\nREFUND 12.50\n" + CUT, ["refund"]),
            (b"SALE 3.00\nTOTAL 3.00\n" + CUT, []),
            (b"TOTAL 499.99\n" + CUT, []),
            (b"TOTAL 1.234,56\n" + CUT, ["big sale"]),
            (b"TOTAL 612.00\n" + CUT, ["big sale"]),
            (KICK, ["no sale"]),
            (b"SALE 1.00\n" + KICK + CUT, []),
        ]
        for data, _ in jobs:
            self.send_job(data)
            time.sleep(0.1)  # one job after the other, as a till prints them
        # Each receipt's events come before its own document, in one queue.
        by_seq = {}
        pending = []
        while len(by_seq) < len(jobs):
            topic, payload = mqtt.next().split(" ", 1)
            document = json.loads(payload) if topic != "store1/status" else None
            if topic == "store1/event":
                pending.append(document)
            elif topic == "store1/receipt":
                self.assertEqual(document["till"], "till 3")
                by_seq[document["seq"]] = pending
                pending = []
        self.assertEqual([[e["rule"] for e in by_seq[seq + 1]] for seq in range(len(jobs))],
                         [rules for _, rules in jobs])
        refund = by_seq[1][0]
        self.assertEqual({k: refund[k] for k in ("type", "rule", "seq", "till", "line", "amount", "text")},
                         {"type": "rule", "rule": "refund", "seq": 1, "till": "till 3", "line": "REFUND 12.50",
                          "amount": None, "text": "SALE 3.00\nREFUND 12.50\n"})
        self.assertRegex(refund["url"], rf"^http://127\.0\.0\.1:{self.web_port}/#seq=1$")
        self.assertEqual(by_seq[4][0]["amount"], 1234.56)

        alerts = [next_alert(events) for _ in range(4)]
        self.assertEqual(alerts[0], refund)
        self.assertEqual([(a["rule"], a["seq"]) for a in alerts],
                         [("refund", 1), ("big sale", 4), ("big sale", 5), ("no sale", 6)])
        metrics = get(self.web_port, "/metrics")
        for rule, count in (("refund", 1), ("no sale", 1), ("big sale", 2)):
            self.assertIn(f'tavrik_rule_matches_total{{rule="{rule}"}} {count}\n', metrics)
        self.assertEqual(json.loads(get(self.web_port, "/status"))["till"], "till 3")


class DrawerWatchTest(RulesTestCase):
    def test_a_drawer_left_open_raises_drawer_open_then_drawer_closed(self):
        printer = ScriptedPrinter()
        printer.status = {1: DRAWER_SHUT, 2: 0x12, 3: 0x12, 4: 0x12}
        printer.start()
        self.addCleanup(printer.close)
        self.start('[[rule]]\nname = "drawer"\ndrawer_open_longer_than = 30\n', "-o", f"127.0.0.1:{printer.port}")
        events = EventStream(self.web_port)
        events.sock.settimeout(60)  # the drawer stays open half a minute
        self.addCleanup(events.close)
        pos = connect(self.source_port)
        self.addCleanup(pos.close)
        polling = threading.Event()
        polling.set()

        def poll():  # the POS asks for the drawer's state, as tills do while it is open
            while polling.is_set():
                try:
                    pos.sendall(b"\x10\x04\x01")
                    pos.recv(1)
                except OSError:
                    return
                time.sleep(0.2)

        poller = threading.Thread(target=poll, daemon=True)
        poller.start()
        self.addCleanup(poller.join, 10)
        self.addCleanup(polling.clear)
        time.sleep(1)
        printer.status = {1: DRAWER_OPEN, 2: 0x12, 3: 0x12, 4: 0x12}
        opened = time.monotonic()
        alert = next_alert(events)
        self.assertEqual((alert["type"], alert["rule"], alert["seconds"]), ("drawer_open", "drawer", 30))
        self.assertIsNone(alert["till"])
        self.assertGreaterEqual(time.monotonic() - opened, 29.9)
        time.sleep(max(0.0, opened + 31 - time.monotonic()))
        printer.status = {1: DRAWER_SHUT, 2: 0x12, 3: 0x12, 4: 0x12}
        alert = next_alert(events)
        self.assertEqual((alert["type"], alert["rule"]), ("drawer_closed", "drawer"))
        self.assertGreaterEqual(alert["seconds"], 30.7)
        self.assertLess(alert["seconds"], 32)
        self.assertTrue(wait_until(lambda: 'tavrik_rule_matches_total{rule="drawer"} 1\n' in get(self.web_port, "/metrics")))
        # Observed only: the printer got the POS's polls and nothing else.
        self.assertEqual(bytes(printer.received).replace(b"\x10\x04\x01", b""), b"")


if __name__ == "__main__":
    unittest.main()
