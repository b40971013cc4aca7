"""When a red message is on screen, in real time: reads the rectangle X Y W H
(screen pixels) once, presses the left button at PRESS_X PRESS_Y, then reads
the rectangle every 20 ms for SECONDS. Prints one line per reading, "<ms since
the press> <red pixels>", the first one "-1 <red pixels>" from before the
press. Each reading is one XGetImage, a millisecond or two, so its time is
the screen's, however slowly a loaded machine lets this process run.

usage: red_timeline.py X Y W H SECONDS PRESS_X PRESS_Y
"""

import sys
import time

from xscreen import grab, press, release

HIGH = bytes(int(v > 178) for v in range(256))
LOW = bytes(int(v < 77) for v in range(256))


def red_pixels():
    pixels = grab(x, y, w, h)  # B G R X
    masks = (pixels[2::4].translate(HIGH), pixels[1::4].translate(LOW), pixels[0::4].translate(LOW))
    both = int.from_bytes(masks[0], "big") & int.from_bytes(masks[1], "big") & int.from_bytes(masks[2], "big")
    return bin(both).count("1")


x, y, w, h = (int(a) for a in sys.argv[1:5])
seconds = float(sys.argv[5])
print(-1, red_pixels())
press(int(sys.argv[6]), int(sys.argv[7]))
start = time.monotonic()
release()
while (now := time.monotonic()) - start < seconds:
    print(int((now - start) * 1000), red_pixels())
    time.sleep(0.02)
