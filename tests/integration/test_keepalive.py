"""Keep-alive parts on an idle stream."""
import os
import re
import time
import unittest

from relay import RelayTestCase, free_port

STAMP = re.compile(rb"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")


class KeepAliveTest(RelayTestCase):
    def test_idle_client_gets_a_keep_alive_every_three_seconds(self):
        relay = self.relay("-l", "-t", free_port())
        relay.wait_listening()
        client = self.stream(relay)
        arrivals = []
        for _ in range(3):
            kind, body = client.next_part(timeout=10)
            arrivals.append(time.monotonic())
            self.assertEqual(kind, "Content-Type: text/keepalive")
            self.assertRegex(body, STAMP)
        gaps = [b - a for a, b in zip(arrivals, arrivals[1:])]
        for gap in gaps:
            self.assertGreater(gap, 2.0)
            self.assertLess(gap, 4.5)


if __name__ == "__main__":
    unittest.main()
