"""The X screen read straight through Xlib (ctypes, no extra packages): fast
enough to look every millisecond or two."""
import ctypes

_x11 = ctypes.CDLL("libX11.so.6")
_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XDefaultRootWindow.restype = ctypes.c_ulong
_x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x11.XGetImage.restype = ctypes.c_void_p
_x11.XGetImage.argtypes = [
    ctypes.c_void_p,
    ctypes.c_ulong,
    ctypes.c_int,
    ctypes.c_int,
    ctypes.c_uint,
    ctypes.c_uint,
    ctypes.c_ulong,
    ctypes.c_int,
]
_ALL_PLANES, _Z_PIXMAP = 0xFFFFFFFF, 2


class _XImage(ctypes.Structure):
    _fields_ = [
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int),
        ("data", ctypes.c_void_p),
        ("byte_order", ctypes.c_int),
        ("bitmap_unit", ctypes.c_int),
        ("bitmap_bit_order", ctypes.c_int),
        ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int),
        ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int),
        ("red_mask", ctypes.c_ulong),
        ("green_mask", ctypes.c_ulong),
        ("blue_mask", ctypes.c_ulong),
        ("obdata", ctypes.c_void_p),
        ("create_image", ctypes.c_void_p),
        ("destroy_image", ctypes.c_void_p),
    ]


_display = _x11.XOpenDisplay(None)
_root = _x11.XDefaultRootWindow(_display)
_destroy = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p)


def grab(x, y, w, h):
    """The raw pixels of a screen rectangle, as bytes."""
    image = _x11.XGetImage(_display, _root, x, y, w, h, _ALL_PLANES, _Z_PIXMAP)
    header = _XImage.from_address(image)
    data = ctypes.string_at(header.data, header.bytes_per_line * h)
    _destroy(header.destroy_image)(image)
    return data


_xtest = ctypes.CDLL("libXtst.so.6")
_xtest.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
_xtest.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
_x11.XFlush.argtypes = [ctypes.c_void_p]


def press(x, y):
    """Moves the pointer to x y and presses the left button, sent to the server
    before this returns: the moment a program's reaction to a press counts from."""
    _xtest.XTestFakeMotionEvent(_display, -1, x, y, 0)
    _xtest.XTestFakeButtonEvent(_display, 1, 1, 0)
    _x11.XFlush(_display)


def release():
    """Releases the left button and moves the pointer away to the screen's corner."""
    _xtest.XTestFakeButtonEvent(_display, 1, 0, 0)
    _xtest.XTestFakeMotionEvent(_display, -1, 0, 0, 0)
    _x11.XFlush(_display)


if __name__ == "__main__":
    # xscreen.py save|same X Y W H FILE: keeps a rectangle's picture, or tells
    # by the exit status whether the screen shows it now.
    import sys

    command, file = sys.argv[1], sys.argv[6]
    picture = grab(*map(int, sys.argv[2:6]))
    if command == "save":
        with open(file, "wb") as saved:
            saved.write(picture)
    else:
        with open(file, "rb") as saved:
            sys.exit(saved.read() != picture)
