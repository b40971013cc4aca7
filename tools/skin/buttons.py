"""The buttons of the face, each in any of its states."""

import math

import cairo

from .glyphs import (
    icon_close,
    icon_dish,
    icon_dot,
    icon_globe,
    icon_help,
    icon_minimize,
    icon_mobile,
    icon_sort,
    icon_speaker,
)
from .layout import HOVER_RECTS, REGIONS, halo_limit, region_centre
from .primitives import ellipse, mix, rgb, rounded_rect, set_font, text_centered


def fill_cap(cr, cx, cy, cap, c0, c1, c2, highlight_y=0.45):
    """Fills the current path with a domed cap's shading, lit from the top left."""
    g = cairo.RadialGradient(cx - cap * 0.4, cy - cap * highlight_y, cap * 0.1, cx, cy, cap * 1.05)
    g.add_color_stop_rgb(0, *c0)
    g.add_color_stop_rgb(0.55, *c1)
    g.add_color_stop_rgb(1, *c2)
    cr.set_source(g)
    cr.fill()


def draw_ring_button(cr, name, state, icon, hover_tint=(0.25, 0.62, 1.0), shape=None):
    """A dark round cap set into the ring. Normal or hover (glowing)."""
    cx, cy, rx, ry = region_centre(name)
    if shape is not None:
        cx, cy, rx, ry = shape
    rad = min(rx, ry)
    hover = state == "hover"
    cap = rad - 2.2
    if hover and name in HOVER_RECTS:
        lim = halo_limit(name, cx, cy)
        g = cairo.RadialGradient(cx, cy, cap, cx, cy, lim)
        g.add_color_stop_rgba(0, *hover_tint, 0.75)
        g.add_color_stop_rgba(0.45, *hover_tint, 0.30)
        g.add_color_stop_rgba(1, *hover_tint, 0.0)
        cr.arc(cx, cy, lim, 0, 2 * math.pi)
        cr.set_source(g)
        cr.fill()
    # The hole in the metal: its far (bottom right) wall is lit.
    cr.arc(cx, cy, rad - 0.3, 0, 2 * math.pi)
    g = cairo.LinearGradient(cx - rad, cy - rad, cx + rad, cy + rad)
    g.add_color_stop_rgba(0, 0.0, 0.0, 0.0, 0.95)
    g.add_color_stop_rgba(0.5, 0.05, 0.06, 0.07, 0.9)
    g.add_color_stop_rgba(1, 0.80, 0.84, 0.88, 0.9)
    cr.set_source(g)
    cr.fill()
    # The cap, domed, lit from the top left.
    cr.arc(cx, cy, cap, 0, 2 * math.pi)
    if hover:
        c0 = mix((1, 1, 1), hover_tint, 0.55)
        c1 = tuple(c * 0.55 for c in hover_tint)
        c2 = tuple(c * 0.22 for c in hover_tint)
    else:
        c0, c1, c2 = rgb(112, 120, 132), rgb(48, 54, 63), rgb(24, 27, 32)
    fill_cap(cr, cx, cy, cap, c0, c1, c2)
    # Rim light on the cap's lower right.
    cr.arc(cx, cy, cap - 0.7, math.radians(-20), math.radians(110))
    cr.set_source_rgba(1, 1, 1, 0.25 if not hover else 0.45)
    cr.set_line_width(1.0)
    cr.stroke()
    if icon is not None:
        # Engraved: a dark offset copy first, then the light glyph.
        cr.set_source_rgba(0, 0, 0, 0.6)
        icon(cr, cx + 0.6, cy + 0.8, cap)
        cr.set_source_rgb(*((1, 1, 1) if hover else rgb(200, 210, 222)))
        icon(cr, cx, cy, cap)


def draw_about(cr, state):
    l, t, r, b = REGIONS["about"]
    hover = state == "hover"
    tint = (0.25, 0.62, 1.0)
    if hover:
        x, y, w, h = HOVER_RECTS["about"]
        for i in range(8, 0, -1):
            rounded_rect(cr, l - i, t - i, r + i, b + i, 9.5 + i)
            cr.set_source_rgba(*tint, 0.09)
            cr.fill()
    rounded_rect(cr, l, t, r, b, 9.5)
    g = cairo.LinearGradient(l, t, l + 10, b + 10)
    g.add_color_stop_rgba(0, 0, 0, 0, 0.95)
    g.add_color_stop_rgba(1, 0.8, 0.84, 0.88, 0.9)
    cr.set_source(g)
    cr.fill()
    rounded_rect(cr, l + 1.5, t + 1.5, r - 1.5, b - 1.5, 8)
    g = cairo.LinearGradient(0, t, 0, b)
    if hover:
        g.add_color_stop_rgb(0, *mix((1, 1, 1), tint, 0.5))
        g.add_color_stop_rgb(0.5, *tuple(c * 0.6 for c in tint))
        g.add_color_stop_rgb(1, *tuple(c * 0.3 for c in tint))
    else:
        g.add_color_stop_rgb(0, *rgb(100, 108, 120))
        g.add_color_stop_rgb(0.5, *rgb(45, 51, 60))
        g.add_color_stop_rgb(1, *rgb(25, 28, 33))
    cr.set_source(g)
    cr.fill()
    set_font(cr, 11)
    cr.set_source_rgba(0, 0, 0, 0.6)
    text_centered(cr, "About", (l + r) / 2 + 0.6, (t + b) / 2 + 0.8)
    cr.set_source_rgb(*((1, 1, 1) if hover else rgb(205, 214, 225)))
    text_centered(cr, "About", (l + r) / 2, (t + b) / 2)


def draw_sort(cr, state):
    """Small raised button on the dial, at the left end of the satellite slot."""
    cx, cy, _, _ = region_centre("sort")
    hover = state == "hover"
    rad = 13.2
    cr.arc(cx + 0.6, cy + 0.8, rad, 0, 2 * math.pi)
    cr.set_source_rgba(0, 0, 0, 0.55)
    cr.fill()
    cr.arc(cx, cy, rad, 0, 2 * math.pi)
    g = cairo.LinearGradient(cx - rad, cy - rad, cx + rad, cy + rad)
    g.add_color_stop_rgb(0, *rgb(220, 225, 232))
    g.add_color_stop_rgb(1, *rgb(70, 75, 84))
    cr.set_source(g)
    cr.fill()
    cap = rad - 2.0
    cr.arc(cx, cy, cap, 0, 2 * math.pi)
    if hover:
        tint = (0.25, 0.62, 1.0)
        c0, c1, c2 = mix((1, 1, 1), tint, 0.55), tuple(c * 0.6 for c in tint), tuple(c * 0.25 for c in tint)
    else:
        c0, c1, c2 = rgb(105, 113, 125), rgb(46, 52, 61), rgb(24, 27, 32)
    fill_cap(cr, cx, cy, cap, c0, c1, c2)
    cr.set_source_rgba(0, 0, 0, 0.6)
    icon_sort(cr, cx + 0.5, cy + 0.7, cap)
    cr.set_source_rgb(*((1, 1, 1) if hover else rgb(200, 210, 222)))
    icon_sort(cr, cx, cy, cap)


# The +/- button: the groove between the halves covers rows 305..307, which
# both hover images share; the add image owns the rows above, the remove
# image the rows below.
PM_SPLIT_TOP = 305
PM_SPLIT_BOTTOM = 308


def draw_plusminus(cr, state):
    cx, cy, rx, ry = region_centre("plusminus")
    rad = min(rx, ry)
    # Shadow and chrome bezel.
    cr.arc(cx + 1.0, cy + 1.4, rad - 0.3, 0, 2 * math.pi)
    cr.set_source_rgba(0, 0, 0, 0.55)
    cr.fill()
    cr.arc(cx, cy, rad - 0.3, 0, 2 * math.pi)
    g = cairo.LinearGradient(cx - rad, cy - rad, cx + rad, cy + rad)
    g.add_color_stop_rgb(0, *rgb(235, 238, 243))
    g.add_color_stop_rgb(0.5, *rgb(140, 146, 155))
    g.add_color_stop_rgb(1, *rgb(60, 64, 72))
    cr.set_source(g)
    cr.fill()
    cap = rad - 3.2
    cr.arc(cx, cy, cap + 0.8, 0, 2 * math.pi)
    cr.set_source_rgb(*rgb(12, 14, 17))
    cr.fill()
    for half in ("add", "remove"):
        hover = state == half
        cr.save()
        if half == "add":
            cr.rectangle(cx - rad, cy - rad, 2 * rad, PM_SPLIT_TOP - (cy - rad))
        else:
            cr.rectangle(cx - rad, PM_SPLIT_BOTTOM, 2 * rad, cy + rad - PM_SPLIT_BOTTOM)
        cr.clip()
        cr.arc(cx, cy, cap, 0, 2 * math.pi)
        tint = (0.20, 0.85, 0.35) if half == "add" else (1.0, 0.35, 0.22)
        if hover:
            c0 = mix((1, 1, 1), tint, 0.45)
            c1 = tuple(c * 0.55 for c in tint)
            c2 = tuple(c * 0.22 for c in tint)
        else:
            c0, c1, c2 = rgb(100, 108, 120), rgb(44, 50, 59), rgb(22, 25, 30)
        fill_cap(cr, cx, cy, cap, c0, c1, c2, highlight_y=0.5)
        iy = (cy - cap + PM_SPLIT_TOP) / 2 + 1 if half == "add" else (PM_SPLIT_BOTTOM + cy + cap) / 2 - 1
        arm = 8.0
        for dx, dy, col in (
            (0.7, 0.9, (0, 0, 0, 0.6)),
            (0, 0, (1, 1, 1, 1) if hover else (*mix(rgb(200, 210, 222), tint, 0.35), 1)),
        ):
            cr.set_source_rgba(*col)
            cr.rectangle(cx - arm + dx, iy - 1.75 + dy, 2 * arm, 3.5)
            if half == "add":
                cr.rectangle(cx - 1.75 + dx, iy - arm + dy, 3.5, 2 * arm)
            cr.fill()
        cr.restore()
    # Highlight along the cap's lower right edge, then the groove between halves.
    cr.arc(cx, cy, cap - 0.6, math.radians(-15), math.radians(105))
    cr.set_source_rgba(1, 1, 1, 0.22)
    cr.set_line_width(1)
    cr.stroke()
    cr.rectangle(cx - cap - 1, PM_SPLIT_TOP, 2 * cap + 2, PM_SPLIT_BOTTOM - PM_SPLIT_TOP)
    cr.set_source_rgb(*rgb(10, 12, 15))
    cr.fill()
    cr.rectangle(cx - cap + 2, PM_SPLIT_BOTTOM - 1, 2 * cap - 4, 1)
    cr.set_source_rgba(1, 1, 1, 0.12)
    cr.fill()


def draw_start(cr, state):
    """The big round red button, in any of its six states."""
    cx, cy, r, _ = region_centre("start")
    green = state.startswith("green")
    hover = state.endswith("hover")
    pressed = state.endswith("pressed")
    # The chrome bezel is the edge of the hit circle; the dome sits inside it.
    bezel_out = r + 0.3
    wall = r - 3.2
    # Drop shadow, chrome bezel.
    cr.arc(cx + 1.5, cy + 2.0, bezel_out, 0, 2 * math.pi)
    cr.set_source_rgba(0, 0, 0, 0.6)
    cr.fill()
    if hover:
        lim = halo_limit("start", cx, cy)
        tint = (0.3, 1.0, 0.4) if green else (1.0, 0.3, 0.2)
        g = cairo.RadialGradient(cx, cy, bezel_out - 2, cx, cy, lim)
        g.add_color_stop_rgba(0, *tint, 0.8)
        g.add_color_stop_rgba(1, *tint, 0.0)
        cr.arc(cx, cy, lim, 0, 2 * math.pi)
        cr.set_source(g)
        cr.fill()
    cr.arc(cx, cy, bezel_out, 0, 2 * math.pi)
    g = cairo.LinearGradient(cx - bezel_out, cy - bezel_out, cx + bezel_out, cy + bezel_out)
    g.add_color_stop_rgb(0, *rgb(245, 247, 250))
    g.add_color_stop_rgb(0.45, *rgb(160, 166, 175))
    g.add_color_stop_rgb(1, *rgb(55, 59, 66))
    cr.set_source(g)
    cr.fill()
    # The bezel's inner wall: reversed light.
    cr.arc(cx, cy, wall, 0, 2 * math.pi)
    g = cairo.LinearGradient(cx - wall, cy - wall, cx + wall, cy + wall)
    g.add_color_stop_rgb(0, *rgb(30, 32, 36))
    g.add_color_stop_rgb(1, *rgb(200, 205, 212))
    cr.set_source(g)
    cr.fill()
    # Dome.
    if green:
        base = (0.05, 0.78, 0.20) if not hover else (0.20, 1.0, 0.35)
    else:
        base = (0.85, 0.06, 0.04) if not hover else (1.0, 0.22, 0.12)
    if pressed:
        base = tuple(c * 0.68 for c in base)
    dr = wall - 1.6
    off = 0.8 if pressed else 0.0
    dx, dy = cx + off, cy + off
    cr.arc(dx, dy, dr, 0, 2 * math.pi)
    g = cairo.RadialGradient(dx - dr * 0.3, dy - dr * 0.35, dr * 0.05, dx, dy, dr)
    g.add_color_stop_rgb(0, *mix(base, (1, 1, 1), 0.35 if not pressed else 0.15))
    g.add_color_stop_rgb(0.6, *base)
    g.add_color_stop_rgb(1, *tuple(c * 0.45 for c in base))
    cr.set_source(g)
    cr.fill()
    if pressed:
        # Sunk: the bezel throws a shadow on the dome's upper left.
        cr.save()
        cr.arc(dx, dy, dr, 0, 2 * math.pi)
        cr.clip()
        g = cairo.RadialGradient(dx + 5, dy + 6, dr - 4, dx + 2, dy + 2, dr + 6)
        g.add_color_stop_rgba(0, 0, 0, 0, 0)
        g.add_color_stop_rgba(1, 0, 0, 0, 0.65)
        cr.set_source(g)
        cr.paint()
        cr.restore()
    else:
        # Gloss: a soft highlight on the upper part of the dome.
        cr.save()
        ellipse(cr, dx - 3, dy - dr * 0.42, dr * 0.68, dr * 0.42)
        g = cairo.LinearGradient(0, dy - dr * 0.85, 0, dy - dr * 0.05)
        g.add_color_stop_rgba(0, 1, 1, 1, 0.60 if not hover else 0.7)
        g.add_color_stop_rgba(1, 1, 1, 1, 0.0)
        cr.set_source(g)
        cr.fill()
        cr.restore()
    # Power sign, pressed into the dome.
    ps = 10.0
    for ox, oy, col in ((0.8, 1.0, (0, 0, 0, 0.35)), (0, 0, (1, 1, 1, 0.55 if not pressed else 0.35))):
        cr.set_source_rgba(*col)
        cr.set_line_width(3.0)
        cr.set_line_cap(cairo.LINE_CAP_ROUND)
        cr.arc(dx + ox, dy + 2 + oy, ps, math.radians(-60), math.radians(240))
        cr.stroke()
        cr.move_to(dx + ox, dy - ps - 1 + oy)
        cr.line_to(dx + ox, dy + 1 + oy)
        cr.stroke()


def draw_buttons(cr, states):
    st = lambda n: states.get(n, "normal")
    draw_ring_button(cr, "close", st("close"), icon_close, hover_tint=(1.0, 0.25, 0.2), shape=(370.5, 57.0, 15.5, 15.5))
    draw_ring_button(cr, "minimize", st("minimize"), icon_minimize, shape=(406.0, 85.5, 15.5, 15.5))
    draw_ring_button(cr, "lang", st("lang"), icon_globe)
    draw_ring_button(cr, "sound", st("sound"), icon_speaker)
    draw_ring_button(cr, "help", st("help"), icon_help)
    draw_ring_button(cr, "satcalc", st("satcalc"), icon_dish)
    draw_ring_button(cr, "mobile", st("mobile"), icon_mobile)
    draw_ring_button(cr, "reservedA", "normal", icon_dot)
    draw_ring_button(cr, "reservedB", "normal", icon_dot)
    draw_about(cr, st("about"))
    draw_sort(cr, st("sort"))
    draw_plusminus(cr, st("plusminus"))
    draw_start(cr, states.get("start", "red"))
