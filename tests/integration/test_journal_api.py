"""The journal's search, export and history on the web port (-w with a
[journal] in the outputs file), against the real binary after a restart."""
import csv
import io
import json
import os
import shutil
import socket
import tempfile
import time
import unittest
import urllib.error
import urllib.request

from relay import RelayTestCase, free_port, wait_until

ESC_I = b"\x1bi"  # a paper cut: with -u it ends the frame
REFUNDS = [seq for seq in range(1, 1001) if seq % 27 == 0]  # 37 of them


def receipt(seq):
    return b"RECEIPT %05d%s\n" % (seq, b" REFUND" if seq % 27 == 0 else b"") + ESC_I


def _connect(port):
    try:
        return socket.create_connection(("127.0.0.1", port), timeout=5)
    except OSError:
        return None


class JournalApiTest(RelayTestCase):
    def start(self, relay):
        relay.start()
        source = wait_until(lambda: _connect(self.source_port), timeout=15)
        self.assertTrue(source, "source port never opened")
        self.addCleanup(source.close)
        return source

    def get(self, target, headers=None):
        """Status, content type and body of a GET."""
        request = urllib.request.Request(f"http://127.0.0.1:{self.web_port}{target}", headers=headers or {})
        try:
            with urllib.request.urlopen(request, timeout=15) as answer:
                return answer.status, answer.headers["Content-Type"], answer.read()
        except urllib.error.HTTPError as error:
            return error.code, error.headers["Content-Type"], error.read()

    def written(self):
        return self.get("/status")[2] and json.loads(self.get("/status")[2])["journal"]["written"]

    def setUp(self):
        folder = tempfile.mkdtemp(prefix="tavrik_journal_api_")
        self.addCleanup(shutil.rmtree, folder, True)
        self.source_port, self.web_port = free_port(), free_port()
        self.relay_ = self.relay("-l", "-t", self.source_port, "-u", "-w", self.web_port, "-k", "outputs.toml",
                                 start=False)
        with open(self.relay_.path("outputs.toml"), "w") as f:
            f.write('[journal]\npath = "%s"\n' % os.path.join(folder, "j.db"))
            f.write('[[rule]]\nname = "refund"\nmatch = "REFUND"\n')
        source = self.start(self.relay_)
        source.sendall(b"".join(receipt(seq) for seq in range(1, 1001)))
        self.assertTrue(wait_until(lambda: self.written() >= 1000, timeout=30), "the journal never wrote 1000")
        self.assertEqual(self.relay_.stop(), 0)
        self.source = self.start(self.relay_)
        self.relay_.wait_log("receipts numbered from 1001.")

    def test_search_export_one_receipt_and_errors_after_a_restart(self):
        status, kind, body = self.get("/api/receipts?q=refund&limit=100")
        self.assertEqual((status, kind), (200, "application/json"))
        page = json.loads(body)
        self.assertEqual([r["seq"] for r in page["receipts"]], REFUNDS[::-1])
        self.assertIsNone(page["next"])
        first = page["receipts"][-1]
        self.assertEqual(first["text"], "RECEIPT 00027 REFUND\n")
        self.assertEqual(set(first), {"seq", "time", "epochMs", "text", "cut", "drawer", "codes", "rules"})

        hits = json.loads(self.get("/api/receipts?rule=refund&limit=100")[2])["receipts"]
        self.assertEqual([(r["seq"], r["rules"]) for r in hits], [(seq, ["refund"]) for seq in REFUNDS[::-1]])
        self.assertEqual(json.loads(self.get("/api/receipts/500")[2])["rules"], [])

        status, kind, body = self.get("/api/receipts.csv?q=refund")
        self.assertEqual((status, kind), (200, "text/csv; charset=utf-8"))
        self.assertEqual(len(body.decode().splitlines()), 38 + 37)  # each text ends its line inside the quotes
        rows = list(csv.reader(io.StringIO(body.decode(), newline="")))
        self.assertEqual(rows[0], ["seq", "time", "epoch_ms", "cut", "text"])
        self.assertEqual(len(rows), 38)
        self.assertEqual(rows[-1][0::4], ["27", "RECEIPT 00027 REFUND\n"])

        seqs, before = [], ""
        for _ in range(30):
            page = json.loads(self.get(f"/api/receipts?limit=400{before}")[2])
            seqs += [r["seq"] for r in page["receipts"]]
            if page["next"] is None:
                break
            before = "&before=%d" % page["next"]
        self.assertEqual(seqs, list(range(1000, 0, -1)))

        self.assertEqual(self.get("/api/receipts/500.txt"), (200, "text/plain; charset=utf-8", b"RECEIPT 00500\n"))
        self.assertEqual(json.loads(self.get("/api/receipts/500")[2])["seq"], 500)
        status, kind, body = self.get("/api/receipts/5000")
        self.assertEqual((status, kind), (404, "application/json"))
        self.assertIn("error", json.loads(body))
        for malformed in ["q=%22open", "q=-refund", "limit=9999", "from=2026-02-30", "before=x", "q=%ZZ"]:
            status, kind, body = self.get("/api/receipts?" + malformed)
            self.assertEqual((status, kind), (400, "application/json"), malformed)
            self.assertIn("error", json.loads(body))
        self.assertEqual(self.get("/status")[0], 200)  # the relay goes on

    def test_a_viewer_back_with_an_old_id_gets_the_missed_receipts_from_the_journal(self):
        self.source.sendall(b"".join(receipt(seq) for seq in range(1001, 1061)))
        self.assertTrue(wait_until(lambda: self.written() >= 60, timeout=30))
        viewer = socket.create_connection(("127.0.0.1", self.web_port), timeout=15)
        self.addCleanup(viewer.close)
        viewer.sendall(b"GET /receipts HTTP/1.1\r\nLast-Event-ID: 950\r\n\r\n")
        received = b""
        deadline = time.monotonic() + 30
        while b"\nid: 1060\n" not in received and time.monotonic() < deadline:
            received += viewer.recv(65536)
        self.source.sendall(receipt(1061))
        while b"\nid: 1061\n" not in received and time.monotonic() < deadline:
            received += viewer.recv(65536)
        ids = [int(line[4:]) for line in received.split(b"\n") if line.startswith(b"id: ")]
        self.assertEqual(ids, list(range(951, 1062)))


if __name__ == "__main__":
    unittest.main()
