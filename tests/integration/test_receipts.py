"""One receipt per job on every consumer: the viewers' /receipts, MQTT and a
TCP recorder number and count the same receipts, a job's trailing feeds make
no receipt of their own, the facts of an encoder library's receipt reach the
JSON, and a corrupt length costs at most its own receipt's text."""
import json
import os
import re
import shutil
import socket
import time
import unittest

from relay import RelayTestCase, free_port
from test_outputs import Broker, Subscriber, read_until
from test_web import EventStream
from traffic import connect

GS = b"\x1d"
ESC = b"\x1b"
CUTS = {"GS V 0": GS + b"V\x00", "GS V 1": GS + b"V\x01", "GS V 65 3": GS + b"VA\x03",
        "GS V 66 0": GS + b"VB\x00", "ESC i": ESC + b"i"}
SHOP = os.path.join(os.path.dirname(__file__), "..", "unit", "receipt", "data", "shop.prn")
# A receipt drawn in Courier at 203 dpi, as a POS that prints images draws it (PBM, P4).
IMAGE_RECEIPT = os.path.join(os.path.dirname(__file__), "..", "data", "void-receipt.pbm")
# GS ( k with a length of 65535: a block that swallows the rest of its job.
GARBAGE = GS + b"(k\xff\xff"


def job(name, cut):
    return ESC + b"@Receipt " + name.encode() + b"\nCoffee 2.50\n" + cut


@unittest.skipUnless(shutil.which("mosquitto") and shutil.which("mosquitto_sub"), "mosquitto not installed")
class ReceiptsTest(RelayTestCase):
    def setUp(self):
        broker_port = free_port()
        broker = Broker(broker_port)
        broker.start()
        self.addCleanup(broker.stop)
        self.mqtt = Subscriber(broker_port, "store1")
        self.addCleanup(self.mqtt.close)
        recorder = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(recorder.close)
        self.source_port = free_port()
        web_port = free_port()
        relay = self.relay("-l", "-t", self.source_port, "-u", "-w", f"127.0.0.1:{web_port}", "-k", "outputs.toml",
                           start=False)
        with open(relay.path("outputs.toml"), "w") as f:
            f.write(f'[mqtt]\nhost = "127.0.0.1"\nport = {broker_port}\ntopic = "store1"\n\n'
                    f'[[recorder]]\nhost = "127.0.0.1"\nport = {recorder.getsockname()[1]}\n'
                    'start = "START"\nend = "END"\n')
        relay.start()
        relay.wait_listening()
        self.relay_process = relay.process
        self.mqtt.wait_for("store1/status online")
        recorder.settimeout(15)
        self.recorder, _ = recorder.accept()
        self.addCleanup(self.recorder.close)
        self.client = self.stream(relay)
        self.events = EventStream(web_port)
        self.addCleanup(self.events.close)

    def send_job(self, data):
        """Connect, send, close: one job, as a POS prints it."""
        pos = connect(self.source_port)
        pos.sendall(data)
        pos.close()

    def next_receipt(self):
        """The next receipt on /receipts and on MQTT, checked to be the same one."""
        seq, event = self.events.next_receipt()
        while True:
            topic, payload = self.mqtt.next().split(" ", 1)
            if topic == "store1/receipt":
                break
        document = json.loads(payload)
        self.assertEqual(seq, event["seq"])
        self.assertEqual(document["seq"], seq)
        self.assertNotIn("raw", document)  # the printer's bytes only with raw = true
        # The same fields on both; "cut" says on MQTT that cut detection
        # ended the frame, on /receipts that the frame holds a cut.
        document.pop("cut")
        self.assertEqual(document, {k: v for k, v in event.items() if k != "cut"})
        return event

    def test_each_job_is_one_receipt_numbered_alike_everywhere(self):
        jobs = [(name, job(name, cut)) for name, cut in CUTS.items()]
        started = time.time() * 1000
        receipts = []
        for name, data in jobs:
            # The cut's trailing feeds are a frame of their own on the client port, and no receipt.
            feeds = b"\n\n" if name == "GS V 1" else b""
            self.send_job(data + feeds)
            self.assertEqual(self.client.next_frame(timeout=10), data, name)
            if feeds:
                self.assertEqual(self.client.next_frame(timeout=10), feeds)
            receipts.append(self.next_receipt())
        first = receipts[0]["seq"]
        self.assertEqual([r["seq"] for r in receipts], list(range(first, first + len(jobs))))
        for (name, data), receipt in zip(jobs, receipts):
            self.assertEqual(receipt["text"], f"Receipt {name}\nCoffee 2.50\n")
            self.assertEqual((receipt["bytes"], receipt["cut"]), (len(data), True))
            self.assertRegex(receipt["utcOffset"], r"^[+-]\d\d:\d\d$")
            self.assertLess(abs(receipt["epochMs"] - started), 60000)
            self.assertNotIn("drawer", receipt)
        # The recorder's text carries no number: the same receipts, in the same order.
        expected = b"".join(b"START\r\nReceipt %s\r\nCoffee 2.50\r\nEND\r\n" % name.encode() for name in CUTS)
        self.assertEqual(read_until(self.recorder, len(expected)), expected)
        self.recorder.settimeout(0.5)
        with self.assertRaises(TimeoutError):
            self.recorder.recv(1)

    def test_an_encoder_librarys_receipt_shows_every_fact(self):
        with open(SHOP, "rb") as f:
            shop = f.read()
        self.send_job(shop)
        # The library ends the job with a line feed behind the cut: a frame, no receipt.
        self.assertEqual(shop[-5:], GS + b"V\x00\n\r")
        self.assertEqual(self.client.next_frame(timeout=10), shop[:-2])
        self.assertEqual(self.client.next_frame(timeout=10), b"\n\r")
        receipt = self.next_receipt()
        self.assertEqual(receipt["text"], "\nShop 12\nTOTAL 9.99\n\n\n\n\n")  # the last line feed is behind the cut
        self.assertEqual(receipt["drawer"], [{"pin": 2, "onMs": 100, "offMs": 500}])
        self.assertEqual(receipt["codes"], [{"symbology": "CODE128", "data": "{BR-0042"},
                                            {"symbology": "QR", "data": "https://example.com/r/42"},
                                            {"symbology": "PDF417", "data": "TILL 3 RECEIPT 42"}])
        self.assertEqual(receipt["images"], [{"kind": "raster", "width": 48, "height": 16}])

    def test_a_corrupt_length_costs_at_most_its_own_receipts_text(self):
        jobs = [b"Before\n" + GS + b"V\x00",
                b"Corrupt\n" + GARBAGE + b"lost\n" + GS + b"V\x00",
                b"After\n" + GS + b"V\x00"]
        texts = []
        for data in jobs:
            self.send_job(data)
            self.assertEqual(self.client.next_frame(timeout=10), data)
            texts.append(self.next_receipt()["text"])
        self.assertEqual(texts, ["Before\n", "Corrupt\n", "After\n"])
        # Nothing stray between: the next receipt is the next job's.
        self.send_job(b"Last\n" + ESC + b"i")
        self.assertEqual(self.next_receipt()["text"], "Last\n")

    @unittest.skipUnless(shutil.which("tesseract") or os.path.exists("/usr/share/tesseract-ocr"),
                         "Tesseract's language data not installed")
    def test_a_receipt_printed_as_an_image_gets_its_text_read(self):
        with open(IMAGE_RECEIPT, "rb") as f:
            header = [f.readline() for _ in range(3)]
            bits = f.read()
        width, height = map(int, header[2].split())
        raster = GS + b"v0\x00" + bytes([width // 8 % 256, width // 8 // 256, height % 256, height // 256]) + bits
        data = ESC + b"@" + raster + GS + b"V\x00"
        self.send_job(data)
        self.assertEqual(self.client.next_frame(timeout=10), data)  # the clients do not wait for the reading
        receipt = self.next_receipt()
        self.assertIs(receipt.get("ocr"), True)
        self.assertIn("VOID 4.99", receipt["text"])
        self.assertIn("MUFFIN 2.25", receipt["text"])
        self.assertEqual(receipt["images"], [{"kind": "raster", "width": width, "height": height}])
        # It restarted itself for a single engine thread and kept its name.
        pid = self.relay_process.pid
        with open(f"/proc/{pid}/environ", "rb") as f:
            self.assertIn(b"OMP_THREAD_LIMIT=1", f.read().split(b"\0"))
        with open(f"/proc/{pid}/comm") as f:
            self.assertEqual(f.read().strip(), "TavrikSrv")
        recorded = b""
        while b"END\r\n" not in recorded:
            chunk = read_until(self.recorder, 1)
            self.assertTrue(chunk, recorded)
            recorded += chunk
        self.assertIn(b"VOID 4.99", recorded)
        # Receipts after it still come in order, with their own text.
        self.send_job(b"Plain\n" + GS + b"V\x00")
        self.assertEqual(self.next_receipt()["text"], "Plain\n")


if __name__ == "__main__":
    unittest.main()
