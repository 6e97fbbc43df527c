"""The receipt journal ([journal] in the outputs file) against the real binary:
numbers going on across restarts, durability after kill -9, and outages of
the file (removed, read-only, disk full) while receipts flow."""
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.request

from relay import RelayTestCase, free_port, wait_until
from test_receipts import IMAGE_RECEIPT

ESC_I = b"\x1bi"  # a paper cut: with -u it ends the frame


def receipt(seq):
    return b"RECEIPT %05d%s\n" % (seq, b" REFUND" if seq % 27 == 0 else b"") + ESC_I


def sqlite(db, sql):
    if not shutil.which("sqlite3"):
        raise unittest.SkipTest("the sqlite3 command-line tool is missing")
    return subprocess.run(["sqlite3", db, sql], check=True, capture_output=True, text=True, timeout=30).stdout.strip()


def _connect(port):
    try:
        return socket.create_connection(("127.0.0.1", port), timeout=5)
    except OSError:
        return None


class JournalTestCase(RelayTestCase):
    def start(self, db, relay=None):
        """A relay taking frames from a TCP source (cut detection) with a journal at db; returns it and the source."""
        if relay is None:
            self.source_port, self.web_port = free_port(), free_port()
            relay = self.relay("-l", "-t", self.source_port, "-u", "-w", self.web_port, "-k", "outputs.toml",
                               debug_level=10, start=False)
            with open(relay.path("outputs.toml"), "w") as f:
                f.write('[journal]\npath = "%s"\n' % db)
        relay.start()
        source = wait_until(lambda: _connect(self.source_port), timeout=15)
        self.assertTrue(source, "source port never opened")
        self.addCleanup(source.close)
        return relay, source

    def journal_status(self):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.web_port}/status", timeout=5) as answer:
            return json.load(answer)["journal"]

    def wait_written(self, count, timeout=20):
        if not wait_until(lambda: self.journal_status()["written"] >= count, timeout):
            self.fail(f"journal never wrote {count}: {self.journal_status()}")


class SequenceTest(JournalTestCase):
    def test_a_thousand_receipts_then_a_restart_the_numbers_go_on(self):
        folder = tempfile.mkdtemp(prefix="tavrik_journal_")
        self.addCleanup(shutil.rmtree, folder, True)
        db = os.path.join(folder, "j.db")
        relay, source = self.start(db)
        source.sendall(b"".join(receipt(seq) for seq in range(1, 1001)))
        self.wait_written(1000)
        self.assertEqual(relay.stop(), 0)
        self.assertEqual(sqlite(db, "SELECT count(*), min(seq), max(seq) FROM receipts"), "1000|1|1000")
        self.assertEqual(sqlite(db, "SELECT count(*) FROM receipts_text WHERE receipts_text MATCH 'refund'"), "37")
        self.assertEqual(sqlite(db, "SELECT text FROM receipts WHERE seq = 27"), "RECEIPT 00027 REFUND")

        relay, source = self.start(db, relay)
        relay.wait_log("Journal: %s, receipts numbered from 1001." % db)
        source.sendall(receipt(1001))
        self.wait_written(1)
        self.assertEqual(self.journal_status()["lastSeq"], 1001)
        self.assertEqual(sqlite(db, "SELECT seq FROM receipts WHERE text LIKE 'RECEIPT 01001%'"), "1001")

    def test_kill_9_a_moment_after_a_burst_loses_nothing(self):
        folder = tempfile.mkdtemp(prefix="tavrik_journal_")
        self.addCleanup(shutil.rmtree, folder, True)
        db = os.path.join(folder, "j.db")
        relay, source = self.start(db)
        source.sendall(b"".join(receipt(seq) for seq in range(1, 201)))
        time.sleep(1.5)
        relay.process.send_signal(signal.SIGKILL)
        relay.process.wait(10)
        self.assertEqual(sqlite(db, "SELECT count(*), max(seq) FROM receipts"), "200|200")
        relay, source = self.start(db, relay)
        relay.wait_log("receipts numbered from 201.")

    def test_a_path_that_cannot_hold_a_journal_stops_the_start_with_status_2(self):
        folder = tempfile.mkdtemp(prefix="tavrik_journal_")
        self.addCleanup(shutil.rmtree, folder, True)
        garbage = os.path.join(folder, "garbage.db")
        with open(garbage, "wb") as f:
            f.write(bytes(range(256)) * 20)
        cases = [(os.path.join(folder, "none", "j.db"), "folder %s/none does not exist" % folder),
                 (folder, "is a folder"),
                 (garbage, "cannot open %s: the file is corrupt or no journal" % garbage)]
        self.assert_start_refused(cases)

    def test_a_read_only_folder_stops_the_start_with_status_2(self):
        # Root may write anywhere but on a read-only file system.
        folder = tempfile.mkdtemp(prefix="tavrik_journal_")
        self.addCleanup(shutil.rmtree, folder, True)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "ro,size=1m", "tmpfs", folder],
                                 capture_output=True, text=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: " + mounted.stderr.strip())
        self.addCleanup(subprocess.run, ["umount", "-l", folder], capture_output=True)
        self.assert_start_refused([(os.path.join(folder, "j.db"), "folder %s cannot be written" % folder)])

    def assert_start_refused(self, cases):
        for path, problem in cases:
            relay = self.relay("-k", "outputs.toml", start=False)
            with open(relay.path("outputs.toml"), "w") as f:
                f.write('# the journal\n[journal]\npath = "%s"\n' % path)
            relay.start()
            self.assertEqual(relay.process.wait(10), 2)
            self.assertEqual(relay.stderr(), b"outputs.toml:3: journal.path: %s\n" % problem.encode())


class ImageReceiptTest(JournalTestCase):
    @unittest.skipUnless(shutil.which("tesseract") or os.path.exists("/usr/share/tesseract-ocr"),
                         "Tesseract's language data not installed")
    def test_a_journal_alone_keeps_the_text_read_from_a_receipt_printed_as_an_image(self):
        folder = tempfile.mkdtemp(prefix="tavrik_journal_")
        self.addCleanup(shutil.rmtree, folder, True)
        db = os.path.join(folder, "j.db")
        self.source_port = free_port()
        relay = self.relay("-l", "-t", self.source_port, "-u", "-k", "outputs.toml", start=False)  # no web port
        with open(relay.path("outputs.toml"), "w") as f:
            f.write('[journal]\npath = "%s"\n' % db)
        relay, source = self.start(db, relay)
        with open(IMAGE_RECEIPT, "rb") as f:
            header = [f.readline() for _ in range(3)]
            bits = f.read()
        width, height = map(int, header[2].split())
        source.sendall(b"\x1b@\x1dv0\x00" + bytes([width // 8 % 256, width // 8 // 256, height % 256, height // 256])
                       + bits + b"\x1dV\x00")
        self.assertTrue(wait_until(lambda: sqlite(db, "SELECT count(*) FROM receipts") == "1", timeout=30))
        self.assertIn("VOID 4.99", sqlite(db, "SELECT text FROM receipts"))
        self.assertEqual(relay.stop(), 0)


class Flow:
    """Receipts fed at a steady pace, and a stream client counting the frames it gets."""

    def __init__(self, source, client):
        self.source, self.client = source, client
        self.sent = self.received = 0
        self.running = True
        self.threads = [threading.Thread(target=self._feed, daemon=True),
                        threading.Thread(target=self._read, daemon=True)]
        for thread in self.threads:
            thread.start()

    def _feed(self):
        while self.running:
            self.source.sendall(receipt(self.sent + 1))
            self.sent += 1
            time.sleep(0.02)

    def _read(self):
        try:
            while True:
                self.client.next_frame()
                self.received += 1
        except (OSError, EOFError, AssertionError):
            pass  # the stream closed at the test's end, or stalled: stop() tells

    def pause(self):
        self.running = False
        self.threads[0].join(5)

    def resume(self):
        self.running = True
        self.threads[0] = threading.Thread(target=self._feed, daemon=True)
        self.threads[0].start()

    def stop(self):
        self.running = False
        self.threads[0].join(5)
        if not wait_until(lambda: self.received == self.sent, 20):
            raise AssertionError(f"clients got {self.received} of {self.sent} frames")


class OutageTest(JournalTestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tavrik_journal_")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.db = os.path.join(self.folder, "j.db")

    def mount_tmpfs(self, size="4m"):
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", self.folder],
                                 capture_output=True, text=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: " + mounted.stderr.strip())
        self.addCleanup(subprocess.run, ["umount", "-l", self.folder], capture_output=True)

    def flowing(self):
        relay, source = self.start(self.db)
        client = self.stream(relay)
        flow = Flow(source, client)
        self.addCleanup(setattr, flow, "running", False)
        self.wait_written(10)
        return relay, flow

    def outage(self, relay, reason):
        relay.wait_log("Journal: cannot write %s: %s." % (self.db, reason))
        if not wait_until(lambda: self.journal_status()["state"] == "failing", 10):
            self.fail(f"status never showed the outage: {self.journal_status()}")
        status = self.journal_status()
        self.assertEqual(status["path"], self.db)
        return status

    def mended(self, relay, flow):
        relay.wait_log("Journal: writing %s again." % self.db)
        flow.stop()
        self.wait_written(1)
        if not wait_until(lambda: self.journal_status()["queued"] == 0 and self.journal_status()["state"] == "ok", 20):
            self.fail(f"journal never caught up: {self.journal_status()}")
        self.assertEqual(sum("Journal: cannot write" in m for m in relay.messages()), 1)
        self.assertEqual(self.journal_status()["dropped"], 0)

    def test_a_removed_file_is_created_again_with_everything_since(self):
        relay, flow = self.flowing()
        os.remove(self.db)
        removed_at = flow.sent
        # Failing for a second, until the retry creates the file again.
        self.assertTrue(wait_until(lambda: self.journal_status()["error"] == "the file was removed", 10, 0.01),
                        "status never showed the removed file")
        relay.wait_log("Journal: cannot write %s: the file was removed." % self.db)
        self.mended(relay, flow)
        first, last, count = map(int, sqlite(self.db, "SELECT min(seq), max(seq), count(*) FROM receipts").split("|"))
        self.assertLessEqual(first, removed_at + 1)
        self.assertEqual((last, count), (flow.sent, last - first + 1))

    def test_disk_full_then_space_freed(self):
        self.mount_tmpfs()
        relay, flow = self.flowing()
        with open(os.path.join(self.folder, "filler"), "wb") as filler:
            try:
                while True:
                    filler.write(b"\0" * 65536)
                    filler.flush()
            except OSError:
                pass
        status = self.outage(relay, "disk full")
        self.assertEqual(status["error"], "disk full")
        os.remove(os.path.join(self.folder, "filler"))
        self.mended(relay, flow)
        self.assertEqual(sqlite(self.db, "SELECT count(*), min(seq), max(seq) FROM receipts"),
                         f"{flow.sent}|1|{flow.sent}")

    def test_a_read_only_file_system_then_writable_again(self):
        self.mount_tmpfs()
        relay, flow = self.flowing()
        # A file system cannot turn read-only under open files by hand: the
        # folder gets a read-only file system of its own, holding the journal.
        flow.pause()
        self.wait_written(flow.sent)
        copy = tempfile.mkdtemp(prefix="tavrik_journal_copy_")
        self.addCleanup(shutil.rmtree, copy, True)
        for name in os.listdir(self.folder):
            shutil.copy2(os.path.join(self.folder, name), copy)
        subprocess.run(["umount", "-l", self.folder], check=True)
        self.mount_tmpfs()
        for name in os.listdir(copy):
            shutil.copy2(os.path.join(copy, name), self.folder)
        subprocess.run(["mount", "-o", "remount,ro", self.folder], check=True)
        flow.resume()
        wait_until(lambda: self.journal_status()["error"] == "read-only", 10)
        status = self.outage(relay, "the file was removed")
        self.assertEqual(status["error"], "read-only")
        self.assertGreater(status["queued"], 0)
        subprocess.run(["mount", "-o", "remount,rw", self.folder], check=True)
        self.mended(relay, flow)
        self.assertEqual(sqlite(self.db, "SELECT count(*), min(seq), max(seq) FROM receipts"),
                         f"{flow.sent}|1|{flow.sent}")


if __name__ == "__main__":
    unittest.main()
