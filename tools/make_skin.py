#!/usr/bin/python3
"""Draws Orvalis's skin atlas and its icon.

    /usr/bin/python3 tools/make_skin.py            writes resources/skin.jpg and resources/orvalis.ico
    /usr/bin/python3 tools/make_skin.py --preview  also writes PNG previews under build/skin-preview/
    /usr/bin/python3 tools/make_skin.py --check    also checks the pieces (overlaps, alignment, JPEG error)
    /usr/bin/python3 tools/make_skin.py --list     only lists the strip pieces and their overlaps

The atlas is 768 x 512: the left 512 x 512 square is the window's face in its
normal state, the strip to its right holds the other button states, the
language flags and the pictures of the dish alignment dialog.

Every stateful piece of the strip is cut out of a whole face rendered with
that one button in another state, at the button's window rectangle. So a hover
or pressed image lines up with the face pixel for pixel (the same drawing
function, the same background), and a copy of it over its window rectangle
changes nothing but the button.

Needs Debian's python3-cairo, python3-pil and fonts-dejavu-core. The output is
deterministic: rerunning gives the same bytes.
"""

import math
import os
import random
import sys

import cairo
from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SKIN_PATH = os.path.join(ROOT, "resources", "skin.jpg")
ICON_PATH = os.path.join(ROOT, "resources", "orvalis.ico")
PREVIEW_DIR = os.path.join(ROOT, "build", "skin-preview")

ATLAS_W, ATLAS_H = 768, 512
FACE = 512
CX = CY = 256.0
JPEG_QUALITY = 94

SANS = "DejaVu Sans"
SANS_COND = "DejaVu Sans Condensed"

# The ring: a dark groove, then the metal band out to the window's edge.
GROOVE_IN = 203.0
RING_IN = 207.5
RING_OUT = 256.0

# Light comes from the top left, a little above the face.
_l = (-0.55, -0.65, 0.75)
_n = math.sqrt(sum(c * c for c in _l))
LIGHT = tuple(c / _n for c in _l)
LIGHT_ANGLE = math.atan2(-1.0, -0.85)   # in-plane direction towards the light

TEXT = (190 / 255, 200 / 255, 210 / 255)       # the program's own text colour
LABEL = (128 / 255, 146 / 255, 166 / 255)      # printed button labels, dimmer than the program's text
CAPTION = (105 / 255, 122 / 255, 140 / 255)    # captions of the lists
PANEL_GREY = (205 / 255, 205 / 255, 213 / 255)  # the dialogs' face

# Window geometry of the buttons: hit regions as the program builds them
# (left, top, right, bottom). The drawn button stays inside its region.
REGIONS = {
    "close": (355, 40, 386, 74),
    "minimize": (390, 70, 422, 101),
    "start": (342, 181, 409, 248),
    "plusminus": (106, 273, 172, 340),
    "lang": (50, 365, 80, 395),
    "sound": (91, 412, 121, 442),
    "help": (144, 448, 174, 478),
    "about": (220, 467, 294, 486),
    "sort": (100, 170, 130, 200),
    "reservedA": (460, 310, 490, 340),
    "reservedB": (432, 365, 462, 395),
    "mobile": (393, 414, 423, 444),
    "satcalc": (340, 450, 370, 480),
}

# Hover rectangles (window x, y, w, h) of the ring buttons: the glow of a
# hovered button must fade out inside its own rectangle.
HOVER_RECTS = {
    "close": (350, 40, 40, 40),
    "minimize": (385, 65, 40, 40),
    "help": (137, 445, 40, 40),
    "sound": (85, 410, 40, 40),
    "lang": (45, 360, 40, 40),
    "satcalc": (337, 445, 37, 36),
    "mobile": (390, 409, 36, 37),
    "about": (205, 455, 105, 45),
    "sort": (100, 170, 30, 30),
    "start": (335, 174, 80, 82),
}

# Strip pieces cut from a face: (name, window rect, atlas x, y, states).
FACE_PIECES = [
    ("Lang. button, hover", (45, 360, 40, 40), (512, 0), {"lang": "hover"}),
    ("Sound button, hover", (85, 410, 40, 40), (552, 0), {"sound": "hover"}),
    ("Help button, hover", (137, 445, 40, 40), (592, 0), {"help": "hover"}),
    ("Close button, hover", (350, 40, 40, 40), (632, 0), {"close": "hover"}),
    ("Minimise button, hover", (385, 65, 40, 40), (672, 0), {"minimize": "hover"}),
    ("ZivUrav. button, hover", (337, 445, 37, 36), (712, 0), {"satcalc": "hover"}),
    ("Add (upper half of +/-), hover", (100, 265, 80, 43), (512, 42), {"plusminus": "add"}),
    ("Remove (lower half of +/-), hover", (100, 305, 80, 40), (592, 45), {"plusminus": "remove"}),
    ("Red button, red, hover", (335, 174, 80, 82), (512, 85), {"start": "red_hover"}),
    ("Red button, green", (335, 174, 80, 82), (592, 85), {"start": "green"}),
    ("Red button, green, hover", (335, 174, 80, 82), (672, 85), {"start": "green_hover"}),
    ("About button, hover", (205, 455, 105, 45), (572, 167), {"about": "hover"}),
    ("Mobile button, hover", (390, 409, 36, 37), (677, 175), {"mobile": "hover"}),
    ("Sort button, hover", (100, 170, 30, 30), (512, 181), {"sort": "hover"}),
    ("Red button, red, pressed", (335, 174, 80, 82), (512, 212), {"start": "red_pressed"}),
    ("Red button, green, pressed", (335, 174, 80, 82), (592, 212), {"start": "green_pressed"}),
]

FLAGS = [
    ("French", 672, 40), ("Chinese", 692, 40), ("Turkish", 712, 40),
    ("Russian", 672, 55), ("Italian", 692, 55), ("Portuguese", 712, 55),
    ("German", 672, 70), ("English", 692, 70), ("Polish", 712, 70),
]

ELEVATION_PIC = (512, 312, 100, 100)
POLARIZATION_PIC = (512, 412, 100, 100)
COMPASS_PIC = (612, 412, 80, 80)
# The rotation arrow lies over the polarization picture at its window offset
# (398 - 370, 266 - 220) = (28, 46): left half 18 wide, right half 17 wide.
ARROW_LEFT = (612, 492, 18, 20)
ARROW_RIGHT = (630, 492, 17, 20)
ARROW_OFFSET = (28, 46)


def all_strip_pieces():
    pieces = [(name, (ax, ay, r[2], r[3])) for name, r, (ax, ay), _ in FACE_PIECES]
    pieces += [("Flag " + name, (x, y, 20, 15)) for name, x, y in FLAGS]
    pieces += [
        ("Elevation picture", ELEVATION_PIC),
        ("Polarization picture", POLARIZATION_PIC),
        ("Compass rose", COMPASS_PIC),
        ("Rotation arrow, left half", ARROW_LEFT),
        ("Rotation arrow, right half", ARROW_RIGHT),
    ]
    return pieces


def overlaps(pieces):
    found = []
    for i, (na, a) in enumerate(pieces):
        for nb, b in pieces[i + 1:]:
            if a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]:
                found.append((na, nb))
    return found


def out_of_strip(pieces):
    return [n for n, r in pieces
            if r[0] < 512 or r[1] < 0 or r[0] + r[2] > ATLAS_W or r[1] + r[3] > ATLAS_H]


# ---------------------------------------------------------------- helpers

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
    cr.select_font_face(face, cairo.FONT_SLANT_NORMAL,
                        cairo.FONT_WEIGHT_BOLD if bold else cairo.FONT_WEIGHT_NORMAL)
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


def region_centre(name):
    l, t, r, b = REGIONS[name]
    return ((l + r) / 2.0, (t + b) / 2.0, (r - l) / 2.0, (b - t) / 2.0)


def halo_limit(name, cx, cy):
    """Largest radius about (cx, cy) that stays inside the hover rectangle."""
    x, y, w, h = HOVER_RECTS[name]
    return min(cx - x, x + w - cx, cy - y, y + h - cy) - 0.5


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
        for (ox, oy, col) in ((0, 1.0, (1, 1, 1, 0.55)), (0, 0, (0.10, 0.12, 0.15, 0.92))):
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
    cr.rectangle(99.5, 199, 1, 27)   # joint between the two lists
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
    for name, text in (("lang", "Lang."), ("sound", "Sound"), ("help", "Help"),
                       ("satcalc", "ZivUrav."), ("mobile", "Mobile")):
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


# ---------------------------------------------------------------- icons on the caps

def icon_close(cr, x, y, r):
    d = r * 0.42
    cr.move_to(x - d, y - d)
    cr.line_to(x + d, y + d)
    cr.move_to(x + d, y - d)
    cr.line_to(x - d, y + d)
    cr.set_line_width(2.6)
    cr.set_line_cap(cairo.LINE_CAP_ROUND)
    cr.stroke()


def icon_minimize(cr, x, y, r):
    d = r * 0.45
    cr.move_to(x - d, y + 1)
    cr.line_to(x + d, y + 1)
    cr.set_line_width(2.6)
    cr.set_line_cap(cairo.LINE_CAP_ROUND)
    cr.stroke()


def icon_globe(cr, x, y, r):
    g = r * 0.58
    cr.set_line_width(1.3)
    cr.arc(x, y, g, 0, 2 * math.pi)
    cr.stroke()
    ellipse(cr, x, y, g * 0.45, g)
    cr.stroke()
    cr.move_to(x, y - g)
    cr.line_to(x, y + g)
    cr.move_to(x - g, y)
    cr.line_to(x + g, y)
    for k in (-0.55, 0.55):
        yy = y + g * k
        w = g * math.sqrt(1 - k * k)
        cr.move_to(x - w, yy)
        cr.line_to(x + w, yy)
    cr.set_line_width(1.0)
    cr.stroke()


def icon_speaker(cr, x, y, r):
    s = r / 13.0
    cr.move_to(x - 7 * s, y - 2.6 * s)
    cr.line_to(x - 4 * s, y - 2.6 * s)
    cr.line_to(x + 0.5 * s, y - 6.5 * s)
    cr.line_to(x + 0.5 * s, y + 6.5 * s)
    cr.line_to(x - 4 * s, y + 2.6 * s)
    cr.line_to(x - 7 * s, y + 2.6 * s)
    cr.close_path()
    cr.fill()
    cr.set_line_width(1.3)
    cr.set_line_cap(cairo.LINE_CAP_ROUND)
    for rr in (3.8, 6.8):
        cr.arc(x + 1.2 * s, y, rr * s, -0.8, 0.8)
        cr.stroke()


def icon_help(cr, x, y, r):
    set_font(cr, r * 1.35)
    text_centered(cr, "?", x + 0.3, y)


def icon_dish(cr, x, y, r):
    s = r / 13.0
    cr.save()
    cr.translate(x - 1 * s, y + 0.5 * s)
    cr.rotate(-0.6)
    cr.set_line_width(1.8 * s)
    cr.set_line_cap(cairo.LINE_CAP_ROUND)
    cr.move_to(-7 * s, -2.2 * s)
    cr.curve_to(-4 * s, 5 * s, 4 * s, 5 * s, 7 * s, -2.2 * s)
    cr.stroke()
    cr.set_line_width(1.1 * s)
    cr.move_to(0, 3 * s)
    cr.line_to(0, -5 * s)
    cr.stroke()
    cr.arc(0, -6 * s, 1.5 * s, 0, 2 * math.pi)
    cr.fill()
    cr.restore()
    cr.set_line_width(1.3 * s)
    cr.move_to(x - 1 * s, y + 4 * s)
    cr.line_to(x - 1 * s, y + 8 * s)
    cr.stroke()


def icon_mobile(cr, x, y, r):
    s = r / 13.0
    rounded_rect(cr, x - 4 * s, y - 7 * s, x + 4 * s, y + 7 * s, 1.6 * s)
    cr.set_line_width(1.3 * s)
    cr.stroke()
    cr.rectangle(x - 2.4 * s, y - 4.8 * s, 4.8 * s, 7.6 * s)
    cr.fill()
    cr.arc(x, y + 5 * s, 0.9 * s, 0, 2 * math.pi)
    cr.fill()


def icon_dot(cr, x, y, r):
    cr.arc(x, y, r * 0.22, 0, 2 * math.pi)
    cr.fill()


def icon_sort(cr, x, y, r):
    s = r / 11.0
    for sign in (-1, 1):
        cr.move_to(x - 3.8 * s, y + sign * 1.3 * s)
        cr.line_to(x + 3.8 * s, y + sign * 1.3 * s)
        cr.line_to(x, y + sign * 6.0 * s)
        cr.close_path()
        cr.fill()


# ---------------------------------------------------------------- buttons

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
    g = cairo.RadialGradient(cx - cap * 0.4, cy - cap * 0.45, cap * 0.1, cx, cy, cap * 1.05)
    g.add_color_stop_rgb(0, *c0)
    g.add_color_stop_rgb(0.55, *c1)
    g.add_color_stop_rgb(1, *c2)
    cr.set_source(g)
    cr.fill()
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
    g = cairo.RadialGradient(cx - cap * 0.4, cy - cap * 0.45, cap * 0.1, cx, cy, cap * 1.05)
    g.add_color_stop_rgb(0, *c0)
    g.add_color_stop_rgb(0.55, *c1)
    g.add_color_stop_rgb(1, *c2)
    cr.set_source(g)
    cr.fill()
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
        g = cairo.RadialGradient(cx - cap * 0.4, cy - cap * 0.5, cap * 0.1, cx, cy, cap * 1.05)
        g.add_color_stop_rgb(0, *c0)
        g.add_color_stop_rgb(0.55, *c1)
        g.add_color_stop_rgb(1, *c2)
        cr.set_source(g)
        cr.fill()
        iy = (cy - cap + PM_SPLIT_TOP) / 2 + 1 if half == "add" else (PM_SPLIT_BOTTOM + cy + cap) / 2 - 1
        arm = 8.0
        for dx, dy, col in ((0.7, 0.9, (0, 0, 0, 0.6)),
                            (0, 0, (1, 1, 1, 1) if hover else (*mix(rgb(200, 210, 222), tint, 0.35), 1))):
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
    draw_ring_button(cr, "close", st("close"), icon_close, hover_tint=(1.0, 0.25, 0.2),
                     shape=(370.5, 57.0, 15.5, 15.5))
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


# ---------------------------------------------------------------- faces

class FaceMaker:
    def __init__(self):
        self.static = cairo.ImageSurface(cairo.FORMAT_RGB24, FACE, FACE)
        cr = cairo.Context(self.static)
        cr.set_source_surface(make_background(), 0, 0)
        cr.paint()
        draw_static(cr)
        self.static.flush()

    def face(self, states):
        surf = cairo.ImageSurface(cairo.FORMAT_RGB24, FACE, FACE)
        cr = cairo.Context(surf)
        cr.set_source_surface(self.static, 0, 0)
        cr.paint()
        draw_buttons(cr, states)
        surf.flush()
        return surf


def blit(cr, src, sx, sy, w, h, dx, dy):
    """Exact 1:1 copy of a rectangle of src to (dx, dy)."""
    cr.save()
    cr.set_operator(cairo.OPERATOR_SOURCE)
    cr.set_source_surface(src, dx - sx, dy - sy)
    cr.get_source().set_filter(cairo.FILTER_NEAREST)
    cr.rectangle(dx, dy, w, h)
    cr.fill()
    cr.restore()


# ---------------------------------------------------------------- flags

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
            cr.line_to(c + wdt * math.sin(a + side * math.pi / 2 + 0.0) * 1.0 + 0, c - wdt * math.cos(a + side * math.pi / 2))
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


# ---------------------------------------------------------------- atlas

def surface_to_image(surf):
    surf.flush()
    w, h = surf.get_width(), surf.get_height()
    return Image.frombuffer("RGB", (w, h), bytes(surf.get_data()), "raw", "BGRX", surf.get_stride(), 1)


def image_to_surface(img):
    data = bytearray(img.convert("RGB").tobytes("raw", "BGRX"))
    w, h = img.size
    return cairo.ImageSurface.create_for_data(data, cairo.FORMAT_RGB24, w, h, w * 4)


def build_atlas():
    maker = FaceMaker()
    base = maker.face({})
    atlas = cairo.ImageSurface(cairo.FORMAT_RGB24, ATLAS_W, ATLAS_H)
    cr = cairo.Context(atlas)
    cr.set_source_rgb(*rgb(18, 21, 26))
    cr.paint()
    blit(cr, base, 0, 0, FACE, FACE, 0, 0)
    faces = [(name, rect, pos, maker.face(states)) for name, rect, pos, states in FACE_PIECES]
    # First a margin of face around every piece, so that the JPEG's blocks
    # that straddle a piece's edge see its own surroundings; then the exact
    # pieces over it.
    cr.save()
    cr.rectangle(512, 0, 256, 300)
    cr.clip()
    for _, (wx, wy, w, h), (ax, ay), surf in faces:
        m = 6
        blit(cr, surf, wx - m, wy - m, w + 2 * m, h + 2 * m, ax - m, ay - m)
    cr.restore()
    for _, (wx, wy, w, h), (ax, ay), surf in faces:
        blit(cr, surf, wx, wy, w, h, ax, ay)
    atlas.flush()

    img = surface_to_image(atlas).copy()
    img.paste(flags_surface(), (672, 40))
    # The dialog pictures, on the dialog's own grey.
    grey = tuple(int(c * 255 + 0.5) for c in PANEL_GREY)
    img.paste(grey, (512, 300, 768, 512))
    img.paste(surface_to_image(picture(draw_elevation_picture, 100, 100)), ELEVATION_PIC[:2])
    img.paste(surface_to_image(picture(draw_polarization_picture, 100, 100, False)), POLARIZATION_PIC[:2])
    img.paste(surface_to_image(picture(draw_compass, 80, 80)), COMPASS_PIC[:2])
    with_arrow = surface_to_image(picture(draw_polarization_picture, 100, 100, True))
    ox, oy = ARROW_OFFSET
    for ax, ay, w, h in (ARROW_LEFT, ARROW_RIGHT):
        sx = ox + (ax - ARROW_LEFT[0])
        img.paste(with_arrow.crop((sx, oy, sx + w, oy + h)), (ax, ay))
    return img, maker, base


# ---------------------------------------------------------------- icon

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
    imgs[0].save(path, format="ICO", sizes=[(16, 16), (32, 32), (48, 48)],
                 append_images=imgs[1:], bitmap_format="bmp")


# ---------------------------------------------------------------- previews

def write_previews(atlas_path, maker):
    os.makedirs(PREVIEW_DIR, exist_ok=True)
    atlas = Image.open(atlas_path).convert("RGB")
    atlas.save(os.path.join(PREVIEW_DIR, "atlas.png"))
    mask = Image.new("L", (FACE * 4, FACE * 4), 0)
    from PIL import ImageDraw
    ImageDraw.Draw(mask).ellipse((0, 0, FACE * 4 - 1, FACE * 4 - 1), fill=255)
    mask = mask.resize((FACE, FACE), Image.Resampling.BOX)
    bg = Image.new("RGB", (FACE, FACE), (236, 236, 236))

    def masked(im):
        out = bg.copy()
        out.paste(im, (0, 0), mask)
        return out

    face = atlas.crop((0, 0, FACE, FACE))
    masked(face).save(os.path.join(PREVIEW_DIR, "face.png"))
    # Every hover (and the green hover) pasted over the base at its window
    # rectangle, as the program would show them one at a time.
    hovers = face.copy()
    for name, (wx, wy, w, h), (ax, ay), _ in FACE_PIECES:
        if "hover" in name and "green" not in name and "Remove" not in name:
            hovers.paste(atlas.crop((ax, ay, ax + w, ay + h)), (wx, wy))
    masked(hovers).save(os.path.join(PREVIEW_DIR, "hovers.png"))
    alt = face.copy()
    for name, (wx, wy, w, h), (ax, ay), _ in FACE_PIECES:
        if name.startswith("Remove") or name == "Red button, green, hover":
            alt.paste(atlas.crop((ax, ay, ax + w, ay + h)), (wx, wy))
    masked(alt).save(os.path.join(PREVIEW_DIR, "hovers-remove-green.png"))
    # The face with what the program writes over it: idle (hint, lists,
    # language and sound mode) and running (meter), for a legibility check.
    for tag, running in (("idle", False), ("running", True)):
        im = face.copy()
        if running:
            im.paste(atlas.crop((592, 85, 672, 167)), (335, 174))
        surf = cairo.ImageSurface(cairo.FORMAT_RGB24, FACE, FACE)
        cr = cairo.Context(surf)
        cr.set_source_surface(image_to_surface(im), 0, 0)
        cr.paint()
        set_font(cr, 14)
        cr.set_source_rgb(*TEXT)
        if running:
            set_font(cr, 60)
            cr.move_to(175, 85 + 58)
            cr.show_text("57%")
            set_font(cr, 14)
            ext = cr.text_extents("SNR 8.25")
            cr.move_to(337 - ext.x_advance, 168)
            cr.show_text("SNR 8.25")
        else:
            for i, line in enumerate(("To activate orvalis :", "select the parameters", "and press red button.")):
                cr.move_to(160, 90 + 14 + i * 17)
                cr.show_text(line)
        cr.move_to(155, 368 + 14)
        cr.show_text("English")
        cr.move_to(155, 390 + 14)
        cr.show_text("0 Signal - Alarm")
        for x, y, w, txt in ((10, 200, 90, "LNB1"), (100, 200, 225, "19.2E Astra 1KR"), (200, 290, 225, "11778 V 27500")):
            cr.rectangle(x, y, w, 24)
            cr.set_source_rgb(1, 1, 1)
            cr.fill_preserve()
            cr.set_source_rgb(0.5, 0.5, 0.5)
            cr.set_line_width(1)
            cr.stroke()
            cr.set_source_rgb(0, 0, 0)
            cr.move_to(x + 4, y + 17)
            cr.show_text(txt)
        surf.flush()
        im = surface_to_image(surf).copy()
        im.paste(atlas.crop((692, 70, 712, 85)), (130, 370))
        masked(im).save(os.path.join(PREVIEW_DIR, "with-text-%s.png" % tag))
    # The dish dialog's pictures as the dialog places them.
    dlg = Image.new("RGB", (512, 450), tuple(int(c * 255 + 0.5) for c in PANEL_GREY))
    dlg.paste(atlas.crop((512, 312, 612, 412)), (215, 230))
    dlg.paste(atlas.crop((612, 412, 692, 492)), (60, 230))
    dlg.paste(atlas.crop((512, 412, 612, 512)), (370, 220))
    dlg.paste(atlas.crop((630, 492, 647, 512)), (416, 266))
    dlg2 = dlg.copy()
    dlg2.paste(atlas.crop((512, 412, 612, 512)), (370, 220))
    dlg2.paste(atlas.crop((612, 492, 630, 512)), (398, 266))
    both = Image.new("RGB", (512, 900))
    both.paste(dlg, (0, 0))
    both.paste(dlg2, (0, 450))
    both.crop((0, 200, 512, 800)).save(os.path.join(PREVIEW_DIR, "dish-dialog.png"))
    big = atlas.crop((512, 0, 768, 512)).resize((768, 1536), Image.Resampling.NEAREST)
    big.save(os.path.join(PREVIEW_DIR, "strip-x3.png"))
    ico = Image.open(ICON_PATH)
    sheet = Image.new("RGBA", (48 * 3 + 40, 60), (236, 236, 236, 255))
    x = 10
    for n in (16, 32, 48):
        ico.size = (n, n)
        frame = ico.copy().convert("RGBA")
        sheet.paste(frame, (x, 6), frame)
        x += n + 12
    sheet.save(os.path.join(PREVIEW_DIR, "icon.png"))


# ---------------------------------------------------------------- checks

def check(atlas_path, maker, base):
    """Geometry and alignment checks; prints a report, returns the number of problems."""
    problems = 0
    pieces = all_strip_pieces()
    for a, b in overlaps(pieces):
        print("OVERLAP: %s and %s" % (a, b))
        problems += 1
    for n in out_of_strip(pieces):
        print("OUTSIDE STRIP: %s" % n)
        problems += 1
    # Each stateful piece differs from the base face only near its button:
    # measured on the lossless render, the changed pixels must lie within the
    # hover rectangle (trivially) and must not touch its border (a hard seam).
    base_img = surface_to_image(base)
    for name, (wx, wy, w, h), _, states in FACE_PIECES:
        face = surface_to_image(maker.face(states))
        seam = 0
        for x in range(wx, wx + w):
            for y in (wy, wy + h - 1):
                if face.getpixel((x, y)) != base_img.getpixel((x, y)):
                    seam += 1
        for y in range(wy, wy + h):
            for x in (wx, wx + w - 1):
                if face.getpixel((x, y)) != base_img.getpixel((x, y)):
                    seam += 1
        # Anything changed outside the window rectangle would be lost.
        outside = 0
        x0, y0, x1, y1 = max(0, wx - 12), max(0, wy - 12), min(FACE, wx + w + 12), min(FACE, wy + h + 12)
        for y in range(y0, y1):
            for x in range(x0, x1):
                if wx <= x < wx + w and wy <= y < wy + h:
                    continue
                if face.getpixel((x, y)) != base_img.getpixel((x, y)):
                    outside += 1
        status = "ok"
        if outside:
            status = "CHANGES OUTSIDE RECT (%d px)" % outside
            problems += 1
        print("  %-36s border px changed %3d, outside %d: %s" % (name, seam, outside, status))
    # After JPEG coding, the strip copy of each piece against the face.
    atlas = Image.open(atlas_path).convert("RGB")
    for name, (wx, wy, w, h), (ax, ay), states in FACE_PIECES:
        face = surface_to_image(maker.face(states))
        worst = 0
        total = 0
        for y in range(h):
            for x in range(w):
                a = atlas.getpixel((ax + x, ay + y))
                f = face.getpixel((wx + x, wy + y))
                d = max(abs(a[i] - f[i]) for i in range(3))
                worst = max(worst, d)
                total += d
        print("  %-36s jpeg vs render: max %2d, mean %.2f" % (name, worst, total / (w * h)))
    return problems


def main():
    preview = "--preview" in sys.argv
    checks = "--check" in sys.argv
    if "--list" in sys.argv:
        for name, (wx, wy, w, h), (ax, ay), _ in FACE_PIECES:
            print("%-36s window (%3d,%3d) %3dx%-3d  atlas (%3d,%3d)-(%3d,%3d)" %
                  (name, wx, wy, w, h, ax, ay, ax + w - 1, ay + h - 1))
        for name, (ax, ay, w, h) in all_strip_pieces()[len(FACE_PIECES):]:
            print("%-36s %3dx%-3d                 atlas (%3d,%3d)-(%3d,%3d)" %
                  (name, w, h, ax, ay, ax + w - 1, ay + h - 1))
        bad = overlaps(all_strip_pieces()) + [(n, "strip edge") for n in out_of_strip(all_strip_pieces())]
        print("overlaps: %s" % (bad or "none"))
        return 1 if bad else 0
    img, maker, base = build_atlas()
    os.makedirs(os.path.dirname(SKIN_PATH), exist_ok=True)
    img.save(SKIN_PATH, format="JPEG", quality=JPEG_QUALITY, subsampling=0,
             optimize=True, progressive=False)
    write_icon(ICON_PATH)
    print("%s: %d bytes, %dx%d" % (os.path.relpath(SKIN_PATH, ROOT), os.path.getsize(SKIN_PATH), *img.size))
    print("%s: %d bytes" % (os.path.relpath(ICON_PATH, ROOT), os.path.getsize(ICON_PATH)))
    if preview:
        write_previews(SKIN_PATH, maker)
        print("previews in %s" % os.path.relpath(PREVIEW_DIR, ROOT))
    if checks:
        n = check(SKIN_PATH, maker, base)
        print("problems: %d" % n)
        return 1 if n else 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
