"""Regenerates the skin and the icon into FOLDER and compares their decoded
pixels with the committed ones: resources/ must hold what tools/skin draws.
usage: skin_regenerates.py ROOT FOLDER"""
import functools
import subprocess
import sys

from PIL import Image, ImageChops


def frames(path):
    """The pixels of a JPEG, or of each size in an icon, by size."""
    image = Image.open(path)
    if image.format == "ICO":
        return {size: image.ico.getimage(size).convert("RGBA") for size in sorted(image.ico.sizes())}
    return {image.size: image.convert("RGB")}


def main(root, folder):
    subprocess.run([sys.executable, "-m", "tools.skin", "--out", folder], cwd=root, check=True)
    failures = []
    for name in ("skin.jpg", "orvalis.ico"):
        committed, drawn = frames(f"{root}/resources/{name}"), frames(f"{folder}/{name}")
        if committed.keys() != drawn.keys():
            failures.append(f"{name}: sizes {list(committed)} committed, {list(drawn)} regenerated")
        for size in sorted(committed.keys() & drawn.keys()):
            # The largest difference over the channels, alpha included, per pixel.
            channels = ImageChops.difference(committed[size], drawn[size]).split()
            diff = functools.reduce(ImageChops.lighter, channels)
            if diff.getbbox():
                changed = size[0] * size[1] - diff.histogram()[0]
                failures.append(f"{name} {size[0]}x{size[1]}: {changed} pixels differ, by up to "
                                f"{diff.getextrema()[1]}, within {diff.getbbox()}")
    for failure in failures:
        print("FAILED:", failure)
    print("Regenerate with /usr/bin/python3 -m tools.skin and commit resources/, or undo the drawing change."
          if failures else "the regenerated skin and icon are the committed ones, pixel for pixel")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
