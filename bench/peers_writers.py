#!/usr/bin/env python3
"""Velmora against general-purpose readers on the damaged packages of an
interop set: per fixture, how many damaged files open in LibreOffice, and the
cells and whole rows that read back equal to expected/.

Each peer (unzip, 7z, bsdtar, Python's zipfile) extracts what it can from a
damaged file; what it extracted is packed again as a package (mimetype first,
stored) for LibreOffice to read, as a user would do by hand. Velmora's
package is its own "repair" output (every document's package counts).

    bench/peers_writers.py [--set tests/interop/writers] [--peer NAME]...
                           [--velmora LABEL=PATH]...

Needs unzip, 7z, bsdtar and LibreOffice. Takes some minutes.
"""

import argparse
import csv
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "interop"))
import damage  # noqa: E402
import run_suite  # noqa: E402

CSV_FILTER = run_suite.CSV_FILTER if hasattr(run_suite, "CSV_FILTER") else (
    "csv:Text - txt - csv (StarCalc):44,34,UTF8,1,,0,false,true,false,false,"
    "false,-1")


def extract_unzip(src, dest):
    subprocess.run(["unzip", "-qq", "-o", src, "-d", dest],
                   capture_output=True, timeout=120)


def extract_7z(src, dest):
    subprocess.run(["7z", "x", "-y", "-o" + dest, src], capture_output=True,
                   timeout=120)


def extract_bsdtar(src, dest):
    os.makedirs(dest, exist_ok=True)  # bsdtar -C wants the folder to exist
    subprocess.run(["bsdtar", "-x", "-f", src, "-C", dest],
                   capture_output=True, timeout=120)


def extract_zipfile(src, dest):
    try:
        with zipfile.ZipFile(src) as z:
            for info in z.infolist():
                try:
                    z.extract(info, dest)
                except Exception:  # noqa: BLE001  (a damaged entry: skip it)
                    pass
    except Exception:  # noqa: BLE001
        pass


PEERS = {"unzip": extract_unzip, "7z": extract_7z, "bsdtar": extract_bsdtar,
         "zipfile": extract_zipfile}


def pack(folder, target):
    """The extracted files as a package: mimetype first and stored."""
    files = []
    for base, _, names in os.walk(folder):
        for n in names:
            path = os.path.join(base, n)
            files.append(os.path.relpath(path, folder).replace(os.sep, "/"))
    if not files:
        return False
    def add(z, name, method):
        with open(os.path.join(folder, name), "rb") as fh:
            info = zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0))
            info.compress_type = method
            z.writestr(info, fh.read())
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
        if "mimetype" in files:
            add(z, "mimetype", zipfile.ZIP_STORED)
        for f in sorted(files):
            if f != "mimetype":
                add(z, f, zipfile.ZIP_DEFLATED)
    return True


def export(soffice, profile, packages, outdir):
    for i in range(0, len(packages), 40):
        subprocess.run([soffice, "-env:UserInstallation=" + profile,
                        "--headless", "--norestore", "--convert-to",
                        CSV_FILTER, "--outdir", outdir] + packages[i:i + 40],
                       capture_output=True, timeout=1200)


def score(stem, outdir, want):
    """(opened, cells, whole rows) of one package's CSVs."""
    sheets = [f for f in os.listdir(outdir) if f.startswith(stem + "-")]
    if not sheets:
        return 0, 0, 0
    cells = rows = 0
    for f in sheets:
        sheet = f[len(stem) + 1:-4]
        got = run_suite.read_cells(os.path.join(outdir, f))
        exp = want.get(sheet, {})
        right = {at for at, v in got.items() if exp.get(at) == v}
        cells += len(right)
        by_row = {}
        for (r, c) in exp:
            by_row.setdefault(r, set()).add((r, c))
        rows += sum(1 for r, need in by_row.items() if need <= right)
    return 1, cells, rows


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--set", default=os.path.join(ROOT, "tests", "interop",
                                                  "writers"))
    ap.add_argument("--velmora", action="append", default=[],
                    metavar="LABEL=PATH")
    ap.add_argument("--soffice", default=shutil.which("soffice") or "soffice")
    ap.add_argument("--peer", action="append", choices=sorted(PEERS),
                    help="only this peer (repeatable; default all)")
    args = ap.parse_args()
    fixtures_dir = os.path.join(args.set, "fixtures")
    expected_dir = os.path.join(args.set, "expected")
    tools = {k: v for k, v in PEERS.items()
             if not args.peer or k in args.peer}
    for spec in args.velmora:
        label, path = spec.split("=", 1)
        tools[label] = path
    work = tempfile.mkdtemp(prefix="velmora-peers-")
    profile = "file://" + os.path.join(work, "profile")
    packages, owners = [], []  # owners: (fixture, tool, stem)
    try:
        fixtures = sorted(f[:-4] for f in os.listdir(fixtures_dir)
                          if f.endswith(".ods"))
        for fx in fixtures:
            raw = open(os.path.join(fixtures_dir, fx + ".ods"), "rb").read()
            for v in damage.VARIANTS:
                try:
                    out, _ = damage.damage(raw, v, 1)
                except ValueError:
                    continue
                case = "%s.%s" % (fx, v)
                src = os.path.join(work, case + ".ods")
                open(src, "wb").write(out)
                for label, tool in tools.items():
                    dest = os.path.join(work, label, case)
                    os.makedirs(dest)
                    if callable(tool):
                        tool(src, os.path.join(dest, "x"))
                        stem = "%s-%s" % (label, case)
                        target = os.path.join(work, "pk", stem + ".ods")
                        os.makedirs(os.path.dirname(target), exist_ok=True)
                        if pack(os.path.join(dest, "x"), target):
                            packages.append(target)
                        owners.append((fx, label, [stem]))
                    else:
                        subprocess.run([tool, "repair", src, "--out", dest,
                                        "--no-media", "--work",
                                        os.path.join(dest, "w")],
                                       capture_output=True, timeout=300)
                        stems = []
                        for n in sorted(os.listdir(dest)):
                            if n.startswith("VONDRELREP_"):
                                stem = "%s-%d-%s" % (label, len(stems), case)
                                target = os.path.join(work, "pk", stem + ".ods")
                                os.makedirs(os.path.dirname(target),
                                            exist_ok=True)
                                shutil.copyfile(os.path.join(dest, n), target)
                                packages.append(target)
                                stems.append(stem)
                        owners.append((fx, label, stems))
        outdir = os.path.join(work, "csv")
        os.makedirs(outdir)
        export(args.soffice, profile, packages, outdir)
        totals = {}
        for fx, label, stems in owners:
            want = {s: run_suite.read_cells(p) for s, p in
                    run_suite.expected_sheets(fx, expected_dir).items()}
            best = (0, 0, 0)
            for stem in stems:
                got = score(stem, outdir, want)
                # A file of several documents: the package with most cells.
                if got[1] > best[1] or (got[0] and not best[0]):
                    best = got
            t = totals.setdefault((fx, label), [0, 0, 0, 0])
            t[0] += 1
            for i in range(3):
                t[i + 1] += best[i]
        labels = list(tools)
        print("| fixture | " + " | ".join(labels) + " |")
        print("|---|" + "---|" * len(labels))
        for fx in fixtures:
            cells = []
            for label in labels:
                n, o, c, r = totals[(fx, label)]
                cells.append("%d/%d, %d, %d" % (o, n, c, r))
            print("| %s | %s |" % (fx, " | ".join(cells)))
        print("\n(opened/files, cells, whole rows) over every damage variant "
              "that suits the fixture, seed 1")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
