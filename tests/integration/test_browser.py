"""The viewer page in a real browser (headless Chromium over the DevTools
protocol) against the real binary: receipts appear as text within a second,
the euro sign of a CP858 receipt shows, and a relay that is killed and
started again shows as disconnected and then live with receipts again.
Leaves a screenshot of the page beside the binary (viewer.png)."""
import os
import sys
import time
import unittest

from cdp import Browser, find_chromium
from relay import BINARY, Relay, RelayTestCase, free_port, wait_until
from traffic import connect

CHROMIUM = find_chromium()
if not CHROMIUM:
    print("SKIP: no chromium on this machine (scripts/install-deps installs it)", file=sys.stderr)
    sys.exit(77)

RECEIPTS = [
    b"\x1b@\x1ba\x01\x1b!\x30CORNER CAFE\n\x1b!\x00\x1ba\x0012 Market Street\n\n"
    b"\x1bt\x132 x Espresso          \xd5  5.00\n1 x Croissant         \xd5  2.80\n"
    b"------------------------------\n\x1bE\x01TOTAL                 \xd5  7.80\x1bE\x00\n\n"
    b"\x1dkE\x0512345Thank you!\n\x1dVA\x03",
    b"\x1b@\x1bt\x13Order 1042\nFlat white            \xd5  3.40\nTOTAL                 \xd5  3.40\n"
    b"Card **** 4821\n\x1bi",
]


class ViewerInBrowserTest(RelayTestCase):
    def setUp(self):
        self.source_port = free_port()
        self.web_port = free_port()
        self.client_port = free_port()
        self.browser = Browser(CHROMIUM)
        self.addCleanup(self.browser.stop)

    def start_relay(self):
        relay = self.relay("-l", "-t", self.source_port, "-u", "-w", self.web_port, port=self.client_port)
        relay.wait_listening()
        source = connect(self.source_port)
        self.addCleanup(source.close)
        return relay, source

    def page_text(self):
        return self.browser.evaluate("document.getElementById('receipts').innerText") or ""

    def link(self):
        return self.browser.evaluate("document.getElementById('link').textContent")

    def test_receipts_appear_live_and_survive_a_relay_restart(self):
        relay, source = self.start_relay()
        self.browser.navigate(f"http://127.0.0.1:{self.web_port}/")
        self.assertTrue(wait_until(lambda: self.link() == "Live", 10), f"link shows {self.link()!r}")

        sent = time.monotonic()
        source.sendall(RECEIPTS[0])
        self.assertTrue(wait_until(lambda: "TOTAL                 €  7.80" in self.page_text(), 5, 0.01),
                        self.page_text())
        self.assertLess(time.monotonic() - sent, 1.0, "the receipt took more than a second")
        self.assertNotIn("12345", self.page_text(), "bar code digits leaked into the text")
        source.sendall(RECEIPTS[1])
        self.assertTrue(wait_until(lambda: "Order 1042" in self.page_text(), 5, 0.01))
        self.assertLess(self.page_text().index("Order 1042"), self.page_text().index("CORNER CAFE"),
                        "newest on top")
        self.assertTrue(wait_until(lambda: self.browser.evaluate(
            "document.getElementById('state').textContent") == "connected", 5))
        time.sleep(2)  # the arrival highlight fades before the picture is taken
        self.browser.screenshot(os.path.join(os.path.dirname(os.path.abspath(BINARY)), "viewer.png"))

        relay.kill()
        self.assertTrue(wait_until(lambda: self.link() == "Disconnected", 10), f"link shows {self.link()!r}")

        _, source = self.start_relay()
        self.assertTrue(wait_until(lambda: self.link() == "Live", 15), f"link shows {self.link()!r}")
        source.sendall(b"After the restart\n\x1bi")
        self.assertTrue(wait_until(lambda: "After the restart" in self.page_text(), 5, 0.01),
                        self.page_text())


if __name__ == "__main__":
    unittest.main()
