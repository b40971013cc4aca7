#!/usr/bin/env python3
"""Turns docs/user-guide.md into one self-contained HTML page.

    guide_html.py INPUT.md OUTPUT.html

The guide is plain Markdown of a small kind, and this reads just that kind:
#-headings, paragraphs, - and 1. lists (a line indented under an item goes
on with it), | tables |, ``` blocks, a picture alone on its line, and inline
`code`, **bold**, *italics* and [links](url). The pictures are put into the
page itself, so the page can be copied anywhere on its own. Standard library
only: the build needs no Markdown package.
"""
import base64
import html
import re
import sys
from pathlib import Path

STYLE = """
body { font: 16px/1.5 "Segoe UI", Tahoma, sans-serif; max-width: 50em; margin: 2em auto;
       padding: 0 1em; color: #222; }
h1, h2, h3 { line-height: 1.2; } h2 { border-bottom: 1px solid #ccc; padding-bottom: .2em; }
code, pre { font-family: Consolas, "DejaVu Sans Mono", monospace; background: #f2f2f4; }
code { padding: 0 .2em; } pre { padding: .6em; overflow-x: auto; }
figure { margin: 1em 0; } figure img { max-width: 100%; border: 1px solid #bbb; }
figcaption { font-size: 90%; color: #555; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #ccc; padding: .3em .6em; text-align: left; vertical-align: top; }
th { background: #f2f2f4; }
"""


def inline(text):
    parts = re.split(r"(`[^`]+`)", text)
    out = []
    for part in parts:
        if part.startswith("`") and part.endswith("`") and len(part) > 1:
            out.append("<code>" + html.escape(part[1:-1]) + "</code>")
            continue
        part = html.escape(part, quote=False)
        part = re.sub(r"\*\*(.+?)\*\*", r"<strong>\1</strong>", part)
        part = re.sub(r"(?<![\w*])\*(?!\s)(.+?)(?<!\s)\*(?![\w*])", r"<em>\1</em>", part)
        part = re.sub(r"\[([^\]]+)\]\(([^)\s]+)\)", r'<a href="\2">\1</a>', part)
        out.append(part)
    return "".join(out)


def anchor(title):  # as code hosts make them, so that one link works in both
    return re.sub(r"[^\w\- ]", "", title.lower()).replace(" ", "-")


def picture(alt, name, folder):
    data = base64.b64encode((folder / name).read_bytes()).decode()
    return (
        f'<figure><img src="data:image/png;base64,{data}" alt="{html.escape(alt)}">'
        f"<figcaption>{inline(alt)}</figcaption></figure>"
    )


def convert(markdown, folder):
    lines = markdown.splitlines()
    body, paragraph, i = [], [], 0

    def flush():
        if paragraph:
            body.append("<p>" + inline(" ".join(paragraph)) + "</p>")
            paragraph.clear()

    while i < len(lines):
        line = lines[i]
        stripped = line.strip()
        heading = re.match(r"(#{1,3}) (.*)", line)
        image = re.fullmatch(r"!\[([^\]]*)\]\(([^)\s]+)\)", stripped)
        if not stripped:
            flush()
        elif heading:
            flush()
            level, title = len(heading.group(1)), heading.group(2)
            body.append(f'<h{level} id="{anchor(title)}">{inline(title)}</h{level}>')
        elif image:
            flush()
            body.append(picture(image.group(1), image.group(2), folder))
        elif stripped.startswith("```"):
            flush()
            i += 1
            block = []
            while i < len(lines) and not lines[i].strip().startswith("```"):
                block.append(lines[i])
                i += 1
            body.append("<pre>" + html.escape("\n".join(block)) + "</pre>")
        elif stripped.startswith("|"):
            flush()
            rows = []
            while i < len(lines) and lines[i].strip().startswith("|"):
                cells = [c.strip() for c in lines[i].strip().strip("|").split("|")]
                if not all(re.fullmatch(r":?-+:?", c) for c in cells):
                    rows.append(cells)
                i += 1
            i -= 1
            head = "".join(f"<th>{inline(c)}</th>" for c in rows[0])
            rest = "".join("<tr>" + "".join(f"<td>{inline(c)}</td>" for c in r) + "</tr>" for r in rows[1:])
            body.append(f"<table><tr>{head}</tr>{rest}</table>")
        elif re.match(r"(- |\d+\. )", stripped) and not line.startswith(" "):
            flush()
            tag = "ul" if stripped.startswith("- ") else "ol"
            items = []  # each a list of parts: lines of a paragraph, or a picture's HTML
            while i < len(lines):
                item = re.match(r"(- |\d+\. )(.*)", lines[i])
                nested = re.fullmatch(r"!\[([^\]]*)\]\(([^)\s]+)\)", lines[i].strip())
                if item and (item.group(1) == "- ") == (tag == "ul"):
                    items.append([[item.group(2)]])
                elif lines[i].startswith("  ") and nested and items:
                    items[-1] += [picture(nested.group(1), nested.group(2), folder), []]
                elif lines[i].startswith("  ") and lines[i].strip() and items:
                    items[-1][-1].append(lines[i].strip())
                elif (
                    not lines[i].strip()
                    and items
                    and i + 1 < len(lines)
                    and (lines[i + 1].startswith("  ") or re.match(r"(- |\d+\. )", lines[i + 1]))
                ):
                    if items[-1][-1]:
                        items[-1].append([])  # a blank line inside an item starts a paragraph
                else:
                    break
                i += 1
            i -= 1

            def part(p, alone):
                if isinstance(p, str):
                    return p
                return inline(" ".join(p)) if alone else "<p>" + inline(" ".join(p)) + "</p>"

            body.append(
                f"<{tag}>"
                + "".join(
                    "<li>" + "".join(part(p, len([q for q in t if q]) == 1) for p in t if p) + "</li>" for t in items
                )
                + f"</{tag}>"
            )
        else:
            paragraph.append(stripped)
        i += 1
    flush()
    return "\n".join(body)


def main(source, target):
    source = Path(source)
    markdown = source.read_text(encoding="utf-8")
    title = re.search(r"^# (.*)$", markdown, re.M)
    page = (
        f'<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
        f"<title>{html.escape(title.group(1) if title else 'Orvalis')}</title>\n"
        f"<style>{STYLE}</style>\n</head>\n<body>\n"
        f"{convert(markdown, source.parent)}\n</body>\n</html>\n"
    )
    Path(target).write_text(page, encoding="utf-8")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])
