"""Numbered receipts through the relay and the tools to watch it: a reader
that checks every part a client receives, a feeder with flow control, and the
relay process's descriptors and memory as /proc shows them.

Shared by the fault tests and scripts/soak."""
import os
import random
import socket
import struct
import threading
import time

from relay import BOUNDARY, wait_until

CUT = b"\x1dV\x00"  # a full cut, mode 0
SEPARATOR = b"\r\n" + BOUNDARY
PLAIN = b"Content-Type: text/plaintext"
KEEPALIVE = b"Content-Type: text/keepalive"
# Receipt bodies: bytes of every value except CR (so no boundary line can
# appear) and ESC / FS / GS (so no cut command but the final one, and no
# command whose data would hide it).
BLOCK = bytes(b for b in random.Random(7).randbytes(1 << 17) if b not in (13, 27, 28, 29))


def receipt(seq, size=None):
    """Frame number seq: "R<seq>:<size> ", size deterministic bytes, GS "V" 0.

    With cut detection each receipt is exactly one frame."""
    n = size if size is not None else 200 + (seq * 7919) % 30000
    offset = (seq * 104729) % (len(BLOCK) - n)
    return b"R%08d:%05d " % (seq, n) + BLOCK[offset:offset + n] + CUT


def check_receipt(body):
    """The receipt's number if body is an intact receipt, else None."""
    if len(body) < 18 or body[:1] != b"R" or body[9:10] != b":":
        return None
    try:
        seq, size = int(body[1:9]), int(body[10:15])
    except ValueError:
        return None
    return seq if body == receipt(seq, size) else None


# --- the relay process as seen from /proc ---

def rss_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS")


def fd_count(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def sanitized(pid):
    """True for an AddressSanitizer build, whose quarantine makes RSS meaningless."""
    with open(f"/proc/{pid}/maps") as maps:
        if "libasan" in maps.read():
            return True
    with open(f"/proc/{pid}/exe", "rb") as exe:
        return b"__asan_init" in exe.read()


class RssSampler(threading.Thread):
    """Records the highest VmRSS of a process until stopped."""

    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid, self.peak, self.running = pid, rss_kb(pid), True

    def run(self):
        while self.running:
            try:
                self.peak = max(self.peak, rss_kb(self.pid))
            except (OSError, AssertionError):
                return
            time.sleep(0.02)

    def stop(self):
        self.running = False
        self.join(5)
        return self.peak


# --- clients and feeders ---

class PartReader(threading.Thread):
    """Reads a client's stream in a thread and checks every frame part.

    in_order: frames must come as 0, 1, 2, ... with none missing; otherwise
    numbers only have to rise (parts held back for a slow client may be
    dropped, but only whole)."""

    def __init__(self, client, in_order=True, first_seq=0, lead=b""):
        super().__init__(daemon=True)
        self.sock, self.initial = client.sock, client.unread()
        self.in_order = in_order
        self.lead = lead  # what the Feeder's tail puts before every receipt but the first
        self.next_seq = first_seq
        self.frames = 0
        self.frame_bytes = 0
        self.keepalives = 0
        self.keepalives_since_frame = 0
        self.errors = []
        self.odd = []  # plain parts that are no intact receipt
        self.eof = False
        # The source peer left: what followed its last cut came as a frame of
        # its own, so the next receipt comes without the lead.
        self.lead_sent_alone = False

    def run(self):
        buffer = bytearray(self.initial)
        try:
            self.sock.settimeout(None)
            while True:
                start = 0
                while True:
                    header_end = buffer.find(b"\r\n\r\n", start)
                    if header_end < 0:
                        break
                    end = buffer.find(SEPARATOR, header_end + 4)
                    if end < 0:
                        break
                    self._part(bytes(buffer[start:header_end]), bytes(buffer[header_end + 4:end]))
                    start = end + len(SEPARATOR)
                del buffer[:start]
                data = self.sock.recv(1 << 20)
                if not data:
                    self.eof = True
                    return
                buffer += data
        except OSError as e:
            if self.sock.fileno() >= 0:
                self.errors.append(f"read failed: {e!r}")

    def _part(self, kind, body):
        if kind == KEEPALIVE:
            self.keepalives += 1
            self.keepalives_since_frame += 1
            return
        if kind == PLAIN and self.lead and body == self.lead:
            self.lead_sent_alone = True
            return
        seq = self._receipt_number(body) if kind == PLAIN else None
        if kind != PLAIN:
            self.errors.append(f"unexpected part {kind!r} after frame {self.next_seq - 1}")
        elif seq is None:
            self.odd.append(body)
            if len(self.odd) > 10:
                self.errors.append(f"broken frames after frame {self.next_seq - 1}: {body[:40]!r}...")
        elif self.in_order and seq != self.next_seq:
            self.errors.append(f"frame {seq} arrived where {self.next_seq} was due")
        elif not self.in_order and seq < self.next_seq:
            self.errors.append(f"frame {seq} arrived after {self.next_seq - 1}")
        else:
            self.next_seq = seq + 1
            self.keepalives_since_frame = 0
            self.frames += 1
            self.frame_bytes += len(body) - (len(self.lead) if self.lead and body.startswith(self.lead) else 0)

    def _receipt_number(self, body):
        led = bool(self.lead) and body.startswith(self.lead)
        seq = check_receipt(body[len(self.lead):] if led else body)
        unled_allowed = seq == 0 or self.lead_sent_alone
        self.lead_sent_alone = False
        if seq is not None and self.lead and led == unled_allowed:
            return None
        return seq


def wait_frames(readers, frames, timeout=60):
    return wait_until(lambda: all(r.frames >= frames or r.errors for r in readers), timeout, 0.05)


class Feeder:
    """Sends receipts 0, 1, 2, ... on a socket to the relay's TCP source.

    With a window, it stays at most that many bytes ahead of the slowest of
    the given readers: a client that keeps up must not lose anything, and
    this keeps the test's own clients among those that keep up."""

    def __init__(self, sock, readers=(), window=1 << 20, tail=b""):
        self.sock, self.readers, self.window = sock, readers, window
        self.tail = tail  # sent behind every receipt; with cut detection it begins the next frame
        self.seq = 0
        self.sent_frame_bytes = 0

    def send(self, count=None, total_bytes=None, batch=256 * 1024, size=None, timeout=120):
        deadline = time.monotonic() + timeout
        end_seq = self.seq + count if count is not None else None
        end_bytes = self.sent_frame_bytes + total_bytes if total_bytes is not None else None
        pending = []
        pending_bytes = 0
        while (end_seq is None or self.seq < end_seq) and (end_bytes is None or self.sent_frame_bytes < end_bytes):
            frame = receipt(self.seq, size)
            pending.append(frame + self.tail)
            pending_bytes += len(frame)
            self.seq += 1
            self.sent_frame_bytes += len(frame)
            if pending_bytes >= batch:
                self._flush(pending, deadline)
                pending, pending_bytes = [], 0
        if pending:
            self._flush(pending, deadline)

    def _flush(self, frames, deadline):
        if self.readers:
            while self.sent_frame_bytes - min(r.frame_bytes for r in self.readers) > self.window:
                if time.monotonic() > deadline or any(r.errors or r.eof for r in self.readers):
                    raise AssertionError(f"clients stopped at {[r.frames for r in self.readers]} frames "
                                         f"of {self.seq}: {[r.errors for r in self.readers]}")
                time.sleep(0.001)
        self.sock.sendall(b"".join(frames))


def connect(port, timeout=10):
    """A TCP connection to 127.0.0.1:port once somebody accepts there."""
    def attempt():
        try:
            return socket.create_connection(("127.0.0.1", port), timeout=2)
        except OSError:
            return None
    sock = wait_until(attempt, timeout, 0.05)
    if not sock:
        raise AssertionError(f"nobody accepted on port {port}")
    return sock


def reset_close(sock):
    """Closes with an RST instead of a FIN."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()
