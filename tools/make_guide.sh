#!/usr/bin/env bash
# Makes the user guide's one HTML page from docs/user-guide.md, with its
# pictures inside it in 256 colours: a third of the bytes, and the screenshots
# look the same. The build puts it beside the exe, the packages beside theirs.
#
#   tools/make_guide.sh OUTPUT.html
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:?usage: make_guide.sh OUTPUT.html}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/docs/user-guide.md" "$work/"
for picture in $(grep -o '([A-Za-z0-9_-]*\.png)' "$here/docs/user-guide.md" | tr -d '()' | sort -u); do
  convert "$here/docs/$picture" -dither None -colors 256 "PNG8:$work/$picture"
done
/usr/bin/python3 "$here/tools/guide_html.py" "$work/user-guide.md" "$out"
