"""The viewer page in a real browser (headless Chromium over the DevTools
protocol) against the real binary: receipts appear as text within a second,
the euro sign of a CP858 receipt shows, and a relay that is killed and
started again shows as disconnected and then live with receipts again. With a
journal: a search shows only the matching receipts and scrolls into history,
its CSV link carries the query, and a permalink opens its receipt.
Leaves screenshots of the page beside the binary (viewer.png, viewer-search.png)."""
import csv
import datetime
import io
import json
import os
import sys
import time
import unittest
import urllib.error
import urllib.request

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


REFUNDS = (13, 29, 47)


def order(n):
    """Receipt n of the journal's: every one an order, three of them refunds."""
    refund = "REFUND " if n in REFUNDS else ""
    return f"{refund}Order {n:03d}\nFlat white            3.40\nTOTAL                 3.40\n"


class ViewerSearchTest(RelayTestCase):
    def setUp(self):
        self.web_port = free_port()
        self.browser = Browser(CHROMIUM)
        self.addCleanup(self.browser.stop)

    def start_relay(self, journal):
        """A relay on a TCP source with the web port, with or without a journal; returns the source."""
        source_port = free_port()
        relay = self.relay("-l", "-t", source_port, "-u", "-w", self.web_port, "-k", "outputs.toml", start=False)
        with open(relay.path("outputs.toml"), "w") as f:
            f.write(f'[journal]\npath = "{relay.path("journal.db")}"\n' if journal else "")
        relay.start()
        source = connect(source_port, 15)
        self.addCleanup(source.close)
        return source

    def url(self, path):
        return f"http://127.0.0.1:{self.web_port}{path}"

    def get(self, path):
        try:
            with urllib.request.urlopen(self.url(path), timeout=10) as response:
                return response.status, response.read()
        except urllib.error.HTTPError as e:
            return e.code, e.read()

    def newest_in_journal(self):
        status, body = self.get("/api/receipts?limit=1")
        receipts = json.loads(body)["receipts"] if status == 200 else []
        return receipts[0]["seq"] if receipts else 0

    def type_query(self, text):
        self.browser.evaluate("{ const q = document.getElementById('q'); q.value = ''; q.focus();"
                              " q.dispatchEvent(new Event('input')); }")
        if text:
            self.browser.call("Input.insertText", text=text)

    def set_range(self, from_date, from_time, to_date):
        for id, value in (("fromDate", from_date), ("fromTime", from_time), ("toDate", to_date)):
            self.browser.evaluate(f"{{ const input = document.getElementById('{id}'); input.value = '{value}';"
                                  " input.dispatchEvent(new Event('change')); }")

    def shown(self, view):
        """The receipt numbers shown in a view, "" when the view is hidden."""
        return self.browser.evaluate(
            f"document.getElementById('{view}').hidden ? '' : "
            f"[...document.querySelectorAll('#{view} .receipt .seq')].map((a) => a.textContent).join(' ')")

    def line(self, id):
        """A line's look and words, "" while the page has no such line."""
        return self.browser.evaluate(f"document.getElementById('{id}').className + ': ' + "
                                     f"document.getElementById('{id}').textContent") or ""

    def test_search_scrolls_into_history_exports_csv_and_links_each_receipt(self):
        source = self.start_relay(journal=True)
        source.sendall(b"".join(order(n).encode() + b"\x1bi" for n in range(1, 61)))
        self.assertTrue(wait_until(lambda: self.newest_in_journal() == 60, 15), "the journal never held 60")
        self.browser.navigate(self.url("/"))
        self.assertTrue(wait_until(lambda: self.browser.evaluate(
            "document.getElementById('link').textContent") == "Live", 10))

        self.type_query("refund")
        refunds = " ".join(f"#{n}" for n in reversed(REFUNDS))
        self.assertTrue(wait_until(lambda: self.shown("results") == refunds, 10), self.shown("results"))
        self.assertEqual(self.shown("receipts"), "", "the live list is hidden while searching")
        self.assertEqual(self.browser.evaluate("[...document.querySelectorAll('#results mark')]"
                                               ".map((m) => m.textContent).join()"), "REFUND,REFUND,REFUND")
        csv_link = self.browser.evaluate("document.getElementById('csv').href")
        self.assertEqual(csv_link, self.url("/api/receipts.csv?q=refund"))
        status, body = self.get(csv_link[len(self.url("")):])
        rows = list(csv.reader(io.StringIO(body.decode())))
        self.assertEqual((status, [row[0] for row in rows]), (200, ["seq", "47", "29", "13"]))
        self.browser.screenshot(os.path.join(os.path.dirname(os.path.abspath(BINARY)), "viewer-search.png"))

        # Yesterday holds none of them; the CSV link carries the range too.
        yesterday = (datetime.date.today() - datetime.timedelta(days=1)).isoformat()
        self.set_range(yesterday, "08:30", yesterday)
        self.assertTrue(wait_until(lambda: self.line("more") == "more: No receipt matches", 10), self.line("more"))
        self.assertEqual(self.browser.evaluate("document.getElementById('csv').href"),
                         self.url(f"/api/receipts.csv?q=refund&from={yesterday}T08%3A30&to={yesterday}"))
        self.set_range("", "", "")

        # A page holds 50: the rest comes as the list is scrolled to its end.
        self.type_query("order")
        self.assertTrue(wait_until(lambda: self.shown("results").count("#") == 50, 10), self.shown("results"))
        self.browser.evaluate("window.scrollTo(0, document.body.scrollHeight)")
        everything = " ".join(f"#{n}" for n in range(60, 0, -1))
        self.assertTrue(wait_until(lambda: self.shown("results") == everything, 10), self.shown("results"))
        self.assertEqual(self.line("more"), "more: No older receipts")

        # Choosing a receipt puts its permalink in the address; opening one shows its receipt.
        self.browser.evaluate("document.querySelector('#results a[href=\"#seq=29\"]').click()")
        self.assertTrue(wait_until(lambda: self.shown("single") == "#29", 5), self.shown("single"))
        self.assertEqual(self.browser.evaluate("location.hash"), "#seq=29")
        for hash, shown, note, text in (
                ("#seq=5", "#5", "more: ", "Order 005"),
                ("#seq=999", "", "problem: Receipt #999 is not in the journal.", "")):
            self.browser.navigate("about:blank")  # a page opened afresh, not a jump within it
            self.browser.navigate(self.url("/") + hash)
            self.assertTrue(wait_until(lambda: (self.shown("single"), self.line("singleNote")) == (shown, note), 10),
                            self.line("singleNote"))
            self.assertIn(text, self.browser.evaluate("document.getElementById('single').innerText"))

        self.type_query('"refund')
        self.assertTrue(wait_until(lambda: self.line("more").startswith("problem: The search is not understood: "),
                                   10), self.line("more"))

    def test_without_a_journal_a_search_says_so_and_an_empty_one_is_live_again(self):
        source = self.start_relay(journal=False)
        self.browser.navigate(self.url("/"))
        source.sendall(order(1).encode() + b"\x1bi")
        self.assertTrue(wait_until(lambda: self.shown("receipts") == "#1", 10), self.shown("receipts"))
        self.type_query("refund")
        self.assertTrue(wait_until(lambda: self.line("more").startswith("problem: No journal: "), 10),
                        self.line("more"))
        self.type_query("")
        self.assertTrue(wait_until(lambda: self.shown("receipts") == "#1", 10), self.shown("receipts"))
        self.assertEqual(self.shown("results"), "")


class ViewerPictureTest(RelayTestCase):
    def test_the_picture_toggle_shows_receipts_as_printed_and_is_remembered(self):
        web_port = free_port()
        source_port = free_port()
        browser = Browser(CHROMIUM)
        self.addCleanup(browser.stop)
        relay = self.relay("-l", "-t", source_port, "-u", "-w", web_port, "-k", "outputs.toml", start=False)
        with open(relay.path("outputs.toml"), "w") as f:
            f.write("[render]\npictures = true\n")
        relay.start()
        source = connect(source_port, 15)
        self.addCleanup(source.close)
        browser.navigate(f"http://127.0.0.1:{web_port}/")
        source.sendall(RECEIPTS[0])
        newest = "document.querySelector('#receipts .receipt')"
        self.assertTrue(wait_until(lambda: browser.evaluate(f"!!{newest} && !document.getElementById('view').hidden"),
                                   15))
        self.assertFalse(browser.evaluate("document.body.classList.contains('printed')"))
        browser.evaluate("document.getElementById('view').click()")
        picture = f"{newest}.querySelector('.paper img')"
        self.assertTrue(wait_until(lambda: browser.evaluate(f"{picture}.complete && {picture}.naturalWidth") == 576,
                                   15), browser.evaluate(f"{picture}.naturalWidth"))
        self.assertEqual(browser.evaluate(f"getComputedStyle({newest}.querySelector('.paper pre')).display"), "none")
        self.assertIn("CODE39: 12345", browser.evaluate(f"{newest}.querySelector('.codes').textContent"))
        browser.screenshot(os.path.join(os.path.dirname(os.path.abspath(BINARY)), "viewer-picture.png"))
        # Remembered: a new page shows receipts as printed from the start.
        browser.navigate(f"http://127.0.0.1:{web_port}/")
        self.assertTrue(wait_until(lambda: browser.evaluate("document.body.classList.contains('printed')"), 15))
        self.assertEqual(browser.evaluate("document.getElementById('view').textContent"), "Show as text")


if __name__ == "__main__":
    unittest.main()
