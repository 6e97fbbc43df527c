"""POS-side software against the TCP listener source, used as a shop uses it:
a CUPS raw queue and node-thermal-printer (npm). Every POS connection is one
job, and the relay's frame timeout cannot end a job early, so each job must
reach the clients as exactly one frame. A class whose software cannot be
installed or run is skipped with its reason."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from relay import RelayTestCase, _die_with_parent, free_port, wait_until
from test_printer_tap import ALL_BYTES, ScriptedPrinter
from thermal_printer import UsesThermalPrinterLibrary, check_receipts

FRAME_TIMEOUT_MS = 5000  # longer than any job takes: only the job's end ends its frame
STATUS_QUERY = b"\x10\x04\x01"


class CupsScheduler:
    """A cupsd of the test's own in the foreground: configuration, spool and
    logs in a temporary folder, reached over a unix socket there (no TCP port)."""

    TOOLS = ("cupsd", "lpadmin", "lp", "lpstat", "cupsenable", "cupsdisable")
    SOCKET_BACKEND = "/usr/lib/cups/backend/socket"

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="tavrik_cups_")
        os.chmod(self.folder, 0o755)  # backends run as the lp user
        self.socket = self.path("cups.sock")
        for name in ("spool", "tmp", "cache", "state"):
            os.mkdir(self.path(name))
        with open(self.path("cups-files.conf"), "w") as f:
            f.write(f"ServerRoot {self.folder}\nRequestRoot {self.path('spool')}\nTempDir {self.path('tmp')}\n"
                    f"CacheDir {self.path('cache')}\nStateDir {self.path('state')}\n"
                    f"ErrorLog {self.path('error_log')}\nAccessLog {self.path('access_log')}\n"
                    f"PageLog {self.path('page_log')}\nSystemGroup root\n")
        # Debug level: the backend logs each connection and each back-channel read.
        with open(self.path("cupsd.conf"), "w") as f:
            f.write(f"Listen {self.socket}\nLogLevel debug\nMaxLogSize 0\nBrowsing No\nWebInterface No\n"
                    "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n")
        self.process = None

    def path(self, name):
        return os.path.join(self.folder, name)

    def start(self):
        """None once the scheduler answers, else why it does not."""
        with open(self.path("cupsd.out"), "wb") as out:
            self.process = subprocess.Popen(["cupsd", "-f", "-c", self.path("cupsd.conf"),
                                             "-s", self.path("cups-files.conf")],
                                            stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                            start_new_session=True, preexec_fn=_die_with_parent)
        if wait_until(lambda: self.process.poll() is None and self.run("lpstat", "-r").returncode == 0, 15, 0.1):
            return None
        with open(self.path("cupsd.out"), "rb") as out:
            return "cupsd did not start: " + out.read().decode(errors="replace")[-500:]

    def run(self, tool, *args):
        return subprocess.run([tool, "-h", self.socket, *args], capture_output=True, timeout=30)

    def must(self, tool, *args):
        done = self.run(tool, *args)
        if done.returncode != 0:
            raise AssertionError(f"{tool} {' '.join(args)} failed: {done.stderr.decode(errors='replace')}")
        return done.stdout.decode()

    def pending(self, queue):
        return self.must("lpstat", "-o", queue).strip()

    def error_log(self):
        with open(self.path("error_log"), errors="replace") as f:
            return f.read()

    def close(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait(10)
        shutil.rmtree(self.folder, ignore_errors=True)


class CupsRawQueueTest(RelayTestCase):
    """Eight jobs queued at once on a raw queue whose device is the relay:
    CUPS's socket backend sends each, half-closes and waits for the back
    channel to end, as it does with a network printer."""

    QUEUE = "tavrik"
    # The status query comes last, with the half-close right behind it.
    JOBS = [b"JOB %d\n" % n + ALL_BYTES * (4 * n) + b"\x1dV\x00" + STATUS_QUERY for n in range(1, 9)]
    # A refused connection: the backend logs "Connection error: Host is down"
    # and a job warning, and tries again 5 s later.
    JOB_TROUBLE = re.compile(r"^[EW] \[[^]]*\] \[Job \d+\] .*|.*Host is down.*", re.M)

    @classmethod
    def setUpClass(cls):
        missing = [tool for tool in CupsScheduler.TOOLS if not shutil.which(tool)]
        if missing:
            raise unittest.SkipTest("CUPS is not installed (no " + ", ".join(missing) + ")")
        if not os.access(CupsScheduler.SOCKET_BACKEND, os.X_OK):
            raise unittest.SkipTest("CUPS's socket backend is not installed")

    def setUp(self):
        self.cups = CupsScheduler()
        self.addCleanup(self.cups.close)
        reason = self.cups.start()
        if reason:
            self.skipTest(reason)

    def print_jobs(self, *relay_args):
        """Queues the jobs on a stopped queue, starts it and checks what CUPS
        and the clients saw; returns how long the jobs took."""
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-f", FRAME_TIMEOUT_MS, *relay_args)
        relay.wait_listening()
        client = self.stream(relay)
        self.cups.must("lpadmin", "-p", self.QUEUE, "-E", "-v", f"socket://127.0.0.1:{source_port}", "-m", "raw")
        self.cups.must("cupsdisable", self.QUEUE)
        for n, job in enumerate(self.JOBS):
            path = self.cups.path(f"job{n}.prn")
            with open(path, "wb") as f:
                f.write(job)
            self.cups.must("lp", "-d", self.QUEUE, "-o", "raw", path)
        started = time.monotonic()
        self.cups.must("cupsenable", self.QUEUE)
        done = wait_until(lambda: not self.cups.pending(self.QUEUE), 30, 0.05)
        elapsed = time.monotonic() - started
        log = self.cups.error_log()
        self.assertTrue(done, "jobs still pending:\n" + self.cups.pending(self.QUEUE) + log[-3000:])
        self.assertLess(elapsed, 3.0, log[-3000:])
        self.assertEqual(log.count("] Job completed."), len(self.JOBS), log[-3000:])
        # The backend read the answer to each job's status query.
        self.assertEqual(log.count("Received 1 bytes of back-channel data"), len(self.JOBS), log[-3000:])
        self.assertEqual(self.JOB_TROUBLE.findall(log), [])
        self.assertEqual([client.next_frame(timeout=15) for _ in self.JOBS], self.JOBS)
        return elapsed

    def test_queued_jobs_pass_through_to_the_printer_in_order_at_once(self):
        printer = ScriptedPrinter()
        printer.start()
        self.addCleanup(printer.close)
        self.print_jobs("-o", f"127.0.0.1:{printer.port}")
        expected = b"".join(self.JOBS)
        self.assertTrue(wait_until(lambda: len(printer.received) >= len(expected), 15))
        self.assertEqual(bytes(printer.received), expected)
        self.assertEqual(bytes(printer.replies), b"\x16" * len(self.JOBS))

    def test_queued_jobs_get_status_answers_after_the_half_close_and_complete_at_once(self):
        self.print_jobs("-v")


class ThermalPrinterTest(UsesThermalPrinterLibrary, RelayTestCase):
    """node-thermal-printer: probe, print and status query, each its own
    connection, for 20 receipts in a row, as a POS prints."""

    def print_receipts(self, *relay_args):
        """Runs the POS loop against a relay; returns the bytes the relay's clients got."""
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-f", FRAME_TIMEOUT_MS, *relay_args)
        relay.wait_listening()
        client = self.stream(relay)
        status, errors, receipts = self.library.print_receipts(source_port)
        self.assertEqual(status, 0, errors + "\n" + "\n".join(relay.messages()[-20:]))
        expected = check_receipts(self, receipts)
        self.assertEqual([client.next_frame(timeout=15) for _ in expected], expected)
        return expected

    def test_receipts_with_status_answers_from_the_relay(self):
        self.print_receipts("-v")

    def test_receipts_through_to_the_printer(self):
        printer = ScriptedPrinter()
        printer.start()
        self.addCleanup(printer.close)
        frames = self.print_receipts("-o", f"127.0.0.1:{printer.port}")
        expected = b"".join(frames)
        self.assertTrue(wait_until(lambda: len(printer.received) >= len(expected), 15))
        self.assertEqual(bytes(printer.received), expected)


if __name__ == "__main__":
    unittest.main()
