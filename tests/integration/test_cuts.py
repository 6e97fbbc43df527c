"""Cut detection (-u) end to end: a job ending in any cut form is one frame on
the client port and one receipt on /receipts, images and codes whose data hold
cut commands stay whole, and GStreamer's multipartdemux, with the pipeline the
README gives, writes one file per job."""
import glob
import http.client
import json
import os
import shutil
import signal
import subprocess
import time
import unittest

from relay import RelayTestCase, free_port, wait_until
from test_web import EventStream
from traffic import connect

GS = b"\x1d"
ESC = b"\x1b"
CUT_FORMS = {
    "GS V 0": GS + b"V\x00", "GS V 1": GS + b"V\x01", "GS V 48": GS + b"V0", "GS V 49": GS + b"V1",
    "GS V 65 3": GS + b"VA\x03", "GS V 66 0": GS + b"VB\x00", "GS V 97 5": GS + b"Va\x05",
    "GS V 98 0": GS + b"Vb\x00", "GS V 103 1": GS + b"Vg\x01", "GS V 104 29": GS + b"Vh\x1d",
    "ESC i": ESC + b"i",
}
# Picture and code data that holds both cut commands.
CUTS_IN_DATA = b"\x1dV\x00\x1bi\x1dVA\x1d"
RASTER = GS + b"v0\x00\x03\x00\x03\x00" + CUTS_IN_DATA
QR_CODE = (GS + b"(k\x03\x001C\x06" + GS + b"(k\x0c\x001P0" + CUTS_IN_DATA
           + GS + b"(k\x03\x001Q0")
PICTURE_RECEIPT = ESC + b"@" + RASTER + b"SHOP\nTotal 2.50\n" + QR_CODE + b"\n\n" + GS + b"VB\x00"


def job(n, cut):
    return ESC + b"@Receipt %d\nCoffee 2.50\n" % n + cut


class CutTestCase(RelayTestCase):
    def start_relay(self):
        self.source_port = free_port()
        self.web_port = free_port()
        relay = self.relay("-l", "-t", self.source_port, "-u", "-w", f"127.0.0.1:{self.web_port}")
        relay.wait_listening()
        return relay

    def send_job(self, data):
        """Connect, send, close: one job, as a POS prints it."""
        pos = connect(self.source_port)
        pos.sendall(data)
        pos.close()

    def status(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.web_port, timeout=10)
        try:
            conn.request("GET", "/status")
            return json.loads(conn.getresponse().read())
        finally:
            conn.close()


JOBS = [job(n, cut) for n, cut in enumerate(CUT_FORMS.values())] + [PICTURE_RECEIPT]
JOB_NAMES = list(CUT_FORMS) + ["raster and QR code holding cuts"]


class CutTest(CutTestCase):
    def test_each_cut_form_ends_one_job_as_one_part_and_one_receipt(self):
        relay = self.start_relay()
        client = self.stream(relay)
        events = EventStream(self.web_port)
        self.addCleanup(events.close)
        seqs = []
        for name, data in zip(JOB_NAMES, JOBS):
            # One job at a time: each frame is in before the next connection.
            self.send_job(data)
            self.assertEqual(client.next_frame(timeout=10), data, name)
            seq, receipt = events.next_receipt()
            self.assertEqual((receipt["bytes"], receipt["cut"]), (len(data), True), name)
            seqs.append(seq)
        # Nothing stray between the jobs: the next part is the next job's.
        self.send_job(b"last" + ESC + b"i")
        self.assertEqual(client.next_frame(timeout=10), b"last" + ESC + b"i")
        seq, _ = events.next_receipt()
        self.assertEqual(seqs + [seq], list(range(seqs[0], seqs[0] + len(JOBS) + 1)))
        self.assertEqual(self.status()["framesRelayed"], len(JOBS) + 1)


# The pipeline the README gives, with this test's port and folder. The
# stream's two content types make two pads; each sink must not wait for the
# other's first buffer (async=false).
PIPELINE = ("souphttpsrc location=http://127.0.0.1:{port}/ ! multipartdemux name=demux"
            " demux. ! text/plaintext ! multifilesink location={folder}/receipt-%05d.prn async=false"
            " demux. ! text/keepalive ! fakesink async=false")


def gstreamer_missing():
    """Why the GStreamer pipeline cannot run here, or None."""
    if not shutil.which("gst-launch-1.0") or not shutil.which("gst-inspect-1.0"):
        return "gst-launch-1.0 is not installed (gstreamer1.0-tools)"
    for element in ("souphttpsrc", "multipartdemux", "multifilesink"):
        if subprocess.run(["gst-inspect-1.0", "--exists", element]).returncode != 0:
            return f"GStreamer's {element} is not installed (gstreamer1.0-plugins-good)"
    return None


@unittest.skipIf(gstreamer_missing(), gstreamer_missing())
class GStreamerTest(CutTestCase):
    def test_documented_pipeline_writes_one_file_per_job(self):
        relay = self.start_relay()
        folder = relay.path("parts")
        os.mkdir(folder)
        gst = subprocess.Popen(
            ["gst-launch-1.0", "-q"] + PIPELINE.format(port=relay.port, folder=folder).split(),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(gst.wait, 10)
        self.addCleanup(gst.send_signal, signal.SIGINT)
        self.assertTrue(wait_until(lambda: self.status()["clientsConnected"] == 1, 15),
                        "GStreamer never connected")
        time.sleep(3.5)  # a keep-alive first: its pad comes before the receipts'
        files = lambda: sorted(glob.glob(f"{folder}/receipt-*.prn"))
        for n, data in enumerate(JOBS):
            self.send_job(data)
            self.assertTrue(wait_until(lambda: len(files()) > n, 15), f"no file for {JOB_NAMES[n]}")
        time.sleep(1)  # a stray part would land now
        contents = []
        for name in files():
            with open(name, "rb") as f:
                contents.append(f.read())
        self.assertEqual(contents, JOBS)


if __name__ == "__main__":
    unittest.main()
