"""The skin generator's command line: see the package's docstring."""

import os
import sys

from .atlas import build_atlas, write_skin
from .layout import FACE_PIECES, all_strip_pieces, out_of_strip, overlaps
from .program_icon import write_icon
from .report import check, write_previews

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PREVIEW_DIR = os.path.join(ROOT, "build", "skin-preview")


def list_pieces():
    for name, (wx, wy, w, h), (ax, ay), _ in FACE_PIECES:
        print(
            "%-36s window (%3d,%3d) %3dx%-3d  atlas (%3d,%3d)-(%3d,%3d)"
            % (name, wx, wy, w, h, ax, ay, ax + w - 1, ay + h - 1)
        )
    for name, (ax, ay, w, h) in all_strip_pieces()[len(FACE_PIECES) :]:
        print("%-36s %3dx%-3d                 atlas (%3d,%3d)-(%3d,%3d)" % (name, w, h, ax, ay, ax + w - 1, ay + h - 1))
    bad = overlaps(all_strip_pieces()) + [(n, "strip edge") for n in out_of_strip(all_strip_pieces())]
    print("overlaps: %s" % (bad or "none"))
    return 1 if bad else 0


def main(args):
    if "--list" in args:
        return list_pieces()
    out = os.path.join(ROOT, "resources")
    if "--out" in args:
        out = os.path.abspath(args[args.index("--out") + 1])
    skin_path, icon_path = os.path.join(out, "skin.jpg"), os.path.join(out, "orvalis.ico")
    img, maker, base = build_atlas()
    os.makedirs(out, exist_ok=True)
    write_skin(img, skin_path)
    write_icon(icon_path)
    print("%s: %d bytes, %dx%d" % (os.path.relpath(skin_path, ROOT), os.path.getsize(skin_path), *img.size))
    print("%s: %d bytes" % (os.path.relpath(icon_path, ROOT), os.path.getsize(icon_path)))
    if "--preview" in args:
        write_previews(skin_path, icon_path, PREVIEW_DIR, maker)
        print("previews in %s" % os.path.relpath(PREVIEW_DIR, ROOT))
    if "--check" in args:
        n = check(skin_path, maker, base)
        print("problems: %d" % n)
        return 1 if n else 0
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
