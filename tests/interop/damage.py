#!/usr/bin/env python3
"""Makes damaged copies of an intact ZIP package, the kinds users bring in.

    damage.py VARIANT INPUT OUTPUT [--seed N] [--report FILE.json]
    damage.py --list

The output is a pure function of the input bytes, the variant and the seed:
the same three always give the same bytes, on any machine and Python 3
version (the generator is SHA-256 in counter mode, not Python's random).
Entries are located through the intact input's central directory, which this
tool may trust; the program under test may not.

--report writes what was done (changed byte ranges in output offsets) and,
for every entry, whether its local header, data and data descriptor are still
present and unchanged in the output and where its header now starts.
Standard library only.
"""

import argparse
import hashlib
import io
import json
import os
import struct
import sys
import zipfile
import zlib

LOCAL_SIG = b"PK\x03\x04"
DESCRIPTOR_SIG = b"PK\x07\x08"
END_SIG = b"PK\x05\x06"
CENTRAL_SIG = b"PK\x01\x02"
BLOCK = 4096


class Rng:
    """Deterministic integers and bytes from (variant, seed)."""

    def __init__(self, variant, seed):
        self.key = ("%s\0%d" % (variant, seed)).encode("ascii")
        self.counter = 0

    def _word(self):
        digest = hashlib.sha256(self.key +
                                self.counter.to_bytes(8, "little")).digest()
        self.counter += 1
        return int.from_bytes(digest[:8], "little")

    def below(self, n):
        """Uniform in [0, n); rejection keeps it unbiased."""
        if n <= 0:
            raise ValueError("empty range")
        limit = (1 << 64) - (1 << 64) % n
        while True:
            w = self._word()
            if w < limit:
                return w % n

    def between(self, lo, hi):
        """Uniform in [lo, hi], both ends included."""
        return lo + self.below(hi - lo + 1)

    def bytes(self, n):
        return bytes(self.below(256) for _ in range(n))


class Entry:
    """One entry's byte spans in the intact package: [start, end)."""

    def __init__(self, info, header, data, descriptor):
        self.name = info.filename
        self.method = info.compress_type
        self.size = info.file_size
        self.header = header
        self.data = data
        self.descriptor = descriptor  # None when sizes sit in the header


class Package:
    def __init__(self, raw):
        self.raw = raw
        self.cd_start, self.cd_end, self.end_record = self._find_directory()
        self.entries = []
        with zipfile.ZipFile(io.BytesIO(raw)) as z:
            for info in z.infolist():
                self.entries.append(self._entry(info))
        self.entries.sort(key=lambda e: e.header[0])

    def _find_directory(self):
        raw = self.raw
        at = raw.rfind(END_SIG, max(0, len(raw) - 65557))
        if at < 0 or at + 22 > len(raw):
            raise ValueError("no end of central directory record")
        size, offset = struct.unpack_from("<II", raw, at + 12)
        if offset + size != at:
            raise ValueError("central directory does not end at the end "
                             "record (prefixed or ZIP64 input?)")
        return offset, at, (at, len(raw))

    def _entry(self, info):
        raw = self.raw
        at = info.header_offset
        if raw[at:at + 4] != LOCAL_SIG:
            raise ValueError("no local header for " + info.filename)
        n, m = struct.unpack_from("<HH", raw, at + 26)
        data_start = at + 30 + n + m
        data_end = data_start + info.compress_size
        descriptor = None
        if info.flag_bits & 0x08:
            length = 16 if raw[data_end:data_end + 4] == DESCRIPTOR_SIG else 12
            descriptor = (data_end, data_end + length)
        return Entry(info, (at, data_start), (data_start, data_end),
                     descriptor)

    def entry(self, name):
        for e in self.entries:
            if e.name == name:
                return e
        raise ValueError("the package has no entry " + name)

    def used_spans(self):
        """Header, data and descriptor spans: what a local-header scan reads."""
        spans = []
        for e in self.entries:
            spans.append((e.header[0], (e.descriptor or e.data)[1]))
        return sorted(spans)

    def free_runs(self):
        """Byte runs that no entry's header, data or descriptor touches."""
        runs, pos = [], 0
        for start, end in self.used_spans():
            if start > pos:
                runs.append((pos, start))
            pos = max(pos, end)
        if pos < len(self.raw):
            runs.append((pos, len(self.raw)))
        return runs


class Damage:
    """The output bytes and a log of what was changed, in output offsets."""

    def __init__(self, raw):
        self.out = bytearray(raw)
        self.shift = 0  # output offset = input offset + shift
        self.changes = []

    def cut(self, length):
        self.changes.append({"kind": "cut", "offset": length,
                             "removed": len(self.out) - length})
        del self.out[length:]

    def zero(self, start, end):
        self.out[start:end] = bytes(end - start)
        self.changes.append({"kind": "zero", "offset": start,
                             "length": end - start})

    def prefix(self, data, what):
        self.out[0:0] = data
        self.shift += len(data)
        self.changes.append({"kind": "prefix", "offset": 0,
                             "length": len(data), "what": what})

    def flip(self, offset, bit):
        self.out[offset + bit // 8] ^= 1 << (bit % 8)
        self.changes.append({"kind": "flip", "offset": offset + bit // 8,
                             "bit": bit % 8})


# ---------------------------------------------------------------- variants
# Each takes (package, damage, rng) and returns a one-line description.

VARIANTS = {}


def variant(name, summary):
    def register(fn):
        VARIANTS[name] = (summary, fn)
        return fn
    return register


def _truncate_at(percent):
    def run(pkg, dmg, rng):
        length = len(pkg.raw) * percent // 100
        dmg.cut(length)
        return "cut at %d of %d bytes (%d%%)" % (length, len(pkg.raw), percent)
    return run


for _p in (30, 60, 90):
    variant("truncate-%d" % _p,
            "file cut to %d%% of its length (seed unused)" % _p)(_truncate_at(_p))


@variant("truncate-cd", "file ends where the central directory began: every "
         "entry intact, no directory, no end record (seed unused)")
def truncate_cd(pkg, dmg, rng):
    dmg.cut(pkg.cd_start)
    return "cut at %d, the start of the central directory" % pkg.cd_start


@variant("truncate-in-cd", "central directory cut off part-way: the file ends "
         "inside it, after its first header (seeded point)")
def truncate_in_cd(pkg, dmg, rng):
    first = 46 + struct.unpack_from("<H", pkg.raw, pkg.cd_start + 28)[0]
    lo = min(pkg.cd_start + first, pkg.cd_end - 1)
    at = rng.between(lo, pkg.cd_end - 1)
    dmg.cut(at)
    return "cut at %d, inside the central directory [%d, %d)" % (
        at, pkg.cd_start, pkg.cd_end)


@variant("zero-cd", "central directory and end record overwritten with zeros "
         "(seed unused)")
def zero_cd(pkg, dmg, rng):
    dmg.zero(pkg.cd_start, len(pkg.raw))
    return "zeroed [%d, %d)" % (pkg.cd_start, len(pkg.raw))


@variant("prefix-stray", "1 to 3 stray bytes in front of the package "
         "(seeded count and bytes)")
def prefix_stray(pkg, dmg, rng):
    count = rng.between(1, 3)
    data = rng.bytes(count)
    dmg.prefix(data, "stray bytes")
    return "%d stray byte(s) %s in front" % (count, data.hex())


def _wrapper_text(rng, name):
    """HTTP response headers saved into the file, as some download tools and
    mail gateways leave them, padded to one 512-byte block."""
    head = ("HTTP/1.1 200 OK\r\n"
            "Date: Tue, 16 Nov 2010 14:37:46 GMT\r\n"
            "Content-Type: application/vnd.oasis.opendocument.spreadsheet\r\n"
            'Content-Disposition: attachment; filename="%s"\r\n'
            "X-Request-Id: %s\r\n"
            "Cache-Control: private\r\n" % (name, rng.bytes(16).hex()))
    tail = "\r\n"
    pad = 512 - len(head) - len(tail) - len("X-Padding: \r\n")
    if pad < 0:
        raise ValueError("wrapper text too long")
    return (head + "X-Padding: " + "." * pad + "\r\n" + tail).encode("ascii")


@variant("prefix-wrapper", "512 bytes of download/mail wrapper headers in "
         "front of the package (seeded request id)")
def prefix_wrapper(pkg, dmg, rng):
    data = _wrapper_text(rng, "document.ods")
    assert len(data) == 512
    dmg.prefix(data, "wrapper")
    return "512-byte wrapper in front"


@variant("zero-4k-outside", "4 KiB zeroed where no entry's header, data or "
         "descriptor lies (seeded place in the longest such run, in practice "
         "the central directory; the whole run when it is shorter than 4 KiB)")
def zero_outside(pkg, dmg, rng):
    runs = pkg.free_runs()
    if not runs:
        raise ValueError("no byte lies outside the entries")
    start, end = max(runs, key=lambda r: (r[1] - r[0], -r[0]))
    if end - start > BLOCK:
        start += rng.below(end - start - BLOCK + 1)
        end = start + BLOCK
    dmg.zero(start, end)
    return "zeroed [%d, %d) (%d bytes) outside every entry" % (
        start, end, end - start)


@variant("zero-4k-content", "4 KiB zeroed inside content.xml's data (seeded "
         "place; its whole data when shorter); its header and descriptor "
         "stay intact")
def zero_content(pkg, dmg, rng):
    start, end = pkg.entry("content.xml").data
    if end - start > BLOCK:
        start += rng.below(end - start - BLOCK + 1)
        end = start + BLOCK
    dmg.zero(start, end)
    return "zeroed [%d, %d) (%d bytes) inside content.xml's data" % (
        start, end, end - start)


@variant("zero-header-content", "content.xml's local header zeroed, its data "
         "and every other entry intact (seed unused)")
def zero_header_content(pkg, dmg, rng):
    start, end = pkg.entry("content.xml").header
    dmg.zero(start, end)
    return "zeroed content.xml's local header [%d, %d)" % (start, end)


def _flip_csize(lo, hi):
    def run(pkg, dmg, rng):
        at = pkg.entry("content.xml").header[0] + 18
        bit = rng.between(lo, hi)
        before = struct.unpack_from("<I", dmg.out, at)[0]
        dmg.flip(at, bit)
        after = struct.unpack_from("<I", dmg.out, at)[0]
        return ("content.xml local compressed size %d -> %d (bit %d flipped)"
                % (before, after, bit))
    return run


variant("flip-csize-low", "one bit among bits 4-11 of content.xml's local "
        "compressed size flipped (seeded bit)")(_flip_csize(4, 11))
variant("flip-csize-high", "one bit among bits 24-31 of content.xml's local "
        "compressed size flipped (seeded bit)")(_flip_csize(24, 31))


@variant("flip-usize", "one bit among bits 8-15 of content.xml's local "
         "uncompressed size flipped (seeded bit)")
def flip_usize(pkg, dmg, rng):
    at = pkg.entry("content.xml").header[0] + 22
    bit = rng.between(8, 15)
    before = struct.unpack_from("<I", dmg.out, at)[0]
    dmg.flip(at, bit)
    after = struct.unpack_from("<I", dmg.out, at)[0]
    return ("content.xml local uncompressed size %d -> %d (bit %d flipped)"
            % (before, after, bit))


def _inflated(raw):
    """The output of a raw deflate stream, or None when it does not end
    cleanly."""
    inflater = zlib.decompressobj(-15)
    try:
        plain = inflater.decompress(raw)
    except zlib.error:
        return None
    return plain if inflater.eof else None


def _well_formed(text):
    import xml.parsers.expat
    parser = xml.parsers.expat.ParserCreate()
    try:
        parser.Parse(text, True)
    except xml.parsers.expat.ExpatError:
        return False
    return True


def _change_byte(dmg, at, rng):
    """Replaces the byte at `at` with another seeded value."""
    old = dmg.out[at]
    new = (old + rng.between(1, 255)) % 256
    dmg.out[at] = new
    dmg.changes.append({"kind": "byte", "offset": at, "old": old, "new": new})
    return old, new


def _byte_in(name_of, where):
    def run(pkg, dmg, rng):
        e = name_of(pkg)
        start, end = e.data
        # Not the last byte of a deflated stream: its unused high bits may
        # take any value without changing what it decodes to.
        lo = start + (end - start) * where[0] // 100
        hi = max(lo, start + (end - start) * where[1] // 100 - 1)
        at = rng.between(lo, hi)
        old, new = _change_byte(dmg, at, rng)
        return "%s byte %d of %d changed, %02x -> %02x" % (
            e.name, at - start, end - start, old, new)
    return run


for _tag, _where in (("early", (5, 30)), ("middle", (35, 65)),
                     ("late", (70, 95))):
    variant("byte-content-%s" % _tag,
            "one byte inside content.xml's data changed, in its %d-%d%% "
            "(seeded place and value)" % _where)(
        _byte_in(lambda pkg: pkg.entry("content.xml"), _where))


def _first_picture(pkg):
    pictures = [e for e in pkg.entries if e.name.startswith("Pictures/")]
    if pictures:
        return pictures[0]
    return pkg.entry("Thumbnails/thumbnail.png")


variant("byte-picture", "one byte inside the first picture's data changed "
        "(Pictures/, else the thumbnail; seeded place and value)")(
    _byte_in(_first_picture, (10, 90)))


@variant("byte-content-wellformed", "one byte inside content.xml's data "
         "changed such that it still inflates to well-formed XML of the same "
         "size: only the CRC-32 tells (the first seeded place and value that "
         "does)")
def byte_content_wellformed(pkg, dmg, rng):
    e = pkg.entry("content.xml")
    if e.method != 8:
        raise ValueError("content.xml is not deflated")
    start, end = e.data
    data = bytearray(pkg.raw[start:end])
    original = _inflated(bytes(data))
    for _ in range(200000):
        at = rng.between(0, len(data) - 2)
        old = data[at]
        new = (old + rng.between(1, 255)) % 256
        data[at] = new
        plain = _inflated(bytes(data))
        data[at] = old
        if (plain is not None and len(plain) == len(original) and
                plain != original and _well_formed(plain)):
            dmg.out[start + at] = new
            dmg.changes.append({"kind": "byte", "offset": start + at,
                                "old": old, "new": new})
            differ = sum(1 for a, b in zip(plain, original) if a != b)
            return ("content.xml byte %d of %d changed, %02x -> %02x: still "
                    "well-formed, %d output bytes differ" % (
                        at, len(data), old, new, differ))
    raise ValueError("no change leaves content.xml well-formed")


@variant("streaming-stored", "the package as a streaming writer lays it "
         "out: every entry, stored ones included, with flag bit 3, CRC-32 and "
         "sizes 0 in its local header and a signed data descriptor after its "
         "data; data bytes unchanged (seed unused)")
def streaming_stored(pkg, dmg, rng):
    raw = pkg.raw
    out = bytearray()
    central = bytearray()
    with zipfile.ZipFile(io.BytesIO(raw)) as z:
        infos = {i.filename: i for i in z.infolist()}
    for e in pkg.entries:
        info = infos[e.name]
        at = e.header[0]
        version, flags, method, time, date = struct.unpack_from(
            "<HHHHH", raw, at + 4)
        n, m = struct.unpack_from("<HH", raw, at + 26)
        name = raw[at + 30:at + 30 + n]
        extra = raw[at + 30 + n:at + 30 + n + m]
        data = raw[e.data[0]:e.data[1]]
        offset = len(out)
        flags |= 0x08
        out += LOCAL_SIG + struct.pack("<HHHHHIIIHH", version, flags, method,
                                       time, date, 0, 0, 0, n, m)
        out += name + extra + data
        out += DESCRIPTOR_SIG + struct.pack("<III", info.CRC, len(data),
                                            info.file_size)
        central += CENTRAL_SIG + struct.pack(
            "<HHHHHHIIIHHHHHII", info.create_version << 0 | 0, version, flags,
            method, time, date, info.CRC, len(data), info.file_size, n, 0, 0,
            0, 0, info.external_attr, offset)
        central += name
    cd_offset = len(out)
    out += central
    out += END_SIG + struct.pack("<HHHHIIH", 0, 0, len(pkg.entries),
                                 len(pkg.entries), len(central), cd_offset, 0)
    dmg.out[:] = out
    dmg.changes.append({"kind": "relayout", "offset": 0,
                        "length": len(out)})
    # Entries now start elsewhere: the report finds them through this map.
    dmg.relocated = {}
    pos = 0
    for e in pkg.entries:
        dmg.relocated[e.name] = pos
        pos += (e.header[1] - e.header[0]) + (e.data[1] - e.data[0]) + 16
    stored = sum(1 for e in pkg.entries if e.method == 0)
    return "relaid as a streaming writer does: %d entries, %d of them stored" % (
        len(pkg.entries), stored)


def _partner(pkg):
    """Another fixture to join the package with: python_zipfile.ods, or
    numbers_text.ods when the package is python_zipfile.ods itself."""
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                          "fixtures")
    for name in ("python_zipfile", "numbers_text"):
        with open(os.path.join(folder, name + ".ods"), "rb") as f:
            raw = f.read()
        if raw != pkg.raw:
            return name, raw
    raise ValueError("no other fixture to join with")


@variant("joined-after", "another package appended after the package "
         "(python_zipfile.ods, or numbers_text.ods for that one): two "
         "documents in one file, the package first (seed unused)")
def joined_after(pkg, dmg, rng):
    name, raw = _partner(pkg)
    start = len(dmg.out)
    dmg.out += raw
    dmg.changes.append({"kind": "append", "offset": start,
                        "length": len(raw), "what": name})
    dmg.documents = [{"fixture": None, "offset": 0, "end": start},
                     {"fixture": name, "offset": start,
                      "end": start + len(raw)}]
    return "%s (%d bytes) appended after the package" % (name, len(raw))


@variant("joined-before", "another package in front of the package "
         "(python_zipfile.ods, or numbers_text.ods for that one): two "
         "documents in one file, the package second (seed unused)")
def joined_before(pkg, dmg, rng):
    name, raw = _partner(pkg)
    dmg.prefix(raw, "package " + name)
    dmg.documents = [{"fixture": name, "offset": 0, "end": len(raw)},
                     {"fixture": None, "offset": len(raw),
                      "end": len(raw) + len(pkg.raw)}]
    return "%s (%d bytes) in front of the package" % (name, len(raw))


# ---------------------------------------------------------------- scan model


def _u16(buf, at):
    return int.from_bytes(buf[at:at + 2].ljust(2, b"\0"), "little")


def _u32(buf, at):
    return int.from_bytes(buf[at:at + 4].ljust(4, b"\0"), "little")


def _record_after_data(out, at, descriptor):
    """Whether a record that may follow an entry's data starts at `at`."""
    sig = out[at:at + 4]
    return sig in (LOCAL_SIG, CENTRAL_SIG, END_SIG) or (
        descriptor and sig == DESCRIPTOR_SIG)


def _stream_end(out, data_offset):
    """(compressed, uncompressed) sizes of the deflate stream at data_offset,
    or None when it breaks or the file ends inside it."""
    if data_offset >= len(out):
        return None
    inflater = zlib.decompressobj(-15)
    try:
        plain = inflater.decompress(out[data_offset:])
    except zlib.error:
        return None
    if not inflater.eof:
        return None
    sizes = (len(out) - data_offset - len(inflater.unused_data), len(plain))
    return sizes if max(sizes) <= 0xFFFFFFFF else None


def _zip64_sizes(out, extra_at, extra_length, csize, usize):
    """Sizes of 0xFFFFFFFF taken from a zip64 extra field (tag 1: the
    uncompressed size, then the compressed one), when they fit 32 bits; and
    whether the header has such a field."""
    extra = out[extra_at:extra_at + extra_length]
    at = 0
    while at + 4 <= len(extra):
        tag, n = struct.unpack_from("<HH", extra, at)
        field = extra[at + 4:at + 4 + n]
        if len(field) < n:
            break
        at += 4 + n
        if tag != 1:
            continue
        both, k, sizes = n >= 16, 0, [usize, csize]
        for i in range(2):
            if (both or sizes[i] == 0xFFFFFFFF) and k + 8 <= n:
                value = struct.unpack_from("<Q", field, k)[0]
                k += 8
                if sizes[i] == 0xFFFFFFFF and value < 0xFFFFFFFF:
                    sizes[i] = value
        return sizes[1], sizes[0], True
    return csize, usize, False


def _descriptor_sizes(out, at, zip64):
    """(compressed, uncompressed) of the descriptor at AT (64-bit sizes after
    a zip64 header); None when they do not fit 32 bits."""
    if not zip64:
        return _u32(out, at + 8), _u32(out, at + 12)
    c = struct.unpack_from("<Q", out.ljust(at + 24, b"\0"), at + 8)[0]
    u = struct.unpack_from("<Q", out.ljust(at + 24, b"\0"), at + 16)[0]
    if c > 0xFFFFFFFF or u > 0xFFFFFFFF:
        return None
    return c, u


def scan_model(out):
    """The records a local-header scan finds in the damaged bytes.

    Every 4-byte window from offset 0 on is tested; after a header the next
    window starts 3 bytes before the position reached (data offset plus the
    record's compressed size). A deflated entry whose header sizes are both 0
    takes its sizes from the first signed data descriptor found before the
    next local header (one giving both sizes 0 counts as none); when there is
    none, it is kept with both sizes 0 (size source "none") if it has data.
    Sizes are believed when the data's claimed end is the end of the file or
    a local header, central header, end record or (bit 3, or sizes from a
    descriptor) a descriptor starts there, and a bit-3 deflated header does
    not claim compressed bytes with plain size 0. Otherwise a deflated entry
    takes the sizes its stream gives when it ends, a stored one ends at the
    next such record ("stream", or "descriptor" when a descriptor with those
    sizes follows), and the scan goes on from there. A stored bit-3 header
    with both sizes 0 (a streaming writer's) takes its sizes from the first
    descriptor whose sizes equal its distance from the data and whose CRC-32
    is that of the bytes before it, unless another record comes first. Sizes
    of 0xFFFFFFFF come from the header's zip64 extra field, and after such a
    header a descriptor holds 64-bit sizes. A stored header with both sizes 0,
    CRC-32 0 and no bit 3 (or bit 3 and its descriptor right after it) is an
    empty file and kept, unless its name ends in "/" (a folder). Other records with both sizes 0 or an empty name are
    dropped. Bytes past the end read as zeros."""
    records = []
    size = len(out)
    pos = 0
    while pos < size:
        if pos > 4:
            pos -= 3
        hit = out.find(LOCAL_SIG, pos)
        if hit < 0:
            break
        at = hit
        flags = _u16(out, at + 6)
        method = _u16(out, at + 8)
        csize, usize = _u32(out, at + 18), _u32(out, at + 22)
        n, m = _u16(out, at + 26), _u16(out, at + 28)
        raw_name = out[at + 30:at + 30 + n].split(b"\0", 1)[0]
        after_name = min(at + 30 + n, size)
        csize, usize, zip64 = _zip64_sizes(out, after_name, m, csize, usize)
        source = "header"
        if csize == 0 and usize == 0 and method == 8 and after_name < size:
            look = after_name - 3 if after_name > 4 else after_name
            found = [i for i in (out.find(LOCAL_SIG, look),
                                 out.find(DESCRIPTOR_SIG, look)) if i >= 0]
            if found and out[min(found):min(found) + 4] == DESCRIPTOR_SIG:
                sizes = _descriptor_sizes(out, min(found), zip64)
                if sizes and any(sizes):
                    csize, usize = sizes
                    source = "descriptor"
        data_offset = after_name + m
        if (csize == 0 and usize == 0 and method == 0 and flags & 8 and
                data_offset < size):
            # A streaming writer's stored entry: its data ends at the first
            # descriptor whose sizes and CRC-32 agree with the bytes before
            # it; another record first ends the search.
            look = data_offset
            while True:
                ends = [i for i in (out.find(sig, look) for sig in
                                    (LOCAL_SIG, CENTRAL_SIG, END_SIG,
                                     DESCRIPTOR_SIG)) if i >= 0]
                if not ends or out[min(ends):min(ends) + 4] != DESCRIPTOR_SIG:
                    break
                found = min(ends)
                d = found - data_offset
                if (_u32(out, found + 8) == d and _u32(out, found + 12) == d
                        and _u32(out, found + 4) ==
                        zlib.crc32(out[data_offset:found])):
                    csize = usize = d
                    source = "descriptor"
                    break
                look = found + 1
        walk = False
        if csize == 0 and usize == 0:
            keep = method == 8 and data_offset < size
            if keep:
                source = "none"
            # An empty file (not a folder): stored, CRC-32 0, no bit 3 (or
            # a streaming writer's, its descriptor right after the header).
            elif (method == 0 and _u32(out, at + 14) == 0 and
                  (not flags & 8 or source == "descriptor")
                  and raw_name and not raw_name.endswith(b"/")
                  and data_offset <= size):
                keep = True
        else:
            bit3 = bool(flags & 8)
            end = data_offset + csize
            if method == 8 and bit3 and source == "header" and usize == 0:
                fits = False
            else:
                fits = end == size or (end < size and _record_after_data(
                    out, end, bit3 or source == "descriptor"))
            real = None
            if not fits and method == 8:
                real = _stream_end(out, data_offset)
            elif not fits and method == 0:
                ends = [i for i in (out.find(sig, data_offset) for sig in
                                    (LOCAL_SIG, CENTRAL_SIG, END_SIG) +
                                    ((DESCRIPTOR_SIG,) if bit3 else ()))
                        if i >= 0]
                if ends:
                    real = (min(ends) - data_offset,) * 2
            if real is not None and real != (csize, usize):
                csize, usize = real
                source = "stream"
                d = data_offset + csize
                if (out[d:d + 4] == DESCRIPTOR_SIG and
                        _descriptor_sizes(out, d, zip64) == real):
                    source = "descriptor"
            keep = bool(csize or usize)
            # Sizes that did not fit: the scan walks the entry's data, so
            # that headers a hole left inside its span are found.
            walk = not fits
        if keep and raw_name:
            records.append({"name": raw_name.decode("latin-1"),
                            "header_offset": at, "method": method,
                            "compressed_size": csize,
                            "uncompressed_size": usize,
                            "size_source": source,
                            "data_offset": data_offset,
                            "data_complete": data_offset + csize <= size})
        pos = data_offset if walk else data_offset + csize
    return records


def recoverable(pkg, dmg, records, entry_states):
    """Names whose last record is exactly an intact entry of the original:
    a sound repair gives these back byte for byte."""
    by_offset = {_header_at(dmg, e): e for e in pkg.entries}
    last = {}
    for rec in records:
        last[rec["name"]] = rec
    names = []
    for name, rec in last.items():
        e = by_offset.get(rec["header_offset"])
        if (e is not None and e.name == name and entry_states[e.name] ==
                "intact" and rec["compressed_size"] == e.data[1] - e.data[0]
                and rec["uncompressed_size"] == e.size
                and rec["data_offset"] ==
                _header_at(dmg, e) + e.data[0] - e.header[0]):
            names.append(name)
    return sorted(names)


# ---------------------------------------------------------------- report


def _header_at(dmg, e):
    """Where the entry's local header starts in the output."""
    relocated = getattr(dmg, "relocated", None)
    if relocated is not None:
        return relocated[e.name]
    return e.header[0] + dmg.shift


def span_state(raw, out, shift, span):
    if span is None:
        return None
    start, end = span[0] + shift, span[1] + shift
    if start >= len(out):
        return "missing"
    if out[start:end] == raw[span[0]:span[1]]:
        return "intact"
    return "damaged"


def report(pkg, dmg, name, seed, what):
    out = bytes(dmg.out)
    entries = []
    relocated = getattr(dmg, "relocated", None)
    for e in pkg.entries:
        if relocated is not None:
            # Relaid out: the header was rewritten on purpose (flag bit 3,
            # sizes 0) and a descriptor follows every entry; what must come
            # back is the data, so the entry counts as intact when its data
            # and its descriptor's values are.
            shift = _header_at(dmg, e) - e.header[0]
            parts = {"header": "rewritten",
                     "data": span_state(pkg.raw, out, shift, e.data)}
            overall = parts["data"]
        else:
            parts = {"header": span_state(pkg.raw, out, dmg.shift, e.header),
                     "data": span_state(pkg.raw, out, dmg.shift, e.data)}
            if e.descriptor:
                parts["descriptor"] = span_state(pkg.raw, out, dmg.shift,
                                                 e.descriptor)
            states = set(parts.values())
            overall = ("intact" if states == {"intact"} else
                       "missing" if parts["header"] == "missing" else
                       "damaged")
        entries.append({"name": e.name, "status": overall, "parts": parts,
                        "header_offset": _header_at(dmg, e),
                        "compressed_size": e.data[1] - e.data[0]})
    records = scan_model(out)
    states = {e["name"]: e["status"] for e in entries}
    documents = []
    for d in getattr(dmg, "documents", []):
        # Each document's own records: what a repair that keeps the documents
        # apart gives back for it. The partner is an intact package, whole.
        own = [r for r in records if d["offset"] <= r["header_offset"] < d["end"]]
        if d["fixture"] is None:
            kept = recoverable(pkg, dmg, own, states)
        else:
            kept = sorted({r["name"] for r in own if r["data_complete"]})
        documents.append(dict(d, recoverable=kept))
    return {"variant": name, "seed": seed, "summary": what,
            "input_size": len(pkg.raw),
            "input_sha256": hashlib.sha256(pkg.raw).hexdigest(),
            "output_size": len(out),
            "output_sha256": hashlib.sha256(out).hexdigest(),
            "changes": dmg.changes, "entries": entries, "scan": records,
            "recoverable": recoverable(pkg, dmg, records, states),
            "documents": documents}


def damage(raw, name, seed):
    """(output bytes, report) for one variant; raises ValueError when the
    input does not suit it."""
    if name not in VARIANTS:
        raise ValueError("unknown variant %s (see --list)" % name)
    pkg = Package(raw)
    dmg = Damage(raw)
    what = VARIANTS[name][1](pkg, dmg, Rng(name, seed))
    return bytes(dmg.out), report(pkg, dmg, name, seed, what)


def main(argv=None):
    ap = argparse.ArgumentParser(
        description="Deterministic damaged copies of a ZIP package.")
    ap.add_argument("--list", action="store_true",
                    help="print the variants, one per line, and exit")
    ap.add_argument("variant", nargs="?")
    ap.add_argument("input", nargs="?")
    ap.add_argument("output", nargs="?")
    ap.add_argument("--seed", type=int, default=1,
                    help="seed for the variant's choices (default 1)")
    ap.add_argument("--report", metavar="FILE.json",
                    help="write what was changed and each entry's state")
    args = ap.parse_args(argv)

    if args.list:
        for name, (summary, _) in VARIANTS.items():
            print("%s\t%s" % (name, summary))
        return 0
    if not (args.variant and args.input and args.output):
        ap.error("VARIANT INPUT OUTPUT are required (or --list)")
    if args.seed < 0:
        ap.error("--seed must not be negative")

    if args.variant not in VARIANTS:
        ap.error("unknown variant %s (see --list)" % args.variant)
    try:
        with open(args.input, "rb") as f:
            raw = f.read()
        out, rep = damage(raw, args.variant, args.seed)
    except (OSError, ValueError, zipfile.BadZipFile) as err:
        print("damage.py: %s: %s" % (args.input, err), file=sys.stderr)
        return 2
    with open(args.output, "wb") as f:
        f.write(out)
    if args.report:
        with open(args.report, "w", encoding="utf-8") as f:
            json.dump(rep, f, indent=1, ensure_ascii=False)
            f.write("\n")
    print("%s: %s" % (args.variant, rep["summary"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
