"""Where everything is: the atlas, the buttons' window rectangles, and the
pieces of the strip to the right of the face."""

ATLAS_W, ATLAS_H = 768, 512
FACE = 512
CX = CY = 256.0

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
    ("French", 672, 40),
    ("Chinese", 692, 40),
    ("Turkish", 712, 40),
    ("Russian", 672, 55),
    ("Italian", 692, 55),
    ("Portuguese", 712, 55),
    ("German", 672, 70),
    ("English", 692, 70),
    ("Polish", 712, 70),
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
        for nb, b in pieces[i + 1 :]:
            if a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]:
                found.append((na, nb))
    return found


def out_of_strip(pieces):
    return [n for n, r in pieces if r[0] < 512 or r[1] < 0 or r[0] + r[2] > ATLAS_W or r[1] + r[3] > ATLAS_H]


def region_centre(name):
    l, t, r, b = REGIONS[name]
    return ((l + r) / 2.0, (t + b) / 2.0, (r - l) / 2.0, (b - t) / 2.0)


def halo_limit(name, cx, cy):
    """Largest radius about (cx, cy) that stays inside the hover rectangle."""
    x, y, w, h = HOVER_RECTS[name]
    return min(cx - x, x + w - cx, cy - y, y + h - cy) - 0.5
