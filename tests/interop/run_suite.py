#!/usr/bin/env python3
"""The interop suite: damaged packages from real writers, repaired by
`velmora repair`, read back by independent readers and by LibreOffice.

    tests/interop/run_suite.py [--velmora PATH] [--soffice PATH]
                               [--table FILE.md] [--keep DIR]
                               [--fixture NAME]... [--variant NAME]...

For every fixture and every damage variant of damage.py (seed 1), plus the
intact fixture itself (variant "intact"):

1. the damaged copy is made in a temporary folder and repaired with
   `velmora repair FILE --out DEST --no-media --work PRIVATE`;
2. every package written must pass `unzip -t` and zipfile's testzip(), and
   start with its mimetype, stored and without extra field (`file` calls it
   an OpenDocument spreadsheet);
3. velmora's own report (--report) says which parts package completion
   synthesised and which XML parts were salvaged. Every entry the damage
   report calls recoverable must be in the package, byte for byte as in the
   intact fixture, unless completion rewrote it; a synthesised part must be
   sound (well-formed XML, a manifest that lists exactly the package's files,
   the fixture's mimetype, a picture the document refers to); a salvaged part
   must be well-formed and the intact part's bytes up to its cut, followed by
   end tags only; a part velmora reports repaired (one changed byte undone)
   must be the intact part byte for byte; every other entry in the package
   must be one the scan could have met;
4. LibreOffice (headless, private profiles, many files per start) exports
   every sheet to CSV, and the cells are compared with expected/; from a
   salvaged content.xml exactly the cells of the rows it kept come back;
5. the outcome is held against expectations.json: "all", "survived" (with
   the exact number of cells) or "no-open", and the parts repaired
   ("repaired", a list of names, default none). An outcome worse than recorded
   fails, and so does a better one, so that the improvement gets recorded.

Prints one line per case and, last, "N passed, N failed"; the exit status is
non-zero when any case failed. Python 3 standard library only.
"""

import argparse
import concurrent.futures
import csv
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import xml.parsers.expat
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
FIXTURES = os.path.join(HERE, "fixtures")
EXPECTED = os.path.join(HERE, "expected")
EXPECTATIONS = os.path.join(HERE, "expectations.json")
# Damaged copies made while the cases were chosen: (fixture, variant) ->
# (bytes, report).
MADE = {}
SEED = 1
INTACT = "intact"
OUTCOMES = ("all", "survived", "no-open")
MIMETYPE = "mimetype"
SHEET_TYPE = b"application/vnd.oasis.opendocument.spreadsheet"
MANIFEST = "META-INF/manifest.xml"
MANIFEST_NS = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"
# What salvage appends after its cut: end tags and nothing else.
END_TAGS = re.compile(rb"(?:</[A-Za-z_][A-Za-z0-9_.-]*"
                      rb"(?::[A-Za-z_][A-Za-z0-9_.-]*)?>)*")
# A picture the document's XML refers to, which completion may stand in for.
PICTURE_REF = re.compile(rb"""xlink:href=["'](?:\./)?([^"']+)["']""")

CSV_FILTER = ("csv:Text - txt - csv (StarCalc):"
              "44,34,UTF8,1,,0,false,true,false,false,false,-1")
# At most two LibreOffice instances at once: each needs a profile of its own,
# and the machines this runs on have two cores.
SOFFICE_INSTANCES = 2
SOFFICE_BATCH_TIMEOUT = 600
SOFFICE_SINGLE_TIMEOUT = 120
REPAIR_TIMEOUT = 120

sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
import damage  # noqa: E402  (beside this script)


# ---------------------------------------------------------------- cases


class Case:
    def __init__(self, fixture, variant, folder):
        self.fixture = fixture
        self.variant = variant
        self.folder = folder
        # The stem names the damaged copy, the repaired package and the CSVs
        # LibreOffice writes for it: unique within a run.
        self.stem = "%s.%s" % (fixture, variant)
        self.damaged = os.path.join(folder, self.stem + ".ods")
        self.package = None  # the repaired package, when one was written
        self.repair_status = None
        self.repair_output = ""
        self.recoverable = []
        self.exact = 0  # recoverable entries present and byte-exact
        self.rewritten = 0  # recoverable entries completion rewrote
        self.velmora_report = os.path.join(folder, "velmora-report.json")
        self.synthesised = []  # parts package completion wrote
        self.salvaged = {}  # name -> bytes kept before the closing tags
        self.repaired = {}  # name -> {"offset", "old", "new"}: a byte undone
        self.written = set()  # names of entries velmora wrote from the file
        # A salvaged content.xml up to its cut (the end tags appended after
        # it would make the row cut in the middle look whole).
        self.salvaged_content = None
        self.problems = []  # faults that fail the case whatever is expected
        self.opens = False
        self.sheets = {}  # sheet name -> CSV path
        self.cells = 0
        self.wrong_cells = 0
        self.cells_expected = 0
        self.verdict = None  # None (pass) or the reason it failed
        # A file of several documents (the joined variants): the fixture whose
        # cells the first package must give, and one sub-case per further
        # package, whose results count with this case's.
        self.expect_fixture = fixture
        self.others = []
        self.further_packages = []  # VONDRELREP_<stem>.ods~N.ods written
        self.velmora_documents = 1  # documents velmora's report tells of
        # What velmora's report says of the file and of this case's document:
        # the file's verdict, whether it was saved, the document's record
        # (verdict, sheets with their rows and cells).
        self.file_verdict = None
        self.file_saved = None
        self.document = None
        self.verdicts = []  # every document's verdict, in order

    @property
    def name(self):
        return "%s %s" % (self.fixture, self.variant)


def fixture_names():
    return sorted(f[:-4] for f in os.listdir(FIXTURES) if f.endswith(".ods"))


def read_entries(path):
    """name -> bytes of every file entry of an intact package."""
    with zipfile.ZipFile(path) as z:
        return {i.filename: z.read(i) for i in z.infolist()
                if not i.is_dir()}


# ---------------------------------------------------------------- repair


def make_damaged(case, raw, made=None):
    if made is not None:
        out, rep = made
    elif case.variant == INTACT:
        pkg = damage.Package(raw)
        out, rep = raw, damage.report(pkg, damage.Damage(raw), INTACT, SEED,
                                      "the intact fixture")
    else:
        out, rep = damage.damage(raw, case.variant, SEED)
    with open(case.damaged, "wb") as f:
        f.write(out)
    with open(os.path.join(case.folder, "report.json"), "w",
              encoding="utf-8") as f:
        json.dump(rep, f, indent=1, ensure_ascii=False)
    return rep


def run_repair(case, velmora):
    dest = os.path.join(case.folder, "out")
    work = os.path.join(case.folder, "work")
    tmp = os.path.join(case.folder, "tmp")
    os.makedirs(work)
    os.makedirs(tmp)
    env = dict(os.environ, TMPDIR=tmp, TMP=tmp, TEMP=tmp)
    cmd = [velmora, "repair", case.damaged, "--out", dest, "--no-media",
           "--work", work, "--report", case.velmora_report]
    try:
        done = subprocess.run(cmd, capture_output=True, env=env,
                              timeout=REPAIR_TIMEOUT)
        case.repair_status = done.returncode
        case.repair_output = (done.stdout + done.stderr).decode(
            "utf-8", "replace")
    except subprocess.TimeoutExpired:
        case.repair_status = "timeout"
        case.problems.append("velmora repair did not end within %ds" %
                             REPAIR_TIMEOUT)
        return
    if case.repair_status < 0:
        case.problems.append("velmora repair was killed by signal %d" %
                             -case.repair_status)
    written = os.path.join(dest, "VONDRELREP_" + case.stem + ".ods")
    further = re.compile(re.escape(os.path.basename(written)) + r"~[0-9]+\.ods")
    case.further_packages = sorted(
        n for n in (os.listdir(dest) if os.path.isdir(dest) else [])
        if further.fullmatch(n))
    others = [n for n in (os.listdir(dest) if os.path.isdir(dest) else [])
              if n != os.path.basename(written) and
              n not in case.further_packages]
    if others:
        case.problems.append("velmora wrote more than the package: %s" %
                             ", ".join(sorted(others)))
    if os.path.isfile(written):
        case.package = written
    elif case.repair_status == 0:
        case.problems.append("velmora exited with 0 but wrote no package")
    read_velmora_report(case)
    # The exit status says what the report says: 0 every file complete and
    # saved, 3 saved but partly repaired, 1 anything else.
    want = {"complete": 0, "partial": 3}.get(case.file_verdict, 1)
    if not case.file_saved:
        want = 1
    if case.repair_status != want:
        case.problems.append("velmora exited with status %s; its report says "
                             "%s, %s, which is status %d" % (
                                 case.repair_status, case.file_verdict,
                                 "saved" if case.file_saved else "not saved",
                                 want))


def read_velmora_report(case, document=0):
    """What velmora says it wrote, salvaged and synthesised for the file (for
    one of its documents, when it held several)."""
    try:
        with open(case.velmora_report, encoding="utf-8") as f:
            files = json.load(f)["files"]
    except (OSError, ValueError, KeyError, TypeError) as err:
        if case.package:
            case.problems.append("no readable --report: %s" % err)
        return
    if len(files) != 1 or not files[0].get("reached"):
        case.problems.append("--report does not hold the one file repaired")
        return
    record = files[0]
    case.synthesised = list(record.get("synthesised", []))
    entries = record.get("entries", [])
    documents = record.get("documents")
    case.velmora_documents = len(documents) if documents else 1
    case.file_verdict = record.get("verdict")
    case.file_saved = record.get("saved")
    case.verdicts = [d.get("verdict") for d in documents or []]
    if documents and document < len(documents):
        case.document = documents[document]
    if documents:
        if document >= len(documents):
            return
        first = documents[document]["first_entry"]
        entries = entries[first:first + documents[document]["entries"]]
        case.synthesised = list(documents[document]["synthesised"])
    # Entries in scan order: a later entry of a name that wrote a file
    # replaced the earlier one's, so the last one written tells.
    for e in entries:
        if not e.get("written"):
            continue
        case.written.add(e["name"])
        if e.get("repaired"):
            case.repaired[e["name"]] = e.get("repair") or {}
        else:
            case.repaired.pop(e["name"], None)
        if e.get("salvaged"):
            case.salvaged[e["name"]] = e["salvaged_bytes"]
        else:
            case.salvaged.pop(e["name"], None)


def check_package(case, intact_entries, report):
    """Independent readers, then the entries against the intact fixture."""
    path = case.package
    done = subprocess.run(["unzip", "-tqq", path], capture_output=True)
    if done.returncode != 0:
        case.problems.append("unzip -t failed (%d): %s" % (
            done.returncode, (done.stdout + done.stderr).decode(
                "utf-8", "replace").strip()[:300]))
    try:
        with zipfile.ZipFile(path) as z:
            bad = z.testzip()
            if bad is not None:
                case.problems.append("zipfile testzip(): bad entry %s" % bad)
            got = {i.filename: z.read(i) for i in z.infolist()}
    except (zipfile.BadZipFile, OSError, EOFError, ValueError,
            NotImplementedError) as err:
        case.problems.append("zipfile cannot read the package: %s" % err)
        return

    type_fault = package_type_fault(path, got)
    if type_fault:
        case.problems.append(type_fault)

    synthesised = set(case.synthesised)
    for name in case.recoverable:
        if name not in got:
            case.problems.append("recoverable entry %s is missing" % name)
        elif name in synthesised and got[name] != intact_entries[name]:
            case.rewritten += 1  # checked with the synthesised parts below
        elif got[name] != intact_entries[name]:
            case.problems.append("recoverable entry %s differs (%d bytes, "
                                 "intact %d)" % (name, len(got[name]),
                                                 len(intact_entries[name])))
        else:
            case.exact += 1
    for name in case.synthesised:
        if name not in got:
            case.problems.append("synthesised part %s is not in the package"
                                 % name)
        else:
            check_synthesised(case, name, got, intact_entries)
    for name, kept in sorted(case.salvaged.items()):
        if name not in got:
            case.problems.append("salvaged part %s is not in the package" %
                                 name)
        else:
            check_salvaged(case, name, kept, got[name],
                           intact_entries.get(name))
            if name == "content.xml":
                case.salvaged_content = got[name][:kept]
    for name in sorted(case.repaired):
        if name not in got:
            case.problems.append("repaired part %s is not in the package" %
                                 name)
        elif name in synthesised:
            pass  # completion rewrote it after the repair (the manifest)
        elif got[name] != intact_entries.get(name):
            case.problems.append("repaired part %s is not the intact part "
                                 "byte for byte" % name)
    met = {r["name"] for r in report["scan"]}
    for name in sorted(set(got) - met - synthesised):
        case.problems.append("entry %s is in the package but no scan record "
                             "has its name" % name)


def package_type_fault(path, got):
    """None when a package with a mimetype starts with it as readers that go
    by the first bytes expect (first entry, stored, no extra field, so that
    the type follows the name at offset 38) and `file` (when installed) calls
    it an OpenDocument spreadsheet; else what is wrong."""
    if MIMETYPE not in got:
        return None
    with open(path, "rb") as f:
        head = f.read(38 + len(got[MIMETYPE]))
    if head[:4] != b"PK\x03\x04" or head[8:10] != b"\0\0" or \
            head[26:30] != b"\x08\0\0\0" or head[30:38] != b"mimetype" or \
            head[38:] != got[MIMETYPE]:
        return "mimetype is not the first entry, stored, without extra field"
    if shutil.which("file") and got[MIMETYPE] == SHEET_TYPE:
        seen = subprocess.run(["file", "-b", path], capture_output=True,
                              text=True).stdout.strip()
        if "OpenDocument Spreadsheet" not in seen:
            return "file(1) calls the package %r" % seen
    return None


def xml_fault(data):
    """None when DATA is one well-formed XML document, else why not."""
    parser = xml.parsers.expat.ParserCreate(namespace_separator=" ")
    try:
        parser.Parse(data, True)
    except xml.parsers.expat.ExpatError as err:
        return str(err)
    return None


def manifest_fault(data, got):
    """None when the manifest lists exactly the package's files (folders,
    mimetype and META-INF/ aside) and its "/" type is the mimetype."""
    listed, root_type = set(), None
    parser = xml.parsers.expat.ParserCreate(namespace_separator=" ")

    def start(tag, attrs):
        nonlocal root_type
        if tag != MANIFEST_NS + " file-entry":
            return
        path = attrs.get(MANIFEST_NS + " full-path")
        if path == "/":
            root_type = attrs.get(MANIFEST_NS + " media-type")
        elif path and not path.endswith("/") and path != MIMETYPE and \
                not path.startswith("META-INF/"):
            listed.add(path)
    parser.StartElementHandler = start
    parser.Parse(data, True)
    files = {n for n in got if not n.endswith("/") and n != MIMETYPE and
             not n.startswith("META-INF/")}
    faults = []
    if listed - files:
        faults.append("lists missing %s" % ", ".join(sorted(listed - files)))
    if files - listed:
        faults.append("does not list %s" % ", ".join(sorted(files - listed)))
    mimetype = got.get(MIMETYPE, b"").decode("ascii", "replace")
    if root_type != mimetype:
        faults.append('"/" has media type %r, mimetype is %r' %
                      (root_type, mimetype))
    return "; ".join(faults) or None


def check_synthesised(case, name, got, intact_entries):
    data = got[name]
    if name.endswith(".xml"):
        fault = xml_fault(data)
        if fault:
            case.problems.append("synthesised %s is not well-formed XML: %s"
                                 % (name, fault))
            return
    if name == MANIFEST:
        fault = manifest_fault(data, got)
        if fault:
            case.problems.append("synthesised manifest: %s" % fault)
    elif name == MIMETYPE:
        if data != intact_entries[MIMETYPE]:
            case.problems.append("synthesised mimetype is %r" % data[:80])
    elif name in case.written:
        case.problems.append("synthesised %s replaced the entry recovered "
                             "from the file" % name)
    else:
        # A stand-in for a picture the document refers to and lost.
        refs = {m.group(1).decode("utf-8", "replace")
                for part in ("content.xml", "styles.xml") if part in got
                for m in PICTURE_REF.finditer(got[part])}
        if name not in refs:
            case.problems.append("synthesised %s, which neither content.xml "
                                 "nor styles.xml refers to" % name)


def check_salvaged(case, name, kept, data, intact):
    """A salvaged part is the intact part up to its cut, closed by end tags,
    and well-formed."""
    fault = xml_fault(data)
    if fault:
        case.problems.append("salvaged %s is not well-formed XML: %s" %
                             (name, fault))
    if intact is None:
        case.problems.append("salvaged %s, which the intact fixture does not "
                             "have" % name)
    elif kept > len(intact) or data[:kept] != intact[:kept]:
        at = next((i for i, (a, b) in enumerate(zip(data[:kept], intact))
                   if a != b), min(kept, len(intact)))
        case.problems.append("salvaged %s keeps %d bytes but differs from the "
                             "intact part at byte %d" % (name, kept, at))
    elif not END_TAGS.fullmatch(data[kept:]):
        case.problems.append("salvaged %s has more than end tags after its "
                             "cut at %d: %r" % (name, kept, data[kept:][:80]))


def prepare(case, velmora, raws, intacts):
    os.makedirs(case.folder)
    report = make_damaged(case, raws[case.fixture],
                          MADE.pop((case.fixture, case.variant), None))
    run_repair(case, velmora)
    documents = report.get("documents") or []
    if not documents:
        case.recoverable = report["recoverable"]
        if case.further_packages:
            case.problems.append("velmora wrote packages for more than one "
                                 "document: %s" % ", ".join(
                                     case.further_packages))
        if case.package:
            check_package(case, intacts[case.fixture], report)
        return
    # Several documents: the first package is the first document's, each
    # further one a package of its own beside it, checked against its own
    # fixture.
    case.expect_fixture = documents[0]["fixture"] or case.fixture
    case.recoverable = documents[0]["recoverable"]
    if case.package:
        check_package(case, intacts[case.expect_fixture], report)
    if case.velmora_documents != len(documents):
        case.problems.append("--report says the file held %d document(s), "
                             "not %d" % (case.velmora_documents,
                                         len(documents)))
    want = ["VONDRELREP_%s.ods~%d.ods" % (case.stem, k + 1)
            for k in range(1, len(documents))]
    if case.package and case.further_packages != want:
        case.problems.append("further packages %s, expected %s" % (
            case.further_packages, want))
    for k, d in enumerate(documents[1:], start=1):
        sub = Case(d["fixture"] or case.fixture, case.variant, case.folder)
        sub.stem = "%s.document%d" % (case.stem, k + 1)
        path = os.path.join(case.folder, "out", want[k - 1])
        if not os.path.isfile(path):
            continue
        sub.package = path
        sub.velmora_report = case.velmora_report
        read_velmora_report(sub, k)
        sub.recoverable = d["recoverable"]
        check_package(sub, intacts[sub.fixture], report)
        case.problems += ["document %d: %s" % (k + 1, p) for p in sub.problems]
        case.others.append(sub)


# ---------------------------------------------------------------- LibreOffice


def run_soffice(soffice, profile, outdir, files, timeout):
    """One LibreOffice start converting FILES; True when it ended normally
    (it exits with 0 even when it refuses a file: the CSVs tell)."""
    cmd = [soffice, "-env:UserInstallation=file://" + profile, "--headless",
           "--norestore", "--convert-to", CSV_FILTER, "--outdir", outdir
           ] + files
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                            start_new_session=True)
    try:
        return proc.wait(timeout=timeout) == 0
    except subprocess.TimeoutExpired:
        # soffice starts soffice.bin as a child: end the whole group.
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        return False


def stem_of(path):
    return os.path.splitext(os.path.basename(path))[0]


def collect_sheets(outdir, stems):
    """{stem: {sheet: path}} from the FILE-Sheet.csv names in OUTDIR; the
    longest stem that fits wins, so no stem can take another's sheets."""
    found = {s: {} for s in stems}
    by_length = sorted(stems, key=len, reverse=True)
    for name in os.listdir(outdir):
        if not name.endswith(".csv"):
            continue
        for s in by_length:
            if name.startswith(s + "-"):
                found[s][name[len(s) + 1:-4]] = os.path.join(outdir, name)
                break
    return found


def export_batch(soffice, workdir, index, files):
    """Every sheet of FILES to CSV with one LibreOffice start (several when
    it crashes or hangs: then each file without output is tried alone)."""
    profile = os.path.join(workdir, "lo-profile-%d" % index)
    outdir = os.path.join(workdir, "csv-%d" % index)
    os.makedirs(outdir)
    stems = [stem_of(f) for f in files]
    if not run_soffice(soffice, profile, outdir, files, SOFFICE_BATCH_TIMEOUT):
        found = collect_sheets(outdir, stems)
        for f in files:
            if not found[stem_of(f)]:
                run_soffice(soffice, profile, outdir, [f],
                            SOFFICE_SINGLE_TIMEOUT)
    return collect_sheets(outdir, stems)


def export_all(soffice, workdir, cases):
    cases = cases + [o for c in cases for o in c.others]
    files = [c.package for c in cases if c.package]
    batches = [files[i::SOFFICE_INSTANCES] for i in range(SOFFICE_INSTANCES)]
    sheets = {}
    with concurrent.futures.ThreadPoolExecutor(SOFFICE_INSTANCES) as pool:
        jobs = [pool.submit(export_batch, soffice, workdir, i, b)
                for i, b in enumerate(batches) if b]
        for job in jobs:
            sheets.update(job.result())
    for c in cases:
        if c.package:
            c.sheets = sheets.get(stem_of(c.package), {})
            c.opens = bool(c.sheets)


# ---------------------------------------------------------------- cells


def read_cells(path):
    """{(row, column): text} of the non-empty cells of one CSV."""
    with open(path, newline="", encoding="utf-8") as f:
        return {(r, c): v for r, line in enumerate(csv.reader(f))
                for c, v in enumerate(line) if v != ""}


def expected_sheets(fixture, expected=None):
    folder = os.path.join(expected or EXPECTED, fixture)
    return {f[:-4]: os.path.join(folder, f) for f in os.listdir(folder)
            if f.endswith(".csv")}


def compare_cells(case, want):
    """Cells equal to expected/, sheet by sheet; cells that differ or that
    expected/ does not have count as wrong."""
    case.cells_expected = sum(len(cells) for cells in want.values())
    for sheet, got_path in case.sheets.items():
        got = read_cells(got_path)
        cells = want.get(sheet, {})
        for at, value in got.items():
            if cells.get(at) == value:
                case.cells += 1
            else:
                case.wrong_cells += 1


def kept_rows(content):
    """{sheet: (rows, cells)} of a salvaged content.xml up to its cut: the
    sheet rows its complete table rows make up (repeats counted), and the
    whole cells of the row cut in the middle."""
    table = "urn:oasis:names:tc:opendocument:xmlns:table:1.0 "
    kept, sheet, row = {}, None, None
    repeats = []  # number-rows/columns-repeated of the open rows and cells
    parser = xml.parsers.expat.ParserCreate(namespace_separator=" ")

    def start(tag, attrs):
        nonlocal sheet, row
        if tag == table + "table":
            sheet = attrs.get(table + "name")
            kept[sheet] = (0, 0)
        elif tag == table + "table-row":
            row = 0
            repeats.append(int(attrs.get(table + "number-rows-repeated", 1)))
        elif tag in (table + "table-cell", table + "covered-table-cell"):
            repeats.append(int(attrs.get(table + "number-columns-repeated",
                                         1)))

    def end(tag):
        nonlocal row
        if tag == table + "table-row":
            kept[sheet] = (kept[sheet][0] + repeats.pop(), 0)
            row = None
        elif tag in (table + "table-cell", table + "covered-table-cell"):
            row += repeats.pop()
            kept[sheet] = (kept[sheet][0], row)
    parser.StartElementHandler = start
    parser.EndElementHandler = end
    parser.Parse(content, False)
    return kept


def check_salvaged_rows(case, want):
    """The cells that read back from a salvaged content.xml are those of
    expected/ in every row it kept whole and in the whole cells of the row
    it cut, and no others (whether they read back right is for the
    expectation: a formula can depend on a lost row)."""
    if case.salvaged_content is None or not case.opens:
        return
    kept = kept_rows(case.salvaged_content)
    for sheet in sorted(set(kept) | set(case.sheets)):
        rows, cells = kept.get(sheet, (0, 0))
        should = {(r, c) for (r, c) in want.get(sheet, {})
                  if r < rows or (r == rows and c < cells)}
        came = (set(read_cells(case.sheets[sheet]))
                if sheet in case.sheets else set())
        if came != should:
            case.problems.append(
                "salvaged content.xml keeps %d whole rows of sheet %s (and %d "
                "cells of the next): expected/ has %d cells there, %d came "
                "back, %d of them elsewhere" % (
                    rows, sheet, cells, len(should), len(came),
                    len(came - should)))


# ---------------------------------------------------------------- velmora's verdict


def csv_counts(path):
    """(rows, cells) of one CSV: the rows with a non-empty cell and those
    cells."""
    cells = read_cells(path)
    return len({r for r, _ in cells}), len(cells)


def check_document_verdict(case):
    """What velmora's report says of a document must be true of its package:
    no document reported complete misses a cell, every package that misses
    cells is reported partial (or lost), a lost document gets no package, and
    every sheet it counts reads back from the package with exactly its rows
    and cells. Call before the cells of further documents are added."""
    doc = case.document
    if doc is None:
        if case.package:
            case.problems.append("--report has no document record for %s" %
                                 os.path.basename(case.package))
        return
    verdict = doc.get("verdict")
    short = (not case.opens or case.cells != case.cells_expected or
             case.wrong_cells)
    missing = case.cells_expected - case.cells
    if verdict == "complete" and short:
        case.problems.append("reported complete, but %s" % (
            "the package does not open" if not case.opens else
            "%d of %d cells came back (+%d wrong)" % (
                case.cells, case.cells_expected, case.wrong_cells)))
    if case.package and short and verdict not in ("partial", "lost"):
        case.problems.append("the package misses %d cells but is reported %s"
                             % (missing, verdict))
    if verdict in ("lost", "not_repaired") and case.package:
        case.problems.append("reported %s, yet a package was written" %
                             verdict)
    if not case.opens:
        return
    for sheet in doc.get("sheets", []):
        name = sheet.get("name")
        if name not in case.sheets:
            case.problems.append("sheet %r counted by velmora does not read "
                                 "back" % name)
            continue
        rows, cells = csv_counts(case.sheets[name])
        if (rows, cells) != (sheet.get("rows"), sheet.get("cells")):
            case.problems.append(
                "sheet %r: velmora counts %s rows and %s cells, LibreOffice "
                "reads back %d rows and %d cells" % (
                    name, sheet.get("rows"), sheet.get("cells"), rows, cells))


def check_recorded_verdict(case, expectation):
    """The verdicts velmora gives each document are recorded per case, so
    that a change shows."""
    if expectation is None:
        return
    seen = case.verdicts[0] if len(case.verdicts) == 1 else case.verdicts
    want = expectation.get("verdict")
    if want is None:
        case.problems.append("no verdict recorded: add \"verdict\": %s to the "
                             "expectation" % json.dumps(seen))
    elif seen != want:
        case.problems.append("velmora's verdict is %s, expected %s: if the "
                             "change is right, record it (and its note)" % (
                                 json.dumps(seen), json.dumps(want)))


# ---------------------------------------------------------------- verdict


def observed_outcome(case):
    if not case.opens:
        return {"expect": "no-open"}
    if case.cells == case.cells_expected and case.wrong_cells == 0:
        return {"expect": "all"}
    seen = {"expect": "survived", "cells": case.cells}
    if case.wrong_cells:
        seen["wrong"] = case.wrong_cells
    return seen


def describe(outcome):
    if outcome["expect"] != "survived":
        return outcome["expect"]
    text = "survived %d" % outcome["cells"]
    if outcome.get("wrong"):
        text += " +%d wrong" % outcome["wrong"]
    return text


def compare(seen, want):
    """0 when SEEN is what WANT records, 1 when better, -1 when worse, None
    when neither (more cells right, but more wrong too)."""
    rank = {"no-open": 0, "survived": 1, "all": 2}
    a, b = rank[seen["expect"]], rank[want["expect"]]
    if a != b:
        return 1 if a > b else -1
    if seen["expect"] != "survived":
        return 0
    right = seen["cells"] - want["cells"]
    # Cells that read back different from expected/ count against.
    wrong = seen.get("wrong", 0) - want.get("wrong", 0)
    if right == 0 and wrong == 0:
        return 0
    if right >= 0 and wrong <= 0:
        return 1
    if right <= 0 and wrong >= 0:
        return -1
    return None


def judge(case, expectation):
    """None when the case passes, else why it fails."""
    if case.problems:
        return "; ".join(case.problems)
    seen = observed_outcome(case)
    if expectation is None:
        return ("no expectation recorded; observed %s: add it to "
                "expectations.json (with a note unless it is all)" %
                json.dumps(seen))
    verdict = compare(seen, expectation)
    if verdict == 0:
        # The parts undone byte for byte, beside the cells: a repair that
        # stops working must fail even when the cells happen to read right.
        got, want = set(case.repaired), set(expectation.get("repaired", []))
        if got == want:
            return None
        if got > want:
            return ("BETTER than expected (repaired %s, expected %s): raise "
                    "the expectation in tests/interop/expectations.json to "
                    "\"repaired\": %s and rewrite its note" % (
                        sorted(got), sorted(want), json.dumps(sorted(got))))
        return "worse than expected: repaired %s, expected %s" % (
            sorted(got), sorted(want))
    if verdict == 1:
        return ("BETTER than expected (%s, expected %s): raise the "
                "expectation in tests/interop/expectations.json to %s and "
                "rewrite its note" %
                (describe(seen), describe(expectation), json.dumps(seen)))
    return "%s than expected: %s, expected %s" % (
        "worse" if verdict == -1 else "different", describe(seen),
        describe(expectation))


def load_expectations(path):
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    table = {}
    for fixture, variants in data.items():
        if fixture.startswith("_"):
            continue
        for variant, e in variants.items():
            if e.get("expect") not in OUTCOMES:
                sys.exit("%s: %s %s: expect must be one of %s" %
                         (path, fixture, variant, ", ".join(OUTCOMES)))
            if e["expect"] == "survived" and not (
                    isinstance(e.get("cells"), int) and
                    isinstance(e.get("wrong", 0), int)):
                sys.exit("%s: %s %s: survived needs a cell count (cells, "
                         "and wrong when some read back wrong)" %
                         (path, fixture, variant))
            if e["expect"] != "all" and not e.get("note"):
                sys.exit("%s: %s %s: say in a note why not all" %
                         (path, fixture, variant))
            table[(fixture, variant)] = e
    return table


# ---------------------------------------------------------------- table


HEADER = ("fixture", "variant", "entries", "synthesised/salvaged", "opens",
          "cells", "expectation", "result")


def completion_of(case, intact_entries):
    """The parts completion synthesised and the XML parts salvaged, short:
    "manifest, 13 pictures; content.xml 61234/123227" (bytes kept before the
    end tags / intact bytes)."""
    made, pictures = [], 0
    for name in case.synthesised:
        if name.startswith("Pictures/"):
            pictures += 1
        else:
            made.append({MANIFEST: "manifest"}.get(name, name))
    if pictures:
        made.append("%d picture%s" % (pictures, "s" if pictures > 1 else ""))
    cut = ["%s %d/%d" % (name, kept, len(intact_entries.get(name, b"")))
           for name, kept in sorted(case.salvaged.items())]
    fixed = ["%s repaired @%s" % (name, r.get("offset"))
             for name, r in sorted(case.repaired.items())]
    return "; ".join(p for p in (", ".join(made), ", ".join(cut),
                                 ", ".join(fixed)) if p) or "-"


def row_of(case, expectation, intact_entries):
    entries = ("%d/%d" % (case.exact, len(case.recoverable))
               if case.package else "no package")
    if case.rewritten:
        entries += " (%d rewritten)" % case.rewritten
    cells = "%d/%d" % (case.cells, case.cells_expected)
    if case.wrong_cells:
        cells += " (+%d wrong)" % case.wrong_cells
    return (case.fixture, case.variant, entries,
            completion_of(case, intact_entries) if case.package else "-",
            "yes" if case.opens else "no", cells,
            describe(expectation) if expectation else "-",
            "PASS" if case.verdict is None else "FAIL")


def format_text(rows):
    widths = [max(len(r[i]) for r in [HEADER] + rows)
              for i in range(len(HEADER))]
    lines = ["  ".join(v.ljust(w) for v, w in zip(r, widths)).rstrip()
             for r in [HEADER] + rows]
    lines.insert(1, "  ".join("-" * w for w in widths))
    return "\n".join(lines)


def format_markdown(rows):
    out = ["| " + " | ".join(HEADER) + " |",
           "|" + "|".join("---" for _ in HEADER) + "|"]
    out += ["| " + " | ".join(r) + " |" for r in rows]
    return "\n".join(out)


# ---------------------------------------------------------------- driver


def find_velmora(given):
    if given:
        return os.path.abspath(given)
    build = os.environ.get("VELMORA_BUILD", os.path.join(ROOT, "build"))
    return os.path.join(build, "native", "velmora")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--velmora", help="the velmora program (default: "
                    "$VELMORA_BUILD/native/velmora, VELMORA_BUILD=build/)")
    ap.add_argument("--soffice", default=shutil.which("soffice") or "soffice")
    ap.add_argument("--set", metavar="DIR",
                    help="another set of fixtures: DIR/fixtures/*.ods, "
                    "DIR/expected/ and DIR/expectations.json (default: "
                    "this folder's)")
    ap.add_argument("--expectations", metavar="FILE.json",
                    help="expected outcomes (default: expectations.json of "
                    "the set)")
    ap.add_argument("--table", metavar="FILE.md",
                    help="also write the table as Markdown")
    ap.add_argument("--keep", metavar="DIR",
                    help="work in DIR (created, must not exist) and keep it")
    ap.add_argument("--fixture", action="append",
                    help="only this fixture (repeatable)")
    ap.add_argument("--variant", action="append",
                    help="only this variant (repeatable; 'intact' too)")
    args = ap.parse_args()

    started = time.monotonic()
    velmora = find_velmora(args.velmora)
    if not os.access(velmora, os.X_OK):
        sys.exit("no velmora program at %s (build it, or pass --velmora)" %
                 velmora)
    for tool in (args.soffice, "unzip"):
        if not shutil.which(tool):
            sys.exit("%s is missing" % tool)
    global FIXTURES, EXPECTED
    if args.set:
        FIXTURES = os.path.join(args.set, "fixtures")
        EXPECTED = os.path.join(args.set, "expected")
    expectations = load_expectations(
        args.expectations or os.path.join(args.set or HERE,
                                          "expectations.json"))

    fixtures = fixture_names()
    variants = [INTACT] + list(damage.VARIANTS)
    for given, known in ((args.fixture, fixtures), (args.variant, variants)):
        for name in given or []:
            if name not in known:
                sys.exit("unknown name %s (known: %s)" % (name,
                                                          ", ".join(known)))
    fixtures = [f for f in fixtures if not args.fixture or f in args.fixture]
    variants = [v for v in variants if not args.variant or v in args.variant]

    if args.keep:
        workdir = os.path.abspath(args.keep)
        os.makedirs(workdir)
    else:
        workdir = tempfile.mkdtemp(prefix="velmora-interop-")
    try:
        raws, intacts, wants = {}, {}, {}
        for f in fixtures:
            path = os.path.join(FIXTURES, f + ".ods")
            with open(path, "rb") as fh:
                raws[f] = fh.read()
            intacts[f] = read_entries(path)
            wants[f] = {s: read_cells(p)
                        for s, p in expected_sheets(f).items()}
        # The joined variants join another set's packages with the first
        # set's (damage._partner): those are checked against their own.
        for f in ("python_zipfile", "numbers_text"):
            if f not in raws:
                first_set = os.path.join(HERE, "fixtures", f + ".ods")
                intacts[f] = read_entries(first_set)
                wants[f] = {s: read_cells(p) for s, p in expected_sheets(
                    f, os.path.join(HERE, "expected")).items()}
        # A variant that does not suit a fixture's layout (a picture to
        # change in a package that has none, a deflated content.xml in one
        # that stores it) is no case.
        cases, unsuited = [], []
        for f in fixtures:
            for v in variants:
                if v != INTACT:
                    try:
                        MADE[(f, v)] = damage.damage(raws[f], v, SEED)
                    except ValueError as err:
                        unsuited.append("%s %s: %s" % (f, v, err))
                        continue
                cases.append(Case(f, v, os.path.join(workdir, "cases",
                                                      "%s.%s" % (f, v))))

        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            list(pool.map(lambda c: prepare(c, velmora, raws, intacts), cases))
        repaired = time.monotonic()
        export_all(args.soffice, workdir, cases)
        exported = time.monotonic()

        rows = []
        for c in cases:
            compare_cells(c, wants[c.expect_fixture])
            check_document_verdict(c)
            # Further documents' cells count with the file's: "all" means
            # every document opens with all its cells.
            for o in c.others:
                compare_cells(o, wants[o.fixture])
                before = len(o.problems)
                check_document_verdict(o)
                c.problems += ["document %s: %s" % (
                    o.stem.rsplit("document", 1)[-1], p)
                    for p in o.problems[before:]]
                c.cells += o.cells
                c.wrong_cells += o.wrong_cells
                c.cells_expected += o.cells_expected
                c.opens = c.opens and o.opens
            check_salvaged_rows(c, wants[c.expect_fixture])
            expectation = expectations.get((c.fixture, c.variant))
            check_recorded_verdict(c, expectation)
            c.verdict = judge(c, expectation)
            rows.append(row_of(c, expectation, intacts[c.expect_fixture]))

        print(format_text(rows))
        for line in unsuited:
            print("not a case (the variant does not suit the layout): " +
                  line)
        failed = [c for c in cases if c.verdict is not None]
        if failed:
            print()
        for c in failed:
            print("FAIL %s: %s" % (c.name, c.verdict))
            if c.repair_status not in (0, None) or c.problems:
                print("  velmora repair exit status %s; output:" %
                      c.repair_status)
                for line in c.repair_output.strip().splitlines()[-12:]:
                    print("    " + line)
        if args.table:
            with open(args.table, "w", encoding="utf-8") as f:
                f.write(format_markdown(rows) + "\n")
        if not args.fixture and not args.variant:
            wanted = {(c.fixture, c.variant) for c in cases}
            for line in unsuited:
                f, v = line.split(":")[0].split()
                if (f, v) in expectations:
                    print("note: expectations.json has %s %s, which the "
                          "variant does not suit" % (f, v))
            for key in sorted(set(expectations) - wanted):
                print("note: expectations.json has %s %s, which is no "
                      "case (fixture or variant gone?)" % key)
        end = time.monotonic()
        print("\ntimes: repair and checks %.1fs, LibreOffice %.1fs, "
              "all %.1fs" % (repaired - started, exported - repaired,
                             end - started))
        if args.keep:
            print("kept", workdir)
        print("%d passed, %d failed" % (len(cases) - len(failed), len(failed)))
        return 1 if failed else 0
    finally:
        if not args.keep:
            shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
