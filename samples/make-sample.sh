#!/usr/bin/env bash
# Makes the bundled sample spreadsheets:
#   samples/Budget.ods          a real package written by LibreOffice Calc (intact)
#   samples/Budget-damaged.ods  the same bytes cut at 70% of the length, so the tail
#                               entries, the central directory and its end record are gone
#
# The sheet is written as a flat XML document (.fods) with one embedded picture, then
# LibreOffice headless turns it into a zipped .ods. A real writer's output is used on
# purpose: its entry order, compression and header fields are what users' files look like.
#
# Needs soffice (Debian: libreoffice-calc) and python3. Not run by CI: the results are
# committed. Run from anywhere:  bash samples/make-sample.sh [CUT_PERCENT]
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cut_percent="${1:-70}"
work="$(mktemp -d /tmp/velmora-sample.XXXXXX)"
# A private profile so a running office, or another conversion, is not disturbed.
profile="/tmp/lo-profile-$$"
trap 'rm -rf "$work" "$profile"' EXIT

command -v soffice >/dev/null || { echo "make-sample: soffice not found (apt-get install libreoffice-calc)" >&2; exit 1; }

# A small PNG drawn here, so that the package holds a picture under Pictures/ (what the
# media extraction copies out) and the sample needs no artwork of its own.
python3 - "$work/chart.png" <<'PY'
import struct, sys, zlib

width, height = 96, 64
rows = []
for y in range(height):
    row = bytearray([0])  # filter type: none
    for x in range(width):
        bar = (x // 16) % 2 == 0 and y > height - 8 - (x * 7) % 48
        row += bytes((40, 110, 200)) if bar else bytes((235, 240, 245))
    rows.append(bytes(row))

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

png = b"\x89PNG\r\n\x1a\n"
png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
png += chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY

picture_base64="$(base64 -w 76 "$work/chart.png")"

# Rows of the sheet: item, quarter 1..4; the total row uses formulas.
rows=""
while IFS=, read -r item q1 q2 q3 q4; do
  rows+="
    <table:table-row>
     <table:table-cell office:value-type=\"string\"><text:p>${item}</text:p></table:table-cell>
     <table:table-cell office:value-type=\"float\" office:value=\"${q1}\"><text:p>${q1}</text:p></table:table-cell>
     <table:table-cell office:value-type=\"float\" office:value=\"${q2}\"><text:p>${q2}</text:p></table:table-cell>
     <table:table-cell office:value-type=\"float\" office:value=\"${q3}\"><text:p>${q3}</text:p></table:table-cell>
     <table:table-cell office:value-type=\"float\" office:value=\"${q4}\"><text:p>${q4}</text:p></table:table-cell>
    </table:table-row>"
done <<'CSV'
Rent,1200,1200,1250,1250
Salaries,5400,5400,5600,5600
Travel,310,125,480,90
Software,220,220,240,240
Hardware,900,0,1350,0
Training,0,450,0,450
Office supplies,75,62,88,70
CSV

cat >"$work/Budget.fods" <<FODS
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
  xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
  xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
  xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
  xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
  xmlns:xlink="http://www.w3.org/1999/xlink"
  xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
  office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:body>
  <office:spreadsheet>
   <table:table table:name="Budget">
    <table:shapes>
     <draw:frame draw:name="Chart" svg:x="14cm" svg:y="0.5cm" svg:width="4.8cm" svg:height="3.2cm">
      <draw:image>
       <office:binary-data>${picture_base64}</office:binary-data>
      </draw:image>
     </draw:frame>
    </table:shapes>
    <table:table-column table:number-columns-repeated="5"/>
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>Item</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>Q1</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>Q2</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>Q3</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>Q4</text:p></table:table-cell>
    </table:table-row>${rows}
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>Total</text:p></table:table-cell>
     <table:table-cell table:formula="of:=SUM([.B2:.B8])" office:value-type="float"/>
     <table:table-cell table:formula="of:=SUM([.C2:.C8])" office:value-type="float"/>
     <table:table-cell table:formula="of:=SUM([.D2:.D8])" office:value-type="float"/>
     <table:table-cell table:formula="of:=SUM([.E2:.E8])" office:value-type="float"/>
    </table:table-row>
   </table:table>
  </office:spreadsheet>
 </office:body>
</office:document>
FODS

soffice "-env:UserInstallation=file://$profile" --headless --convert-to ods \
  --outdir "$work" "$work/Budget.fods" >"$work/soffice.log" 2>&1 ||
  { cat "$work/soffice.log" >&2; echo "make-sample: conversion failed" >&2; exit 1; }
[ -s "$work/Budget.ods" ] || { cat "$work/soffice.log" >&2; echo "make-sample: no Budget.ods written" >&2; exit 1; }

cp "$work/Budget.ods" "$here/Budget.ods"
size=$(stat -c %s "$here/Budget.ods")
cut=$((size * cut_percent / 100))
head -c "$cut" "$here/Budget.ods" >"$here/Budget-damaged.ods"

# Tell which entries the damaged copy still holds whole, by the offsets in the intact one.
python3 - "$here/Budget.ods" "$cut" <<'PY'
import sys, zipfile
path, cut = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path) as z:
    infos = sorted(z.infolist(), key=lambda i: i.header_offset)
    for n, info in enumerate(infos):
        end = infos[n + 1].header_offset if n + 1 < len(infos) else None
        state = "whole" if end is not None and end <= cut else (
            "cut" if info.header_offset < cut else "lost")
        method = "stored" if info.compress_type == 0 else "deflated"
        print(f"{info.header_offset:7d} {info.compress_size:7d} {method:8s} {state:5s} {info.filename}")
PY
echo "make-sample: $here/Budget.ods ($size bytes), $here/Budget-damaged.ods (cut at $cut bytes, ${cut_percent}%)"
