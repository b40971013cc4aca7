#!/usr/bin/env python3
"""A seeded monkey over Orvalis: clicks on the buttons and anywhere, double
clicks, short drags, keys, typed transponder texts and list choices, over the
main window and whatever dialog is open. The close and minimise buttons and
Escape are left out, so the run keeps its one process.

usage: monkey.py SEED ACTIONS
"""
import random, subprocess, sys, time

BUTTONS = [
    (375, 214),
    (139, 285),
    (139, 325),
    (65, 380),
    (106, 427),
    (159, 463),
    (257, 476),
    (115, 185),
    (475, 325),
    (447, 380),
    (408, 429),
    (355, 465),
    (40, 210),
    (210, 210),
    (300, 300),
]
KEEP_OUT = [(370, 57), (406, 86)]  # close and minimise
TEXTS = [
    "11778 V 27500",
    "10744,H,22000",
    "4000 H 27500",
    "11778V2750",
    "12000 v 30000000",
    "123456789012345678901234",
    "11778 V 27500=x",
    "abc",
    "",
]
KEYS = [
    "Tab",
    "Return",
    "space",
    "Up",
    "Down",
    "Left",
    "Right",
    "Home",
    "End",
    "BackSpace",
    "Delete",
    "Page_Down",
    "1",
    "7",
    "v",
    "h",
    "comma",
    "alt+Down",
]


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def origin():
    found = subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^Orvalis$", "getwindowgeometry", "--shell"],
        capture_output=True,
        text=True,
    ).stdout
    values = dict(line.split("=", 1) for line in found.splitlines() if "=" in line)
    return int(values.get("X", 0)), int(values.get("Y", 0))


def main():
    seed, count = int(sys.argv[1]), int(sys.argv[2])
    rnd = random.Random(seed)
    width, height = map(
        int, subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, text=True).stdout.split()
    )
    ox, oy = origin()
    for action in range(count):
        if action % 50 == 0:
            ox, oy = origin()  # a move Wine made late
        kind = rnd.choices(
            ["button", "click", "double", "drag", "key", "type", "list", "screen"], weights=[30, 18, 6, 5, 18, 8, 10, 5]
        )[0]
        x, y = rnd.choice(BUTTONS) if kind in ("button", "type", "list") else (rnd.randrange(512), rnd.randrange(512))
        if kind == "screen":  # full-screen dialogs: anywhere, the log's close button at times
            x, y = rnd.randrange(width) - ox, rnd.randrange(height) - oy
        # The close and minimise buttons where the window is now: a drag moves it.
        if any(abs(x - kx) < 22 and abs(y - ky) < 22 for kx, ky in KEEP_OUT):
            continue
        x, y = ox + x, oy + y
        if kind in ("button", "click", "screen"):
            xdotool("mousemove", x, y, "click", 1)
        elif kind == "double":
            xdotool("mousemove", x, y, "click", "--repeat", 2, "--delay", 60, 1)
        elif kind == "drag":
            dx, dy = rnd.randint(-25, 25), rnd.randint(-25, 25)
            xdotool("mousemove", x, y, "mousedown", 1, "mousemove", x + dx, y + dy, "mouseup", 1)
            time.sleep(0.1)
            ox, oy = origin()
        elif kind == "key":
            xdotool("key", rnd.choice(KEYS))
        elif kind == "type":
            xdotool("mousemove", ox + 300, oy + 300, "click", 1, "key", "End", *(["BackSpace"] * 25))
            xdotool("type", "--delay", 5, rnd.choice(TEXTS))
        elif kind == "list":
            xdotool("mousemove", x, y, "click", 1)
            xdotool("key", *(["Down"] * rnd.randint(0, 12)), "Return")
        time.sleep(rnd.uniform(0.01, 0.05))


if __name__ == "__main__":
    main()
