#!/usr/bin/env python3
"""Makes the second interop set: .ods packages from writers other than LibreOffice.

Each writer lays its package out its own way, and the repair must bring every
layout back:

  sheetjs.ods          SheetJS (npm "xlsx"), its default: every entry stored,
                       META-INF/manifest.xml first, mimetype third, DOS dates 0
  sheetjs_deflate.ods  SheetJS with compression: every entry deflated, the
                       mimetype too
  gnumeric.ods         Gnumeric's ssconvert: extra fields on every deflated
                       entry, content.xml before styles.xml
  odfpy.ods            Python's odfpy, with a picture after content.xml
  bsdtar_stored.ods    a package unpacked and packed again by libarchive's
                       bsdtar, every entry stored: flag bit 3 set, the sizes in
                       the local header, the CRC-32 only in the descriptor
  infozip_template.ods a template unpacked and packed again by Info-ZIP zip:
                       a 0-byte part listed in the manifest, folder entries
  python_zip64.ods     Python's zipfile with force_zip64: local headers with
                       0xFFFFFFFF sizes and the sizes in a zip64 extra field
  python_stream64.ods  the same written to a pipe: flag bit 3, zip64 extra
                       field of zeros, 24-byte descriptors

The cells LibreOffice reads back are stored as expected/<fixture>/<sheet>.csv,
as for the first set. The packages are committed: the suite needs only
LibreOffice to read them, not the writers. To remake them (needs node and npm,
ssconvert, python3-odf, bsdtar, zip; scripts/lib/deps.sh deps_writers):

    tests/interop/writers/make_fixtures.py [--only NAME]...
"""

import argparse
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import make_fixtures as first  # noqa: E402  (the first set's LibreOffice helpers)

FIXTURES = os.path.join(HERE, "fixtures")
EXPECTED = os.path.join(HERE, "expected")
ODS_MIME = first.ODS_MIME
SHEETJS_VERSION = "0.18.5"
# Debian's odfpy is installed for the system's Python.
SYSTEM_PYTHON = "/usr/bin/python3"


def rows(count=300):
    """Item, quantity, price, note: text, integers, decimals and accents."""
    rng = first.Lcg(23)
    words = ["Ölkanne", "Schraube", "Mutter", "Dübel", "Zange", "Säge",
             "Feile", "Hammer", "Kelle", "Leiter"]
    out = [["Item", "Qty", "Price", "Note"]]
    for i in range(1, count + 1):
        out.append(["%s %d" % (words[rng.below(len(words))], i),
                    rng.below(500) + 1,
                    (rng.below(100000) + 1) / 100.0,
                    "Lager %s-%03d" % ("ABCDEFGH"[rng.below(8)], rng.below(1000))])
    return out


def sheetjs(workdir, out_dir):
    node_dir = os.path.join(workdir, "node")
    os.makedirs(node_dir)
    subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--prefix",
                    node_dir, "xlsx@" + SHEETJS_VERSION], check=True,
                   capture_output=True)
    script = os.path.join(node_dir, "write.js")
    with open(script, "w") as f:
        f.write("""
const X = require('xlsx');
const data = JSON.parse(process.argv[2]);
const wb = X.utils.book_new();
X.utils.book_append_sheet(wb, X.utils.aoa_to_sheet(data.stock), 'Stock');
X.utils.book_append_sheet(wb, X.utils.aoa_to_sheet(data.small), 'Summary');
X.writeFile(wb, process.argv[3], {bookType: 'ods'});
X.writeFile(wb, process.argv[4], {bookType: 'ods', compression: true});
""")
    data = {"stock": rows(), "small": [["Total", 1], ["Count", 300]]}
    subprocess.run(["node", script, json.dumps(data),
                    os.path.join(out_dir, "sheetjs.ods"),
                    os.path.join(out_dir, "sheetjs_deflate.ods")],
                   check=True, cwd=node_dir)


def gnumeric(workdir, out_dir):
    import csv
    # ssconvert names the sheet after the file.
    src = os.path.join(workdir, "gnumeric", "Stock.csv")
    os.makedirs(os.path.dirname(src), exist_ok=True)
    with open(src, "w", newline="", encoding="utf-8") as f:
        csv.writer(f).writerows(rows())
    subprocess.run(["ssconvert", src, os.path.join(out_dir, "gnumeric.ods")],
                   check=True, capture_output=True)


ODFPY_SCRIPT = r'''
import struct, sys, zlib, json
from odf.opendocument import OpenDocumentSpreadsheet
from odf.table import Table, TableRow, TableCell
from odf.text import P
from odf.draw import Frame, Image
def png(w, h):
    raw = b"".join(b"\0" + bytes((x * 7 + y * 3) & 255 for x in range(w * 3))
                   for y in range(h))
    def chunk(k, b):
        return struct.pack(">I", len(b)) + k + b + struct.pack(">I", zlib.crc32(k + b))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
data = json.loads(sys.argv[1])
doc = OpenDocumentSpreadsheet()
table = Table(name="Stock")
for values in data:
    row = TableRow()
    for v in values:
        if isinstance(v, str):
            cell = TableCell(valuetype="string")
        else:
            cell = TableCell(valuetype="float", value=v)
        cell.addElement(P(text=str(v)))
        row.addElement(cell)
    table.addElement(row)
row = TableRow()
cell = TableCell()
href = doc.addPicture("Pictures/chart.png", "image/png", png(60, 40))
frame = Frame(width="3cm", height="2cm")
frame.addElement(Image(href=href))
cell.addElement(frame)
row.addElement(cell)
table.addElement(row)
doc.spreadsheet.addElement(table)
doc.save(sys.argv[2])
'''


def odfpy(workdir, out_dir):
    subprocess.run([SYSTEM_PYTHON, "-c", ODFPY_SCRIPT, json.dumps(rows()),
                    os.path.join(out_dir, "odfpy.ods")], check=True)


def unpacked_gnumeric(workdir):
    """gnumeric.ods's parts in a folder (made first)."""
    folder = os.path.join(workdir, "parts")
    if not os.path.isdir(folder):
        gnumeric(workdir, workdir)
        with zipfile.ZipFile(os.path.join(workdir, "gnumeric.ods")) as z:
            z.extractall(folder)
    return folder


def bsdtar_stored(workdir, out_dir):
    folder = unpacked_gnumeric(workdir)
    names = ["mimetype", "content.xml", "styles.xml", "meta.xml",
             "settings.xml", "META-INF/manifest.xml"]
    subprocess.run(["bsdtar", "--format", "zip", "--options",
                    "zip:compression=store", "-cf",
                    os.path.join(out_dir, "bsdtar_stored.ods")] + names,
                   check=True, cwd=folder)


def infozip_template(workdir, out_dir):
    """A template's layout: an empty accelerator file that the manifest lists,
    and the folder entries of the configuration tree."""
    folder = os.path.join(workdir, "template")
    shutil.copytree(unpacked_gnumeric(workdir), folder)
    for sub in ("accelerator", "toolbar", "menubar"):
        os.makedirs(os.path.join(folder, "Configurations2", sub))
    open(os.path.join(folder, "Configurations2", "accelerator", "current.xml"),
         "w").close()
    manifest = os.path.join(folder, "META-INF", "manifest.xml")
    with open(manifest, encoding="utf-8") as f:
        text = f.read()
    extra = ('<manifest:file-entry manifest:full-path="Configurations2/" '
             'manifest:media-type="application/vnd.sun.xml.ui.configuration"/>'
             '<manifest:file-entry manifest:full-path='
             '"Configurations2/accelerator/current.xml" manifest:media-type=""/>')
    text = text.replace("</manifest:manifest>", extra + "</manifest:manifest>")
    with open(manifest, "w", encoding="utf-8") as f:
        f.write(text)
    target = os.path.join(out_dir, "infozip_template.ods")
    subprocess.run(["zip", "-q", "-X", "-0", target, "mimetype"], check=True,
                   cwd=folder)
    subprocess.run(["zip", "-q", "-X", "-r", target, ".", "-x", "mimetype"],
                   check=True, cwd=folder)


def _python_parts(workdir):
    folder = unpacked_gnumeric(workdir)
    parts = []
    for name in ["mimetype", "content.xml", "styles.xml", "meta.xml",
                 "settings.xml", "META-INF/manifest.xml"]:
        with open(os.path.join(folder, name), "rb") as f:
            parts.append((name, f.read()))
    return parts


def _write_zip64(target, parts):
    for name, data in parts:
        method = zipfile.ZIP_STORED if name == "mimetype" else zipfile.ZIP_DEFLATED
        info = zipfile.ZipInfo(name, (2024, 5, 17, 10, 30, 0))
        info.compress_type = method
        with target.open(info, "w", force_zip64=name != "mimetype") as f:
            f.write(data)


def python_zip64(workdir, out_dir):
    with zipfile.ZipFile(os.path.join(out_dir, "python_zip64.ods"), "w") as z:
        _write_zip64(z, _python_parts(workdir))


class _Pipe(io.RawIOBase):
    """A stream that cannot seek, as a pipe: zipfile writes descriptors."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def python_stream64(workdir, out_dir):
    pipe = _Pipe()
    with zipfile.ZipFile(pipe, "w") as z:
        _write_zip64(z, _python_parts(workdir))
    with open(os.path.join(out_dir, "python_stream64.ods"), "wb") as f:
        f.write(bytes(pipe.data))


WRITERS = {
    "sheetjs": sheetjs,
    "sheetjs_deflate": None,  # made by sheetjs()
    "gnumeric": gnumeric,
    "odfpy": odfpy,
    "bsdtar_stored": bsdtar_stored,
    "infozip_template": infozip_template,
    "python_zip64": python_zip64,
    "python_stream64": python_stream64,
}


def check(path):
    with zipfile.ZipFile(path) as z:
        bad = z.testzip()
        names = z.namelist()
    if bad:
        sys.exit("%s: damaged entry %s" % (path, bad))
    for need in ("mimetype", "content.xml", "META-INF/manifest.xml"):
        if need not in names:
            sys.exit("%s: no entry %s" % (path, need))
    if subprocess.run(["unzip", "-tqq", path], capture_output=True).returncode:
        sys.exit("%s: unzip -t failed" % path)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--soffice", default=shutil.which("soffice") or "soffice")
    ap.add_argument("--only", action="append", choices=sorted(WRITERS))
    args = ap.parse_args()
    wanted = args.only or sorted(WRITERS)
    workdir = tempfile.mkdtemp(prefix="velmora-writers-")
    profile = "file://" + os.path.join(workdir, "lo-profile")
    try:
        out = os.path.join(workdir, "ods")
        os.makedirs(out)
        for name in wanted:
            make = WRITERS[name] or WRITERS["sheetjs"]
            if not os.path.exists(os.path.join(out, name + ".ods")):
                make(workdir, out)
        exported = {}
        for name in wanted:
            path = os.path.join(out, name + ".ods")
            check(path)
            exported[name] = first.export_sheets(args.soffice, profile, path, workdir)
        os.makedirs(FIXTURES, exist_ok=True)
        for name in wanted:
            target = os.path.join(FIXTURES, name + ".ods")
            shutil.copyfile(os.path.join(out, name + ".ods"), target)
            dest = os.path.join(EXPECTED, name)
            shutil.rmtree(dest, ignore_errors=True)
            os.makedirs(dest)
            for sheet, csv_path in exported[name].items():
                shutil.copyfile(csv_path, os.path.join(dest, sheet + ".csv"))
            print("%-22s %7d bytes, sheets: %s" % (name + ".ods", os.path.getsize(target),
                                                    ", ".join(exported[name])))
        return 0
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
