#!/usr/bin/env python3
"""Reads the relay's multipart stream from standard input and prints each
receipt as it arrives, with the printer's ESC/POS commands shown as short
markers instead of raw control bytes."""
import re
import sys

BOUNDARY = b"\r\n--ABCDEF12345678\r\n"
COMMANDS = [
    (re.compile(rb"\x1b@"), b""),                       # initialise
    (re.compile(rb"\x1b[aE!-].|\x1bd."), b""),          # alignment, emphasis, print mode, feed
    (re.compile(rb"\x1dV(?:[\x00\x01\x30\x31]|[AB].)?|\x1bi"), b"\n[-- paper cut --]\n"),
]


def readable(body):
    # The byte behind a GS "V" cut is the cut's parameter: it opens the next frame.
    if body[:1] in (b"\x00", b"\x01"):
        body = body[1:]
    for pattern, replacement in COMMANDS:
        body = pattern.sub(replacement, body)
    return body.decode("latin-1")


def main():
    stream = sys.stdin.buffer
    buffer = b""
    while True:
        data = stream.read1(65536)
        if not data:
            return
        buffer += data
        while (end := buffer.find(BOUNDARY)) >= 0:
            part, buffer = buffer[:end], buffer[end + len(BOUNDARY):]
            head, _, body = part.partition(b"\r\n\r\n")
            if b"text/keepalive" in head:
                print(f"  (keep-alive {body.decode()})", flush=True)
            elif b"Content-Type:" in head:
                print(readable(body), flush=True)


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        pass
