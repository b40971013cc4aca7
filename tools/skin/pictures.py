"""The small pictures of the strip: the language flags, and the dish
alignment dialog's pictures on the dialogs' grey."""

import math

import cairo
from PIL import Image

from .layout import FLAGS
from .primitives import PANEL_GREY, ellipse, rgb, rounded_rect, set_font, surface_to_image, text_centered


def draw_flag(cr, name, x, y):
    w, h = 20.0, 15.0
    cr.save()
    cr.translate(x, y)
    cr.rectangle(0, 0, w, h)
    cr.clip()

    def band(col, x0, y0, x1, y1):
        cr.rectangle(x0, y0, x1 - x0, y1 - y0)
        cr.set_source_rgb(*rgb(*col))
        cr.fill()

    def star(sx, sy, ro, col, rot=-math.pi / 2):
        ri = ro * 0.382
        for i in range(10):
            a = rot + i * math.pi / 5
            rr = ro if i % 2 == 0 else ri
            (cr.move_to if i == 0 else cr.line_to)(sx + rr * math.cos(a), sy + rr * math.sin(a))
        cr.close_path()
        cr.set_source_rgb(*rgb(*col))
        cr.fill()

    if name == "English":
        band((1, 33, 105), 0, 0, w, h)
        cr.set_line_cap(cairo.LINE_CAP_BUTT)
        for lw, col in ((3.6, (255, 255, 255)), (1.3, (200, 16, 46))):
            cr.move_to(0, 0)
            cr.line_to(w, h)
            cr.move_to(w, 0)
            cr.line_to(0, h)
            cr.set_source_rgb(*rgb(*col))
            cr.set_line_width(lw)
            cr.stroke()
        band((255, 255, 255), 7.5, 0, 12.5, h)
        band((255, 255, 255), 0, 5, w, 10)
        band((200, 16, 46), 8.5, 0, 11.5, h)
        band((200, 16, 46), 0, 6, w, 9)
    elif name == "German":
        band((0, 0, 0), 0, 0, w, 5)
        band((221, 0, 0), 0, 5, w, 10)
        band((255, 206, 0), 0, 10, w, h)
    elif name == "Russian":
        band((255, 255, 255), 0, 0, w, 5)
        band((0, 57, 166), 0, 5, w, 10)
        band((213, 43, 30), 0, 10, w, h)
    elif name == "Italian":
        band((0, 146, 70), 0, 0, 7, h)
        band((255, 255, 255), 7, 0, 13, h)
        band((206, 43, 55), 13, 0, w, h)
    elif name == "French":
        band((0, 85, 164), 0, 0, 7, h)
        band((255, 255, 255), 7, 0, 13, h)
        band((239, 65, 53), 13, 0, w, h)
    elif name == "Chinese":
        band((222, 41, 16), 0, 0, w, h)
        star(4.2, 4.2, 2.9, (255, 222, 0))
        for sx, sy in ((8.0, 1.6), (9.4, 3.3), (9.4, 5.6), (8.0, 7.2)):
            star(sx, sy, 0.95, (255, 222, 0))
    elif name == "Polish":
        band((255, 255, 255), 0, 0, w, 7.5)
        band((220, 20, 60), 0, 7.5, w, h)
    elif name == "Portuguese":
        band((0, 102, 0), 0, 0, 8, h)
        band((255, 0, 0), 8, 0, w, h)
        cr.arc(8, 7.5, 3.6, 0, 2 * math.pi)
        cr.set_source_rgb(*rgb(255, 229, 0))
        cr.fill()
        rounded_rect(cr, 6.6, 5.7, 9.4, 9.6, 1.0)
        cr.set_source_rgb(*rgb(255, 255, 255))
        cr.fill()
        rounded_rect(cr, 7.2, 6.3, 8.8, 9.0, 0.6)
        cr.set_source_rgb(*rgb(210, 0, 0))
        cr.fill()
    elif name == "Turkish":
        band((227, 10, 23), 0, 0, w, h)
        cr.arc(7.5, 7.5, 4.3, 0, 2 * math.pi)
        cr.set_source_rgb(1, 1, 1)
        cr.fill()
        cr.arc(8.6, 7.5, 3.45, 0, 2 * math.pi)
        cr.set_source_rgb(*rgb(227, 10, 23))
        cr.fill()
        star(13.0, 7.5, 2.0, (255, 255, 255), rot=math.pi)
    # A fine dark frame, so the flag stands off the dark dial.
    cr.rectangle(0.5, 0.5, w - 1, h - 1)
    cr.set_source_rgba(0, 0, 0, 0.35)
    cr.set_line_width(1)
    cr.stroke()
    cr.restore()


def flags_surface():
    """All nine flags drawn four times larger and reduced, for clean small shapes."""
    k = 4
    big = cairo.ImageSurface(cairo.FORMAT_RGB24, 60 * k, 45 * k)
    cr = cairo.Context(big)
    cr.scale(k, k)
    for name, x, y in FLAGS:
        draw_flag(cr, name, x - 672, y - 40)
    big.flush()
    img = surface_to_image(big).resize((60, 45), Image.Resampling.BOX)
    return img


# ---------------------------------------------------------------- dish pictures (on the dialogs' grey)


def metal_fill(cr, x0, y0, x1, y1, light=rgb(235, 238, 242), dark=rgb(120, 126, 136)):
    g = cairo.LinearGradient(x0, y0, x1, y1)
    g.add_color_stop_rgb(0, *light)
    g.add_color_stop_rgb(1, *dark)
    cr.set_source(g)


def arrow_head(cr, x, y, angle, size):
    """Filled arrow head with its tip at (x, y), pointing along angle."""
    cr.move_to(x, y)
    cr.line_to(x - size * math.cos(angle - 0.45), y - size * math.sin(angle - 0.45))
    cr.line_to(x - size * math.cos(angle + 0.45), y - size * math.sin(angle + 0.45))
    cr.close_path()
    cr.fill()


def draw_elevation_picture(cr):
    """Dish from the side, facing right and up, with the tilt arrows."""
    cr.set_source_rgb(*PANEL_GREY)
    cr.paint()
    # Ground and mast.
    cr.set_source_rgb(*rgb(150, 150, 160))
    cr.rectangle(10, 93, 80, 2)
    cr.fill()
    metal_fill(cr, 30, 0, 38, 0, rgb(190, 195, 202), rgb(90, 95, 104))
    cr.rectangle(30, 58, 7, 35)
    cr.fill()
    cr.set_source_rgb(*rgb(70, 74, 82))
    cr.rectangle(26, 91, 15, 3)
    cr.fill()
    # The reflector, tilted back by the elevation angle: a shallow bowl seen
    # edge-on, its opening facing up and right.
    cr.save()
    cr.translate(40, 55)
    cr.rotate(math.radians(-30))
    # Bracket from the mast head to the back of the bowl.
    cr.set_source_rgb(*rgb(70, 74, 82))
    cr.rectangle(-9, -3, 9, 6)
    cr.fill()
    cr.move_to(6, -31)
    cr.line_to(6, 31)
    cr.curve_to(-2, 26, -9, 12, -9, 0)
    cr.curve_to(-9, -12, -2, -26, 6, -31)
    cr.close_path()
    metal_fill(cr, -9, -31, 8, 31)
    cr.fill_preserve()
    cr.set_source_rgb(*rgb(70, 74, 84))
    cr.set_line_width(1.0)
    cr.stroke()
    # The rim, seen edge-on.
    cr.move_to(6, -31)
    cr.line_to(6, 31)
    cr.set_source_rgb(*rgb(95, 100, 110))
    cr.set_line_width(2.2)
    cr.stroke()
    # Feed arm from the lower rim to the LNB at the focus.
    cr.set_source_rgb(*rgb(80, 84, 92))
    cr.set_line_width(2.2)
    cr.move_to(6, 27)
    cr.line_to(29, 3)
    cr.stroke()
    rounded_rect(cr, 26, -4, 36, 4, 1.5)
    cr.set_source_rgb(*rgb(55, 58, 66))
    cr.fill()
    cr.restore()
    # Tilt arrow about the mount: upper end green (+, tilt up), lower end blue (-).
    pc = (34, 57)
    rad = 44
    a_up, a_mid, a_dn = math.radians(-78), math.radians(-42), math.radians(-8)
    cr.set_line_width(2.6)
    cr.set_line_cap(cairo.LINE_CAP_BUTT)
    cr.set_source_rgb(*rgb(0, 160, 40))
    cr.arc(pc[0], pc[1], rad, a_up + 0.12, a_mid)
    cr.stroke()
    ex, ey = pc[0] + rad * math.cos(a_up), pc[1] + rad * math.sin(a_up)
    arrow_head(cr, ex, ey, a_up - math.pi / 2, 8)
    cr.set_source_rgb(*rgb(20, 70, 220))
    cr.arc(pc[0], pc[1], rad, a_mid, a_dn - 0.12)
    cr.stroke()
    ex, ey = pc[0] + rad * math.cos(a_dn), pc[1] + rad * math.sin(a_dn)
    arrow_head(cr, ex, ey, a_dn + math.pi / 2, 8)
    set_font(cr, 15)
    cr.set_source_rgb(*rgb(0, 160, 40))
    text_centered(cr, "+", 62, 10)
    set_font(cr, 17)
    cr.set_source_rgb(*rgb(20, 70, 220))
    text_centered(cr, "\u2212", 91, 42)


def draw_polarization_picture(cr, with_arrow):
    """Dish from the front: reflector, feed arm, LNB; optionally the rotation arrow."""
    cr.set_source_rgb(*PANEL_GREY)
    cr.paint()
    # Mast behind.
    metal_fill(cr, 44, 0, 52, 0, rgb(190, 195, 202), rgb(95, 100, 108))
    cr.rectangle(44, 60, 7, 38)
    cr.fill()
    # Reflector: an oval dish, lit from the top left.
    ellipse(cr, 47.5, 44, 40, 36)
    g = cairo.RadialGradient(36, 30, 4, 47.5, 44, 44)
    g.add_color_stop_rgb(0, *rgb(248, 249, 251))
    g.add_color_stop_rgb(0.7, *rgb(190, 195, 203))
    g.add_color_stop_rgb(1, *rgb(125, 130, 140))
    cr.set_source(g)
    cr.fill_preserve()
    cr.set_source_rgb(*rgb(80, 84, 94))
    cr.set_line_width(1.4)
    cr.stroke()
    ellipse(cr, 47.5, 44, 36.5, 32.5)
    cr.set_source_rgba(1, 1, 1, 0.5)
    cr.set_line_width(1)
    cr.stroke()
    # Feed arm from the bottom rim to the LNB.
    cr.set_source_rgb(*rgb(85, 89, 98))
    cr.set_line_width(3)
    cr.move_to(47.5, 80)
    cr.line_to(46, 62)
    cr.stroke()
    # LNB seen head-on.
    cr.arc(46, 56, 5.5, 0, 2 * math.pi)
    cr.set_source_rgb(*rgb(55, 58, 66))
    cr.fill()
    cr.arc(46, 56, 3.2, 0, 2 * math.pi)
    cr.set_source_rgb(*rgb(120, 125, 135))
    cr.fill()
    if with_arrow:
        # Half circle over the LNB with a head at each end: the left half
        # (head pointing down left) turns it one way, the right half the other.
        c = (46.0, 58.0)
        rr = 11.5
        a0, a1 = math.radians(196), math.radians(344)
        cr.set_source_rgb(*rgb(220, 0, 0))
        cr.set_line_width(3.0)
        cr.set_line_cap(cairo.LINE_CAP_BUTT)
        cr.arc(c[0], c[1], rr, a0 + 0.25, a1 - 0.25)
        cr.stroke()
        for a, d in ((a0, -1), (a1, 1)):
            x, y = c[0] + rr * math.cos(a), c[1] + rr * math.sin(a)
            arrow_head(cr, x, y, a + d * math.pi / 2, 7.5)


def draw_compass(cr):
    cr.set_source_rgb(*PANEL_GREY)
    cr.paint()
    c = 40.0
    cr.arc(c, c, 36.5, 0, 2 * math.pi)
    g = cairo.RadialGradient(30, 28, 2, c, c, 38)
    g.add_color_stop_rgb(0, *rgb(250, 250, 252))
    g.add_color_stop_rgb(1, *rgb(214, 216, 224))
    cr.set_source(g)
    cr.fill_preserve()
    cr.set_source_rgb(*rgb(90, 100, 130))
    cr.set_line_width(1.5)
    cr.stroke()
    for i in range(36):
        a = math.radians(i * 10)
        r0 = 30.5 if i % 9 == 0 else 32.5 if i % 3 else 31.2
        cr.move_to(c + r0 * math.sin(a), c - r0 * math.cos(a))
        cr.line_to(c + 35 * math.sin(a), c - 35 * math.cos(a))
        cr.set_line_width(1.2 if i % 3 == 0 else 0.7)
        cr.set_source_rgb(*rgb(90, 100, 130))
        cr.stroke()
    # Star: four long points, four short ones; north red.
    for i in range(8):
        a = math.radians(i * 45)
        length = 21 if i % 2 == 0 else 11
        wdt = 4.2 if i % 2 == 0 else 2.8
        for side in (-1, 1):
            cr.move_to(c, c)
            cr.line_to(c + length * math.sin(a), c - length * math.cos(a))
            cr.line_to(
                c + wdt * math.sin(a + side * math.pi / 2 + 0.0) * 1.0 + 0, c - wdt * math.cos(a + side * math.pi / 2)
            )
            cr.close_path()
            if i == 0:
                cr.set_source_rgb(*(rgb(225, 20, 20) if side < 0 else rgb(150, 0, 0)))
            else:
                cr.set_source_rgb(*(rgb(110, 120, 150) if side < 0 else rgb(60, 68, 95)))
            cr.fill()
    cr.arc(c, c, 2.0, 0, 2 * math.pi)
    cr.set_source_rgb(*rgb(40, 44, 60))
    cr.fill()
    set_font(cr, 10)
    cr.set_source_rgb(*rgb(200, 0, 0))
    text_centered(cr, "N", c, c - 26)
    cr.set_source_rgb(*rgb(60, 68, 95))
    set_font(cr, 8.5)
    text_centered(cr, "E", c + 26, c)
    text_centered(cr, "S", c, c + 26)
    text_centered(cr, "W", c - 26, c)


def picture(fn, w, h, *args):
    surf = cairo.ImageSurface(cairo.FORMAT_RGB24, w, h)
    cr = cairo.Context(surf)
    fn(cr, *args)
    surf.flush()
    return surf
