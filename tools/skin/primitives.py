"""Drawing primitives of the skin: the palette, the font, colour arithmetic,
paths, and the copies between cairo surfaces and PIL images."""

import math

import cairo
from PIL import Image

SANS = "DejaVu Sans"

TEXT = (190 / 255, 200 / 255, 210 / 255)  # the program's own text colour
LABEL = (128 / 255, 146 / 255, 166 / 255)  # printed button labels, dimmer than the program's text
CAPTION = (105 / 255, 122 / 255, 140 / 255)  # captions of the lists
PANEL_GREY = (205 / 255, 205 / 255, 213 / 255)  # the dialogs' face


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def smoothstep(a, b, v):
    t = clamp((v - a) / (b - a))
    return t * t * (3 - 2 * t)


def mix(c1, c2, t):
    return tuple(a + (b - a) * t for a, b in zip(c1, c2))


def rgb(r, g, b):
    return (r / 255, g / 255, b / 255)


def set_font(cr, size, bold=True, face=SANS):
    cr.select_font_face(face, cairo.FONT_SLANT_NORMAL, cairo.FONT_WEIGHT_BOLD if bold else cairo.FONT_WEIGHT_NORMAL)
    cr.set_font_size(size)
    opts = cairo.FontOptions()
    opts.set_antialias(cairo.ANTIALIAS_GRAY)
    opts.set_hint_style(cairo.HINT_STYLE_SLIGHT)
    opts.set_hint_metrics(cairo.HINT_METRICS_OFF)
    cr.set_font_options(opts)


def text_centered(cr, s, x, y):
    """Draws s with the centre of its ink box at (x, y)."""
    ext = cr.text_extents(s)
    cr.move_to(round(x - ext.width / 2 - ext.x_bearing), round(y - ext.height / 2 - ext.y_bearing))
    cr.show_text(s)


def rounded_rect(cr, x0, y0, x1, y1, r):
    cr.new_sub_path()
    cr.arc(x1 - r, y0 + r, r, -math.pi / 2, 0)
    cr.arc(x1 - r, y1 - r, r, 0, math.pi / 2)
    cr.arc(x0 + r, y1 - r, r, math.pi / 2, math.pi)
    cr.arc(x0 + r, y0 + r, r, math.pi, 1.5 * math.pi)
    cr.close_path()


def ellipse(cr, cx, cy, rx, ry):
    cr.save()
    cr.translate(cx, cy)
    cr.scale(rx, ry)
    cr.arc(0, 0, 1, 0, 2 * math.pi)
    cr.restore()


def blit(cr, src, sx, sy, w, h, dx, dy):
    """Exact 1:1 copy of a rectangle of src to (dx, dy)."""
    cr.save()
    cr.set_operator(cairo.OPERATOR_SOURCE)
    cr.set_source_surface(src, dx - sx, dy - sy)
    cr.get_source().set_filter(cairo.FILTER_NEAREST)
    cr.rectangle(dx, dy, w, h)
    cr.fill()
    cr.restore()


def surface_to_image(surf):
    surf.flush()
    w, h = surf.get_width(), surf.get_height()
    return Image.frombuffer("RGB", (w, h), bytes(surf.get_data()), "raw", "BGRX", surf.get_stride(), 1)


def image_to_surface(img):
    data = bytearray(img.convert("RGB").tobytes("raw", "BGRX"))
    w, h = img.size
    return cairo.ImageSurface.create_for_data(data, cairo.FORMAT_RGB24, w, h, w * 4)
