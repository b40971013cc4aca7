#!/usr/bin/env python3
"""Milliseconds from a click on the start button to the level on the screen.

usage: first_level.py BX BY X Y W H   (the button; the meter's rectangle)
Presses the button at BX BY, grabs the meter every millisecond or two for
4 s, and takes the steady picture at the end as the level's: the sample is
the first grab from which the meter shows that picture. The level and the SNR must hold
still once locked. Prints the milliseconds, or "failed" with the reason when
the meter never changed from its picture before the click (the click started
nothing), was not steady from 3.5 s on (no level settled), or when the button
at BX BY is not green at the end (the finder is not running: the click
stopped it).
"""
import sys
import time

from xscreen import grab, press, release

WINDOW_S, SETTLED_BY_S = 4.0, 3.5


def first_steady(timeline):
    """The time from which the pictures equal the last one, or None for an empty timeline."""
    first = None
    for at, picture in timeline:
        if picture != timeline[-1][1]:
            first = None
        elif first is None:
            first = at
    return first


def main():
    bx, by, x, y, w, h = map(int, sys.argv[1:7])
    before = grab(x, y, w, h)
    # The program starts the finder on the press. The clock starts as the press
    # leaves for the X server, not after a click command returns: starting
    # xdotool takes about 100 ms, in which a fast start had already shown its
    # level, and such a start read as 0 ms.
    press(bx, by)
    clicked = time.monotonic()
    time.sleep(0.012)
    release()
    timeline = []
    while time.monotonic() - clicked < WINDOW_S:
        timeline.append((time.monotonic() - clicked, grab(x, y, w, h)))
        time.sleep(0.001)
    first = first_steady(timeline)
    blue, green, red = grab(bx, by, 1, 1)[:3]  # the screen's pixels are B, G, R, unused
    if all(picture == before for _, picture in timeline):
        print("failed: the meter never changed")
    elif first is None or first >= SETTLED_BY_S:
        print("failed: no steady level")
    elif green <= red:
        print("failed: the finder was not running at the end")
    else:
        print(round(first * 1000))
    return 0


if __name__ == "__main__":
    sys.exit(main())
