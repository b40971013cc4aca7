#!/usr/bin/env python3
"""Fills packaging/orvalis.wxs.in for one architecture and version.

    make_wxs.py ARCH VERSION STAGE ICON OUTPUT

ARCH is x86 or x64, STAGE the folder laid out as the program folder is, ICON
the program's icon. wixl 0.101 finds files only by paths relative to where it
runs: give STAGE and ICON so. Standard library only.

Every component GUID is a name-based UUID (version 5) of the architecture and
the component's place, so it stays the same from one version to the next: the
installer knows a file it put there before by its component. The two
architectures get different ones, as 32- and 64-bit components must. The
product code follows from the version and architecture: building the same
package twice gives the same product.
"""
import re
import sys
import uuid
from pathlib import Path
from string import Template

UPGRADE_CODE = uuid.UUID("5B0C7D3E-2F41-4C8E-9A6B-3D2E1F0A9C47")


def guid(*parts):
    return str(uuid.uuid5(UPGRADE_CODE, "/".join(parts))).upper()


def xml_id(prefix, name):
    return prefix + re.sub(r"[^A-Za-z0-9_.]", "_", name)


def main(arch, version, stage, icon, output):
    lists = sorted(p.name for p in Path(stage, "Transponders").iterdir() if p.is_file())
    components, refs = [], []
    for name in lists:
        cid = xml_id("tp_", name)
        components.append(
            f'              <Component Id="{cid}" Guid="{guid(arch, "Transponders", name.lower())}"'
            f' Win64="${{win64}}">\n'
            f'                <File Id="{cid}" Source="{stage}/Transponders/{name}" KeyPath="yes"/>\n'
            f"              </Component>"
        )
        refs.append(f'      <ComponentRef Id="{cid}"/>')

    text = Path(__file__).with_name("orvalis.wxs.in").read_text()
    # The lists go in first: their own ${win64} is filled with the rest.
    text = text.replace("${transponder_components}", "\n".join(components))
    text = text.replace("${transponder_refs}", "\n".join(refs))
    text = re.sub(
        r'<Component Id="([^"]+)" Guid="@"',
        lambda m: f'<Component Id="{m.group(1)}" Guid="{guid(arch, m.group(1))}"',
        text,
    )
    text = Template(text).substitute(
        version=version,
        arch=arch,
        win64="yes" if arch == "x64" else "no",
        product_code=guid("product", version, arch),
        upgrade_code=str(UPGRADE_CODE).upper(),
        stage=stage,
        icon=icon,
    )
    Path(output).write_text(text)


if __name__ == "__main__":
    if len(sys.argv) != 6 or sys.argv[1] not in ("x86", "x64"):
        sys.exit(__doc__)
    main(*sys.argv[1:])
