"""Receipt pictures on the web port ([render] pictures = true): a receipt with
a logo, bold and double-height text, a CODE128 bar code and a QR code comes
back from GET /receipts/SEQ.png as a PNG 576 dots wide whose logo rows are the
logo's bits and whose QR code decodes to its data; off by default. A
receipt the journal keeps with its bytes has the same picture after a
restart, drawn from the journal."""
import http.client
import json
import os
import shutil
import socket
import subprocess
import tempfile
import unittest
import zlib

from relay import RelayTestCase, free_port, wait_until
from traffic import connect

LOGO_BYTES, LOGO_ROWS = 24, 40  # 192 x 40 dots, centred: columns 192-383
LOGO = bytes((row * 37 + i * 11 + (row * i) % 7) & 0xFF for row in range(LOGO_ROWS) for i in range(LOGO_BYTES))
QR_DATA = b"https://receipts.example.test/r/0042?total=9.99"


def receipt():
    qr_store = b"1P0" + QR_DATA
    return (b"\x1b@\x1ba\x01\x1dv0\x00" + bytes([LOGO_BYTES, 0, LOGO_ROWS, 0]) + LOGO
            + b"\x1bE\x01TOTAL 9.99\x1bE\x00\n\x1b!\x10BIG HEADER\x1b!\x00\n"
            + b"\x1dh\x40\x1dH\x02\x1dkI\x0a{BTAV-4201\n"
            + b"\x1d(k\x03\x001C\x05\x1d(k" + bytes([len(qr_store), 0]) + qr_store + b"\x1d(k\x03\x001Q0\n"
            + b"\n\n\x1dV\x00")


def png_rows(png):
    """(width, height, rows of 0/1 with 1 = black) of a 1-bit grayscale PNG."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat = 8, b""
    while at < len(png):
        length = int.from_bytes(png[at:at + 4], "big")
        kind, body = png[at + 4:at + 8], png[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height = int.from_bytes(body[0:4], "big"), int.from_bytes(body[4:8], "big")
            assert body[8:10] == b"\x01\x00", "not 1-bit grayscale"
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride = zlib.decompress(idat), (width + 7) // 8
    rows, previous = [], bytes(stride)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, data = line[0], bytearray(line[1:])
        for i in range(stride):  # one byte per pixel group: a = left byte
            a = data[i - 1] if i else 0
            b, c = previous[i], previous[i - 1] if i else 0
            if kind == 1: data[i] = (data[i] + a) & 0xFF
            elif kind == 2: data[i] = (data[i] + b) & 0xFF
            elif kind == 3: data[i] = (data[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                data[i] = (data[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        previous = bytes(data)
        rows.append([1 - (data[x // 8] >> (7 - x % 8) & 1) for x in range(width)])
    return width, height, rows


class WebPortReads:
    """What the tests read from the relay's web port (self.web_port)."""

    def get(self, path):
        conn = http.client.HTTPConnection("127.0.0.1", self.web_port, timeout=10)
        self.addCleanup(conn.close)
        conn.request("GET", path)
        response = conn.getresponse()
        return response.status, response.getheader("Content-Type"), response.read()

    def first_event(self):
        with socket.create_connection(("127.0.0.1", self.web_port), timeout=10) as sock:
            sock.sendall(b"GET /receipts HTTP/1.1\r\nHost: x\r\n\r\n")
            data = b""
            while b"event: receipt" not in data or not data.rstrip(b"\n").endswith(b"}"):
                chunk = sock.recv(65536)
                if not chunk:
                    break
                data += chunk
        line = next(l for l in data.split(b"\n") if l.startswith(b"data: "))
        return json.loads(line[6:])


class PicturesTest(WebPortReads, RelayTestCase):
    def start(self, outputs):
        source_port, self.web_port = free_port(), free_port()
        relay = self.relay("-l", "-t", source_port, "-u", "-w", f"127.0.0.1:{self.web_port}", "-k", "outputs.toml",
                           start=False)
        with open(relay.path("outputs.toml"), "w") as f:
            f.write(outputs)
        relay.start()
        relay.wait_listening()
        self.relay_ = relay
        source = connect(source_port)
        self.addCleanup(source.close)
        return source

    def written(self):
        return json.loads(self.get("/status")[2])["journal"]["written"]

    def test_picture_of_a_receipt_with_logo_and_codes(self):
        source = self.start("[render]\npictures = true\n")
        source.sendall(receipt())
        self.assertTrue(wait_until(lambda: self.get("/receipts/1.png")[0] == 200, 15))
        status, content_type, png = self.get("/receipts/1.png")
        self.assertEqual(content_type, "image/png")
        width, height, rows = png_rows(png)
        self.assertEqual(width, 576)
        for y in range(LOGO_ROWS):
            expected = [0] * 192 + [LOGO[y * LOGO_BYTES + x // 8] >> (7 - x % 8) & 1 for x in range(192)] + [0] * 192
            self.assertEqual(rows[y], expected, f"logo row {y}")
        codes = [(c["symbology"], c["data"]) for c in self.first_event()["codes"]]
        self.assertIn(("CODE128", "{BTAV-4201"), codes)
        self.assertIn(("QR", QR_DATA.decode()), codes)
        self.assertEqual(self.get("/receipts/2.png")[0], 404)

        zbarimg = shutil.which("zbarimg")
        if not zbarimg:
            self.skipTest("zbarimg (zbar-tools) is not installed: the QR code is not decoded")
        with tempfile.NamedTemporaryFile(suffix=".png", delete=False) as f:
            f.write(png)
        self.addCleanup(os.unlink, f.name)
        decoded = subprocess.run([zbarimg, "--raw", "-q", "-Sdisable", "-Sqrcode.enable", f.name],
                                 capture_output=True, timeout=30).stdout
        self.assertEqual(decoded, QR_DATA + b"\n")

    def test_no_pictures_unless_switched_on(self):
        source = self.start("mask_card_numbers = true\n")
        source.sendall(receipt())
        self.assertEqual(self.first_event()["seq"], 1)  # held by the web port
        self.assertEqual(self.get("/receipts/1.png")[0], 404)

    def test_the_journal_gives_the_same_picture_after_a_restart(self):
        folder = tempfile.mkdtemp(prefix="tavrik_pictures_")
        self.addCleanup(shutil.rmtree, folder, True)
        source = self.start('[render]\npictures = true\n[journal]\npath = "%s"\nstore_raw = true\n'
                            % os.path.join(folder, "j.db"))
        source.sendall(receipt() + b"\x1b@JUST TEXT\n\x1dV\x00")
        self.assertTrue(wait_until(lambda: self.written() >= 2, 15), "the journal never wrote both")
        status, _, held = self.get("/receipts/1.png")
        self.assertEqual(status, 200)
        relay = self.relay_
        self.assertEqual(relay.stop(), 0)
        relay.start()
        relay.wait_log("receipts numbered from 3.")
        status, content_type, stored = self.get("/receipts/1.png")
        self.assertEqual((status, content_type), (200, "image/png"))
        self.assertEqual(stored, held)
        self.assertEqual(png_rows(self.get("/receipts/2.png")[2])[0], 576)
        self.assertEqual(self.get("/receipts/3.png")[0], 404)


if __name__ == "__main__":
    unittest.main()
