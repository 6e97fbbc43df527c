"""Faults end to end: source peers that die or reset, a serial device that
vanishes, a log on a full disk, client churn with bad requests, a stalled
client under load and a full client table. The relay must recover by itself,
keep its healthy clients whole and hold its descriptors and memory bounded."""
import os
import pty
import random
import socket
import subprocess
import sys
import threading
import time
import traceback
import tty
import unittest

from relay import HEAD, RelayTestCase, StreamClient, free_port, wait_until
from traffic import (Feeder, PartReader, RssSampler, connect, fd_count, receipt, reset_close, rss_kb,
                     sanitized, wait_frames)


class FaultTestCase(RelayTestCase):
    def stop_cleanly(self, relay):
        """SIGINT ends the relay with status 0 and nothing on standard error (where
        a sanitized build reports its findings, leaks at exit included)."""
        status = relay.stop()
        self.assertEqual((status, relay.stderr().decode(errors="replace")), (0, ""))


def check_readers(test, readers, frames):
    for n, reader in enumerate(readers):
        test.assertEqual(reader.errors, [], f"client {n}")
        test.assertEqual(reader.odd, [], f"client {n}")
        test.assertEqual(reader.frames, frames, f"client {n} lost frames")


# A peer in a process of its own, so that it can be killed: it connects to
# (or serves one connection on) a port, reports "connected", sends a file's
# bytes once told "go", reports "sent" and waits to be killed.
PEER = """
import socket, sys, time
mode, port, path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
if mode == "connect":
    sock = socket.create_connection(("127.0.0.1", port), timeout=10)
else:
    server = socket.create_server(("127.0.0.1", port))
    print("listening", flush=True)
    sock, _ = server.accept()
print("connected", flush=True)
sys.stdin.readline()
sock.sendall(open(path, "rb").read())
print("sent", flush=True)
time.sleep(600)
"""


class SourcePeerFaultTest(FaultTestCase):
    """A TCP source peer dies or resets the connection in the middle of a frame."""

    def start(self, *args):
        return self.relay(*args, "-u", "-f", 0, debug_level=10)

    def stream_with_reader(self, relay):
        client = self.stream(relay)
        reader = PartReader(client, in_order=False)
        reader.start()
        return reader

    def peer_process(self, mode, port, data, folder):
        path = os.path.join(folder, f"peer{random.randrange(1 << 30)}.bin")
        with open(path, "wb") as f:
            f.write(data)
        peer = subprocess.Popen([sys.executable, "-c", PEER, mode, str(port), path],
                                stdout=subprocess.PIPE, stdin=subprocess.PIPE)
        self.addCleanup(self.end_peer, peer)
        return peer

    @staticmethod
    def end_peer(peer):
        peer.kill()
        peer.wait(10)
        peer.stdout.close()
        peer.stdin.close()

    def expect_line(self, peer, line, timeout=20):
        got = []
        reading = threading.Thread(target=lambda: got.append(peer.stdout.readline().strip()), daemon=True)
        reading.start()
        reading.join(timeout)
        self.assertEqual(got, [line])

    def go(self, peer):
        peer.stdin.write(b"go\n")
        peer.stdin.flush()
        self.expect_line(peer, b"sent")

    @staticmethod
    def before_fault():
        """Three whole receipts and half of the fourth, in one write."""
        data = b"".join(receipt(n, 300) for n in range(3))
        return data + receipt(3, 300)[:150]

    def check_recovery(self, relay, reader, send_more):
        """After the fault: the half receipt went out as a frame of its own when
        the peer was lost, and what follows is not glued to it."""
        self.assertTrue(wait_until(lambda: reader.odd or reader.errors, 15), "the half receipt never came")
        send_more(receipt(4, 300) + receipt(5, 300))
        self.assertTrue(wait_until(lambda: reader.frames >= 5 or reader.errors, 30),
                        f"only {reader.frames} frames arrived: {reader.errors}")
        self.assertEqual(reader.errors, [])
        self.assertEqual(reader.odd, [receipt(3, 300)[:150]])
        self.assertEqual((reader.frames, reader.next_seq), (5, 6))
        self.assertFalse(reader.eof)
        self.assertIsNone(relay.process.poll())

    def test_listener_peer_killed_mid_frame(self):
        source_port = free_port()
        relay = self.start("-l", "-t", source_port)
        relay.wait_listening()
        reader = self.stream_with_reader(relay)
        peer = self.peer_process("connect", source_port, self.before_fault(), relay.folder)
        self.expect_line(peer, b"connected")
        self.go(peer)
        self.assertTrue(wait_until(lambda: reader.frames >= 3, 15), reader.errors)
        peer.kill()
        peer.wait(10)
        second = connect(source_port, 15)
        self.addCleanup(second.close)
        self.check_recovery(relay, reader, second.sendall)
        self.stop_cleanly(relay)
        self.assertIn("SrcSock closed.", relay.messages())

    def test_listener_peer_resets_mid_frame(self):
        source_port = free_port()
        relay = self.start("-l", "-t", source_port)
        relay.wait_listening()
        reader = self.stream_with_reader(relay)
        first = connect(source_port)
        first.sendall(self.before_fault())
        self.assertTrue(wait_until(lambda: reader.frames >= 3, 15), reader.errors)
        reset_close(first)
        second = connect(source_port, 15)
        self.addCleanup(second.close)
        self.check_recovery(relay, reader, second.sendall)
        self.stop_cleanly(relay)
        self.assertTrue(any(m.startswith("SrcSock error: ") for m in relay.messages()), relay.messages())

    def test_client_mode_peer_killed_mid_frame(self):
        peer_port = free_port()
        relay = self.relay("-a", "127.0.0.1", "-t", peer_port, "-u", "-f", 0, debug_level=10, start=False)
        peer = self.peer_process("serve", peer_port, self.before_fault(), relay.folder)
        self.expect_line(peer, b"listening")
        relay.start()
        relay.wait_listening()  # opens once the peer is connected
        self.expect_line(peer, b"connected")
        reader = self.stream_with_reader(relay)
        self.go(peer)
        self.assertTrue(wait_until(lambda: reader.frames >= 3, 15), reader.errors)
        peer.kill()
        peer.wait(10)
        server = socket.create_server(("127.0.0.1", peer_port))
        self.addCleanup(server.close)
        server.settimeout(20)
        second, _ = server.accept()  # the relay comes back by itself
        self.addCleanup(second.close)
        self.check_recovery(relay, reader, second.sendall)
        self.stop_cleanly(relay)

    def test_client_mode_peer_resets_mid_frame(self):
        peer_port = free_port()
        server = socket.create_server(("127.0.0.1", peer_port))
        self.addCleanup(server.close)
        server.settimeout(20)
        relay = self.relay("-a", "127.0.0.1", "-t", peer_port, "-u", "-f", 0, debug_level=10)
        first, _ = server.accept()
        relay.wait_listening()
        reader = self.stream_with_reader(relay)
        first.sendall(self.before_fault())
        self.assertTrue(wait_until(lambda: reader.frames >= 3, 15), reader.errors)
        reset_close(first)
        second, _ = server.accept()
        self.addCleanup(second.close)
        self.check_recovery(relay, reader, second.sendall)
        self.stop_cleanly(relay)


class PseudoTerminal:
    """A pty standing in for a serial device; close() pulls the device."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.master)
        self.name = os.ttyname(self.slave)

    def close(self):
        for fd in (self.master, self.slave):
            if fd is not None:
                os.close(fd)
        self.master = self.slave = None


class SerialDeviceFaultTest(FaultTestCase):
    def device(self):
        device = PseudoTerminal()
        self.addCleanup(device.close)
        return device

    def test_device_that_vanishes_and_returns_under_its_link(self):
        device = self.device()
        relay = self.relay("-c", 7, "-u", "-f", 0, debug_level=10, start=False)
        link = relay.path("com7")
        os.symlink(device.name, link)
        relay.start()
        relay.wait_listening()
        before = PartReader(self.stream(relay))
        before.start()
        os.write(device.master, receipt(0, 300) + receipt(1, 300) + receipt(2, 300)[:100])
        self.assertTrue(wait_until(lambda: before.frames >= 2 or before.errors, 15), before.errors)

        # The adapter is pulled: the device and its node disappear, the link
        # dangles. It dangles towards a path of its own: the old pty's number
        # may go to the next pty opened on this machine, by this test or another.
        os.symlink(relay.path("unplugged"), link + ".new")
        os.replace(link + ".new", link)
        device.close()
        self.assertTrue(wait_until(lambda: before.eof, 15), "the client was not closed")
        check_readers(self, [before], 2)  # a port failure drops the clients and the half frame
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.1", relay.port), timeout=2).close()
        relay.wait_log("Reset error: ")  # the retry after a second finds no device

        # It comes back as another pseudo-terminal under the same com7.
        device = self.device()
        os.symlink(device.name, link + ".new")
        os.replace(link + ".new", link)
        relay.wait_listening(timeout=30)  # retried after 1 s, then 10 s
        after = PartReader(self.stream(relay), first_seq=3)
        after.start()
        os.write(device.master, b"".join(receipt(n, 300) for n in range(3, 6)))
        self.assertTrue(wait_until(lambda: after.frames >= 3 or after.errors, 15), after.errors)
        check_readers(self, [after], 3)
        self.stop_cleanly(relay)
        messages = relay.messages()
        self.assertTrue(any(m.startswith("OnComm error: ") for m in messages), messages)


def report(text):
    sys.stderr.write(f"\n    {text} ")
    sys.stderr.flush()


class FullDiskLogTest(FaultTestCase):
    def test_relaying_goes_on_and_memory_stays_bounded(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full")
        source_port = free_port()
        # Debug level 0: every chunk and every frame is logged in full. A log
        # size limit far above the traffic: the device must never be rotated.
        relay = self.relay("-l", "-t", source_port, "-u", "-f", 0, "-g", 1999, debug_level=0, start=False)
        os.symlink("/dev/full", relay.path("Debug.log"))
        relay.start()
        # Never read this log: /dev/full reads as endless zeros.
        connect(relay.port, 15).close()
        reader = PartReader(self.stream(relay))
        reader.start()
        feeder = Feeder(connect(source_port), [reader])
        self.addCleanup(feeder.sock.close)
        pid = relay.process.pid
        idle = rss_kb(pid)

        # The lines that cannot be written stay pending up to their cap of
        # 4 MiB, in a buffer that grows by three times the need: up to 16 MiB.
        feeder.send(total_bytes=8 << 20)
        self.assertTrue(wait_frames([reader], feeder.seq), reader.errors)
        before = rss_kb(pid)
        feeder.send(total_bytes=20 << 20)
        self.assertTrue(wait_frames([reader], feeder.seq), reader.errors)
        after = rss_kb(pid)
        report(f"log on /dev/full: RSS {idle} kB idle, {before} kB after 8 MB of frames, {after} kB after "
               f"20 MB more ({feeder.seq} frames in all)")
        check_readers(self, [reader], feeder.seq)
        if not sanitized(pid):
            self.assertLess(after - before, 4096, "memory grows with the traffic")
            self.assertLess(after - idle, 20480, "the pending log lines are not capped")
        self.stop_cleanly(relay)
        self.assertTrue(os.path.islink(relay.path("Debug.log")))


class ClientChurnTest(FaultTestCase):
    CYCLES = 10000
    THREADS = 8

    def test_ten_thousand_clients_with_bad_requests_leak_nothing(self):
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-u", "-f", 0, debug_level=10)
        relay.wait_listening()
        reader = PartReader(self.stream(relay))
        reader.start()
        feeder = Feeder(connect(source_port), [reader])
        self.addCleanup(feeder.sock.close)
        feeder.send(count=10, size=500)
        self.assertTrue(wait_frames([reader], 10), reader.errors)
        pid = relay.process.pid
        fds_before, rss_before = fd_count(pid), rss_kb(pid)

        done = threading.Event()

        def feed():  # frames keep coming during the churn
            while not done.is_set():
                feeder.send(count=5, size=500)
                time.sleep(0.005)

        feeding = threading.Thread(target=feed, daemon=True)
        feeding.start()
        counter = iter(range(self.CYCLES))
        lock = threading.Lock()
        outcomes = {}
        failures = []

        def churn():
            while True:
                with lock:
                    n = next(counter, None)
                if n is None:
                    return
                try:
                    outcome = _client_cycle(relay.port, n)
                except Exception as e:  # noqa: BLE001 - any surprise is a failure of the cycle
                    outcome = "failed"
                    where = " > ".join(f"{f.name}:{f.lineno}" for f in traceback.extract_tb(e.__traceback__))
                    failures.append(f"cycle {n}: {e!r} at {where}")
                with lock:
                    outcomes[outcome] = outcomes.get(outcome, 0) + 1

        started = time.monotonic()
        workers = [threading.Thread(target=churn, daemon=True) for _ in range(self.THREADS)]
        for w in workers:
            w.start()
        for w in workers:
            w.join(120)
        seconds = time.monotonic() - started
        done.set()
        feeding.join(30)
        self.assertTrue(wait_frames([reader], feeder.seq), reader.errors)

        settled = wait_until(lambda: fd_count(pid) <= fds_before, 20)
        fds_after, rss_after = fd_count(pid), rss_kb(pid)
        report(f"{self.CYCLES} client cycles in {seconds:.1f} s: {dict(sorted(outcomes.items()))}; "
               f"descriptors {fds_before} -> {fds_after}; RSS {rss_before} -> {rss_after} kB; "
               f"healthy client got {reader.frames} of {feeder.seq} frames")
        self.assertEqual(failures[:5], [])
        self.assertEqual(sum(outcomes.values()), self.CYCLES)
        unexpected = {k: v for k, v in outcomes.items() if "wrong" in k or "tolerated" in k or "ignored" in k
                      or k in ("turned away", "failed")}
        self.assertEqual(unexpected, {})
        self.assertTrue(settled, f"descriptors: {fds_before} before, {fds_after} after")
        check_readers(self, [reader], feeder.seq)
        if not sanitized(pid):
            self.assertLess(rss_after - rss_before, 16384)
        self.assertIsNone(relay.process.poll())
        self.stop_cleanly(relay)


GARBAGE = [b"\x00", b"\r\n\r\n", b"\xff" * 300, b"POST /x HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
           b"GET /" + b"A" * 70000 + b" HTTP/1.0\r\n\r\n", "Grüße\u2028".encode(), b"-p 1 -d 0 --"]


def _client_cycle(port, n):
    """One client's visit; returns what happened. Kinds vary with n."""
    rng = random.Random(n)
    sock = socket.create_connection(("127.0.0.1", port), timeout=10)
    try:
        if n % 1000 == 999:
            return _huge_request(sock)
        kind = n % 8
        if kind == 0:
            return "left at once"
        if kind == 5:
            reset_close(sock)
            return "reset"
        if kind == 7:
            sock.sendall(b"GET / HTTP/1.0\r\n\r\n")
            return "left without reading"
        request = {1: b"GET / HTTP/1.0\r\n\r\n", 2: GARBAGE[n % len(GARBAGE)],
                   3: rng.randbytes(rng.randrange(1, 4096)), 4: b"GET /\r\n\r\n",
                   6: b"HEAD"}[kind]
        sock.sendall(request)
        if kind == 6:
            sock.shutdown(socket.SHUT_WR)  # half close: the relay ends the connection
        head = _read_up_to(sock, len(HEAD))
        if kind == 6 and head == b"":
            return "half closed before its head"  # the close was seen first: nothing to answer
        if head != HEAD:
            return "turned away" if head == b"" else f"wrong head {head[:30]!r}"
        if kind == 4:
            time.sleep(0.01)  # a second burst, after the head: the relay closes the connection
            sock.sendall(b"more")
            return "closed after a second burst" if _read_to_end(sock) else "second burst tolerated"
        if kind == 6:
            return "half closed" if _read_to_end(sock) else "half close ignored"
        return "served"
    finally:
        sock.close()


def _huge_request(sock):
    """10 MB of request: the first burst gets the head, the rest ends the connection."""
    data = random.Random(1).randbytes(10 << 20)
    head = b""
    try:
        sock.sendall(data)
    except OSError:
        pass  # closed by the relay while we were still sending
    try:
        head = _read_up_to(sock, len(HEAD))
        closed = _read_to_end(sock)
    except OSError:
        closed = True
    if head not in (HEAD, b""):
        return f"wrong head {head[:30]!r}"
    return "10 MB request closed" if closed else "10 MB request tolerated"


def _read_up_to(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            break
        data += chunk
    return data


def _read_to_end(sock, timeout=10):
    """True once the relay has closed the connection (within timeout)."""
    sock.settimeout(timeout)
    try:
        while sock.recv(65536):
            pass
        return True
    except ConnectionResetError:
        return True
    except socket.timeout:
        return False


class StalledClientTest(FaultTestCase):
    STALLED = 2
    HEALTHY = 3

    def test_stalled_clients_hold_back_only_their_own_parts(self):
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-u", "-f", 0, debug_level=10)
        relay.wait_listening()
        pid = relay.process.pid
        healthy = [PartReader(self.stream(relay)) for _ in range(self.HEALTHY)]
        for reader in healthy:
            reader.start()
        feeder = Feeder(connect(source_port), healthy)
        self.addCleanup(feeder.sock.close)
        started = rss_kb(pid)
        feeder.send(total_bytes=4 << 20)  # buffers reach their working size
        self.assertTrue(wait_frames(healthy, feeder.seq), [r.errors for r in healthy])
        idle = rss_kb(pid)

        stalled = [StreamClient(relay.port) for _ in range(self.STALLED)]  # ask, then never read
        for client in stalled:
            self.addCleanup(client.close)
        sampler = RssSampler(pid)
        sampler.start()
        first_stalled = feeder.seq
        begun = time.monotonic()
        feeder.send(total_bytes=100 << 20, timeout=240)
        self.assertTrue(wait_frames(healthy, feeder.seq, 120), [r.errors for r in healthy])
        seconds = time.monotonic() - begun
        peak = sampler.stop()
        check_readers(self, healthy, feeder.seq)

        # Now the stalled clients read: what reaches them is whole parts in order.
        late = [PartReader(client, in_order=False, first_seq=first_stalled) for client in stalled]
        for reader in late:
            reader.start()
        # Held-back parts go out with the next keep-alive part once the socket
        # has drained; two keep-alives without a frame in between end it.
        wait_until(lambda: all(r.keepalives_since_frame >= 2 or r.errors for r in late), 60, 0.2)
        bound = idle + 2048 * self.STALLED + 2048
        report(f"stalled clients: RSS {started} kB at start, {idle} kB idle after warm-up, peak {peak} kB "
               f"with {self.STALLED} stalled clients while {feeder.seq - first_stalled} frames "
               f"({(100 << 20) / seconds / 1e6:.0f} MB/s) went to {self.HEALTHY} healthy clients intact; "
               f"bound {bound} kB; the stalled clients got {[r.frames for r in late]} frames afterwards")
        for reader in late:
            self.assertEqual((reader.errors, reader.odd), ([], []))
            self.assertLess(reader.frames, feeder.seq - first_stalled)  # parts were dropped, whole
        if not sanitized(pid):
            self.assertLessEqual(peak, bound)
        self.stop_cleanly(relay)


class FullClientTableTest(FaultTestCase):
    def test_thirty_second_client_is_refused_until_a_slot_is_free(self):
        relay = self.relay("-l", "-t", free_port(), debug_level=10)
        relay.wait_listening()
        # 31 idle clients: some asked for the stream, some never said anything.
        asking = [StreamClient(relay.port) for _ in range(16)]
        silent = [socket.create_connection(("127.0.0.1", relay.port), timeout=10) for _ in range(15)]
        for sock in [c.sock for c in asking] + silent:
            self.addCleanup(sock.close)
        for client in asking:
            self.assertEqual(client.head, HEAD)

        refused = socket.create_connection(("127.0.0.1", relay.port), timeout=10)
        self.addCleanup(refused.close)
        refused.sendall(b"GET / HTTP/1.0\r\n\r\n")
        refused.settimeout(3)
        try:
            got = refused.recv(1024)  # closed at once, or left without an answer
        except socket.timeout:
            got = b""
        except ConnectionResetError:
            got = b""
        self.assertEqual(got, b"", "the 32nd client was answered")

        silent[0].close()  # one leaves: the next request is served

        def served():
            with socket.create_connection(("127.0.0.1", relay.port), timeout=3) as sock:
                sock.sendall(b"GET / HTTP/1.0\r\n\r\n")
                try:
                    return _read_up_to(sock, len(HEAD)) == HEAD
                except OSError:
                    return False
        self.assertTrue(wait_until(served, 15, 0.2), "no client served after a slot became free")
        self.stop_cleanly(relay)


if __name__ == "__main__":
    unittest.main()
