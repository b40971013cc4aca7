#!/usr/bin/env python3
"""Time from a level change in the simulated card to the new figure on screen.

Black-box: follows the card's call log for a GetSignalPercent value (or a
SAT>IP server's log for a Report) that differs from the one before, and grabs
the meter area of the screen every millisecond or two; a sample is the time from the log line's appearance to the
first grab that differs from the picture before it. The scenario must change
the level now and then with a steady SNR, so the meter area changes only with
the level.

usage: meter_latency.py LOG X Y W H COUNT   (screen rectangle of the meter)
Prints one sample a line in milliseconds, and "failed" for each of the COUNT
changes that did not reach the screen before the deadline.
"""
import os
import re
import sys
import time

from xscreen import grab


def main():
    log, x, y, w, h, count = sys.argv[1], *map(int, sys.argv[2:7])
    # The card logs what it answers; a SAT>IP server, what it reports.
    pattern = re.compile(rb"(?:GetSignalPercent|Report) (\d+)")
    handle = open(log, "rb")
    handle.seek(0, os.SEEK_END)
    level = None
    changed_at = None
    picture = grab(x, y, w, h)
    samples = []
    deadline = time.monotonic() + 30 + count * 10
    while len(samples) < count and time.monotonic() < deadline:
        for match in pattern.finditer(handle.read()):
            value = match.group(1)
            if level is not None and value != level and changed_at is None:
                changed_at = time.monotonic()
                before = picture
            level = value
        picture = grab(x, y, w, h)
        if changed_at is not None and picture != before:
            samples.append((time.monotonic() - changed_at) * 1000)
            changed_at = None
        time.sleep(0.001)
    for sample in samples:
        print(f"{sample:.1f}")
    for _ in range(count - len(samples)):
        print("failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
