"""node-thermal-printer (npm), a POS-side printing library, installed into a
temporary folder and driven as a POS drives it: for every receipt a
connect-only probe, the print, then a status query, each its own connection.

Shared by test_pos_software and the Windows smoke tests. Standard library only."""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

VERSION = "4.6.1"
RECEIPTS = 20
STATUS_QUERY = b"\x1dr\x01"  # GS r 1, the library's status query: paper sensors

# One line of JSON per receipt: whether the probe connected, the bytes the
# print sent, and the status answer; a failure ends the run with its error.
SCRIPT = r"""
const { ThermalPrinter, PrinterTypes } = require('node-thermal-printer');
const [port, count] = process.argv.slice(2).map(Number);
const printer = new ThermalPrinter({
  type: PrinterTypes.EPSON,
  interface: `tcp://127.0.0.1:${port}`,
  options: { timeout: 10000 },
});
(async () => {
  for (let n = 1; n <= count; n++) {
    const connected = await printer.isPrinterConnected();
    printer.clear();
    printer.println(`RECEIPT ${n} OF ${count}`);
    printer.cut();
    const receipt = printer.getBuffer().toString('hex');
    await printer.execute();
    printer.clear();
    printer.getStatus();
    const status = await printer.execute({ waitForResponse: true });
    console.log(JSON.stringify({ connected, receipt, status: status.toString('hex') }));
  }
})().catch((error) => {
  console.error(`receipt failed: ${error.message}`);
  process.exit(1);
});
"""


class ThermalPrinterLibrary:
    """The library in a folder of its own; install() gives the reason it cannot be had."""

    def __init__(self):
        self.folder = None
        self.node = shutil.which("node")

    def install(self):
        """None when installed, else why not."""
        npm = shutil.which("npm")
        if not npm or not self.node:
            return "npm or node is not installed"
        self.folder = tempfile.mkdtemp(prefix="tavrik_ntp_")
        install = subprocess.run([npm, "install", "--prefix", self.folder, "--no-audit", "--no-fund",
                                  f"node-thermal-printer@{VERSION}"], capture_output=True, timeout=300)
        if install.returncode != 0 or not os.path.isdir(self.module_folder()):
            return f"node-thermal-printer {VERSION} could not be installed from the npm registry"
        with open(os.path.join(self.folder, "pos.js"), "w") as script:
            script.write(SCRIPT)
        return None

    def module_folder(self):
        return os.path.join(self.folder, "node_modules", "node-thermal-printer")

    def remove(self):
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)

    def print_receipts(self, port, count=RECEIPTS, timeout=120):
        """Runs the POS loop against port; returns (exit status, stderr, one dict per receipt done)."""
        run = subprocess.run([self.node, os.path.join(self.folder, "pos.js"), str(port), str(count)],
                             cwd=self.folder, capture_output=True, timeout=timeout)
        receipts = []
        for line in run.stdout.decode().splitlines():
            done = json.loads(line)
            receipts.append({"connected": done["connected"], "receipt": bytes.fromhex(done["receipt"]),
                             "status": bytes.fromhex(done["status"])})
        return run.returncode, run.stderr.decode(errors="replace"), receipts


class UsesThermalPrinterLibrary:
    """A test case mixin: the library installed once for the class, or the
    class skipped with the reason it could not be."""

    @classmethod
    def setUpClass(cls):
        cls.library = ThermalPrinterLibrary()
        reason = cls.library.install()
        if reason:
            cls.library.remove()
            raise unittest.SkipTest(reason)

    @classmethod
    def tearDownClass(cls):
        cls.library.remove()


def check_receipts(test, receipts):
    """Asserts that every receipt of the loop was done; returns the frames the
    relay's clients must get: each receipt, then its status query (the probe
    sends nothing)."""
    test.assertEqual(len(receipts), RECEIPTS)
    for n, done in enumerate(receipts, 1):
        test.assertTrue(done["connected"], f"probe {n} failed")
        test.assertIn(b"RECEIPT %d OF %d\n" % (n, RECEIPTS), done["receipt"])
        test.assertEqual(done["status"], b"\x00", f"status {n}")  # paper present
    return [frame for done in receipts for frame in (done["receipt"], STATUS_QUERY)]
