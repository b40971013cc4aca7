"""The program's icon: a small face with the red button, at 48, 32 and 16 px."""

import math

import cairo
from PIL import Image

from .primitives import rgb


def icon_image(size):
    k = 4
    s = size * k
    surf = cairo.ImageSurface(cairo.FORMAT_ARGB32, s, s)
    cr = cairo.Context(surf)
    cr.scale(s / 48.0, s / 48.0)
    c = 24.0
    # Metal ring.
    cr.arc(c, c, 23.5, 0, 2 * math.pi)
    g = cairo.LinearGradient(2, 2, 46, 46)
    g.add_color_stop_rgb(0, *rgb(250, 251, 253))
    g.add_color_stop_rgb(0.5, *rgb(150, 156, 166))
    g.add_color_stop_rgb(1, *rgb(70, 74, 82))
    cr.set_source(g)
    cr.fill()
    cr.arc(c, c, 23.5, 0, 2 * math.pi)
    cr.set_source_rgb(*rgb(40, 42, 48))
    cr.set_line_width(1.2)
    cr.stroke()
    # Dark dial.
    cr.arc(c, c, 18.5, 0, 2 * math.pi)
    cr.set_source_rgb(*rgb(20, 24, 30))
    cr.fill()
    if size >= 32:
        # A dish in the dial, turned up towards the sky, beside the button.
        cr.save()
        cr.translate(c - 4, c - 3)
        cr.rotate(math.radians(-40))
        cr.move_to(-12, -1)
        cr.curve_to(-7, 9, 7, 9, 12, -1)
        cr.close_path()
        g = cairo.LinearGradient(-10, -2, 8, 8)
        g.add_color_stop_rgb(0, *rgb(245, 247, 250))
        g.add_color_stop_rgb(1, *rgb(140, 146, 156))
        cr.set_source(g)
        cr.fill()
        cr.set_source_rgb(*rgb(205, 212, 222))
        cr.set_line_width(1.6)
        cr.move_to(0, 5)
        cr.line_to(0, -9)
        cr.stroke()
        cr.arc(0, -10, 2.2, 0, 2 * math.pi)
        cr.fill()
        cr.restore()
        cx_b, by, br = c + 7, c + 8, 6.5
    else:
        cx_b, by, br = c, c, 12
    # The red button.
    cr.arc(cx_b, by, br + 1.5, 0, 2 * math.pi)
    cr.set_source_rgb(*rgb(170, 175, 184))
    cr.fill()
    cr.arc(cx_b, by, br, 0, 2 * math.pi)
    g = cairo.RadialGradient(cx_b - br * 0.3, by - br * 0.35, br * 0.05, cx_b, by, br)
    g.add_color_stop_rgb(0, *rgb(255, 140, 120))
    g.add_color_stop_rgb(0.6, *rgb(215, 20, 12))
    g.add_color_stop_rgb(1, *rgb(110, 5, 5))
    cr.set_source(g)
    cr.fill()
    surf.flush()
    w = surf.get_width()
    img = Image.frombuffer("RGBA", (w, w), bytes(surf.get_data()), "raw", "BGRa", surf.get_stride(), 1)
    return img.resize((size, size), Image.Resampling.BOX)


def write_icon(path):
    imgs = [icon_image(n) for n in (48, 32, 16)]
    imgs[0].save(path, format="ICO", sizes=[(16, 16), (32, 32), (48, 48)], append_images=imgs[1:], bitmap_format="bmp")
