#!/usr/bin/env python3
"""Milliseconds from starting a program to its window painted on the screen.

usage: first_paint.py NAME COMMAND...
Starts COMMAND, looks every few ms for a visible window titled NAME, and
reads the pixel at its centre until it is no longer the desktop's colour.
Prints the milliseconds, or "failed" when no painted window shows within
60 s; leaves the program running (the caller ends it).
"""
import subprocess
import sys
import time

from xscreen import grab


def main():
    name, command = sys.argv[1], sys.argv[2:]
    desktop = grab(0, 0, 1, 1)
    started = time.monotonic()
    subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    centre = None
    while time.monotonic() - started < 60:
        if centre is None:
            found = subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--name", f"^{name}$", "getwindowgeometry", "--shell"],
                capture_output=True,
                text=True,
            ).stdout
            v = dict(line.split("=", 1) for line in found.splitlines() if "=" in line)
            if "X" in v:
                centre = (int(v["X"]) + int(v["WIDTH"]) // 2, int(v["Y"]) + int(v["HEIGHT"]) // 2)
        if centre and grab(*centre, 1, 1) != desktop:
            print(round((time.monotonic() - started) * 1000))
            return 0
        time.sleep(0.005)
    print("failed")
    return 1


if __name__ == "__main__":
    sys.exit(main())
