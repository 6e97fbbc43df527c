"""Every capture source end to end: real peers on loopback, pseudo-terminals
and temporary files, checked by the bytes that real HTTP clients receive."""
import os
import pty
import signal
import socket
import subprocess
import sys
import threading
import time
import tty
import unittest

from relay import RelayTestCase, free_port, wait_until

ALL_BYTES = bytes(range(256))
CUT = b"\x1dV\x00"  # a full cut, mode 0


def frames_until(client, expected_total, timeout=60):
    """Collects frame bodies until their lengths add up to expected_total."""
    frames, total = [], 0
    deadline = time.monotonic() + timeout
    while total < expected_total:
        if time.monotonic() > deadline:
            raise AssertionError(f"only {total} of {expected_total} bytes arrived in {len(frames)} frames")
        body = client.next_frame()
        frames.append(body)
        total += len(body)
    return frames


class TcpClientModeTest(RelayTestCase):
    def test_listener_opens_once_the_peer_is_connected_and_frames_flow(self):
        peer_port = free_port()
        relay = self.relay("-a", "127.0.0.1", "-t", peer_port, "-f", 300)
        relay.wait_log("SrcSock error: ", count=2)  # refused, retried
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.1", relay.port), timeout=2).close()

        server = socket.create_server(("127.0.0.1", peer_port))
        self.addCleanup(server.close)
        server.settimeout(15)
        peer, _ = server.accept()
        relay.wait_listening()
        client = self.stream(relay)
        peer.sendall(b"text then ")
        peer.sendall(b"silence")
        self.assertEqual(client.next_frame(), b"text then silence")

        peer.close()  # the peer leaves: the source reconnects, the client stays
        relay.wait_log("SrcSock closed.")
        peer, _ = server.accept()
        self.addCleanup(peer.close)
        peer.sendall(ALL_BYTES)
        self.assertEqual(client.next_frame(), ALL_BYTES)
        self.assertIn("Reset. KillClients=False", relay.messages())


class TcpListenerModeTest(RelayTestCase):
    def test_one_peer_at_a_time_while_the_next_waits(self):
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-u", "-e")
        relay.wait_listening()
        client = self.stream(relay)
        first = socket.create_connection(("127.0.0.1", source_port), timeout=10)
        first.sendall(b"first" + CUT)
        self.assertEqual(client.next_frame("Content-Type: text/x-vexa-event"), b"first" + CUT)

        # While the first peer is served, the next one is accepted and waits.
        second = socket.create_connection(("127.0.0.1", source_port), timeout=2)
        self.addCleanup(second.close)
        second.sendall(ALL_BYTES + CUT)
        with self.assertRaises(AssertionError):
            client.next_frame("Content-Type: text/x-vexa-event", timeout=1)
        first.sendall(b"rest of first")
        first.close()
        self.assertEqual(client.next_frame("Content-Type: text/x-vexa-event"), b"rest of first")
        self.assertEqual(client.next_frame("Content-Type: text/x-vexa-event"), ALL_BYTES + CUT)
        self.assertEqual(relay.stop(), 0)  # the log is complete once the relay has ended
        steps = [m for m in relay.messages() if m.startswith(("SrcSock", "Reset."))]
        self.assertEqual(steps, ["Reset. KillClients=True", "SrcSock connection request.", "SrcSock closed.",
                                 "Reset. KillClients=False", "SrcSock connection request."])

    def test_jobs_sent_back_to_back_are_all_taken_each_as_one_frame(self):
        """A script, a spooler or a POS printing copies: connect, send, close,
        connect again at once; no connection may be refused or reset."""
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-f", 5000)
        relay.wait_listening()
        client = self.stream(relay)
        jobs = [b"JOB %03d\n" % n + ALL_BYTES * (n % 4) + b"END\n" for n in range(100)]
        failures = []
        for job in jobs:
            try:
                with socket.create_connection(("127.0.0.1", source_port), timeout=5) as pos:
                    pos.sendall(job)
            except OSError as error:
                failures.append(error)
        self.assertEqual(failures, [])
        received = [client.next_frame(timeout=15) for _ in jobs]
        self.assertEqual(received, jobs)
        self.assertEqual(relay.stop(), 0)
        self.assertEqual(relay.messages().count("SrcSock connection request."), 100)

    def test_a_client_that_connects_as_a_job_ends_is_served(self):
        """Between two peers nothing is set up, so the clients' listener is
        not opened again under a client that is connecting."""
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-f", 5000)
        relay.wait_listening()
        watcher = self.stream(relay)
        jobs = [b"JOB %d\n" % n for n in range(20)]
        for job in jobs:
            with socket.create_connection(("127.0.0.1", source_port), timeout=5) as pos:
                pos.sendall(job)
            self.stream(relay).close()  # at once, while the relay takes the job's end
        self.assertEqual([watcher.next_frame(timeout=15) for _ in jobs], jobs)


def _connect(port):
    try:
        return socket.create_connection(("127.0.0.1", port), timeout=2)
    except OSError:
        return None


class UdpTest(RelayTestCase):
    def test_receiver_joins_datagrams_into_frames(self):
        source_port = free_port(socket.SOCK_DGRAM)
        relay = self.relay("-r", 1, "-l", "-t", source_port, "-f", 400)
        relay.wait_listening()
        client = self.stream(relay)
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(sender.close)
        sender.sendto(ALL_BYTES[:128], ("127.0.0.1", source_port))
        sender.sendto(ALL_BYTES[128:], ("127.0.0.1", source_port))
        self.assertEqual(client.next_frame(), ALL_BYTES)

    def test_addressed_socket_receives_from_its_peer(self):
        peer = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(peer.close)
        peer.bind(("127.0.0.1", 0))
        peer_port = peer.getsockname()[1]
        relay = self.relay("-r", 1, "-a", "127.0.0.1", "-t", peer_port, "-u")
        relay.wait_listening()
        client = self.stream(relay)
        local_port = wait_until(lambda: _udp_port_connected_to(relay.process.pid, peer_port), 10)
        self.assertTrue(local_port, "no UDP socket of the relay is connected to the peer")
        peer.sendto(b"one ", ("127.0.0.1", local_port))
        peer.sendto(ALL_BYTES + CUT, ("127.0.0.1", local_port))
        self.assertEqual(client.next_frame(), b"one " + ALL_BYTES + CUT)


def _udp_port_connected_to(pid, peer_port):
    """The local port of the relay's UDP socket whose peer is 127.0.0.1:peer_port."""
    inodes = set()
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue
        if target.startswith("socket:["):
            inodes.add(target[8:-1])
    with open("/proc/net/udp") as table:
        for line in table.readlines()[1:]:
            fields = line.split()
            local, remote, inode = fields[1], fields[2], fields[9]
            if inode in inodes and remote == f"0100007F:{peer_port:04X}":
                return int(local.split(":")[1], 16)
    return None


class SerialTest(RelayTestCase):
    def setUp(self):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.master)
        self.addCleanup(self._close_pty)

    def _close_pty(self):
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass

    def start_relay(self, *args):
        relay = self.relay("-c", 5, *args, start=False)
        os.symlink(os.ttyname(self.slave), relay.path("com5"))
        relay.start()
        relay.wait_listening()
        return relay

    def test_frames_cut_commands_split_across_writes_and_all_bytes(self):
        relay = self.start_relay("-u", "-f", 0)
        client = self.stream(relay)
        os.write(self.master, b"receipt one\x1b")
        time.sleep(0.3)  # the command's two bytes arrive in two chunks
        os.write(self.master, b"itail")
        self.assertEqual(client.next_frame(), b"receipt one\x1bi")
        os.write(self.master, ALL_BYTES + CUT)
        self.assertEqual(client.next_frame(), b"tail" + ALL_BYTES + CUT)

    def test_frame_above_the_size_limit_is_sent_at_once(self):
        relay = self.start_relay("-f", 1000)
        client = self.stream(relay)
        data = bytes(i % 251 for i in range(50000))
        threading.Thread(target=os.write, args=(self.master, data), daemon=True).start()
        frames = frames_until(client, len(data))
        self.assertEqual(b"".join(frames), data)
        self.assertGreater(len(frames[0]), 40960)
        self.assertEqual(relay.stop(), 0)
        self.assertIn("FrameBuffer exceeds maximum frame size.", relay.messages())

    def test_vanished_device_is_reopened_once_it_is_back(self):
        relay = self.start_relay("-u")
        os.close(self.master)  # the adapter is pulled
        relay.wait_log("OnComm error: ")
        relay.wait_log("Reset error: ")
        self._close_pty()
        self.master, self.slave = pty.openpty()
        tty.setraw(self.master)
        link = relay.path("com5")
        os.unlink(link)
        os.symlink(os.ttyname(self.slave), link)
        relay.wait_listening(timeout=30)  # the next retry finds it
        client = self.stream(relay)
        os.write(self.master, b"back" + CUT)
        self.assertEqual(client.next_frame(), b"back" + CUT)


class FileSourceTest(RelayTestCase):
    def start_relay(self, *args, **kwargs):
        relay = self.relay(*args, start=False, **kwargs)
        self.spool = relay.path("spool.prn")
        return relay

    def test_a_large_append_read_across_a_pause_at_the_idle_release_is_relayed_whole(self):
        """A relay paused (a loaded host, a VM pause) while a writer appends
        300 KiB: on resumption the poll and the fifth idle tick, which gives
        spare buffers back, fall due together. Repeated (TAVRIK_PAUSE_RUNS,
        20 under AddressSanitizer) to meet the tick's phase each time."""
        runs = int(os.environ.get("TAVRIK_PAUSE_RUNS", "2"))
        text = b"".join(b"line %06d of a long spool job\n" % n for n in range(300 * 1024 // 31 + 1))
        for run in range(runs):
            with self.subTest(run=run):
                relay = self.start_relay("-f", 0)
                relay.args += ["-h", self.spool]
                relay.start()
                relay.wait_listening()
                started = time.monotonic()  # the idle ticks count from here
                client = self.stream(relay)
                time.sleep(max(0.0, started + 4.5 - time.monotonic()))
                os.kill(relay.process.pid, signal.SIGSTOP)
                with open(self.spool, "ab") as f:
                    f.write(text)
                time.sleep(1.0)
                os.kill(relay.process.pid, signal.SIGCONT)
                received = b"".join(frames_until(client, len(text) - 65536, timeout=30))
                self.assertTrue(text.startswith(received))
                self.assertIsNone(relay.process.poll(), "the relay died")
                self.assertEqual(relay.stop(), 0)
                client.close()

    def test_data_present_at_set_up_is_skipped_and_a_new_file_relayed_and_removed(self):
        relay = self.start_relay()
        with open(self.spool, "wb") as f:
            f.write(b"old")
        relay.args += ["-h", self.spool, "-u"]
        relay.start()
        relay.wait_listening()
        client = self.stream(relay)
        with open(self.spool, "ab") as f:
            f.write(b"new" + CUT)
        self.assertEqual(client.next_frame(), b"new" + CUT)
        self.assertTrue(wait_until(lambda: not os.path.exists(self.spool), 5))
        with open(self.spool, "ab") as f:
            f.write(ALL_BYTES + CUT)
        self.assertEqual(client.next_frame(), ALL_BYTES + CUT)
        self.assertTrue(wait_until(lambda: not os.path.exists(self.spool), 5))

    def test_writer_holding_the_file_gets_each_burst_relayed_once(self):
        relay = self.start_relay()
        relay.args += ["-h", self.spool, "-u", "-e"]
        relay.start()
        relay.wait_listening()
        client = self.stream(relay)
        with open(self.spool, "ab", buffering=0) as writer:
            for n in range(5):
                writer.write(f"burst {n}".encode() + CUT)
                body = client.next_frame("Content-Type: text/x-vexa-event")
                self.assertEqual(body, f"burst {n}".encode() + CUT)
                time.sleep(0.25)
                self.assertTrue(os.path.exists(self.spool))  # never taken from its writer
        writer_gone = wait_until(lambda: not os.path.exists(self.spool), 2)
        self.assertFalse(writer_gone)  # nothing new since: left in place
        with open(self.spool, "ab") as f:
            f.write(b"after" + CUT)
        self.assertEqual(client.next_frame("Content-Type: text/x-vexa-event"), b"after" + CUT)
        self.assertTrue(wait_until(lambda: not os.path.exists(self.spool), 5))

    def test_open_append_close_loop_loses_nothing(self):
        relay = self.start_relay(debug_level=10)
        relay.args += ["-h", self.spool, "-u", "-f", 0]
        relay.start()
        relay.wait_listening()
        client = self.stream(relay)
        received = []
        reader = threading.Thread(target=_read_frames, args=(client, received), daemon=True)
        reader.start()  # a client that keeps up
        # Capped in records, so a slower (sanitized) relay is not handed more than it can relay in the wait.
        writer = subprocess.run(
            [sys.executable, "-c", WRITER, self.spool, "4", "50000"], capture_output=True, timeout=60, check=True)
        count = int(writer.stdout)
        self.assertGreater(count, 100)
        expected = b"".join(_record(n) for n in range(count))
        self.assertTrue(wait_until(lambda: sum(map(len, received)) >= len(expected), 60),
                        f"{sum(map(len, received))} of {len(expected)} bytes arrived")
        self.assertEqual(b"".join(received), expected)


def _read_frames(client, frames):
    try:
        while True:
            frames.append(client.next_frame(timeout=120))
    except (AssertionError, OSError, EOFError):
        pass

def _record(n):
    return f"record {n:08d} ".encode() + bytes(range(n % 7, 40)) + CUT


WRITER = f"""
import sys, time
path, seconds, limit = sys.argv[1], float(sys.argv[2]), int(sys.argv[3])
CUT = {CUT!r}
def record(n):
    return f"record {{n:08d}} ".encode() + bytes(range(n % 7, 40)) + CUT
n, end = 0, time.monotonic() + seconds
while time.monotonic() < end and n < limit:
    with open(path, "ab") as f:
        f.write(record(n))
    n += 1
print(n)
"""


if __name__ == "__main__":
    unittest.main()
