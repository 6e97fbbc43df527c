"""Outputs from an outputs file (-k): recorders, text server and MQTT, against the real binary."""
import base64
import json
import os
import queue
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.request

from relay import RelayTestCase, free_port, wait_until

ESC_I = b"\x1bi"        # a paper cut: with -u it ends the frame
CP858 = b"\x1bt\x13"    # ESC t 19: CP858, where 0xD5 is the euro sign


class OutputsTestCase(RelayTestCase):
    def start(self, outputs, debug_level=10, extra=(), env=None):
        """A relay taking frames from a TCP source (cut detection) and the outputs file; returns the source."""
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-u", "-k", "outputs.toml", *extra, debug_level=debug_level,
                           env=env, start=False)
        with open(relay.path("outputs.toml"), "w") as f:
            f.write(outputs)
        relay.start()
        self.relay_process = relay
        source = wait_until(lambda: _try_connect(source_port), timeout=15)
        self.assertTrue(source, "source port never opened")
        self.addCleanup(source.close)
        return source


def _try_connect(port):
    try:
        return socket.create_connection(("127.0.0.1", port), timeout=2)
    except OSError:
        return None


def web_status(port):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/status", timeout=5) as answer:
        return json.load(answer)


class PlainListener:
    """A loopback listener that counts its connections and resets each at once
    (reset=True: with the least receive window, so that a larger receipt is
    never acknowledged) or reads each to its end, keeping the bytes."""

    def __init__(self, reset=False):
        self.server = socket.socket()
        if reset:
            self.server.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1)
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(16)
        self.port = self.server.getsockname()[1]
        self.reset = reset
        self.connections = 0
        self.received = b""
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                peer, _ = self.server.accept()
            except OSError:
                return
            self.connections += 1
            self._answer(peer)
            peer.close()

    def _answer(self, peer):
        if self.reset:
            peer.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            return
        peer.settimeout(2)
        try:
            while chunk := peer.recv(4096):
                self.received += chunk
        except OSError:
            pass

    def close(self):
        self.server.close()


def read_until(sock, expected_size, timeout=20):
    data = b""
    sock.settimeout(timeout)
    deadline = time.monotonic() + timeout
    while len(data) < expected_size and time.monotonic() < deadline:
        try:
            chunk = sock.recv(65536)
        except TimeoutError:
            break
        if not chunk:
            break
        data += chunk
    return data


class OutputsFileTest(RelayTestCase):
    def test_a_bad_missing_or_folder_file_stops_the_start_with_status_2(self):
        for content, message in [
                ('[[recorder]]\nhost = "h"\nport = 1\ncolour = "red"\n',
                 b"outputs.toml:4: recorder[1].colour: unknown key\n"),
                ('[[recorder]]\nhost = "999.1.1.1"\nport = 9000\n',
                 b"outputs.toml:2: recorder[1].host: must be an IP address or a host name\n"),
                ('[[text_server]]\nport = 9100\naddress = "999.1.1.1"\n',
                 b"outputs.toml:3: text_server[1].address: must be a local IP address or localhost\n"),
                ('mask_card_numbers = "no"\n', b"outputs.toml:1: mask_card_numbers: must be true or false\n"),
                (None, b"outputs.toml: cannot read the outputs file\n"),
                ("folder", b"outputs.toml: cannot read the outputs file\n")]:
            relay = self.relay("-k", "outputs.toml", start=False)
            if content == "folder":
                os.mkdir(relay.path("outputs.toml"))
            elif content is not None:
                with open(relay.path("outputs.toml"), "w") as f:
                    f.write(content)
            relay.start()
            self.assertEqual(relay.process.wait(10), 2)
            self.assertEqual(relay.stderr(), message)
            self.assertFalse(os.path.exists(relay.path("Debug.log")), "nothing starts")


    def test_the_shipped_example_switches_nothing_on_and_reads_once_switched_on(self):
        try:
            import tomllib
        except ImportError:
            self.skipTest("tomllib needs Python 3.11")
        with open(os.path.join(os.path.dirname(__file__), "..", "..", "dist", "outputs.example.toml")) as f:
            example = f.read()
        self.assertEqual(tomllib.loads(example), {}, "a copied example would connect out at once")
        switched_on = re.sub(r"(?m)^#(\[|[a-z_]+ = )", r"\1", example)
        self.assertEqual(sorted(tomllib.loads(switched_on)),
                         ["event", "journal", "mask_card_numbers", "mqtt", "name", "ocr", "recorder", "rule", "text_server", "web"])


class RecorderTest(OutputsTestCase):
    def test_tcp_and_udp_recorders_get_marked_wrapped_encoded_text(self):
        tcp = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(tcp.close)
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        udp.bind(("127.0.0.1", 0))
        self.addCleanup(udp.close)
        web = free_port()
        source = self.start(extra=("-w", f"127.0.0.1:{web}"), outputs=f"""
[[recorder]]
host = "127.0.0.1"
port = {tcp.getsockname()[1]}
start = "START"
end = "END"
wrap = 10
encoding = "latin1"

[[recorder]]
protocol = "udp"
host = "127.0.0.1"
port = {udp.getsockname()[1]}
start = "<<"
line_end = "\\n"
""")
        tcp.settimeout(15)
        peer, _ = tcp.accept()
        self.addCleanup(peer.close)
        source.sendall(CP858 + b"Price 5\xd5\nA long line of text\n" + ESC_I + b"Second\n" + ESC_I)
        expected_tcp = (b"START\r\nPrice 5?\r\nA long lin\r\ne of text\r\nEND\r\n"
                        b"START\r\nSecond\r\nEND\r\n")
        self.assertEqual(read_until(peer, len(expected_tcp)), expected_tcp)
        udp.settimeout(15)
        self.assertEqual(udp.recv(2000), "<<\nPrice 5€\nA long line of text\n".encode())
        self.assertEqual(udp.recv(2000), b"<<\nSecond\n")
        # Each output shows on the web port (the TCP recorder's once its acknowledgement is seen).
        counts = wait_until(lambda: [(o["connected"], o["sent"], o["dropped"]) for o in web_status(web)["outputs"]]
                            == [(True, 2, 0), (True, 2, 0)], timeout=10)
        self.assertTrue(counts, web_status(web)["outputs"])
        with urllib.request.urlopen(f"http://127.0.0.1:{web}/metrics", timeout=5) as answer:
            metrics = answer.read().decode()
        self.assertEqual(metrics.count("\ntavrik_output_sent_total{output="), 2)

    def test_recorder_down_then_back_gets_the_newest_queued_receipts_in_order(self):
        port = free_port()
        source = self.start(f"""
[[recorder]]
host = "127.0.0.1"
port = {port}
queue = 3
""")
        for n in range(1, 6):
            source.sendall(b"receipt %d\n" % n + ESC_I)
            time.sleep(1)
        server = socket.create_server(("127.0.0.1", port))
        self.addCleanup(server.close)
        server.settimeout(15)
        peer, _ = server.accept()
        self.addCleanup(peer.close)
        expected = b"receipt 3\r\nreceipt 4\r\nreceipt 5\r\n"
        self.assertEqual(read_until(peer, len(expected)), expected)
        self.relay_process.stop()  # writes the log out
        messages = self.relay_process.messages()
        self.assertIn(f"Recorder tcp 127.0.0.1:{port} connected. 2 receipts dropped while disconnected.", messages)
        # One line for the whole outage, however many attempts failed.
        self.assertEqual(sum("disconnected: " in m for m in messages), 1)


    def test_a_recorder_that_resets_every_connection_gets_nothing_counted_and_one_outage_line(self):
        recorder = PlainListener(reset=True)
        self.addCleanup(recorder.close)
        web = free_port()
        source = self.start(extra=("-w", f"127.0.0.1:{web}"), outputs=f"""
[[recorder]]
host = "127.0.0.1"
port = {recorder.port}
queue = 3
""")
        for n in range(5):  # each larger than the recorder's window
            source.sendall(b"%d " % n + b"x" * 20000 + b"\n" + ESC_I)
        time.sleep(10)
        self.assertGreaterEqual(recorder.connections, 5, "the relay stopped trying")
        counters = web_status(web)["outputs"][0]
        self.assertEqual((counters["connected"], counters["sent"]), (False, 0))
        self.assertEqual(counters["sent"] + counters["dropped"] + counters["queued"], 5)
        with urllib.request.urlopen(f"http://127.0.0.1:{web}/metrics", timeout=5) as answer:
            metrics = answer.read().decode()
        self.assertIn(f'tavrik_output_sent_total{{output="Recorder tcp 127.0.0.1:{recorder.port}"}} 0\n', metrics)
        self.relay_process.stop()
        lines = [m for m in self.relay_process.messages() if m.startswith(f"Recorder tcp 127.0.0.1:{recorder.port}")]
        self.assertEqual(len(lines), 1, lines)
        self.assertIn(" disconnected: ", lines[0])


    @unittest.skipUnless(os.path.exists(os.environ.get("TAVRIK_SLOW_LOOKUP", "")),
                         "the slow_lookup library is not built (TAVRIK_SLOW_LOOKUP)")
    def test_a_slow_lookup_of_a_udp_recorder_holds_up_no_receipt(self):
        recorder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(recorder.close)
        recorder.bind(("127.0.0.1", 0))
        recorder.setblocking(False)
        # Each lookup of "slowbroker" takes 3 s; the first fails.
        env = dict(os.environ, LD_PRELOAD=os.environ["TAVRIK_SLOW_LOOKUP"],
                   ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")
        source = self.start(f'[[recorder]]\nprotocol = "udp"\nhost = "slowbroker"\n'
                            f'port = {recorder.getsockname()[1]}\n', env=env)
        client = self.stream(self.relay_process)
        slowest, seq, datagrams = 0.0, 0, []
        deadline = time.monotonic() + 30
        while not datagrams and time.monotonic() < deadline:
            seq += 1
            sent = time.monotonic()
            source.sendall(b"receipt %d\n" % seq + ESC_I)
            self.assertEqual(client.next_frame(timeout=10), b"receipt %d\n" % seq + ESC_I)
            slowest = max(slowest, time.monotonic() - sent)
            time.sleep(0.2)
            try:
                datagrams.append(recorder.recv(2048))
            except BlockingIOError:
                pass
        self.assertLess(slowest, 1.0, "a receipt waited for the recorder's name lookup")
        self.assertGreaterEqual(seq, 10, "the recorder was reached before the lookups could hold anything up")
        self.assertEqual(datagrams, [b"receipt %d\r\n" % seq])
        self.relay_process.stop()
        lines = [m for m in self.relay_process.messages() if m.startswith("Recorder udp slowbroker:")]
        self.assertEqual(len(lines), 2, lines)
        self.assertIn(" cannot open: ", lines[0])


class TextServerTest(OutputsTestCase):
    def test_a_stalled_reader_does_not_hold_up_another(self):
        port = free_port()
        source = self.start(f'[[text_server]]\nport = {port}\naddress = "127.0.0.1"\n')
        wait_until(lambda: _try_connect(port), timeout=15).close()
        time.sleep(0.5)  # its place is free again
        stalled = socket.socket()
        self.addCleanup(stalled.close)
        stalled.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)  # before connecting: a small window
        stalled.connect(("127.0.0.1", port))
        reader = socket.create_connection(("127.0.0.1", port), timeout=15)
        self.addCleanup(reader.close)
        time.sleep(1)  # both accepted
        line = b"x" * 2000
        expected = b"".join(b"%04d " % n + line + b"\r\n" for n in range(3000))
        received = []
        reading = threading.Thread(target=lambda: received.append(read_until(reader, len(expected), 60)))
        reading.start()
        for n in range(3000):  # paced like a busy till bank, not as one burst
            source.sendall(b"%04d " % n + line + b"\n" + ESC_I)
            if n % 20 == 19:
                time.sleep(0.02)
        reading.join()
        self.assertEqual(received[0], expected)
        stalled.setblocking(False)
        held = b""
        try:
            while chunk := stalled.recv(1 << 20):
                held += chunk
        except BlockingIOError:
            pass
        # What reached it are whole receipts in order with gaps (the last one
        # may still be on its way): skipped receipts are never cut short.
        numbers = [int(r[:4]) for r in held.split(b"\r\n")[:-1]]
        for receipt in held.split(b"\r\n")[:-1]:
            self.assertEqual(receipt, receipt[:5] + line)
        self.assertEqual(numbers, sorted(set(numbers)))
        self.assertLess(len(numbers), 3000)


    def test_a_reader_that_ended_its_side_still_gets_every_receipt(self):
        port = free_port()
        source = self.start(f'[[text_server]]\nport = {port}\naddress = "127.0.0.1"\n')
        reader = wait_until(lambda: _try_connect(port), timeout=15)
        self.addCleanup(reader.close)
        reader.shutdown(socket.SHUT_WR)  # what nc -N does with nothing to send
        time.sleep(1)  # the relay has seen the end of its stream
        for n in range(3):
            source.sendall(b"receipt %d\n" % n + ESC_I)
        expected = b"receipt 0\r\nreceipt 1\r\nreceipt 2\r\n"
        self.assertEqual(read_until(reader, len(expected)), expected)

    def test_a_port_busy_at_start_is_taken_once_free_and_its_loss_logged_once(self):
        port = free_port()
        blocker = socket.socket()
        blocker.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        blocker.bind(("127.0.0.1", port))
        blocker.listen(1)
        source = self.start(f'[[text_server]]\nport = {port}\naddress = "127.0.0.1"\n')
        self.relay_process.wait_log(f"Text server 127.0.0.1:{port} cannot listen: ")
        blocker.close()
        # Tried again 1 s, then 10 s after the start.
        reader = wait_until(lambda: _try_connect(port), timeout=20)
        self.assertTrue(reader, "the freed port was never taken")
        self.addCleanup(reader.close)
        time.sleep(0.5)  # accepted
        source.sendall(b"receipt\n" + ESC_I)
        self.assertEqual(read_until(reader, 9), b"receipt\r\n")
        self.relay_process.stop()
        lines = [m for m in self.relay_process.messages() if "cannot listen" in m]
        self.assertEqual(len(lines), 1, lines)
        self.assertIn(f"Text server 127.0.0.1:{port} listening again.", self.relay_process.messages())


class Broker:
    def __init__(self, port, config=None):
        self.port = port
        self.config = config  # a configuration file instead of -p port
        self.process = None

    def start(self):
        args = ["-c", self.config] if self.config else ["-p", str(self.port)]
        self.process = subprocess.Popen(["mosquitto", *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        probe = wait_until(lambda: _try_connect(self.port), timeout=10)
        if not probe:
            raise AssertionError("broker never listened")
        probe.close()

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


class Subscriber:
    """mosquitto_sub on topic/#, its lines ("topic payload") in a queue."""

    def __init__(self, port, topic):
        self.lines = queue.Queue()
        self.process = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-q", "1",
                                         "-t", topic + "/#", "-v"], stdout=subprocess.PIPE)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.rstrip(b"\n").decode())

    def next(self, timeout=20):
        return self.lines.get(timeout=timeout)

    def wait_for(self, wanted, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            line = self.next(max(0.1, deadline - time.monotonic()))
            if line == wanted:
                return
        raise AssertionError(f"never got {wanted!r}")

    def close(self):
        self.process.kill()
        self.process.wait(10)
        self.process.stdout.close()


@unittest.skipUnless(shutil.which("mosquitto") and shutil.which("mosquitto_sub"), "mosquitto not installed")
class MqttTest(OutputsTestCase):
    def broker_and_subscriber(self):
        """A broker on a free port, and a subscriber to the topic store1."""
        port = free_port()
        broker = Broker(port)
        broker.start()
        self.addCleanup(broker.stop)
        sub = Subscriber(port, "store1")
        self.addCleanup(sub.close)
        return port, broker, sub

    def receipts(self, sub, first, count, with_raw=False):
        for seq in range(first, first + count):
            topic, payload = sub.next().split(" ", 1)
            self.assertEqual(topic, "store1/receipt")
            document = json.loads(payload)
            raw = b"receipt %d\n" % seq + ESC_I
            self.assertEqual(document["seq"], seq)
            self.assertEqual(document["text"], "receipt %d\n" % seq)
            self.assertEqual(document["bytes"], len(raw))
            self.assertIs(document["cut"], True)
            if with_raw:
                self.assertEqual(base64.b64decode(document["raw"]), raw)
            else:
                self.assertNotIn("raw", document)
            self.assertNotIn("png", document)
            self.assertRegex(document["time"], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")

    def test_receipts_status_will_and_a_broker_restart(self):
        port, broker, sub = self.broker_and_subscriber()
        time.sleep(0.5)
        source = self.start(f'[mqtt]\nhost = "127.0.0.1"\nport = {port}\ntopic = "store1"\nraw = true\n')
        sub.wait_for("store1/status online")
        for seq in range(1, 4):
            source.sendall(b"receipt %d\n" % seq + ESC_I)
        self.receipts(sub, 1, 3, with_raw=True)

        broker.stop()
        for seq in range(4, 7):
            source.sendall(b"receipt %d\n" % seq + ESC_I)
            time.sleep(5 / 3)
        broker.start()
        sub.close()
        sub = Subscriber(port, "store1")
        self.addCleanup(sub.close)
        sub.wait_for("store1/status online")
        self.receipts(sub, 4, 3, with_raw=True)

        self.relay_process.kill()  # SIGKILL: the broker sends the will
        sub.wait_for("store1/status offline")

    def test_png_sends_the_picture_the_web_port_gives(self):
        port, _, sub = self.broker_and_subscriber()
        web_port = free_port()
        source = self.start(f'[render]\npictures = true\n[mqtt]\nhost = "127.0.0.1"\nport = {port}\n'
                            f'topic = "store1"\npng = true\n', extra=("-w", f"127.0.0.1:{web_port}"))
        sub.wait_for("store1/status online")
        source.sendall(b"\x1b@\x1b!\x30TOTAL 9.99\n" + ESC_I)
        topic, payload = sub.next().split(" ", 1)
        self.assertEqual(topic, "store1/receipt")
        png = base64.b64decode(json.loads(payload)["png"])
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(int.from_bytes(png[16:20], "big"), 576)
        with urllib.request.urlopen(f"http://127.0.0.1:{web_port}/receipts/1.png", timeout=10) as answer:
            self.assertEqual(answer.read(), png)

    @unittest.skipUnless(os.path.exists(os.environ.get("TAVRIK_SLOW_LOOKUP", "")),
                         "the slow_lookup library is not built (TAVRIK_SLOW_LOOKUP)")
    def test_a_slow_lookup_of_the_broker_holds_up_no_receipt(self):
        port, _, sub = self.broker_and_subscriber()
        # Each lookup of "slowbroker" takes 3 s; the first fails, the relay
        # tries again a second later.
        env = dict(os.environ, LD_PRELOAD=os.environ["TAVRIK_SLOW_LOOKUP"],
                   ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")
        source = self.start(f'[mqtt]\nhost = "slowbroker"\nport = {port}\ntopic = "store1"\n', env=env)
        client = self.stream(self.relay_process)
        slowest = 0.0
        seq = 0
        deadline = time.monotonic() + 30
        while sub.lines.empty() and time.monotonic() < deadline:
            seq += 1
            sent = time.monotonic()
            source.sendall(b"receipt %d\n" % seq + ESC_I)
            self.assertEqual(client.next_frame(timeout=10), b"receipt %d\n" % seq + ESC_I)
            slowest = max(slowest, time.monotonic() - sent)
            time.sleep(0.2)
        self.assertLess(slowest, 1.0, "a receipt waited for the broker's name lookup")
        self.assertGreaterEqual(seq, 20, "the broker was reached before the lookups could hold anything up")
        sub.wait_for("store1/status online")
        self.receipts(sub, 1, seq)
        self.relay_process.wait_log("Lookup error.")


class DroppingBroker(PlainListener):
    """Accepts each client's CONNECT with a CONNACK, then drops it at once, as
    a broker does when another client with the same id connects."""

    def _answer(self, peer):
        peer.settimeout(5)
        try:
            if peer.recv(512)[:1] == b"\x10":
                peer.sendall(b"\x20\x02\x00\x00")
        except OSError:
            pass


@unittest.skipUnless(shutil.which("mosquitto"), "mosquitto not installed")
class MqttDroppedTest(OutputsTestCase):
    def test_a_broker_dropping_each_connection_at_once_is_one_outage_with_a_growing_delay(self):
        broker = DroppingBroker()
        self.addCleanup(broker.close)
        self.start(f'[mqtt]\nhost = "127.0.0.1"\nport = {broker.port}\ntopic = "store1"\n')
        time.sleep(12)
        self.relay_process.stop()
        # Tries at 0, 1, 3 and 7 s: the delay doubles as for a refusal.
        self.assertIn(broker.connections, range(3, 6))
        lines = [m for m in self.relay_process.messages() if m.startswith(f"MQTT 127.0.0.1:{broker.port}")]
        self.assertEqual(len(lines), 1, lines)
        self.assertIn(" disconnected: ", lines[0])


def make_certificates(folder):
    """A CA, and a server certificate it signed for 127.0.0.1 and localhost."""
    def openssl(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True, timeout=60)
    key = ("-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes")
    openssl("req", "-x509", *key, "-days", "2", "-subj", "/CN=Tavrik test CA", "-keyout", "ca.key", "-out", "ca.crt")
    openssl("req", *key, "-subj", "/CN=127.0.0.1", "-keyout", "server.key", "-out", "server.csr")
    with open(os.path.join(folder, "san.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial",
            "-days", "2", "-extfile", "san.ext", "-out", "server.crt")
    for name in os.listdir(folder):
        os.chmod(os.path.join(folder, name), 0o644)  # a broker started as root reads them as its own user
    os.chmod(folder, 0o755)


@unittest.skipUnless(shutil.which("mosquitto") and shutil.which("mosquitto_sub") and shutil.which("openssl"),
                     "mosquitto or openssl not installed")
class MqttTlsTest(OutputsTestCase):
    PASSWORD = "till7secret"

    def setUp(self):
        self.certificates = tempfile.mkdtemp(prefix="tavrik_tls_")
        self.addCleanup(shutil.rmtree, self.certificates, True)
        make_certificates(self.certificates)
        self.ca_file = os.path.join(self.certificates, "ca.crt")

    def mqtt(self, port, ca_file):
        return (f'[mqtt]\nhost = "127.0.0.1"\nport = {port}\ntopic = "store1"\nusername = "till7"\n'
                f'password = "{self.PASSWORD}"\nca_file = "{ca_file}"\n')

    def test_receipts_arrive_over_tls(self):
        plain, tls = free_port(), free_port()
        config = os.path.join(self.certificates, "mosquitto.conf")
        with open(config, "w") as f:
            f.write(f"allow_anonymous true\nlistener {plain} 127.0.0.1\nlistener {tls} 127.0.0.1\n"
                    f"cafile {self.ca_file}\ncertfile {self.certificates}/server.crt\n"
                    f"keyfile {self.certificates}/server.key\n")
        broker = Broker(plain, config)
        broker.start()
        self.addCleanup(broker.stop)
        sub = Subscriber(plain, "store1")
        self.addCleanup(sub.close)
        time.sleep(0.5)
        source = self.start(self.mqtt(tls, self.ca_file))
        sub.wait_for("store1/status online")
        for seq in range(1, 3):
            source.sendall(b"receipt %d\n" % seq + ESC_I)
        MqttTest.receipts(self, sub, 1, 2)

    def test_the_password_never_goes_out_in_clear(self):
        listener = PlainListener()
        self.addCleanup(listener.close)
        # A mistyped CA file stops the start; nothing connects.
        relay = self.relay("-k", "outputs.toml", start=False)
        with open(relay.path("outputs.toml"), "w") as f:
            f.write(self.mqtt(listener.port, self.ca_file + ".typo"))
        relay.start()
        self.assertEqual(relay.process.wait(10), 2)
        self.assertEqual(relay.stderr(), f"outputs.toml:7: mqtt.ca_file: cannot read {self.ca_file}.typo\n".encode())
        time.sleep(1)
        self.assertEqual(listener.connections, 0)
        # With the CA file, a plain listener in the broker's place gets a TLS handshake, never a CONNECT.
        self.start(self.mqtt(listener.port, self.ca_file))
        self.assertTrue(wait_until(lambda: len(listener.received) > 0, timeout=15), "the relay never connected")
        time.sleep(2)
        self.assertEqual(listener.received[:1], b"\x16", "no TLS handshake record")
        self.assertNotIn(self.PASSWORD.encode(), listener.received)


if __name__ == "__main__":
    unittest.main()
