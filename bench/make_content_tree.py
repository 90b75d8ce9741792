#!/usr/bin/env python3
"""Writes an extracted-spreadsheet tree for the packing benchmark: a content.xml shaped like
a spreadsheet program's (rows of typed cells, about 143 MB by default), with the small parts
of a package beside it. Usage: make_content_tree.py FOLDER [MEGABYTES]"""
import os
import random
import sys

folder = sys.argv[1]
target = int(float(sys.argv[2]) * 1_000_000) if len(sys.argv) > 2 else 143_000_000
rng = random.Random(7)
words = ["north", "south", "east", "west", "rent", "travel", "salary", "misc", "tax", "fee"]

os.makedirs(os.path.join(folder, "META-INF"), exist_ok=True)
os.makedirs(os.path.join(folder, "Thumbnails"), exist_ok=True)
with open(os.path.join(folder, "mimetype"), "w") as f:
    f.write("application/vnd.oasis.opendocument.spreadsheet")
with open(os.path.join(folder, "Thumbnails", "thumbnail.png"), "wb") as f:
    f.write(bytes(rng.randrange(256) for _ in range(9000)))
for name in ("styles.xml", "settings.xml", "meta.xml", "META-INF/manifest.xml"):
    with open(os.path.join(folder, name), "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<office:document>')
        f.write("<style:style style:name=\"ce1\"/>" * 200)
        f.write("</office:document>")

with open(os.path.join(folder, "content.xml"), "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content><office:body>'
            '<office:spreadsheet><table:table table:name="Sheet1">')
    written = 0
    row = 0
    while written < target:
        cells = [
            f'<table:table-cell office:value-type="float" office:value="{row}" '
            f'calcext:value-type="float"><text:p>{row}</text:p></table:table-cell>',
            f'<table:table-cell office:value-type="string" calcext:value-type="string">'
            f'<text:p>{rng.choice(words)}</text:p></table:table-cell>',
            f'<table:table-cell office:value-type="string" calcext:value-type="string">'
            f'<text:p>{rng.choice(words)}-{rng.randrange(1000)}</text:p></table:table-cell>',
        ]
        for value in (rng.randrange(100000), f"{rng.random() * 1000:.2f}",
                      rng.randrange(-500, 500), rng.randrange(10**6)):
            cells.append(f'<table:table-cell office:value-type="float" office:value="{value}" '
                         f'calcext:value-type="float"><text:p>{value}</text:p>'
                         f'</table:table-cell>')
        cells.append(f'<table:table-cell office:value-type="string" calcext:value-type="string">'
                     f'<text:p>row {row} {rng.choice(words)}</text:p></table:table-cell>')
        line = '<table:table-row table:style-name="ro1">' + "".join(cells) + "</table:table-row>\n"
        f.write(line)
        written += len(line)
        row += 1
    f.write("</table:table></office:spreadsheet></office:body></office:document-content>\n")
