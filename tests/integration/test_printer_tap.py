"""The relay on a network printer's path: -o passes each POS connection
through to a scripted printer on loopback, -v answers status queries itself,
and a POS's job reaches the clients when its connection ends."""
import json
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.request

from relay import RelayTestCase, free_port, wait_until
from traffic import connect, rss_kb, sanitized

CUT = b"\x1dV"
ALL_BYTES = bytes(range(256))
HEALTHY = {1: 0x16, 2: 0x12, 3: 0x12, 4: 0x12}
PAPER_END = {1: 0x1E, 2: 0x32, 3: 0x12, 4: 0x7E}


class ScriptedPrinter(threading.Thread):
    """A network printer on loopback: records every byte of every connection
    and answers DLE EOT n and GS r 1 (paper sensors: paper present) as a real
    one does, wherever the three bytes fall in the stream. Reading can be
    stopped, as a printer out of paper does."""

    def __init__(self):
        super().__init__(daemon=True)
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.status = HEALTHY
        self.received = bytearray()
        self.replies = bytearray()
        self.connections = 0
        self.reading = threading.Event()
        self.reading.set()
        self.closed = threading.Event()  # the current connection ended

    def run(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            self.connections += 1
            self.closed.clear()
            with conn:
                self._serve(conn)
            self.closed.set()

    def _serve(self, conn):
        tail = b""
        while True:
            self.reading.wait()
            data = conn.recv(65536)
            if not data:
                return
            self.received += data
            stream = tail + data
            for i in range(max(len(tail), 2), len(stream)):
                reply = self._answer(stream[i - 2:i + 1])
                if reply:
                    self.replies += reply
                    conn.sendall(reply)
            tail = stream[-2:]

    def _answer(self, query):
        if query[:2] == b"\x10\x04" and query[2] in self.status:
            return bytes([self.status[query[2]]])
        if query in (b"\x1dr\x01", b"\x1dr1"):
            return b"\x00"
        return None

    def close(self):
        self.reading.set()
        self.listener.close()


def read_until_closed(sock, timeout=10):
    sock.settimeout(timeout)
    got = bytearray()
    while True:
        try:
            data = sock.recv(65536)
        except ConnectionResetError:
            return bytes(got)
        if not data:
            return bytes(got)
        got += data


def ask(sock, n):
    """Sends DLE EOT n and returns the one-byte answer."""
    sock.sendall(bytes([0x10, 0x04, n]))
    sock.settimeout(10)
    return sock.recv(1)


class PassThroughTest(RelayTestCase):
    def setUp(self):
        self.printer = ScriptedPrinter()
        self.printer.start()
        self.addCleanup(self.printer.close)
        self.source_port = free_port()

    def tap(self, *args):
        relay = self.relay("-l", "-t", self.source_port, "-o", f"127.0.0.1:{self.printer.port}", *args)
        relay.wait_listening()
        return relay

    def test_bytes_pass_unchanged_both_ways_frames_reach_clients_and_status_is_logged(self):
        web = free_port()
        relay = self.tap("-u", "-w", f"127.0.0.1:{web}")
        client = self.stream(relay)
        pos = connect(self.source_port)
        self.assertEqual(ask(pos, 4), b"\x12")
        self.printer.status = PAPER_END
        self.assertEqual(ask(pos, 4), b"\x7e")
        with urllib.request.urlopen(f"http://127.0.0.1:{web}/status", timeout=5) as answer:
            self.assertIn("paper end", json.load(answer)["printerStatus"])
        job = b"RECEIPT\n" + ALL_BYTES * 64 + CUT + b"tail after the cut\n"
        pos.sendall(job)
        pos.shutdown(socket.SHUT_WR)  # the job ends; replies still come back
        self.assertEqual(read_until_closed(pos), b"")
        pos.close()
        sent = b"\x10\x04\x04" * 2 + job
        self.assertTrue(wait_until(lambda: len(self.printer.received) >= len(sent)))
        self.assertEqual(bytes(self.printer.received), sent)
        self.assertEqual(bytes(self.printer.replies), b"\x12\x7e")
        frames = [client.next_frame(), client.next_frame()]  # the cut, then the job's end
        self.assertEqual(b"".join(frames), sent)
        self.assertTrue(frames[0].endswith(CUT))
        self.assertEqual(relay.stop(), 0)
        messages = relay.messages()
        self.assertEqual(messages.count("Printer status: paper end"), 1)
        self.assertEqual(messages.count("Printer status: paper near end"), 1)

    def test_stalled_printer_holds_the_pos_back_in_bounded_memory_and_loses_nothing(self):
        relay = self.tap()
        pos = connect(self.source_port)
        ask(pos, 1)  # the printer link is up
        time.sleep(0.3)
        if sanitized(relay.process.pid):
            self.skipTest("AddressSanitizer's quarantine makes RSS meaningless")
        baseline = rss_kb(relay.process.pid)
        self.printer.reading.clear()
        total = 64 << 20
        block = bytes(i * 7 % 251 for i in range(1 << 16))
        progress = {"sent": 0}

        def feed():
            for _ in range(total // len(block)):
                pos.sendall(block)
                progress["sent"] += len(block)
        feeder = threading.Thread(target=feed, daemon=True)
        feeder.start()
        time.sleep(1.5)
        held_at = progress["sent"]
        time.sleep(1.0)
        self.assertEqual(progress["sent"], held_at)  # the POS is blocked
        self.assertLess(held_at, total)
        grown = rss_kb(relay.process.pid) - baseline
        self.assertLess(grown, 8 * 1024, f"RSS grew by {grown} KiB while the printer stalled")
        self.printer.reading.set()
        feeder.join(60)
        self.assertFalse(feeder.is_alive())
        pos.shutdown(socket.SHUT_WR)
        read_until_closed(pos)
        pos.close()
        expected = b"\x10\x04\x01" + block * (total // len(block))
        self.assertTrue(wait_until(lambda: len(self.printer.received) >= len(expected), 30))
        self.assertTrue(bytes(self.printer.received) == expected)

    def test_printer_down_closes_the_pos_connection_within_a_second(self):
        down = free_port()
        relay = self.relay("-l", "-t", self.source_port, "-o", f"127.0.0.1:{down}")
        relay.wait_listening()
        pos = connect(self.source_port)
        started = time.monotonic()
        read_until_closed(pos, timeout=5)
        self.assertLess(time.monotonic() - started, 1.0)
        pos.close()
        relay.wait_log(f"Printer 127.0.0.1:{down} unreachable: 111 - Connection refused")

    def test_switches_that_do_not_apply_are_ignored_with_one_line(self):
        relay = self.relay("-a", "127.0.0.1", "-t", self.source_port, "-o", "127.0.0.1", "-v")
        relay.wait_log("Printer pass-through (-o) works with the TCP listener source (-l -t N) only: ignored.")
        relay.wait_log("Status answers (-v) are off while a printer answers (-o): ignored.")


class StatusAnswerTest(RelayTestCase):
    def test_pos_that_queries_before_printing_gets_answers_and_its_receipt_reaches_clients(self):
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-v", "-u")
        relay.wait_listening()
        client = self.stream(relay)
        pos = connect(source_port)
        self.assertEqual([ask(pos, n) for n in (1, 2, 3, 4)], [b"\x16", b"\x12", b"\x12", b"\x12"])
        pos.sendall(b"RECEIPT\n" + CUT)
        pos.close()
        queries = b"".join(bytes([0x10, 0x04, n]) for n in (1, 2, 3, 4))
        self.assertEqual(client.next_frame(), queries + b"RECEIPT\n" + CUT)

    def test_without_v_nothing_is_written_to_the_pos(self):
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port)
        relay.wait_listening()
        pos = connect(source_port)
        pos.sendall(b"\x10\x04\x01")
        pos.settimeout(1)
        with self.assertRaises(socket.timeout):
            pos.recv(1)
        pos.close()


class JobEndTest(RelayTestCase):
    """A POS that connects, sends one job and closes: the receipt must not
    wait for the next job."""

    def jobs(self, source_port, *jobs):
        for job in jobs:
            pos = connect(source_port)
            pos.sendall(job)
            pos.close()
            time.sleep(0.5)

    def test_each_job_is_its_own_frame_at_once(self):
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-f", 500)
        relay.wait_listening()
        client = self.stream(relay)
        started = time.monotonic()
        self.jobs(source_port, b"RECEIPT ONE\n", b"RECEIPT TWO\n")
        self.assertEqual(client.next_frame(timeout=3), b"RECEIPT ONE\n")
        self.assertEqual(client.next_frame(timeout=3), b"RECEIPT TWO\n")
        self.assertLess(time.monotonic() - started, 3)

    def test_with_cut_detection_the_bytes_after_the_last_cut_end_with_the_job(self):
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-f", 500, "-u")
        relay.wait_listening()
        client = self.stream(relay)
        self.jobs(source_port, b"ONE\n" + CUT + b"ONE cut off\n", b"TWO\n" + CUT)
        self.assertEqual(client.next_frame(timeout=3), b"ONE\n" + CUT)
        self.assertEqual(client.next_frame(timeout=3), b"ONE cut off\n")
        self.assertEqual(client.next_frame(timeout=3), b"TWO\n" + CUT)


class BackToBackTest(RelayTestCase):
    """Jobs sent back to back (connect, send, close, connect again at once)
    through the printer tap: none refused or reset, each its own frame."""

    JOBS = [b"JOB %03d\n" % n + ALL_BYTES * (n % 3) + b"END\n" for n in range(100)]

    def frames(self, client):
        return [client.next_frame(timeout=15) for _ in self.JOBS]

    def test_every_job_reaches_the_printer_in_order(self):
        printer = ScriptedPrinter()
        printer.start()
        self.addCleanup(printer.close)
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-f", 5000, "-o", f"127.0.0.1:{printer.port}")
        relay.wait_listening()
        client = self.stream(relay)
        for job in self.JOBS:
            with socket.create_connection(("127.0.0.1", source_port), timeout=5) as pos:
                pos.sendall(job)
        self.assertEqual(self.frames(client), self.JOBS)
        expected = b"".join(self.JOBS)
        self.assertTrue(wait_until(lambda: len(printer.received) >= len(expected), 30))
        self.assertEqual(bytes(printer.received), expected)
        self.assertEqual(printer.connections, 100)

    def test_every_status_query_is_answered_also_after_a_half_close(self):
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-f", 5000, "-v")
        relay.wait_listening()
        client = self.stream(relay)
        answers = []
        for job in self.JOBS:
            with socket.create_connection(("127.0.0.1", source_port), timeout=5) as pos:
                pos.sendall(b"\x10\x04\x01" + job)
                pos.shutdown(socket.SHUT_WR)  # as a print spooler does, then it reads the back channel
                answers.append(read_until_closed(pos, timeout=5))
        self.assertEqual(answers, [b"\x16"] * 100)
        self.assertEqual(self.frames(client), [b"\x10\x04\x01" + job for job in self.JOBS])


class ReceiptioTest(RelayTestCase):
    """receiptio (npm), a POS-side library that checks the printer's status
    before it prints, used as a shop would: against the relay with -v."""

    @classmethod
    def setUpClass(cls):
        npm = shutil.which("npm")
        node = shutil.which("node")
        if not npm or not node:
            raise unittest.SkipTest("npm or node is not installed")
        cls.folder = tempfile.mkdtemp(prefix="tavrik_npm_")
        install = subprocess.run([npm, "install", "--prefix", cls.folder, "--no-audit", "--no-fund",
                                  "receiptio@2"], capture_output=True, timeout=300)
        cls.cli = os.path.join(cls.folder, "node_modules", "receiptio", "bin", "cli.js")
        if install.returncode != 0 or not os.path.exists(cls.cli):
            shutil.rmtree(cls.folder, ignore_errors=True)
            raise unittest.SkipTest("receiptio could not be installed from the npm registry")
        # receiptio always connects to port 9100: the test's relay listens elsewhere.
        cls.shim = os.path.join(cls.folder, "port_shim.js")
        with open(cls.shim, "w") as shim:
            shim.write("const net = require('net');\n"
                       "const connect = net.connect;\n"
                       "net.connect = (port, ...rest) => connect(port === 9100 ? "
                       "Number(process.env.TAVRIK_SOURCE_PORT) : port, ...rest);\n")
        cls.node = node

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def receiptio(self, source_port, *args, stdin=b""):
        env = dict(os.environ, TAVRIK_SOURCE_PORT=str(source_port))
        return subprocess.run([self.node, "-r", self.shim, self.cli, "-d", "127.0.0.1", *args],
                              input=stdin, capture_output=True, timeout=60, env=env)

    def test_status_inquiry_and_print_succeed_through_the_relay(self):
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-v", "-u")
        relay.wait_listening()
        client = self.stream(relay)
        status = self.receiptio(source_port, "-q")
        self.assertEqual(status.stderr.strip(), b"online")
        self.assertEqual(status.returncode, 100)
        printed = self.receiptio(source_port, "-p", "escpos", stdin=b"Thank you\n")
        self.assertEqual(printed.stderr.strip(), b"success")
        self.assertEqual(printed.returncode, 0)
        body = client.next_frame()
        while b"Thank you" not in body:
            body = client.next_frame()
        self.assertIn(b"Thank you", body)


if __name__ == "__main__":
    unittest.main()
