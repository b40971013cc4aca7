"""The atlas: the face in its normal state, the stateful pieces cut from
faces drawn with one button in another state, the flags and the pictures."""

import cairo

from .buttons import draw_buttons
from .face import draw_static, make_background
from .layout import (
    ARROW_LEFT,
    ARROW_OFFSET,
    ARROW_RIGHT,
    ATLAS_H,
    ATLAS_W,
    COMPASS_PIC,
    ELEVATION_PIC,
    FACE,
    FACE_PIECES,
    POLARIZATION_PIC,
)
from .pictures import draw_compass, draw_elevation_picture, draw_polarization_picture, flags_surface, picture
from .primitives import PANEL_GREY, blit, rgb, surface_to_image

JPEG_QUALITY = 94


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


def write_skin(img, path):
    img.save(path, format="JPEG", quality=JPEG_QUALITY, subsampling=0, optimize=True, progressive=False)
