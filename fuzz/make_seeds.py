#!/usr/bin/env python3
"""Makes the seed corpora of the fuzz targets (fuzz/corpus/<target>/).

Seeds for scan_extract: two real packages from tests/interop/fixtures, damaged copies of real
packages made with tests/interop/damage.py (see DAMAGED), streams with one changed byte and a
recorded CRC-32 (the one-byte correction), and handmade damaged files that press
on the bounds: sizes claimed far beyond the file, thousands of tiny entries,
entries whose data covers the next header, signatures packed back to back, a deflate stream
that inflates a thousandfold, names that climb out of the folder or name devices, and headers
cut off by the end of the file. They are small (a few hundred KB in all), deterministic, and
also run by tests/hostile_input_test.cpp on every build.

Usage: fuzz/make_seeds.py               rewrites every seed (run from anywhere)
       fuzz/make_seeds.py --large DIR   writes multi-megabyte bound checks into DIR instead:
                                        fuzz/run.sh runs them once per run, not kept in the repo

The large files are the same shapes at a size where work growing with the square of the file
shows as a run far beyond the fuzzers' 10-second bound: headers whose size probes would each
read to the end of the file, headers without sizes whose data would each be taken to the end of
the file, and twelve thousand entries.
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")


def raw_deflate(data, level=9):
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def local(name, data=b"", method=0, compressed=None, uncompressed=None, extra=b"",
          name_length=None, extra_length=None, flags=0, time=0x74B7, date=0x3D70, crc=0):
    """A local header followed by `data`; sizes default to what is there."""
    if isinstance(name, str):
        name = name.encode("latin-1")
    compressed = len(data) if compressed is None else compressed
    uncompressed = len(data) if uncompressed is None else uncompressed
    header = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, time, date, crc,
                         compressed, uncompressed,
                         len(name) if name_length is None else name_length,
                         len(extra) if extra_length is None else extra_length)
    return header + name + extra + data


def stored(name, data):
    return local(name, data, method=0)


def deflated(name, data, uncompressed=None):
    stream = raw_deflate(data)
    return local(name, stream, method=8, compressed=len(stream),
                 uncompressed=len(data) if uncompressed is None else uncompressed)


def with_descriptor(name, data, compressed=None, uncompressed=None):
    """Sizes 0 in the header, the real (or claimed) ones in a signed descriptor after the data."""
    stream = raw_deflate(data)
    return (local(name, stream, method=8, compressed=0, uncompressed=0, flags=8) +
            struct.pack("<IIII", 0x08074B50, zlib.crc32(data),
                        len(stream) if compressed is None else compressed,
                        len(data) if uncompressed is None else uncompressed))


def header_chain(size, unfit, filler=0):
    """Deflated headers, each followed by a stored deflate block that is not the last and holds
    `filler` zero bytes and the next header: every header's stream runs on to the end of the
    file. `unfit`: sizes 1 and 1, which do not fit the bytes, so the scanner probes the stream;
    otherwise sizes 0 and no descriptor, an entry whose data has no known end."""
    out = bytearray()
    i = 0
    while len(out) < size:
        name = b"c%06d.bin" % i
        header = local(name, b"", method=8, compressed=1 if unfit else 0,
                       uncompressed=1 if unfit else 0)
        length = filler + len(header)
        out += header + struct.pack("<BHH", 0, length, length ^ 0xFFFF) + bytes(filler)
        i += 1
    return bytes(out) + struct.pack("<BHH", 1, 0, 0xFFFF)


def many_entries(count):
    many = bytearray()
    for i in range(count):
        many += stored("%c/%04x" % ("abcd"[i % 4], i), bytes([i & 0xFF]))
    return bytes(many)


def large_seeds():
    return {
        "probe_chain_8m": header_chain(8 << 20, unfit=True, filler=1000),
        "unsized_chain_8m": header_chain(8 << 20, unfit=False, filler=1000),
        "many_entries_12k": many_entries(12000),
    }


def scan_extract_seeds():
    seeds = {}
    # Sizes claimed far beyond the file: stored and deflated, with and without the data.
    seeds["huge_sizes"] = (
        local("a.xml", b"short", method=0, compressed=0xFFFFFFFF, uncompressed=0xFFFFFFFF) +
        deflated("b.xml", b"x" * 100, uncompressed=0xFFFFFFF0) +
        local("c.xml", raw_deflate(b"y" * 10), method=8, compressed=0xFFFFFFFF, uncompressed=1) +
        local("d.xml", b"", method=8, compressed=0, uncompressed=0xFFFFFFFF) +
        local("e.xml", b"", method=0, compressed=0x7FFFFFFF, uncompressed=0))
    # A descriptor that claims 4 GiB for a small stream, and one that claims nothing.
    seeds["descriptor_lies"] = (
        with_descriptor("content.xml", b"<x/>" * 50, compressed=0xFFFFFFFF, uncompressed=0xFFFFFFFF) +
        with_descriptor("styles.xml", b"<s/>" * 50, compressed=0, uncompressed=0) +
        with_descriptor("meta.xml", b"<m/>" * 50))
    # Thousands of tiny entries: stored bytes, distinct names across a few folders.
    seeds["many_entries"] = many_entries(2000)
    # Headers whose streams run on to the end of the file: sizes that do not fit, and none.
    seeds["probe_chain"] = header_chain(6000, unfit=True)
    seeds["unsized_chain"] = header_chain(6000, unfit=False)
    # Many tiny entries of one name, taking turns between stored and deflated data.
    same = bytearray()
    for i in range(600):
        same += stored("same.xml", b"%d" % i) if i % 2 else deflated("same.xml", b"%d" % i)
    seeds["same_name"] = bytes(same)
    # Entries whose data covers the headers after them, and a header inside a name.
    inner = stored("inner.xml", b"inside")
    seeds["overlapping"] = (
        local("outer.xml", inner + b"tail", method=0) +
        local("cover.xml", inner, method=0, compressed=len(inner) + 40, uncompressed=len(inner) + 40) +
        local(b"name" + inner, b"data") +
        local("extra.xml", b"d", extra=inner, extra_length=len(inner) + 3) +
        stored("after.xml", b"after"))
    # Signatures packed back to back: every window a header, a descriptor or both.
    seeds["back_to_back"] = (b"PK\3\4" * 700 + b"PK\7\x08" * 300 +
                             (b"PK\3\4\x14\x00\x08\x00\x08\x00" + b"PK\7\x08") * 200)
    # Deflated headers with sizes 0 and no descriptor: every one searches to the next header.
    seeds["descriptor_search"] = b"".join(
        local("n%d.xml" % i, bytes(range(256)) * 2, method=8, compressed=0, uncompressed=0)
        for i in range(30))
    # A thousandfold stream: 1 MiB of zeros in about a kilobyte, asked for in full and short.
    zeros = raw_deflate(bytes(1 << 20))
    seeds["inflate_ratio"] = (
        local("zeros.bin", zeros, method=8, compressed=len(zeros), uncompressed=1 << 20) +
        local("more.bin", zeros, method=8, compressed=len(zeros), uncompressed=0xFFFFFFFF) +
        local("less.bin", zeros, method=8, compressed=len(zeros), uncompressed=1000))
    # Names that climb out, are absolute, carry drives or streams, or name devices.
    names = ["../../../../escape.xml", "..\\..\\escape2.xml", "/abs.xml", "\\\\server\\share\\x.xml",
             "C:\\Windows\\x.xml", "x.xml:stream", "a/../../b.xml", "../" * 340 + "deep.xml",
             "CON", "nul.txt", "COM1.xml", "aux .xml", "a.", "LPT\xb9", "conout$",
             "dir/", ".", "..", "a/./b/../c.xml", "~velmora.part", "\xc3\xa9t\xc3\xa9.xml"]
    seeds["hostile_names"] = b"".join(stored(n, n.encode("latin-1")[:40] or b"-") for n in names)
    # A name of 2000 bytes (cut to 1023), components of 300 bytes, a 1023-byte climb.
    seeds["long_names"] = (
        stored("n" * 2000, b"long") +
        stored("d" * 300 + "/" + "f" * 300 + ".xml", b"wide") +
        stored("a/" * 500 + "deep.xml", b"deep") +
        stored("..\\" * 400 + "x", b"climb"))
    # A file and a folder of the same name, both ways round.
    seeds["file_folder_clash"] = (
        stored("a", b"file first") + stored("a/b.xml", b"under a file") +
        stored("c/d.xml", b"folder first") + stored("c", b"over a folder"))
    # Headers cut off by the end of the file at each field.
    header = stored("cut.xml", b"0123456789")
    seeds["cut_header"] = stored("whole.xml", b"whole") + header[:23]
    seeds["cut_name"] = local("x" * 10, b"", name_length=65535)
    seeds["cut_extra"] = local("e.xml", b"data", extra=b"\x55\x54", extra_length=65535)
    seeds["tiny"] = b"PK\3"
    # Random bytes that do not decode, sized as entries.
    rng = random.Random(1)
    noise = bytes(rng.getrandbits(8) for _ in range(3000))
    seeds["bad_streams"] = (local("noise.xml", noise, method=8, uncompressed=5000) +
                            local("fewer.xml", raw_deflate(b"abc"), method=8, uncompressed=10) +
                            local("budget.xml", raw_deflate(noise), method=8, uncompressed=100))
    return seeds


def sheet_xml(rows):
    cells = "".join('<table:table-row><table:table-cell office:value="%d"><text:p>%d</text:p>'
                    '</table:table-cell></table:table-row>' % (i * 37 % 1009, i)
                    for i in range(rows))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content '
            'xmlns:office="urn:o" xmlns:table="urn:t" xmlns:text="urn:x"><office:body>' +
            cells + '</office:body></office:document-content>').encode("ascii")


def changed(data, at, mask):
    out = bytearray(data)
    out[at] ^= mask
    return bytes(out)


def byte_damaged_seeds():
    """One changed byte in streams whose CRC-32 is recorded: the one-byte correction runs.
    Sized entries (CRC-32 in the header), as the repair meets them; plus many small ones whose
    searches share a file's budget, and a stored part and picture."""
    seeds = {}
    xml = sheet_xml(400)
    stream = raw_deflate(xml, 6)
    crc = zlib.crc32(xml)
    for name, at, mask in (("byte_changed_early", len(stream) // 10, 0x10),
                           ("byte_changed_middle", len(stream) // 2, 0x01),
                           ("byte_changed_late", len(stream) * 9 // 10, 0x80)):
        seeds[name] = local("content.xml", changed(stream, at, mask), method=8,
                            uncompressed=len(xml), crc=crc)
    # Stored blocks: a changed byte leaves the text well-formed, only the CRC-32 tells.
    small = sheet_xml(30)
    stored_blocks = raw_deflate(small, 0)
    seeds["byte_changed_invisible"] = local(
        "styles.xml", changed(stored_blocks, len(stored_blocks) // 2, 0x04), method=8,
        uncompressed=len(small), crc=zlib.crc32(small))
    rng = random.Random(3)
    picture = bytes(rng.getrandbits(8) for _ in range(3000))
    seeds["byte_changed_stored"] = (
        local("Pictures/p.png", changed(picture, 1500, 0x20), method=0, crc=zlib.crc32(picture)) +
        local("settings.xml", changed(small, 100, 0x02), method=0, crc=zlib.crc32(small)))
    # Many small damaged entries: their searches share one budget.
    many = bytearray()
    for i in range(60):
        part = sheet_xml(5 + i % 7)
        data = raw_deflate(part, 6)
        many += local("content.xml", changed(data, len(data) // 2, 1 << (i % 8)), method=8,
                      uncompressed=len(part), crc=zlib.crc32(part))
    seeds["byte_changed_many"] = bytes(many)
    return seeds


def entry_path_seeds():
    names = ["content.xml", "Pictures/a.png", "../../etc/passwd", "..\\..\\x", "/abs", "C:\\x.xml",
             "a:b.xml", "CON", "nul.txt", "COM1.xml", "aux .xml", "a.", "a. . .", "LPT\xb9.txt",
             "conin$", "dir/", ".", "..", "...", " ", "a//b", "\\\\server\\share\\f",
             "x" * 300 + "/y", "con .txt/x", "a/./b/../c"]
    seeds = {}
    for i, name in enumerate(names):
        seeds["bytes_%02d" % i] = b"\x00" + name.encode("latin-1")
    for i, name in enumerate(["CON\uff0etxt", "a\u2215b", "\u00b9", "c\u0131n"]):
        seeds["wide_%02d" % i] = b"\x01" + name.encode("utf-16-le")
    return seeds


def pack_roundtrip_seeds():
    rng = random.Random(7)
    return {"random_%02d" % i: bytes(rng.getrandbits(8) for _ in range(size))
            for i, size in enumerate([64, 256, 1024, 4096, 8192, 16384])}


def write(target, seeds):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


# Real packages written by LibreOffice, damaged the ways users bring them in
# (tests/interop/damage.py, seed 1): cut short so that pictures and the manifest are lost and
# package completion stands in for them, a zeroed block inside the sheet, bytes in front.
DAMAGED = [
    ("pictures.ods", "truncate-60"),
    ("pictures.ods", "truncate-90"),
    ("formulas_sheets.ods", "zero-4k-content"),
    ("numbers_text.ods", "prefix-wrapper"),
    ("python_zipfile.ods", "truncate-30"),
]


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--large":
        os.makedirs(sys.argv[2], exist_ok=True)
        for name, data in large_seeds().items():
            with open(os.path.join(sys.argv[2], name), "wb") as f:
                f.write(data)
        return
    write("scan_extract", scan_extract_seeds())
    write("scan_extract", byte_damaged_seeds())
    for fixture in ["python_zipfile.ods", "unicode_text.ods"]:
        shutil.copyfile(os.path.join(ROOT, "tests", "interop", "fixtures", fixture),
                        os.path.join(CORPUS, "scan_extract", fixture))
    for fixture, variant in DAMAGED:
        subprocess.run([sys.executable, os.path.join(ROOT, "tests", "interop", "damage.py"), variant,
                        os.path.join(ROOT, "tests", "interop", "fixtures", fixture),
                        os.path.join(CORPUS, "scan_extract", "%s_%s.ods" % (fixture[:-4], variant)),
                        "--seed", "1"], check=True)
    write("entry_path", entry_path_seeds())
    write("pack_roundtrip", pack_roundtrip_seeds())


if __name__ == "__main__":
    main()
