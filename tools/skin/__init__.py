"""Draws Orvalis's skin atlas and its icon.

    /usr/bin/python3 -m tools.skin            writes resources/skin.jpg and resources/orvalis.ico
    /usr/bin/python3 -m tools.skin --preview  also writes PNG previews under build/skin-preview/
    /usr/bin/python3 -m tools.skin --check    also checks the pieces (overlaps, alignment, JPEG error)
    /usr/bin/python3 -m tools.skin --list     only lists the strip pieces and their overlaps
    /usr/bin/python3 -m tools.skin --out DIR  writes the two files into DIR instead of resources/

Run from the repository's root. The atlas is 768 x 512: the left 512 x 512
square is the window's face in its normal state, the strip to its right holds
the other button states, the language flags and the pictures of the dish
alignment dialog.

Every stateful piece of the strip is cut out of a whole face rendered with
that one button in another state, at the button's window rectangle. So a hover
or pressed image lines up with the face pixel for pixel (the same drawing
function, the same background), and a copy of it over its window rectangle
changes nothing but the button.

The modules: primitives (palette, font, paths, surface copies), layout (every
rectangle), face (dial and ring), glyphs and buttons, pictures (flags, dish
pictures), program_icon, atlas (puts it all together), report (previews,
checks).

Needs Debian's python3-cairo, python3-pil and fonts-dejavu-core. The output is
deterministic: rerunning gives the same bytes.
"""
