#!/usr/bin/env python3
"""Milliseconds from a click on the start button to the level on the screen.

usage: first_level.py BX BY X Y W H   (the button; the meter's rectangle)
Clicks at BX BY, grabs the meter every millisecond or two for 4 s, and takes
the steady picture at the end as the level's: the sample is the first grab
from which the meter shows that picture. The level and the SNR must hold
still once locked. Prints the milliseconds (0 when the meter never settled).
"""
import subprocess
import sys
import time

from xscreen import grab


def main():
    bx, by, x, y, w, h = map(int, sys.argv[1:7])
    subprocess.run(["xdotool", "mousemove", str(bx), str(by), "click", "1", "mousemove", "0", "0"])
    clicked = time.monotonic()
    timeline = []
    while time.monotonic() - clicked < 4:
        timeline.append((time.monotonic() - clicked, grab(x, y, w, h)))
        time.sleep(0.001)
    final = timeline[-1][1]
    first = None
    for at, picture in timeline:
        if picture != final:
            first = None
        elif first is None:
            first = at
    print(round(first * 1000) if first is not None and first < 3.5 else 0)
    return 0


if __name__ == "__main__":
    sys.exit(main())
