"""Smoke tests of the Windows build under Wine: the real TavrikSrv.exe as an
application (network, serial and spool file sources, Ctrl+C, a POS printing
library from npm) and as a service.

scripts/test-windows runs this after the build, with WINEPREFIX naming a
prepared throw-away prefix whose wineserver is persistent, TAVRIK_EXE the
built program and, where socat made a pseudo-terminal pair, TAVRIK_COM_PAIR
("5,6": COM5 wired to COM6 in the prefix). Every Wine call is bounded by
`timeout`. Standard library only; the npm library is installed at test time
(its test is skipped where it cannot be).
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "integration"))
from relay import HEAD, StreamClient, free_port, wait_until  # noqa: E402
from thermal_printer import UsesThermalPrinterLibrary, check_receipts  # noqa: E402

EXE = os.environ.get("TAVRIK_EXE", "")
PREFIX = os.environ.get("WINEPREFIX", "")
COM_PAIR = os.environ.get("TAVRIK_COM_PAIR", "")
SERVICE = "TavrikTest"
RECEIPT = b"receipt\x00\x80\xff\x1dV"  # ends in a GS V cut


def wine(*args, timeout=60):
    """Runs a Wine command to its end; returns (exit status, output).

    Output goes through a file, not a pipe: a Wine process started in the
    background could hold a pipe open for ever."""
    with tempfile.TemporaryFile() as out:
        status = subprocess.call(["timeout", str(timeout), "wine", *map(str, args)], stdin=subprocess.DEVNULL,
                                 stdout=out, stderr=subprocess.STDOUT)
        out.seek(0)
        return status, out.read().decode("latin-1")


class WinRelay:
    """TavrikSrv.exe in a folder of its own under the prefix's C: drive."""

    def __init__(self, name):
        # Lower case and no hyphen: the command line is lower-cased and split at hyphens.
        self.folder = os.path.join(PREFIX, "drive_c", "tavrik", name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        shutil.copy2(EXE, os.path.join(self.folder, "TavrikSrv.exe"))
        self.windows_folder = "C:\\tavrik\\" + name
        self.exe = self.windows_folder + "\\TavrikSrv.exe"
        self.process = None

    def path(self, name):
        return os.path.join(self.folder, name)

    def start(self, *args, limit=120):
        """Starts the program in application mode; `timeout` ends it after limit seconds at the latest."""
        self.stderr = open(self.path("stderr.txt"), "wb")
        self.process = subprocess.Popen(["timeout", str(limit), "wine", self.exe, *map(str, args)],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=self.stderr)
        return self

    def windows_process(self):
        """The PID of the program itself: the child of `timeout`."""
        with open(f"/proc/{self.process.pid}/task/{self.process.pid}/children") as f:
            return int(f.read().split()[0])

    def close(self):
        if self.process and self.process.poll() is None:
            # `timeout` hands SIGTERM on to the program (a SIGKILL would end `timeout` alone).
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.kill(self.windows_process(), signal.SIGKILL)
                self.process.kill()
                self.process.wait(10)
        if self.process:
            self.stderr.close()

    def log(self):
        try:
            with open(self.path("Debug.log"), "rb") as f:
                return f.read().decode("latin-1")
        except FileNotFoundError:
            return ""

    def wait_log(self, text, timeout=20):
        """The log is written about once a second (and at exit), so waits are generous."""
        if not wait_until(lambda: text in self.log(), timeout, 0.1):
            raise AssertionError(f"log never showed {text!r}:\n{self.log()[-3000:]}")

    def wait_listening(self, port, timeout=30):
        def accepting():
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=1):
                    return True
            except OSError:
                return False
        if not wait_until(accepting, timeout, 0.1):
            raise AssertionError(f"port {port} never accepted:\n{self.log()[-3000:]}")


class SmokeTestCase(unittest.TestCase):
    def relay(self, name):
        relay = WinRelay(name)
        self.addCleanup(relay.close)
        return relay

    def stream(self, port):
        client = StreamClient(port, timeout=15)
        self.addCleanup(client.close)
        self.assertEqual(client.head, HEAD)
        self.assertEqual(len(client.head), 102)
        return client

    def interrupt(self, relay):
        """Ctrl+C as Wine delivers it: SIGINT to the program's process."""
        os.kill(relay.windows_process(), signal.SIGINT)
        self.assertEqual(relay.process.wait(30), 0)
        relay.wait_log("Application Unload request. Unload Mode = 0")
        relay.wait_log("Process terminated.")


class ApplicationMode(SmokeTestCase):
    def test_tcp_listener_source_reaches_a_client_and_ctrl_c_stops(self):
        source_port, client_port = free_port(), free_port()
        relay = self.relay("app").start("-l", "-t", source_port, "-u", "-p", client_port)
        relay.wait_listening(client_port)
        client = self.stream(client_port)
        with socket.create_connection(("127.0.0.1", source_port), timeout=15) as peer:
            peer.sendall(RECEIPT)
            self.assertEqual(client.next_frame(timeout=15), RECEIPT)
        self.assertIn("Executing as application. Port=" + str(client_port), relay.log())
        self.interrupt(relay)

    def test_spool_file_is_relayed_and_taken_over(self):
        client_port = free_port()
        relay = self.relay("spool")
        spool = relay.path("receipt.prn")
        relay.start("-h", relay.windows_folder + "\\receipt.prn", "-u", "-p", client_port)
        relay.wait_listening(client_port)
        client = self.stream(client_port)
        with open(spool, "wb") as f:
            f.write(RECEIPT)
        self.assertEqual(client.next_frame(timeout=15), RECEIPT)
        self.assertTrue(wait_until(lambda: not os.path.exists(spool), 10), "the file was not taken over")
        self.interrupt(relay)

    @unittest.skipUnless(COM_PAIR, "no COM port pair (socat)")
    def test_serial_port_source_reads_the_line(self):
        port, far_end = COM_PAIR.split(",")
        line = os.path.realpath(os.path.join(PREFIX, "dosdevices", "com" + far_end))
        client_port = free_port()
        # 8 data bits, no parity: some kernels refuse other settings on a pseudo-terminal.
        relay = self.relay("serial").start("-c", port, "-b", "19200,n,8,2", "-u", "-p", client_port)
        relay.wait_listening(client_port)
        client = self.stream(client_port)
        with open(line, "wb", buffering=0) as far:
            far.write(RECEIPT)
            self.assertEqual(client.next_frame(timeout=15), RECEIPT)
        self.assertNotIn("Reset error", relay.log())
        self.interrupt(relay)

    def test_service_mode_outside_the_service_manager_fails(self):
        relay = self.relay("noservice")
        status, output = wine(relay.exe, "-s", "-p", free_port(), timeout=60)
        self.assertEqual(status, 1, output)
        self.assertIn("Unable to start service.", output)
        relay.wait_log("Executing as service. Port=")
        self.assertNotIn("Form loaded.", relay.log())


class PosSoftware(UsesThermalPrinterLibrary, SmokeTestCase):
    """node-thermal-printer (npm) against the TCP listener source with status
    answers: probe, print and status query, 20 receipts in a row."""

    def test_thermal_printer_library_prints_every_receipt(self):
        source_port, client_port = free_port(), free_port()
        relay = self.relay("pos").start("-l", "-t", source_port, "-f", 5000, "-v", "-p", client_port)
        relay.wait_listening(client_port)
        relay.wait_listening(source_port)
        client = self.stream(client_port)
        status, errors, receipts = self.library.print_receipts(source_port)
        self.assertEqual(status, 0, errors + "\n" + relay.log()[-3000:])
        expected = check_receipts(self, receipts)
        self.assertEqual([client.next_frame(timeout=15) for _ in expected], expected)
        self.interrupt(relay)


class ServiceMode(SmokeTestCase):
    def setUp(self):
        wine("sc", "delete", SERVICE, timeout=30)  # a leftover of an interrupted run
        self.addCleanup(wine, "sc", "delete", SERVICE, timeout=30)

    def query_state(self):
        status, output = wine("sc", "query", SERVICE, timeout=30)
        for line in output.splitlines():
            if "STATE" in line:
                return int(line.split(":")[1].split()[0])
        return None

    def test_service_starts_streams_and_stops(self):
        client_port, source_port = free_port(), free_port()
        relay = self.relay("svc")
        command = f"{relay.exe} -s -p {client_port} -l -t {source_port}"
        status, output = wine("sc", "create", SERVICE, "binPath=", command, timeout=30)
        self.assertEqual(status, 0, output)
        status, output = wine("sc", "start", SERVICE, timeout=60)
        self.assertEqual(status, 0, output)
        self.assertTrue(wait_until(lambda: self.query_state() == 4, 20), "never RUNNING")

        relay.wait_listening(client_port)
        client = self.stream(client_port)
        start = time.monotonic()
        kind, _ = client.next_part(timeout=6)
        self.assertEqual(kind, "Content-Type: text/keepalive")
        self.assertLess(time.monotonic() - start, 6)

        status, output = wine("sc", "stop", SERVICE, timeout=30)
        self.assertEqual(status, 0, output)
        self.assertTrue(wait_until(lambda: self.query_state() == 1, 20), "never STOPPED")
        relay.wait_log("Application Unload request. Unload Mode = 1")
        relay.wait_log("Process terminated.")
        log = relay.log()
        self.assertIn("Executing as service. Port=" + str(client_port), log)
        self.assertLess(log.index("Unload Mode = 1"), log.index("Process terminated."))


class Summary(unittest.TextTestResult):
    def stopTestRun(self):
        super().stopTestRun()
        failed = len(self.failures) + len(self.errors)
        skipped = len(self.skipped)
        passed = self.testsRun - failed - skipped
        self.stream.writeln(f"smoke tests: {passed} passed, {failed} failed, {skipped} skipped")


if __name__ == "__main__":
    if not EXE or not PREFIX:
        sys.exit("TAVRIK_EXE and WINEPREFIX must be set (scripts/test-windows sets them)")
    runner = unittest.TextTestRunner(verbosity=2, resultclass=Summary)
    result = runner.run(unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__]))
    sys.exit(0 if result.wasSuccessful() else 1)
