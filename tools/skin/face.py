"""The face without buttons: the dark dial, the groove and the brushed metal
ring (computed per pixel), then what is printed and machined on it."""

import math
import random

import cairo

from .layout import CX, CY, FACE, region_centre
from .primitives import CAPTION, LABEL, clamp, mix, rgb, rounded_rect, set_font, smoothstep, text_centered

# The ring: a dark groove, then the metal band out to the window's edge.
GROOVE_IN = 203.0
RING_IN = 207.5
RING_OUT = 256.0

# Light comes from the top left, a little above the face.
_l = (-0.55, -0.65, 0.75)
_n = math.sqrt(sum(c * c for c in _l))
LIGHT = tuple(c / _n for c in _l)
LIGHT_ANGLE = math.atan2(-1.0, -0.85)  # in-plane direction towards the light


# ---------------------------------------------------------------- face background (per pixel)


def ring_profile(r):
    """Slope of the ring's surface (dh/dr) at radius r: a bevelled, slightly domed band."""
    if r < RING_IN + 4.5:
        return 1.6 * (1 - (r - RING_IN) / 4.5) + 0.25
    if r > RING_OUT - 6.0:
        return -1.8 * (r - (RING_OUT - 6.0)) / 6.0 - 0.2
    mid = (RING_IN + 4.5 + RING_OUT - 6.0) / 2
    half = (RING_OUT - 6.0 - RING_IN - 4.5) / 2
    return -0.22 * (r - mid) / half


def make_background():
    """The face without buttons: dark dial, groove, metal ring. Returns a cairo surface."""
    rnd = random.Random(20240607)
    # Circular brushing of the ring: fine concentric streaks, smoothed noise in r.
    bins = [rnd.uniform(-1, 1) for _ in range(1200)]
    brushed = [(bins[i - 1] + 2 * bins[i] + bins[(i + 1) % len(bins)]) / 4 for i in range(len(bins))]
    # A few broader, softer streaks too.
    broad = [rnd.uniform(-1, 1) for _ in range(60)]

    stride = cairo.ImageSurface.format_stride_for_width(cairo.FORMAT_RGB24, FACE)
    buf = bytearray(stride * FACE)
    lx, ly, lz = LIGHT
    hx, hy, hz = lx, ly, lz + 1.0
    hn = math.sqrt(hx * hx + hy * hy + hz * hz)
    hx, hy, hz = hx / hn, hy / hn, hz / hn

    face_dark = (20, 24, 30)
    groove = (7, 8, 10)
    rim = (28, 30, 34)
    for y in range(FACE):
        row = y * stride
        dy = y + 0.5 - CY
        for x in range(FACE):
            dx = x + 0.5 - CX
            r = math.sqrt(dx * dx + dy * dy)
            ux, uy = (dx / r, dy / r) if r > 0 else (0.0, 0.0)
            # The dial: a soft light from the top left, darker towards the rim,
            # and the shadow that the raised ring throws inwards.
            toward = -(dx * 0.64 + dy * 0.77) / 256.0
            fl = 1.0 + 0.22 * toward - 0.18 * smoothstep(120, GROOVE_IN, r)
            lit_side = max(0.0, ux * math.cos(LIGHT_ANGLE) + uy * math.sin(LIGHT_ANGLE))
            shade = smoothstep(GROOVE_IN - 16 - 6 * lit_side, GROOVE_IN, r) * (0.25 + 0.55 * lit_side)
            fl *= 1.0 - shade
            dial = tuple(c * fl for c in face_dark)
            if r < GROOVE_IN - 0.5:
                col = dial
            elif r < GROOVE_IN + 0.5:
                col = mix(dial, groove, r - (GROOVE_IN - 0.5))
            elif r < RING_IN - 0.5:
                col = groove
            else:
                # Metal: Blinn-Phong on the band's profile plus the radial
                # highlight lobes of circularly brushed metal.
                s = ring_profile(r)
                nx, ny, nz = -s * ux, -s * uy, 1.0
                nn = math.sqrt(nx * nx + ny * ny + nz * nz)
                nx, ny, nz = nx / nn, ny / nn, nz / nn
                diff = max(0.0, nx * lx + ny * ly + nz * lz)
                spec = max(0.0, nx * hx + ny * hy + nz * hz) ** 40
                phi = math.atan2(dy, dx)
                c2 = math.cos(2 * (phi - LIGHT_ANGLE))
                aniso = ((0.5 + 0.5 * c2) ** 3) * (0.75 + 0.25 * math.cos(phi - LIGHT_ANGLE))
                flat = 1.0 - abs(s) / 1.9
                bi = r * 4.0
                i0 = int(bi)
                f = bi - i0
                br = brushed[i0 % 1200] * (1 - f) + brushed[(i0 + 1) % 1200] * f
                bb = broad[int(r / 4.5) % 60]
                v = 0.10 + 0.50 * diff + 0.42 * aniso * flat + 0.40 * spec + 0.022 * br + 0.025 * bb
                v = clamp(v)
                metal = (v * 232 + 4, v * 238 + 4, v * 246 + 6)
                col = metal
                if r < RING_IN + 0.5:
                    col = mix(groove, metal, r - (RING_IN - 0.5))
                # A thin dark rim gives the window's edge a clean outline.
                if r > RING_OUT - 1.6:
                    col = mix(col, rim, clamp((r - (RING_OUT - 1.6)) / 1.2))
            o = row + 4 * x
            buf[o] = int(clamp(col[2], 0, 255) + 0.5)
            buf[o + 1] = int(clamp(col[1], 0, 255) + 0.5)
            buf[o + 2] = int(clamp(col[0], 0, 255) + 0.5)
    return cairo.ImageSurface.create_for_data(buf, cairo.FORMAT_RGB24, FACE, FACE, stride)


# ---------------------------------------------------------------- static face decoration


def draw_tray(cr, x0, y0, x1, y1):
    """A slot machined into the face (or ring) in which a list box sits."""
    r = (y1 - y0) / 2.0 - 3
    # Soft outer highlight below and right: the slot's far lip catches the light.
    rounded_rect(cr, x0 - 1, y0 - 1, x1 + 1, y1 + 1, r + 1)
    g = cairo.LinearGradient(0, y0, 0, y1)
    g.add_color_stop_rgba(0, 0, 0, 0, 0.55)
    g.add_color_stop_rgba(1, 0.55, 0.62, 0.70, 0.35)
    cr.set_source(g)
    cr.fill()
    rounded_rect(cr, x0, y0, x1, y1, r)
    g = cairo.LinearGradient(0, y0, 0, y1)
    g.add_color_stop_rgb(0, *rgb(4, 5, 7))
    g.add_color_stop_rgb(0.35, *rgb(11, 13, 16))
    g.add_color_stop_rgb(1, *rgb(17, 20, 24))
    cr.set_source(g)
    cr.fill()
    # Inner shadow along the top edge.
    cr.save()
    rounded_rect(cr, x0, y0, x1, y1, r)
    cr.clip()
    rounded_rect(cr, x0 + 0.5, y0 + 1.0, x1 - 0.5, y1 + 3, r)
    cr.set_source_rgba(0, 0, 0, 0.6)
    cr.set_line_width(1.5)
    cr.stroke()
    cr.restore()


def draw_meter_panel(cr):
    """The display window where the hint and the meter appear: plain and dark."""
    x0, y0, x1, y1 = 150, 69, 358, 179
    rounded_rect(cr, x0 - 1, y0 - 1, x1 + 1, y1 + 1, 14)
    g = cairo.LinearGradient(x0, y0, x1, y1)
    g.add_color_stop_rgba(0, 0, 0, 0, 0.6)
    g.add_color_stop_rgba(1, 0.50, 0.58, 0.66, 0.30)
    cr.set_source(g)
    cr.fill()
    rounded_rect(cr, x0, y0, x1, y1, 13)
    g = cairo.LinearGradient(0, y0, 0, y1)
    g.add_color_stop_rgb(0, *rgb(9, 12, 16))
    g.add_color_stop_rgb(1, *rgb(13, 17, 22))
    cr.set_source(g)
    cr.fill()
    cr.save()
    rounded_rect(cr, x0, y0, x1, y1, 13)
    cr.clip()
    rounded_rect(cr, x0 + 0.5, y0 + 1, x1 + 2, y1 + 2, 13)
    cr.set_source_rgba(0, 0, 0, 0.7)
    cr.set_line_width(2)
    cr.stroke()
    cr.restore()


def draw_text_on_arc(cr, s, radius, centre_deg, spacing_deg):
    """Letters engraved along the ring, centred at a compass angle (0 = top)."""
    n = len(s)
    for i, ch in enumerate(s):
        a = math.radians(centre_deg + (i - (n - 1) / 2.0) * spacing_deg)
        x = CX + radius * math.sin(a)
        y = CY - radius * math.cos(a)
        ext = cr.text_extents(ch)
        for ox, oy, col in ((0, 1.0, (1, 1, 1, 0.55)), (0, 0, (0.10, 0.12, 0.15, 0.92))):
            cr.save()
            cr.translate(x, y)
            cr.rotate(a)
            cr.move_to(-ext.width / 2 - ext.x_bearing + ox, ext.height / 2 + oy)
            cr.set_source_rgba(*col)
            cr.show_text(ch)
            cr.restore()


def draw_static(cr):
    # Brand engraved on the top of the ring, a subtitle on the dial.
    set_font(cr, 15)
    draw_text_on_arc(cr, "ORVALIS", 223.5, 0, 4.6)
    set_font(cr, 8.5)
    cr.set_source_rgb(*CAPTION)
    s = "S A T E L L I T E   F I N D E R"
    text_centered(cr, s, 256, 59)

    # Screws on the ring, left and right of the brand.
    for deg in (-24, 24, 76, 284):
        a = math.radians(deg)
        x = CX + 231.5 * math.sin(a)
        y = CY - 231.5 * math.cos(a)
        draw_screw(cr, x, y, deg)

    draw_meter_panel(cr)

    # Slots of the three list boxes: DiSEqC and satellite share one, the
    # transponder slot runs out to the small button at the ring.
    draw_tray(cr, 6, 197.5, 330, 227.5)
    cr.set_source_rgba(0.45, 0.5, 0.56, 0.8)
    cr.rectangle(99.5, 199, 1, 27)  # joint between the two lists
    cr.fill()
    draw_tray(cr, 195, 287, 446, 317)

    set_font(cr, 9.5)
    cr.set_source_rgb(*CAPTION)
    cr.move_to(137, 194)
    cr.show_text("Satellite")
    cr.move_to(44, 241)
    cr.show_text("DiSEqC")
    cr.move_to(201, 283.5)
    cr.show_text("Transponder")

    # Labels beside the ring buttons: on the dial, on the line from the
    # centre to the button, pushed out until the text touches the groove.
    set_font(cr, 9.5)
    cr.set_source_rgb(*LABEL)
    for name, text in (
        ("lang", "Lang."),
        ("sound", "Sound"),
        ("help", "Help"),
        ("satcalc", "ZivUrav."),
        ("mobile", "Mobile"),
    ):
        cx, cy, _, _ = region_centre(name)
        dx, dy = cx - CX, cy - CY
        d = math.hypot(dx, dy)
        ext = cr.text_extents(text)
        hw, hh = ext.width / 2 + 1, ext.height / 2 + 1
        t = 150.0
        while True:
            px, py = CX + dx * (t + 0.5) / d, CY + dy * (t + 0.5) / d
            far = max(math.hypot(px + sx * hw - CX, py + sy * hh - CY) for sx in (-1, 1) for sy in (-1, 1))
            if far > GROOVE_IN - 5:
                break
            t += 0.5
        text_centered(cr, text, CX + dx * t / d, CY + dy * t / d)


def draw_screw(cr, x, y, deg):
    cr.arc(x, y, 3.6, 0, 2 * math.pi)
    g = cairo.LinearGradient(x - 3, y - 3, x + 3, y + 3)
    g.add_color_stop_rgba(0, 0, 0, 0, 0.65)
    g.add_color_stop_rgba(1, 1, 1, 1, 0.55)
    cr.set_source(g)
    cr.fill()
    cr.arc(x, y, 2.8, 0, 2 * math.pi)
    g = cairo.RadialGradient(x - 1, y - 1, 0.3, x, y, 3)
    g.add_color_stop_rgb(0, *rgb(235, 238, 242))
    g.add_color_stop_rgb(1, *rgb(120, 126, 134))
    cr.set_source(g)
    cr.fill()
    cr.save()
    cr.translate(x, y)
    cr.rotate(math.radians(deg + 35))
    cr.move_to(-2.3, 0)
    cr.line_to(2.3, 0)
    cr.set_source_rgba(0.2, 0.22, 0.25, 0.9)
    cr.set_line_width(0.9)
    cr.stroke()
    cr.restore()
