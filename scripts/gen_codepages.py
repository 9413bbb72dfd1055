#!/usr/bin/env python3
"""Generates core/codepages/CodePageData.inc: the mapping tables of the
single-byte code pages that EncodingConvert converts through.

Every table is taken from a published mapping available on the build
machine, never written by hand:

  python      Python's codecs module (tables generated from the unicode.org
              vendor mapping files)
  glibc       glibc's iconv, called through ctypes (iconv_open/iconv)
  icu         ICU's uconv command (package icu-devtools)
  iconv-lite  the iconv-lite package of the npm registry, installed into a
              temporary folder by this script and removed afterwards

Each emitted table names its source. A code page without any published
mapping on this machine is emitted as an empty table and listed in the
README (section "Code-page mapping data").

Stored form of one table (what the converter's loader reads): a packing
character, 'x' = the Base64 text of the plain data follows. The loader also
reads packed rows (any other packing character: the Base64 text of a bzip2
frame, magic 0xB394A7E1, unpacked length, bzip2 stream, all little-endian,
unpacked by the function the row names), but this generator stores every
table plain: packing the few tables that shrink at all saves well under a
kilobyte, while the decompressor would add about 15 KiB to every program
that carries the tables (the installer stub among them). The row of a plain
table names no unpacker, so such a program does not link one.
The plain data:
  byte 0   'a' when bytes and units below 0x80 map to themselves
           (asciiDirect), '-' otherwise
  byte 1   'F' full list, or 'D' list of differences, then the base code
           page (4 bytes LE) whose decoding records are applied first (a
           base may itself be a list of differences from a full list)
  records  'S' first count unit*count   decoding of bytes first..first+count-1
                                        (unit 2 bytes LE, 0 = no mapping)
           'R' first count unit         bytes first..first+count-1 decode
                                        to unit..unit+count-1
           'H' first count high low*count
                                        bytes first..first+count-1 decode
                                        to the units high:low[i]
           'E' unit len bytes*len       encoder entry replacing the one
                                        derived from the decoding entries
           'X' unit                     no encoder entry for this unit

The encoder is derived from the decoding entries by exchanging key and
value; when several bytes decode to the same unit the lowest byte comes
first. 'E'/'X' records make the encoder agree with the source's own
encoder where that derivation would not (one-way mappings included).

Usage: scripts/gen_codepages.py [--check]
  --check  regenerate in memory and fail if the committed file differs.
"""

import base64
import ctypes
import ctypes.util
import json
import os
import platform
import shutil
import struct
import subprocess
import sys
import tempfile

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUTPUT = os.path.join(REPO, "core", "codepages", "CodePageData.inc")

ICONV_LITE_VERSION = "0.7.3"

# (code page, source, name in that source). None: no published mapping here.
PAGES = [
    # ISO 8859
    (28591, "python", "iso8859_1"), (28592, "python", "iso8859_2"),
    (28593, "python", "iso8859_3"), (28594, "python", "iso8859_4"),
    (28595, "python", "iso8859_5"), (28596, "python", "iso8859_6"),
    (28597, "python", "iso8859_7"), (28598, "python", "iso8859_8"),
    (28599, "python", "iso8859_9"), (28603, "python", "iso8859_13"),
    (28605, "python", "iso8859_15"),
    # Windows
    (874, "python", "cp874"), (1250, "python", "cp1250"),
    (1251, "python", "cp1251"), (1252, "python", "cp1252"),
    (1253, "python", "cp1253"), (1254, "python", "cp1254"),
    (1255, "python", "cp1255"), (1256, "python", "cp1256"),
    (1257, "python", "cp1257"), (1258, "python", "cp1258"),
    # DOS / OEM
    (437, "python", "cp437"), (708, "glibc", "ASMO-708"),
    (720, "python", "cp720"), (737, "python", "cp737"),
    (775, "python", "cp775"), (850, "python", "cp850"),
    (852, "python", "cp852"), (855, "python", "cp855"),
    (857, "python", "cp857"), (858, "python", "cp858"),
    (860, "python", "cp860"), (861, "python", "cp861"),
    (862, "python", "cp862"), (863, "python", "cp863"),
    (864, "python", "cp864"), (865, "python", "cp865"),
    (866, "python", "cp866"), (869, "python", "cp869"),
    # EBCDIC
    (37, "python", "cp037"), (500, "python", "cp500"),
    (870, "glibc", "IBM870"), (875, "python", "cp875"),
    (1026, "python", "cp1026"), (1047, "glibc", "IBM1047"),
    (1140, "python", "cp1140"), (1141, "glibc", "IBM1141"),
    (1142, "glibc", "IBM1142"), (1143, "glibc", "IBM1143"),
    (1144, "glibc", "IBM1144"), (1145, "glibc", "IBM1145"),
    (1146, "glibc", "IBM1146"), (1147, "glibc", "IBM1147"),
    (1148, "glibc", "IBM1148"), (1149, "glibc", "IBM1149"),
    (20273, "glibc", "IBM273"), (20277, "glibc", "IBM277"),
    (20278, "glibc", "IBM278"), (20280, "glibc", "IBM280"),
    (20284, "glibc", "IBM284"), (20285, "glibc", "IBM285"),
    (20290, "glibc", "IBM290"), (20297, "glibc", "IBM297"),
    (20420, "glibc", "IBM420"), (20423, "glibc", "IBM423"),
    (20424, "glibc", "IBM424"), (20838, "icu", "ibm-838"),
    (20871, "glibc", "IBM871"), (20880, "glibc", "IBM880"),
    (20905, "glibc", "IBM905"), (20924, None, "IBM 924 (EBCDIC Latin-9)"),
    (21025, "glibc", "CP1025"),
    # Macintosh
    (10000, "python", "mac_roman"), (10004, "python", "mac_arabic"),
    (10005, None, "Mac Hebrew"), (10006, "python", "mac_greek"),
    (10007, "python", "mac_cyrillic"), (10010, "python", "mac_romanian"),
    (10017, "glibc", "MAC-UK"), (10021, "iconv-lite", "macthai"),
    (10029, "python", "mac_latin2"), (10079, "python", "mac_iceland"),
    (10081, "python", "mac_turkish"), (10082, "python", "mac_croatian"),
    # Other
    (20105, "glibc", "ISO_646.IRV:1991"), (20106, "glibc", "DIN_66003"),
    (20107, "glibc", "SEN_850200_B"), (20108, "glibc", "NS_4551-1"),
    (20127, "python", "ascii"), (20261, "glibc", "T.61-8BIT"),
    (20269, "glibc", "ISO_6937"), (20866, "python", "koi8_r"),
    (21866, "python", "koi8_u"), (38598, "python", "iso8859_8"),
]

# The single-byte code pages that GetACP answers on Windows (the system's ANSI
# code page; its other answers are double-byte pages or UTF-8). A program
# that converts only between the ANSI code page and UTF-8/UTF-16 (the
# installer stub) needs only these tables and their bases: they come first
# in the generated file, the others follow under
# BRIVANE_ANSI_CODE_PAGE_TABLES_ONLY.
ANSI_CODE_PAGES = [874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258]

# Double-byte code page whose table would come from a second stored table;
# listed here so that the generated file records why it has none.
MISSING_DOUBLE_BYTE = [(10001, "Mac Japanese")]

BMP_UNITS = [u for u in range(1, 0x10000) if not 0xD800 <= u <= 0xDFFF]


# --- Sources --------------------------------------------------------------
# Each source yields, for one code page:
#   decode: dict byte -> unit (single BMP unit), bytes 1..255 only
#   encode(unit) -> bytes or None


class PythonSource:
    def __init__(self, name):
        self.name = name
        self.label = "Python %s codecs '%s'" % (platform.python_version(), name)

    def decode_byte(self, b):
        try:
            text = bytes([b]).decode(self.name)
        except UnicodeDecodeError:
            return None
        return text

    def encode_unit(self, u):
        try:
            return chr(u).encode(self.name)
        except UnicodeEncodeError:
            return None


class GlibcIconv:
    def __init__(self):
        libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        libc.iconv_open.restype = ctypes.c_void_p
        libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        libc.iconv.restype = ctypes.c_size_t
        libc.iconv.argtypes = [ctypes.c_void_p,
                               ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t),
                               ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]
        libc.iconv_close.argtypes = [ctypes.c_void_p]
        libc.gnu_get_libc_version.restype = ctypes.c_char_p
        self.libc = libc
        self.version = libc.gnu_get_libc_version().decode()

    def open(self, to_code, from_code):
        cd = self.libc.iconv_open(to_code.encode(), from_code.encode())
        if cd is None or cd == ctypes.c_void_p(-1).value:
            raise SystemExit("glibc iconv does not know %s -> %s" % (from_code, to_code))
        return cd

    def run(self, cd, data):
        """Converts data in one call plus a flush; None when iconv refuses."""
        failed = ctypes.c_size_t(-1).value
        self.libc.iconv(cd, None, None, None, None)
        inbuf = ctypes.create_string_buffer(data, len(data))
        inp = ctypes.c_char_p(ctypes.addressof(inbuf))
        inleft = ctypes.c_size_t(len(data))
        room = 64
        outbuf = ctypes.create_string_buffer(room)
        outp = ctypes.c_char_p(ctypes.addressof(outbuf))
        outleft = ctypes.c_size_t(room)
        if self.libc.iconv(cd, ctypes.byref(inp), ctypes.byref(inleft),
                           ctypes.byref(outp), ctypes.byref(outleft)) == failed:
            return None
        if self.libc.iconv(cd, None, None, ctypes.byref(outp), ctypes.byref(outleft)) == failed:
            return None
        return outbuf.raw[:room - outleft.value]


_glibc = None


class GlibcSource:
    def __init__(self, name):
        global _glibc
        if _glibc is None:
            _glibc = GlibcIconv()
        self.iconv = _glibc
        self.name = name
        self.label = "glibc %s iconv '%s'" % (_glibc.version, name)
        self.decoder = _glibc.open("UTF-16LE", name)
        self.encoder = _glibc.open(name, "UTF-16LE")

    def decode_byte(self, b):
        out = self.iconv.run(self.decoder, bytes([b]))
        return None if out is None else out.decode("utf-16-le")

    def encode_unit(self, u):
        return self.iconv.run(self.encoder, struct.pack("<H", u))


class IcuSource:
    """ICU through its uconv command; one process per byte or unit."""

    def __init__(self, name):
        if shutil.which("uconv") is None:
            raise SystemExit("uconv not found: install icu-devtools")
        self.name = name
        version = subprocess.run(["uconv", "--version"], capture_output=True, text=True).stdout
        self.label = "ICU uconv '%s' (%s)" % (name, " ".join(version.split()[-2:]))
        self.scan_one_way = False  # one process per unit of the BMP is too slow

    def _uconv(self, from_code, to_code, data):
        result = subprocess.run(["uconv", "--callback", "stop", "-f", from_code, "-t", to_code],
                                input=data, capture_output=True)
        return result.stdout if result.returncode == 0 else None

    def decode_byte(self, b):
        out = self._uconv(self.name, "UTF-16LE", bytes([b]))
        return None if out is None else out.decode("utf-16-le")

    def encode_unit(self, u):
        return self._uconv("UTF-16LE", self.name, struct.pack("<H", u))


class IconvLiteSource:
    """iconv-lite through node; decoded U+FFFD and encoded '?' mean 'none'."""

    def __init__(self, name, module_dir):
        self.name = name
        self.label = "iconv-lite %s '%s' (npm registry)" % (ICONV_LITE_VERSION, name)
        script = r"""
const il = require(process.argv[1]);
const name = process.argv[2];
const dec = [];
for (let b = 0; b < 256; b++) dec.push(il.decode(Buffer.from([b]), name));
const enc = {};
for (let u = 1; u < 0x10000; u++) {
  // U+FFFD is what undefined bytes decode to, not a character of the page.
  if ((u >= 0xD800 && u <= 0xDFFF) || u === 0xFFFD) continue;
  const bytes = il.encode(String.fromCharCode(u), name);
  if (bytes.length === 1 && bytes[0] === 0x3F && u !== 0x3F) continue;
  enc[u] = Array.from(bytes);
}
process.stdout.write(JSON.stringify({dec, enc}));
"""
        out = subprocess.run(["node", "-e", script, os.path.join(module_dir, "iconv-lite"), name],
                             capture_output=True, text=True, check=True).stdout
        data = json.loads(out)
        self.decoded = data["dec"]
        self.encoded = {int(k): bytes(v) for k, v in data["enc"].items()}

    def decode_byte(self, b):
        text = self.decoded[b]
        return None if text == "\ufffd" else text

    def encode_unit(self, u):
        return self.encoded.get(u)


def install_iconv_lite():
    if shutil.which("npm") is None or shutil.which("node") is None:
        raise SystemExit("node and npm are needed for the iconv-lite tables")
    folder = tempfile.mkdtemp(prefix="codepages-npm-")
    subprocess.run(["npm", "install", "--silent", "--no-audit", "--no-fund", "--prefix", folder,
                    "iconv-lite@" + ICONV_LITE_VERSION], check=True)
    return folder


# --- Building one table -----------------------------------------------------


class Mapping:
    def __init__(self, code_page, label):
        self.code_page = code_page
        self.label = label
        self.decode = {}      # byte -> unit
        self.encode = {}      # unit -> bytes (None: refused), for the units we check
        self.notes = []

    def ascii_direct(self):
        return all(self.decode.get(b) == b for b in range(1, 0x80)) and \
            all(self.encode.get(u) == bytes([u]) for u in range(1, 0x80))


def read_mapping(code_page, source):
    mapping = Mapping(code_page, source.label)
    skipped = []
    for b in range(1, 256):
        text = source.decode_byte(b)
        if text is None:
            continue
        if len(text) != 1 or 0xD800 <= ord(text) <= 0xDFFF:
            skipped.append(b)
            continue
        if ord(text) == 0:
            skipped.append(b)
            continue
        mapping.decode[b] = ord(text)
    if skipped:
        mapping.notes.append("bytes decoding to other than one BMP unit left unmapped: " +
                             " ".join("%02X" % b for b in skipped))
    zero = source.decode_byte(0)
    if zero != "\0":
        raise SystemExit("%s: byte 0 does not decode to U+0000" % source.label)
    units = set(mapping.decode.values())
    scan = getattr(source, "scan_one_way", True)
    for u in (BMP_UNITS if scan else sorted(units)):
        encoded = source.encode_unit(u)
        if u in units or encoded is not None:
            mapping.encode[u] = encoded
    if not scan:
        mapping.notes.append("encoder checked for the decoded units only")
    return mapping


def derived_encoder(decode, ascii_direct):
    """The encoder the loader derives from the decoding entries alone."""
    derived = {}
    for b in sorted(decode):
        if ascii_direct and b < 0x80:
            continue
        derived.setdefault(decode[b], bytes([b]))
    if ascii_direct:
        for u in range(1, 0x80):
            derived[u] = bytes([u])
    return derived


def encoder_records(mapping, ascii_direct):
    derived = derived_encoder(mapping.decode, ascii_direct)
    records = b""
    one_way = 0
    for u in sorted(mapping.encode):
        wanted = mapping.encode[u]
        if ascii_direct and u < 0x80:
            if wanted != bytes([u]):
                raise SystemExit("%d: asciiDirect but U+%04X encodes otherwise" % (mapping.code_page, u))
            continue
        if derived.get(u) == wanted:
            continue
        if wanted is None:
            records += b"X" + struct.pack("<H", u)
        else:
            if u not in set(mapping.decode.values()):
                one_way += 1
            records += b"E" + struct.pack("<HB", u, len(wanted)) + wanted
    if one_way:
        mapping.notes.append("%d encode-only mappings" % one_way)
    return records


RUN_HEADER_BYTES = 3       # 'S' first count
SEQUENCE_BYTES = 5         # 'R' first count unit
SAME_HIGH_HEADER_BYTES = 4  # 'H' first count high
MAX_RECORD_COUNT = 255     # the count is one byte


def sequence_length(decode, b):
    """How many bytes from b on decode to consecutive units."""
    unit = decode.get(b)
    if not unit:
        return 0
    length = 1
    while (length < MAX_RECORD_COUNT and b + length < 256 and
           decode.get(b + length) == unit + length):
        length += 1
    return length


def same_high_length(decode, b):
    """How many bytes from b on decode to units with the same high byte."""
    unit = decode.get(b)
    if not unit:
        return 0
    length = 1
    while (length < MAX_RECORD_COUNT and b + length < 256 and decode.get(b + length) and
           decode[b + length] >> 8 == unit >> 8):
        length += 1
    return length


def decode_records(decode, covered):
    """The shortest list of 'S', 'R' and 'H' records that sets the decoding of the
    given bytes. A record may also cover bytes outside the set: it writes
    their true decoding, which is what they hold anyway. Cost of covering
    bytes b..255 is found from the top down (shortest path over the bytes)."""
    covered = set(covered)
    if not covered:
        return b""
    first = min(covered)
    cost = {256: 0}
    choice = {}
    for b in range(255, first - 1, -1):
        best = (cost[b + 1], None) if b not in covered else (None, None)
        for length in range(1, min(MAX_RECORD_COUNT, 256 - b) + 1):
            candidate = RUN_HEADER_BYTES + 2 * length + cost[b + length]
            if best[0] is None or candidate < best[0]:
                best = (candidate, ("S", length))
        for length in range(1, sequence_length(decode, b) + 1):
            candidate = SEQUENCE_BYTES + cost[b + length]
            if candidate < best[0]:
                best = (candidate, ("R", length))
        for length in range(1, same_high_length(decode, b) + 1):
            candidate = SAME_HIGH_HEADER_BYTES + length + cost[b + length]
            if candidate < best[0]:
                best = (candidate, ("H", length))
        cost[b], choice[b] = best
    records = b""
    b = first
    while b < 256:
        step = choice[b]
        if step is None:
            b += 1
            continue
        kind, length = step
        if kind == "R":
            records += b"R" + bytes([b, length]) + struct.pack("<H", decode[b])
        elif kind == "H":
            records += b"H" + bytes([b, length, decode[b] >> 8])
            records += bytes(decode[b + i] & 0xFF for i in range(length))
        else:
            records += b"S" + bytes([b, length])
            records += b"".join(struct.pack("<H", decode.get(b + i, 0)) for i in range(length))
        b += length
    return records


def stored_text(data):
    return "x" + base64.b64encode(data).decode()


# How many lists of differences the loader follows down to a full list.
MAX_BASE_DEPTH = 2


def plain_data(mapping, bases):
    """The plain form whose stored text is the shortest: the full list, or
    the differences against one of the bases."""
    ascii_direct = mapping.ascii_direct()
    head = b"a" if ascii_direct else b"-"
    first = 0x80 if ascii_direct else 1
    tail = encoder_records(mapping, ascii_direct)
    mapped = {b for b in mapping.decode if b >= first}
    best = head + b"F" + decode_records(mapping.decode, mapped) + tail
    best_base = None
    for base in bases:
        if base.ascii_direct() != ascii_direct:
            continue
        changed = {b for b in range(first, 256) if base.decode.get(b) != mapping.decode.get(b)}
        candidate = head + b"D" + struct.pack("<I", base.code_page) + \
            decode_records(mapping.decode, changed) + tail
        if len(stored_text(candidate)) < len(stored_text(best)):
            best, best_base = candidate, base
    return best, best_base


def cxx_string(text, indent="    ", width=96):
    pieces = [text[i:i + width] for i in range(0, len(text), width)] or [""]
    return "\n".join('%s"%s"' % (indent, piece) for piece in pieces)


def generate():
    npm_folder = None
    entries = []
    # Tables that may serve as a base: the loader follows at most two bases
    # (a list of differences from a list of differences from a full list).
    base_mappings = []
    base_depth = {}
    missing = []
    try:
        for code_page, kind, name in PAGES:
            if kind is None:
                missing.append((code_page, name))
                continue
            if kind == "python":
                source = PythonSource(name)
            elif kind == "glibc":
                source = GlibcSource(name)
            elif kind == "icu":
                source = IcuSource(name)
            else:
                if npm_folder is None:
                    npm_folder = install_iconv_lite()
                source = IconvLiteSource(name, os.path.join(npm_folder, "node_modules"))
            mapping = read_mapping(code_page, source)
            data, base = plain_data(mapping, base_mappings)
            depth = 0 if base is None else base_depth[base.code_page] + 1
            if depth < MAX_BASE_DEPTH:
                base_mappings.append(mapping)
                base_depth[mapping.code_page] = depth
            text = stored_text(data)
            entries.append((mapping, base, len(data), text))
            print("%5d  %-45s %4d bytes -> %4d chars%s" % (
                code_page, mapping.label, len(data), len(text),
                "" if base is None else " (differences from %d)" % base.code_page),
                file=sys.stderr)
    finally:
        if npm_folder is not None:
            shutil.rmtree(npm_folder, ignore_errors=True)

    lines = [
        "// Generated by scripts/gen_codepages.py from published code-page mappings.",
        "// Do not edit: change the generator and run it again.",
        "//",
        "// One row per single-byte code page: { code page, stored text, unpacker }.",
        "// The stored text is a packing character ('x' plain) and Base64; the",
        "// generator's comment describes the data inside. Every table is stored",
        "// plain, so no row names an unpacker.",
        "//",
        "// Code pages without a published mapping on the generating machine (their",
        "// tables stay empty):",
    ]
    for code_page, name in missing + MISSING_DOUBLE_BYTE:
        lines.append("//   %d  %s" % (code_page, name))
    lines.append("")
    bases = {mapping.code_page: base for mapping, base, _, _ in entries}
    ansi_set = set()
    for code_page in ANSI_CODE_PAGES:
        while code_page is not None and code_page not in ansi_set:
            ansi_set.add(code_page)
            base = bases[code_page]
            code_page = None if base is None else base.code_page

    def emit(row):
        mapping, base, plain_bytes, text = row
        lines.append("// %d: %s; %d bytes%s%s" % (
            mapping.code_page, mapping.label, plain_bytes,
            "" if base is None else ", differences from %d" % base.code_page,
            "".join("; " + note for note in mapping.notes)))
        lines.append("{%d,\n%s,\n    nullptr}," % (mapping.code_page, cxx_string(text)))

    lines.append("// The ANSI code pages (GetACP's single-byte answers) and their bases.")
    for row in entries:
        if row[0].code_page in ansi_set:
            emit(row)
    lines.append("")
    lines.append("#ifndef BRIVANE_ANSI_CODE_PAGE_TABLES_ONLY")
    for row in entries:
        if row[0].code_page not in ansi_set:
            emit(row)
    lines.append("#endif")
    return "\n".join(lines) + "\n"


def main():
    check = "--check" in sys.argv[1:]
    text = generate()
    if check:
        with open(OUTPUT, encoding="ascii") as committed:
            if committed.read() != text:
                raise SystemExit("%s is out of date" % os.path.relpath(OUTPUT, REPO))
        return
    os.makedirs(os.path.dirname(OUTPUT), exist_ok=True)
    with open(OUTPUT, "w", encoding="ascii") as out:
        out.write(text)


if __name__ == "__main__":
    main()
