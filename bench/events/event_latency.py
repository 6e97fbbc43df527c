#!/usr/bin/env python3
"""Receipt cut to event at a loopback webhook: the real relay (build/TavrikSrv,
-l -t SRC -u -w -k) with one rule and a webhook, fed one matching receipt
every 1/RATE s by a POS that connects, sends and closes; the latency of each
is from the POS's last write to the webhook's receipt of the POST. Prints
p50, p99 and max in milliseconds. Usage: event_latency.py [COUNT] [RATE]."""
import json
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "integration"))
from relay import Relay, free_port  # noqa: E402
from test_event_outputs import HttpReceiver  # noqa: E402
from traffic import connect  # noqa: E402


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 300
    rate = float(sys.argv[2]) if len(sys.argv) > 2 else 20
    hook = HttpReceiver()
    source, web = free_port(), free_port()
    relay = Relay("-l", "-t", source, "-u", "-w", f"127.0.0.1:{web}", "-k", "outputs.toml")
    with open(relay.path("outputs.toml"), "w") as f:
        f.write(f'[[rule]]\nname = "refund"\nmatch = "REFUND"\n'
                f'[[event]]\nname = "hook"\ntype = "webhook"\nurl = "http://127.0.0.1:{hook.port}/"\n')
    relay.start()
    relay.wait_listening()
    sent = {}
    try:
        for n in range(1, count + 1):
            pos = connect(source)
            pos.sendall(b"SALE 3.00\nREFUND %d.50\n\x1dV\x00" % n)
            sent[n] = time.monotonic()
            pos.close()
            time.sleep(1 / rate)
        latencies = []
        while len(latencies) < count:
            arrived, _, _, body, _ = hook.next()
            latencies.append((arrived - sent[json.loads(body)["seq"]]) * 1000)
    finally:
        relay.__exit__(None, None, None)
        hook.close()
    latencies.sort()
    pick = lambda q: latencies[min(len(latencies) - 1, int(q * len(latencies)))]  # noqa: E731
    print(f"events {count} at {rate:g}/s: p50 {pick(0.5):.2f} ms, p99 {pick(0.99):.2f} ms, max {latencies[-1]:.2f} ms")


if __name__ == "__main__":
    main()
