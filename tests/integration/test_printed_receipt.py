"""A receipt as a POS prints it through node-thermal-printer (npm): a logo
image, bold and double-height text, a CODE128 bar code and a QR code, then a
cut. GET /receipts/SEQ.png must show the logo's bits where the encoder put
them, and codes that decode (zbarimg) to the data sent; the receipt's record
carries both codes. Skipped with its reason where npm cannot install the
library."""
import os
import shutil
import struct
import subprocess
import unittest
import zlib

from relay import RelayTestCase, free_port, wait_until
from test_pictures import WebPortReads, png_rows
from thermal_printer import UsesThermalPrinterLibrary

WIDTH = 576
# Not a whole number of bytes wide: the encoder pads each row to 208 dots,
# and the printer centres those.
LOGO_WIDTH, LOGO_HEIGHT = 204, 64
LOGO_X = (WIDTH - (LOGO_WIDTH + 7) // 8 * 8) // 2
QR_DATA = "https://receipts.example.test/r/7731?total=12.34"
# 48 bytes at level M take version 4, 33 modules (version 3 at level L); 4 dots a module.
QR_MODULES, QR_DOTS = 33, 4
CODE128_DATA = "TAV-7731-X"
ARTIFACT = os.environ.get("TAVRIK_PRINTED_RECEIPT_PNG")  # where to keep the picture, if anywhere


def logo_dot(x, y):
    """1 = black: a frame, slanted stripes on the left and a disc with an
    off-centre hole on the right, so that a shifted, mirrored or flipped logo,
    or one with its bits reversed in a byte, differs."""
    frame = x < 2 or y < 2 or x >= LOGO_WIDTH - 2 or y >= LOGO_HEIGHT - 2
    stripes = x < 96 and (x + 2 * y) % 12 < 4
    disc = (x - 150) ** 2 + (y - 32) ** 2 < 24 ** 2 and (x - 158) ** 2 + (y - 26) ** 2 >= 8 ** 2
    return 1 if frame or stripes or disc else 0


def qr_size(rows):
    """(dots a module, modules a side) of the centred QR code printed last:
    its bottom row starts with the finder pattern, 7 modules of black."""
    bottom = next(row for row in reversed(rows[:-1]) if any(row))  # above the feed and the cut line
    left = bottom.index(1)
    run = bottom[left:].index(0)
    return run // 7, (len(bottom) - 2 * left) // (run // 7)


def grey_png(width, height, dot):
    """An 8-bit greyscale PNG, black where dot(x, y) is 1."""
    raw = b"".join(b"\x00" + bytes(0 if dot(x, y) else 255 for x in range(width)) for y in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


# Prints one receipt as a shop's POS would lay it out; writes the bytes it
# sent as hex.
SCRIPT = r"""
const { ThermalPrinter, PrinterTypes } = require('node-thermal-printer');
const [port, logo, code128, qr] = process.argv.slice(2);
const printer = new ThermalPrinter({
  type: PrinterTypes.EPSON,
  interface: `tcp://127.0.0.1:${port}`,
  options: { timeout: 10000 },
});
(async () => {
  printer.alignCenter();
  await printer.printImage(logo);
  printer.alignLeft();
  printer.setTextDoubleHeight();
  printer.println('CORNER SHOP');
  printer.setTextNormal();
  printer.println('1 x COFFEE             3.40');
  printer.bold(true);
  printer.println('TOTAL                 12.34');
  printer.bold(false);
  printer.alignCenter();
  printer.code128(code128, { hriPos: 2, height: 80 });
  printer.newLine();
  printer.printQR(qr, { cellSize: 4, correction: 'M' });
  printer.newLine();
  printer.cut();
  const sent = printer.getBuffer().toString('hex');
  await printer.execute();
  console.log(sent);
})().catch((error) => {
  console.error(`receipt failed: ${error.message}`);
  process.exit(1);
});
"""


class PrintedReceiptTest(WebPortReads, UsesThermalPrinterLibrary, RelayTestCase):
    def setUp(self):
        self.source_port, self.web_port = free_port(), free_port()
        self.relay_ = self.relay("-l", "-t", self.source_port, "-f", 5000, "-u", "-w", f"127.0.0.1:{self.web_port}",
                                 "-k", "outputs.toml", start=False)
        with open(self.relay_.path("outputs.toml"), "w") as f:
            f.write("[render]\npictures = true\n")
        self.relay_.start()
        self.relay_.wait_listening()

    def print_receipt(self):
        """Has the library print the receipt; returns the bytes it sent."""
        folder = self.library.folder
        with open(os.path.join(folder, "logo.png"), "wb") as f:
            f.write(grey_png(LOGO_WIDTH, LOGO_HEIGHT, logo_dot))
        with open(os.path.join(folder, "receipt.js"), "w") as f:
            f.write(SCRIPT)
        run = subprocess.run([self.library.node, "receipt.js", str(self.source_port), "logo.png", CODE128_DATA,
                              QR_DATA], cwd=folder, capture_output=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr.decode(errors="replace"))
        return bytes.fromhex(run.stdout.decode().strip())

    def decode(self, png_path, symbology):
        """What zbarimg reads of one symbology in the picture."""
        return subprocess.run(["zbarimg", "--raw", "-q", "-Sdisable", f"-S{symbology}.enable", png_path],
                              capture_output=True, timeout=30).stdout

    def test_picture_shows_the_logo_and_codes_the_encoder_sent(self):
        sent = self.print_receipt()
        self.assertIn(b"\x1dv0", sent)  # the logo went as a raster image
        self.assertTrue(wait_until(lambda: self.get("/receipts/1.png")[0] == 200, 15),
                        "\n".join(self.relay_.messages()[-20:]))
        status, content_type, png = self.get("/receipts/1.png")
        self.assertEqual(content_type, "image/png")
        width, height, rows = png_rows(png)
        self.assertEqual(width, WIDTH)
        self.assertGreater(height, LOGO_HEIGHT)
        for y in range(LOGO_HEIGHT):
            expected = [0] * LOGO_X + [logo_dot(x, y) for x in range(LOGO_WIDTH)] + [0] * (WIDTH - LOGO_X - LOGO_WIDTH)
            self.assertEqual(rows[y], expected, f"logo row {y}")

        codes = [(c["symbology"], c["data"]) for c in self.first_event()["codes"]]
        self.assertEqual(codes, [("CODE128", "{B" + CODE128_DATA), ("QR", QR_DATA)])

        self.assertEqual(qr_size(rows), (QR_DOTS, QR_MODULES))

        path = ARTIFACT or self.relay_.path("receipt.png")
        with open(path, "wb") as f:
            f.write(png)
        if not shutil.which("zbarimg"):
            self.skipTest("zbarimg (zbar-tools) is not installed: the codes in the picture are not decoded")
        self.assertEqual(self.decode(path, "qrcode"), QR_DATA.encode() + b"\n")
        self.assertEqual(self.decode(path, "code128"), CODE128_DATA.encode() + b"\n")


if __name__ == "__main__":
    unittest.main()
