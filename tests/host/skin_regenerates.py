"""usage: skin_regenerates.py ROOT FOLDER: compares the pixels of the skin and icon drawn into FOLDER with ROOT's."""
import functools
import sys

from PIL import Image, ImageChops


def frames(path):  # the pixels of a JPEG, or of each size in an icon, by size
    image = Image.open(path)
    if image.format != "ICO":
        return {image.size: image.convert("RGBA")}
    return {size: image.ico.getimage(size).convert("RGBA") for size in image.ico.sizes()}


root, folder = sys.argv[1:3]
failures = []
for name in ("skin.jpg", "orvalis.ico"):
    committed, drawn = frames(f"{root}/resources/{name}"), frames(f"{folder}/{name}")
    for size in sorted(committed.keys() | drawn.keys()):  # a size missing on one side compares as blank
        pair = (side.get(size, Image.new("RGBA", size)) for side in (committed, drawn))
        diff = functools.reduce(ImageChops.lighter, ImageChops.difference(*pair).split())  # largest channel
        if diff.getbbox():
            failures.append(
                f"FAILED: {name} {size}: {size[0] * size[1] - diff.histogram()[0]} pixels differ, "
                f"by up to {diff.getextrema()[1]}, within {diff.getbbox()}"
            )
print(
    "\n".join(
        failures
        + ["Regenerate with /usr/bin/python3 -m tools.skin and commit resources/, or undo the" " drawing change."]
    )
    if failures
    else "the skin and icon drawn are the committed ones"
)
sys.exit(bool(failures))
