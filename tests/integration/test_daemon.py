"""The relay as a daemon: --help and --version, an absolute log path, the
log of a quiet relay, a client port that is busy at start, the systemd
watchdog and status, and memory given back after a burst."""
import os
import socket
import subprocess
import threading
import time
import unittest

from relay import RelayTestCase, free_port, wait_until
from traffic import rss_kb, sanitized


class CommandLineTest(RelayTestCase):
    def run_alone(self, argument):
        relay = self.relay(start=False)
        result = subprocess.run([relay.binary, argument], cwd=relay.folder, capture_output=True, timeout=10)
        self.assertEqual(result.returncode, 0)
        self.assertFalse(os.path.exists(relay.path("Debug.log")), "nothing may start")
        return result.stdout.decode()

    def test_version_and_help_print_and_start_nothing(self):
        version = self.run_alone("--version")
        self.assertRegex(version, r"^TavrikSrv \d+\.\d+\.\d+\n$")
        usage = self.run_alone("--help")
        for letter in "pcbdatlrhfuegis":
            self.assertIn(f"  -{letter}", usage)
        self.assertIn("range 1-65535, else 8147", usage)

    def test_absolute_log_path_is_used_as_it_is(self):
        folder = self.relay(start=False).folder
        log = os.path.join(folder, "logs", "front.log")
        os.mkdir(os.path.dirname(log))
        relay = self.relay("-h", os.path.join(folder, "spool.prn"), "-i", log)
        relay.wait_listening()
        self.assertEqual(relay.stop(), 0)
        with open(log, "rb") as f:
            self.assertIn(b"Process terminated.", f.read())
        self.assertFalse(os.path.exists(relay.path("Debug.log")))


class QuietRelayTest(RelayTestCase):
    def test_last_line_reaches_the_file_without_more_lines(self):
        relay = self.relay("-h", "/nonexistent/spool.prn", debug_level=3)
        relay.wait_listening()
        with socket.create_connection(("127.0.0.1", relay.port)):
            pass
        # "CloseConnection(0)." is the last line; nothing else is logged after it.
        self.assertTrue(wait_until(lambda: "CloseConnection(0)." in relay.messages()[-1:], 3),
                        relay.messages()[-5:])
        self.assertIsNone(relay.process.poll())


class BusyClientPortTest(RelayTestCase):
    def test_file_source_listens_once_the_port_is_free(self):
        blocker = socket.socket()
        blocker.bind(("0.0.0.0", 0))
        blocker.listen()
        port = blocker.getsockname()[1]
        relay = self.relay("-h", "/nonexistent/spool.prn", port=port)
        relay.wait_log("Error while Opening SourceFile: ", count=2)  # at start and after 1 s
        second = time.monotonic()
        blocker.close()
        relay.wait_listening(timeout=15)
        # The next retry comes 10 s after the second attempt.
        self.assertLess(time.monotonic() - second, 10 + 2)
        self.assertEqual(relay.stop(), 0)


class SystemdTest(RelayTestCase):
    def test_watchdog_pings_and_status_lines(self):
        notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.addCleanup(notify.close)
        path = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"tavrik-watchdog-{os.getpid()}")
        if os.path.exists(path):
            os.unlink(path)
        notify.bind(path)
        self.addCleanup(os.unlink, path)
        notify.settimeout(5)
        watchdog_usec = 3_000_000  # pings every second leave room for a busy machine
        env = dict(os.environ, NOTIFY_SOCKET=path, WATCHDOG_USEC=str(watchdog_usec))
        source = free_port()
        relay = self.relay("-s", "-l", "-t", source, env=env)
        pings, statuses = [], []
        deadline = time.monotonic() + 6
        while time.monotonic() < deadline:
            datagram = notify.recv(4096)
            if datagram == b"WATCHDOG=1":
                pings.append(time.monotonic())
            elif datagram.startswith(b"STATUS="):
                statuses.append(datagram[7:].decode())
        gaps = [b - a for a, b in zip(pings, pings[1:])]
        self.assertGreaterEqual(len(pings), 4)
        self.assertLessEqual(max(gaps), watchdog_usec / 2 / 1e6 + 0.25, gaps)
        self.assertIn(f"Relaying TCP listener {source} to 0 clients", statuses)
        client = self.stream(relay)
        self.assertTrue(wait_until(lambda: f"Relaying TCP listener {source} to 1 client".encode()
                                   in notify.recv(4096), 5))
        client.close()
        self.assertEqual(relay.stop(15), 0)


class IdleMemoryTest(RelayTestCase):
    def test_memory_after_a_burst_returns_close_to_a_fresh_start(self):
        source = free_port()
        relay = self.relay("-l", "-t", source, "-u")
        relay.wait_listening()
        if sanitized(relay.process.pid):
            self.skipTest("AddressSanitizer's quarantine makes RSS meaningless")
        clients = [self.stream(relay) for _ in range(8)]
        done = threading.Event()

        def drain(client):
            client.sock.settimeout(0.2)
            while not done.is_set():
                try:
                    if not client.sock.recv(1 << 20):
                        return
                except socket.timeout:
                    pass
                except OSError:
                    return

        readers = [threading.Thread(target=drain, args=(c,), daemon=True) for c in clients]
        for reader in readers:
            reader.start()
        time.sleep(1)
        fresh = rss_kb(relay.process.pid)
        receipt = b"Item of the day          12.50\n" * 33 + b"\x1dV\x00"
        with socket.create_connection(("127.0.0.1", source)) as pos:
            pos.sendall(receipt * 20000)  # about 20 MB
        time.sleep(1)
        burst = rss_kb(relay.process.pid)
        time.sleep(6)
        idle = rss_kb(relay.process.pid)
        done.set()
        print(f"RSS fresh {fresh} KiB, after the burst {burst} KiB, after 6 s idle {idle} KiB")
        self.assertLessEqual(idle - fresh, 512, (fresh, burst, idle))


if __name__ == "__main__":
    unittest.main()
