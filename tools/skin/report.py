"""Previews of the skin as the program shows it, and checks of its pieces."""

import os

import cairo
from PIL import Image

from .layout import FACE, FACE_PIECES, all_strip_pieces, out_of_strip, overlaps
from .primitives import PANEL_GREY, TEXT, image_to_surface, set_font, surface_to_image


def write_previews(atlas_path, icon_path, preview_dir, maker):
    os.makedirs(preview_dir, exist_ok=True)
    atlas = Image.open(atlas_path).convert("RGB")
    atlas.save(os.path.join(preview_dir, "atlas.png"))
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
    masked(face).save(os.path.join(preview_dir, "face.png"))
    # Every hover (and the green hover) pasted over the base at its window
    # rectangle, as the program would show them one at a time.
    hovers = face.copy()
    for name, (wx, wy, w, h), (ax, ay), _ in FACE_PIECES:
        if "hover" in name and "green" not in name and "Remove" not in name:
            hovers.paste(atlas.crop((ax, ay, ax + w, ay + h)), (wx, wy))
    masked(hovers).save(os.path.join(preview_dir, "hovers.png"))
    alt = face.copy()
    for name, (wx, wy, w, h), (ax, ay), _ in FACE_PIECES:
        if name.startswith("Remove") or name == "Red button, green, hover":
            alt.paste(atlas.crop((ax, ay, ax + w, ay + h)), (wx, wy))
    masked(alt).save(os.path.join(preview_dir, "hovers-remove-green.png"))
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
        for x, y, w, txt in (
            (10, 200, 90, "LNB1"),
            (100, 200, 225, "19.2E Astra 1KR"),
            (200, 290, 225, "11778 V 27500"),
        ):
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
        masked(im).save(os.path.join(preview_dir, "with-text-%s.png" % tag))
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
    both.crop((0, 200, 512, 800)).save(os.path.join(preview_dir, "dish-dialog.png"))
    big = atlas.crop((512, 0, 768, 512)).resize((768, 1536), Image.Resampling.NEAREST)
    big.save(os.path.join(preview_dir, "strip-x3.png"))
    ico = Image.open(icon_path)
    sheet = Image.new("RGBA", (48 * 3 + 40, 60), (236, 236, 236, 255))
    x = 10
    for n in (16, 32, 48):
        ico.size = (n, n)
        frame = ico.copy().convert("RGBA")
        sheet.paste(frame, (x, 6), frame)
        x += n + 12
    sheet.save(os.path.join(preview_dir, "icon.png"))


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
