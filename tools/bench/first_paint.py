#!/usr/bin/env python3
"""Milliseconds from starting a program to its window painted on the screen.

usage: first_paint.py NAME COMMAND...
Starts COMMAND, looks every few ms for a visible window titled NAME, and
reads the pixel at its centre until it is no longer the desktop's colour.
Prints the milliseconds; leaves the program running (the caller ends it).
"""
import ctypes
import subprocess
import sys
import time

x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.c_void_p
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                          ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XGetPixel.restype = ctypes.c_ulong
x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]


def main():
    name, command = sys.argv[1], sys.argv[2:]
    display = x11.XOpenDisplay(None)
    root = x11.XDefaultRootWindow(display)

    def pixel(x, y):
        return x11.XGetPixel(x11.XGetImage(display, root, x, y, 1, 1, 0xFFFFFFFF, 2), 0, 0)

    desktop = pixel(0, 0)
    started = time.monotonic()
    subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    centre = None
    while time.monotonic() - started < 60:
        if centre is None:
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{name}$",
                                    "getwindowgeometry", "--shell"],
                                   capture_output=True, text=True).stdout
            v = dict(line.split("=", 1) for line in found.splitlines() if "=" in line)
            if "X" in v:
                centre = (int(v["X"]) + int(v["WIDTH"]) // 2, int(v["Y"]) + int(v["HEIGHT"]) // 2)
        if centre and pixel(*centre) != desktop:
            print(round((time.monotonic() - started) * 1000))
            return 0
        time.sleep(0.005)
    print(0)
    return 1


if __name__ == "__main__":
    sys.exit(main())
