#!/usr/bin/env python3
"""Makes the interop fixtures: small .ods packages from real writers.

Four packages are written by LibreOffice (flat XML .fods in, .ods out), one by
Python's zipfile. For each package the cells LibreOffice reads back are stored
as one CSV per sheet under expected/<fixture>/<sheet>.csv.

LibreOffice stamps dates into what it writes, so its packages differ from run
to run; they are committed, and this script is run again only to change them.

    tests/interop/make_fixtures.py [--only NAME]... [--soffice PATH]
    tests/interop/make_fixtures.py --check
"""

import argparse
import base64
import csv
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib
from xml.sax.saxutils import escape, quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "fixtures")
EXPECTED = os.path.join(HERE, "expected")

# Field separator comma, text delimiter ", UTF-8, start at line 1, raw values
# rather than as shown, and the last token -1: every sheet to FILE-Sheet.csv.
CSV_FILTER = ("csv:Text - txt - csv (StarCalc):"
              "44,34,UTF8,1,,0,false,true,false,false,false,-1")

NAMESPACES = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "draw": "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0",
    "fo": "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0",
    "xlink": "http://www.w3.org/1999/xlink",
    "dc": "http://purl.org/dc/elements/1.1/",
    "meta": "urn:oasis:names:tc:opendocument:xmlns:meta:1.0",
    "number": "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0",
    "svg": "urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0",
    "of": "urn:oasis:names:tc:opendocument:xmlns:of:1.2",
}
NS_DECL = " ".join('xmlns:%s="%s"' % kv for kv in NAMESPACES.items())
ODS_MIME = "application/vnd.oasis.opendocument.spreadsheet"


class Lcg:
    """Small fixed generator, so the cell values never depend on Python's."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def below(self, n):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return (self.state >> 8) % n


# ---------------------------------------------------------------- cells


def cell_text(text, style=None):
    st = ' table:style-name="%s"' % style if style else ""
    return ('<table:table-cell office:value-type="string"%s>'
            "<text:p>%s</text:p></table:table-cell>" % (st, escape(text)))


def cell_number(value, style=None):
    st = ' table:style-name="%s"' % style if style else ""
    return ('<table:table-cell office:value-type="float" office:value="%s"%s>'
            "<text:p>%s</text:p></table:table-cell>" % (value, st, value))


def cell_date(iso, style="date"):
    return ('<table:table-cell office:value-type="date" office:date-value="%s"'
            ' table:style-name="%s"><text:p>%s</text:p></table:table-cell>' %
            (iso, style, iso))


def cell_formula(formula, value):
    """A formula cell with its value cached, as a writer that calculates
    leaves it; the expected CSVs show whether the reader agrees."""
    f = quoteattr("of:=" + formula)
    if isinstance(value, str):
        return ('<table:table-cell table:formula=%s office:value-type="string"'
                ' office:string-value=%s><text:p>%s</text:p></table:table-cell>'
                % (f, quoteattr(value), escape(value)))
    return ('<table:table-cell table:formula=%s office:value-type="float"'
            ' office:value="%s"><text:p>%s</text:p></table:table-cell>' %
            (f, value, value))


def row(cells):
    return "<table:table-row>%s</table:table-row>" % "".join(cells)


def table(name, rows, columns=1, shapes=""):
    return ('<table:table table:name=%s>%s'
            '<table:table-column table:number-columns-repeated="%d"/>%s'
            "</table:table>" % (quoteattr(name), shapes, columns,
                                "".join(rows)))


def fods(title, tables):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<office:document %s office:version="1.3" office:mimetype="%s">'
            "<office:meta><dc:title>%s</dc:title></office:meta>"
            "<office:automatic-styles>"
            '<number:date-style style:name="N_DATE">'
            '<number:year number:style="long"/><number:text>-</number:text>'
            '<number:month number:style="long"/><number:text>-</number:text>'
            '<number:day number:style="long"/></number:date-style>'
            '<number:number-style style:name="N_MONEY">'
            '<number:number number:decimal-places="2" number:min-integer-digits="1"/>'
            "</number:number-style>"
            '<style:style style:name="date" style:family="table-cell"'
            ' style:data-style-name="N_DATE"/>'
            '<style:style style:name="money" style:family="table-cell"'
            ' style:data-style-name="N_MONEY"/>'
            '<style:style style:name="head" style:family="table-cell">'
            '<style:text-properties fo:font-weight="bold"/></style:style>'
            "</office:automatic-styles>"
            "<office:body><office:spreadsheet>%s</office:spreadsheet>"
            "</office:body></office:document>\n" %
            (NS_DECL, ODS_MIME, escape(title), "".join(tables)))


# ---------------------------------------------------------------- pictures


def png(width, height, pixel):
    """An RGB PNG; pixel(x, y) gives (r, g, b)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def icon(n):
    """A 16x16 icon unique to n (the writer stores equal pictures once)."""
    r, g, b = (n * 53) % 256, (n * 97 + 40) % 256, (n * 151 + 90) % 256

    def pixel(x, y):
        edge = x in (0, 15) or y in (0, 15)
        mark = (x + y) % 16 == n % 16
        if edge:
            return (40, 40, 40)
        if mark:
            return (255 - r, 255 - g, 255 - b)
        return (r, g, b)

    return png(16, 16, pixel)


def banner():
    return png(160, 48, lambda x, y: (x * 255 // 159, y * 255 // 47,
                                      (x ^ y) & 0xFF))


def magick_picture(fmt, workdir):
    """A small JPEG or GIF made by ImageMagick, or None when it is missing."""
    exe = shutil.which("convert")
    if not exe:
        return None
    out = os.path.join(workdir, "picture." + fmt)
    subprocess.run([exe, "-size", "64x48", "gradient:navy-gold", "-strip", out],
                   check=True, capture_output=True)
    with open(out, "rb") as f:
        return f.read()


def frame(name, picture, width_cm, height_cm):
    """A picture anchored to the cell that holds it, its bytes inline."""
    data = base64.b64encode(picture).decode("ascii")
    return ('<draw:frame draw:z-index="0" draw:name=%s svg:width="%.2fcm"'
            ' svg:height="%.2fcm" svg:x="0.05cm" svg:y="0.05cm">'
            "<draw:image><office:binary-data>%s</office:binary-data>"
            "</draw:image></draw:frame>" %
            (quoteattr(name), width_cm, height_cm, data))


def cell_with_frame(text, frame_xml):
    return ('<table:table-cell office:value-type="string">%s<text:p>%s</text:p>'
            "</table:table-cell>" % (frame_xml, escape(text)))


# ---------------------------------------------------------------- fixtures

ITEMS = ["bolts M6", "washers 8 mm", "hinge, brass", "paint \"Ocean\"",
         "cable 3x1.5", "sealant", "drill bit 6 mm", "tape; 50 m",
         "sandpaper P120", "rivets"]


def numbers_text():
    """One sheet of a few hundred rows: the common ledger-like document."""
    gen = Lcg(20240601)
    rows = [row([cell_text(h, "head") for h in
                 ("ID", "Date", "Item", "Amount")])]
    for i in range(1, 201):
        day = 1 + gen.below(28)
        month = 1 + gen.below(12)
        cents = 50 + gen.below(250000)
        rows.append(row([
            cell_number(1000 + i),
            cell_date("2023-%02d-%02d" % (month, day)),
            cell_text(ITEMS[gen.below(len(ITEMS))]),
            cell_number("%d.%02d" % (cents // 100, cents % 100), "money"),
        ]))
    return fods("Ledger", [table("Ledger", rows, 4)])


def formulas_sheets():
    """Three sheets whose formulas reach across sheets."""
    gen = Lcg(77)
    regions = ["North %d" % i for i in range(1, 9)] + \
              ["South %d" % i for i in range(1, 9)] + \
              ["West %d" % i for i in range(1, 9)]
    n = len(regions)
    quarters = [[100 + gen.below(900) for _ in range(4)] for _ in regions]

    inputs = [row([cell_text(h, "head") for h in
                   ("Region", "Q1", "Q2", "Q3", "Q4")])]
    for name, q in zip(regions, quarters):
        inputs.append(row([cell_text(name)] + [cell_number(v) for v in q]))

    totals = [row([cell_text(h, "head") for h in
                   ("Region", "Total", "Average", "Band", "With tax")])]
    sums = []
    for i, (name, q) in enumerate(zip(regions, quarters)):
        r = i + 2
        total = sum(q)
        sums.append(total)
        totals.append(row([
            cell_formula("[$Inputs.A%d]" % r, name),
            cell_formula("SUM([$Inputs.B%d:.E%d])" % (r, r), total),
            cell_formula("AVERAGE([$Inputs.B%d:.E%d])" % (r, r), total / 4),
            cell_formula('IF([.B%d]>2000;"high";"low")' % r,
                         "high" if total > 2000 else "low"),
            cell_formula("ROUND([.B%d]*1.2;2)" % r, round(total * 1.2, 2)),
        ]))

    last = n + 1
    grand = sum(sums)
    summary = [
        row([cell_text("Measure", "head"), cell_text("Value", "head")]),
        row([cell_text("Grand total"),
             cell_formula("SUM([$Totals.B2:.B%d])" % last, grand)]),
        row([cell_text("Largest"),
             cell_formula("MAX([$Totals.B2:.B%d])" % last, max(sums))]),
        row([cell_text("Smallest"),
             cell_formula("MIN([$Totals.B2:.B%d])" % last, min(sums))]),
        row([cell_text("High regions"),
             cell_formula('COUNTIF([$Totals.D2:.D%d];"high")' % last,
                          sum(1 for s in sums if s > 2000))]),
        row([cell_text("North 3 total"),
             cell_formula('VLOOKUP("North 3";[$Totals.A2:.B%d];2;0)' % last,
                          sums[2])]),
        row([cell_text("Caption"),
             cell_formula('CONCATENATE("Grand total: ";TEXT([.B2];"0"))',
                          "Grand total: %d" % grand)]),
    ]
    doc = fods("Quarterly figures", [table("Inputs", inputs, 5),
                                      table("Totals", totals, 5),
                                      table("Summary", summary, 2)])
    checks = {"Summary": {(1, 1): str(grand), (4, 1): str(
        sum(1 for s in sums if s > 2000)), (5, 1): str(sums[2])}}
    return doc, checks


def unicode_text():
    """Accents, CJK, right-to-left scripts and emoji, in cells and names."""
    accents = [("café", "naïve façade"), ("Ångström", "Łódź – Kraków"),
               ("Straße", "Größe ÄÖÜ äöü ß"), ("señor", "¿Qué tal? ¡Olé!"),
               ("Œuvre", "Ærøskøbing"), ("e\u0301", "combining acute")]
    cjk = [("東京", "とうきょう"), ("北京", "Běijīng"), ("서울", "Seoul"),
           ("中文字符", "漢字かなカナ"), ("全角，標點。", "fullwidth punctuation")]
    emoji = [("😀", "grinning"), ("🎉🎂", "party and cake"),
             ("👨\u200d👩\u200d👧", "family (joined)"), ("🇫🇷", "flag pair"),
             ("שלום", "Hebrew"), ("مرحبا", "Arabic"), ("∑ ≤ ∞ ≠", "maths")]

    def sheet(name, pairs):
        rows = [row([cell_text("Text", "head"), cell_text("Comment", "head"),
                     cell_text("Length", "head")])]
        for i, (a, b) in enumerate(pairs):
            rows.append(row([cell_text(a), cell_text(b),
                             cell_formula("LEN([.A%d])" % (i + 2), len(a))]))
        return table(name, rows, 3)

    return fods("Ünïcödé 文字 ✓", [sheet("Accents", accents),
                                   sheet("日本語", cjk),
                                   sheet("Emoji ✓", emoji)])


def pictures(workdir):
    """A catalogue with a small picture per row, and a gallery sheet.

    Enough pictures that the central directory outgrows 4 KiB."""
    gen = Lcg(4242)
    rows = [row([cell_text(h, "head") for h in
                 ("Code", "Product", "Price", "Icon")])]
    for i in range(48):
        cents = 100 + gen.below(9000)
        rows.append(row([
            cell_text("P-%03d" % (i + 1)),
            cell_text("Product %d" % (i + 1)),
            cell_number("%d.%02d" % (cents // 100, cents % 100), "money"),
            cell_with_frame("", frame("Icon %d" % (i + 1), icon(i), 0.4, 0.4)),
        ]))
    gallery = [row([cell_text("Picture", "head"), cell_text("Kind", "head")]),
               row([cell_with_frame("banner", frame("Banner", banner(), 4.0, 1.2)),
                    cell_text("png")])]
    for fmt in ("jpg", "gif"):
        data = magick_picture(fmt, workdir)
        if data:
            gallery.append(row([
                cell_with_frame(fmt, frame("Picture " + fmt, data, 1.6, 1.2)),
                cell_text(fmt)]))
    return fods("Catalogue", [table("Catalogue", rows, 4),
                              table("Gallery", gallery, 2)])


def python_zip(path):
    """A package written by Python's zipfile: everything deflated, sizes in
    the local headers, no data descriptors, mimetype first but deflated.

    Its thumbnail is noise, so deflating it makes it larger, not smaller, as
    writers that deflate every entry often do with pictures."""
    gen = Lcg(99)
    noise = Lcg(5)
    thumbnail = png(48, 32, lambda x, y: (noise.below(256), noise.below(256),
                                          noise.below(256)))
    readings = ["<table:table-row>%s</table:table-row>" % "".join([
        cell_text("2024-03-%02d %02d:00" % (1 + i // 24, i % 24)),
        cell_text("sensor-%d" % (1 + i % 3)),
        cell_number("%d.%d" % (15 + gen.below(10), gen.below(10))),
    ]) for i in range(150)]
    notes = [row([cell_text("Readings are hourly.")]),
             row([cell_text("Written without an office program.")])]
    content = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<office:document-content %s office:version="1.3">'
        "<office:body><office:spreadsheet>%s%s</office:spreadsheet>"
        "</office:body></office:document-content>\n" %
        (NS_DECL, table("Readings", [row([cell_text(h) for h in
                                          ("Time", "Sensor", "Celsius")])] +
                        readings, 3), table("Notes", notes, 1)))
    styles = ('<?xml version="1.0" encoding="UTF-8"?>\n'
              '<office:document-styles %s office:version="1.3">'
              "<office:styles/></office:document-styles>\n" % NS_DECL)
    meta = ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<office:document-meta %s office:version="1.3"><office:meta>'
            "<meta:generator>python-zipfile</meta:generator>"
            "<dc:title>Sensor readings</dc:title>"
            "</office:meta></office:document-meta>\n" % NS_DECL)
    manifest = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:'
        'xmlns:manifest:1.0" manifest:version="1.3">\n'
        ' <manifest:file-entry manifest:full-path="/" manifest:version="1.3"'
        ' manifest:media-type="%s"/>\n'
        ' <manifest:file-entry manifest:full-path="content.xml"'
        ' manifest:media-type="text/xml"/>\n'
        ' <manifest:file-entry manifest:full-path="styles.xml"'
        ' manifest:media-type="text/xml"/>\n'
        ' <manifest:file-entry manifest:full-path="meta.xml"'
        ' manifest:media-type="text/xml"/>\n'
        ' <manifest:file-entry manifest:full-path="Thumbnails/thumbnail.png"'
        ' manifest:media-type="image/png"/>\n'
        "</manifest:manifest>\n" % ODS_MIME)
    parts = [("mimetype", ODS_MIME), ("content.xml", content),
             ("styles.xml", styles), ("meta.xml", meta),
             ("Thumbnails/thumbnail.png", thumbnail),
             ("META-INF/manifest.xml", manifest)]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in parts:
            info = zipfile.ZipInfo(name, date_time=(2024, 3, 15, 10, 20, 30))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, text if isinstance(text, bytes) else
                       text.encode("utf-8"))


# ---------------------------------------------------------------- driver


def run_soffice(soffice, profile, args):
    cmd = [soffice, "-env:UserInstallation=" + profile, "--headless",
           "--norestore"] + args
    done = subprocess.run(cmd, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit("soffice failed (%d): %s\n%s" %
                 (done.returncode, " ".join(cmd), done.stderr))
    return done.stdout


def export_sheets(soffice, profile, package, workdir):
    """One CSV per sheet, named after the sheet; returns {sheet: path}."""
    stem = os.path.splitext(os.path.basename(package))[0]
    outdir = os.path.join(workdir, "csv-" + stem)
    os.makedirs(outdir)
    run_soffice(soffice, profile, ["--convert-to", CSV_FILTER, "--outdir",
                                   outdir, package])
    sheets = {}
    for name in sorted(os.listdir(outdir)):
        if name.startswith(stem + "-") and name.endswith(".csv"):
            sheets[name[len(stem) + 1:-4]] = os.path.join(outdir, name)
    if not sheets:
        sys.exit("no sheet exported from " + package)
    return sheets


def check_package(path):
    """unzip -t passes and the parts every fixture is meant to have exist."""
    need = ["mimetype", "content.xml", "META-INF/manifest.xml",
            "Thumbnails/thumbnail.png"]
    if os.path.basename(path) == "pictures.ods":
        need.append("Pictures/")
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        bad = z.testzip()
    if bad:
        sys.exit("%s: damaged entry %s" % (path, bad))
    for prefix in need:
        if not any(n.startswith(prefix) for n in names):
            sys.exit("%s: no entry %s" % (path, prefix))
    done = subprocess.run(["unzip", "-tqq", path], capture_output=True)
    if done.returncode != 0:
        sys.exit("%s: unzip -t failed" % path)


def read_csv(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.reader(f))


def check_formulas(checks):
    """The reader must agree with the values cached in the formula cells."""
    for sheet, cells in checks.items():
        grid = read_csv(os.path.join(EXPECTED, "formulas_sheets",
                                     sheet + ".csv"))
        for (r, c), want in cells.items():
            if grid[r][c] != want:
                sys.exit("formulas_sheets %s R%dC%d: %r, expected %r" %
                         (sheet, r + 1, c + 1, grid[r][c], want))


def same_file(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


def check_committed(soffice, profile, workdir):
    """Every committed fixture passes unzip -t and reads back, sheet by
    sheet, exactly as its expected CSVs say."""
    failures = 0
    for name in sorted(os.listdir(FIXTURES)):
        if not name.endswith(".ods"):
            continue
        path = os.path.join(FIXTURES, name)
        check_package(path)
        stem = name[:-4]
        sheets = export_sheets(soffice, profile, path, workdir)
        want_dir = os.path.join(EXPECTED, stem)
        want = sorted(f[:-4] for f in os.listdir(want_dir) if f.endswith(".csv"))
        if sorted(sheets) != want:
            print("%s: sheets %s, expected %s" % (name, sorted(sheets), want))
            failures += 1
            continue
        for sheet, got in sheets.items():
            if not same_file(got, os.path.join(want_dir, sheet + ".csv")):
                print("%s: sheet %s differs from expected" % (name, sheet))
                failures += 1
        print("%-22s %7d bytes, %d sheet(s) as expected" %
              (name, os.path.getsize(path), len(sheets)))
    return failures


FIXTURE_NAMES = ["numbers_text", "formulas_sheets", "unicode_text", "pictures",
                 "python_zipfile"]


def make(soffice, profile, workdir, only):
    src = os.path.join(workdir, "src")
    out = os.path.join(workdir, "ods")
    os.makedirs(src)
    os.makedirs(out)
    formulas_doc, formula_checks = formulas_sheets()
    documents = {
        "numbers_text": numbers_text,
        "formulas_sheets": lambda: formulas_doc,
        "unicode_text": unicode_text,
        "pictures": lambda: pictures(workdir),
    }
    wanted = [s for s in FIXTURE_NAMES if s in only]
    from_fods = [s for s in wanted if s in documents]
    for stem in from_fods:
        with open(os.path.join(src, stem + ".fods"), "w",
                  encoding="utf-8") as f:
            f.write(documents[stem]())
    if from_fods:
        run_soffice(soffice, profile,
                    ["--convert-to", "ods", "--outdir", out] +
                    [os.path.join(src, s + ".fods") for s in from_fods])
    if "python_zipfile" in wanted:
        python_zip(os.path.join(out, "python_zipfile.ods"))

    # Everything is checked before anything committed is replaced.
    exported = {}
    for stem in wanted:
        path = os.path.join(out, stem + ".ods")
        check_package(path)
        exported[stem] = export_sheets(soffice, profile, path, workdir)

    os.makedirs(FIXTURES, exist_ok=True)
    for stem in wanted:
        target = os.path.join(FIXTURES, stem + ".ods")
        shutil.copyfile(os.path.join(out, stem + ".ods"), target)
        dest = os.path.join(EXPECTED, stem)
        shutil.rmtree(dest, ignore_errors=True)
        os.makedirs(dest)
        for sheet, csv_path in exported[stem].items():
            shutil.copyfile(csv_path, os.path.join(dest, sheet + ".csv"))
        print("%-22s %7d bytes, sheets: %s" %
              (stem + ".ods", os.path.getsize(target),
               ", ".join(exported[stem])))
    if "formulas_sheets" in wanted:
        check_formulas(formula_checks)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--soffice", default=shutil.which("soffice") or "soffice")
    ap.add_argument("--only", action="append", choices=FIXTURE_NAMES,
                    help="remake this fixture only (repeatable)")
    ap.add_argument("--check", action="store_true",
                    help="remake nothing; check the committed fixtures")
    ap.add_argument("--keep-temp", action="store_true")
    args = ap.parse_args()

    workdir = tempfile.mkdtemp(prefix="velmora-fixtures-")
    # A private profile: conversions elsewhere on the machine do not collide.
    profile = "file://" + os.path.join(workdir, "lo-profile")
    try:
        if args.check:
            return 1 if check_committed(args.soffice, profile, workdir) else 0
        make(args.soffice, profile, workdir, args.only or FIXTURE_NAMES)
        return 0
    finally:
        if args.keep_temp:
            print("kept", workdir)
        else:
            shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
