#!/usr/bin/env python3
"""Writes tests/data/core/codepage_expectations.txt: what independent tools
answer for every byte of every single-byte code page the converter carries.

The answers come straight from the tools, never from the converter's tables
or from scripts/gen_codepages.py:

  python      Python's codecs module, one byte / one character at a time
  iconv       the iconv command (glibc), one run per direction and page
  uconv       the uconv command (ICU)
  iconv-lite  the iconv-lite package run by node (installed into a
              temporary folder, removed afterwards)

For iconv and uconv every byte (or unit) is followed by a NUL and the run
omits what it cannot convert (-c), so the NULs of the output tell which
input produced which output.

File format: '#' lines are comments. A page starts with
    page <code page> <tool> <name>
followed by 16 lines of 16 fields, one field per byte value 0x00..0xFF:
    -            the tool does not decode the byte
    UUUU         the byte decodes to U+UUUU, which encodes back to the byte
    UUUU>HH..    the byte decodes to U+UUUU, which encodes to the bytes HH..
    UUUU>-       the byte decodes to U+UUUU, which the tool does not encode

Usage: scripts/gen_codepage_expectations.py
"""

import os
import shutil
import subprocess
import sys
import tempfile

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUTPUT = os.path.join(REPO, "tests", "data", "core", "codepage_expectations.txt")
ICONV_LITE_VERSION = "0.7.3"

# Each code page with the tool and the name under which that tool knows it.
PAGES = [
    (28591, "python", "latin_1"), (28592, "python", "iso8859_2"),
    (28593, "python", "iso8859_3"), (28594, "python", "iso8859_4"),
    (28595, "python", "iso8859_5"), (28596, "python", "iso8859_6"),
    (28597, "python", "iso8859_7"), (28598, "python", "iso8859_8"),
    (28599, "python", "iso8859_9"), (28603, "python", "iso8859_13"),
    (28605, "python", "iso8859_15"),
    (874, "python", "cp874"), (1250, "python", "cp1250"), (1251, "python", "cp1251"),
    (1252, "python", "cp1252"), (1253, "python", "cp1253"), (1254, "python", "cp1254"),
    (1255, "python", "cp1255"), (1256, "python", "cp1256"), (1257, "python", "cp1257"),
    (1258, "python", "cp1258"),
    (437, "python", "cp437"), (708, "iconv", "ASMO-708"), (720, "python", "cp720"),
    (737, "python", "cp737"), (775, "python", "cp775"), (850, "python", "cp850"),
    (852, "python", "cp852"), (855, "python", "cp855"), (857, "python", "cp857"),
    (858, "python", "cp858"), (860, "python", "cp860"), (861, "python", "cp861"),
    (862, "python", "cp862"), (863, "python", "cp863"), (864, "python", "cp864"),
    (865, "python", "cp865"), (866, "python", "cp866"), (869, "python", "cp869"),
    (37, "python", "cp037"), (500, "python", "cp500"), (870, "iconv", "IBM870"),
    (875, "python", "cp875"), (1026, "python", "cp1026"), (1047, "iconv", "IBM1047"),
    (1140, "python", "cp1140"), (1141, "iconv", "IBM1141"), (1142, "iconv", "IBM1142"),
    (1143, "iconv", "IBM1143"), (1144, "iconv", "IBM1144"), (1145, "iconv", "IBM1145"),
    (1146, "iconv", "IBM1146"), (1147, "iconv", "IBM1147"), (1148, "iconv", "IBM1148"),
    (1149, "iconv", "IBM1149"),
    (20273, "iconv", "IBM273"), (20277, "iconv", "IBM277"), (20278, "iconv", "IBM278"),
    (20280, "iconv", "IBM280"), (20284, "iconv", "IBM284"), (20285, "iconv", "IBM285"),
    (20290, "iconv", "IBM290"), (20297, "iconv", "IBM297"), (20420, "iconv", "IBM420"),
    (20423, "iconv", "IBM423"), (20424, "iconv", "IBM424"), (20838, "uconv", "IBM-Thai"),
    (20871, "iconv", "IBM871"), (20880, "iconv", "IBM880"), (20905, "iconv", "IBM905"),
    (21025, "iconv", "CP1025"),
    (10000, "python", "mac_roman"), (10004, "python", "mac_arabic"),
    (10006, "python", "mac_greek"), (10007, "python", "mac_cyrillic"),
    (10010, "python", "mac_romanian"), (10017, "iconv", "MACUKRAINIAN"),
    (10021, "iconv-lite", "macthai"), (10029, "python", "mac_latin2"),
    (10079, "python", "mac_iceland"), (10081, "python", "mac_turkish"),
    (10082, "python", "mac_croatian"),
    (20105, "iconv", "ISO_646.IRV:1991"), (20106, "iconv", "DIN_66003"),
    (20107, "iconv", "SEN_850200_B"), (20108, "iconv", "NS_4551-1"),
    (20127, "python", "us-ascii"), (20261, "iconv", "T.61-8BIT"),
    (20269, "iconv", "ISO_6937"), (20866, "python", "koi8_r"), (21866, "python", "koi8_u"),
    (38598, "python", "iso8859_8"),
]


def split_on_nul(data, unit_bytes):
    """Splits output into the pieces between NUL units."""
    pieces, current = [], b""
    for i in range(0, len(data), unit_bytes):
        unit = data[i:i + unit_bytes]
        if unit == b"\0" * unit_bytes:
            pieces.append(current)
            current = b""
        else:
            current += unit
    return pieces


def run_interleaved(command, items, input_nul, output_unit_bytes):
    """Runs command on items each followed by a NUL; the output piece per item."""
    data = b"".join(item + input_nul for item in items)
    result = subprocess.run(command, input=data, capture_output=True)
    pieces = split_on_nul(result.stdout, output_unit_bytes)
    if len(pieces) != len(items):
        raise SystemExit("%s: %d pieces for %d inputs" % (" ".join(command), len(pieces), len(items)))
    return pieces


def tool_answers(tool, name, npm_modules):
    """decoded[b] (str or None) for bytes 1..255, and an encode(unit) function."""
    byte_items = [bytes([b]) for b in range(1, 256)]
    if tool == "python":
        def decode(b):
            try:
                return bytes([b]).decode(name)
            except UnicodeDecodeError:
                return None

        def encode_all(units):
            answers = []
            for u in units:
                try:
                    answers.append(chr(u).encode(name))
                except UnicodeEncodeError:
                    answers.append(None)
            return answers
        return [None] + [decode(b) for b in range(1, 256)], encode_all

    if tool in ("iconv", "uconv"):
        def command(source, target):
            return [tool, "-c", "-f", source, "-t", target]
        pieces = run_interleaved(command(name, "UTF-16LE"), byte_items, b"\0", 2)
        decoded = [None] + [p.decode("utf-16-le") if p else None for p in pieces]

        def encode_all(units):
            items = [u.to_bytes(2, "little") for u in units]
            return [p if p else None for p in run_interleaved(command("UTF-16LE", name), items, b"\0\0", 1)]
        return decoded, encode_all

    if tool == "iconv-lite":
        script = r"""
const il = require(process.argv[1]);
const name = process.argv[2];
const out = [];
for (let b = 1; b < 256; b++) {
  const s = il.decode(Buffer.from([b]), name);
  if (s === '\ufffd') { out.push(null); continue; }
  const e = il.encode(s, name);
  const refused = e.length === 1 && e[0] === 0x3f && s !== '?';
  out.push([s, refused ? null : Array.from(e)]);
}
process.stdout.write(JSON.stringify(out));
"""
        import json
        answers = json.loads(subprocess.run(
            ["node", "-e", script, os.path.join(npm_modules, "iconv-lite"), name],
            capture_output=True, text=True, check=True).stdout)
        decoded = [None] + [a[0] if a else None for a in answers]
        encoded = {}
        for a in answers:
            if a:
                encoded[ord(a[0])] = bytes(a[1]) if a[1] is not None else None

        def encode_all(units):
            return [encoded[u] for u in units]
        return decoded, encode_all
    raise SystemExit("unknown tool " + tool)


def page_fields(code_page, tool, name, npm_modules):
    decoded, encode_all = tool_answers(tool, name, npm_modules)
    for b in range(1, 256):
        text = decoded[b]
        if text is not None and len(text) != 1:
            raise SystemExit("%d: byte %02X decodes to %d units" % (code_page, b, len(text)))
    units = [ord(decoded[b]) for b in range(1, 256) if decoded[b] is not None]
    encoded = dict(zip(units, encode_all(units)))
    fields = ["0000"]  # byte 0 is U+0000 in every page
    for b in range(1, 256):
        if decoded[b] is None:
            fields.append("-")
            continue
        u = ord(decoded[b])
        back = encoded[u]
        if back == bytes([b]):
            fields.append("%04X" % u)
        elif back is None:
            fields.append("%04X>-" % u)
        else:
            fields.append("%04X>%s" % (u, back.hex().upper()))
    return fields


def main():
    for tool in ("iconv", "uconv", "node", "npm"):
        if shutil.which(tool) is None:
            raise SystemExit("%s is needed (iconv: libc-bin, uconv: icu-devtools, node/npm: nodejs npm)" % tool)
    npm_folder = tempfile.mkdtemp(prefix="codepage-expect-")
    try:
        subprocess.run(["npm", "install", "--silent", "--no-audit", "--no-fund", "--prefix", npm_folder,
                        "iconv-lite@" + ICONV_LITE_VERSION], check=True)
        npm_modules = os.path.join(npm_folder, "node_modules")
        lines = [
            "# Expected single-byte code page mappings, answered by the tools named on",
            "# each page line; written by scripts/gen_codepage_expectations.py.",
            "# Field per byte: - not decoded; UUUU decodes to U+UUUU and back to the",
            "# byte; UUUU>HH.. encodes back to the bytes HH..; UUUU>- not encoded back.",
        ]
        for code_page, tool, name in PAGES:
            fields = page_fields(code_page, tool, name, npm_modules)
            lines.append("page %d %s %s" % (code_page, tool, name))
            for row in range(16):
                lines.append(" ".join(fields[row * 16:(row + 1) * 16]))
            print("%5d %s %s" % (code_page, tool, name), file=sys.stderr)
    finally:
        shutil.rmtree(npm_folder, ignore_errors=True)
    os.makedirs(os.path.dirname(OUTPUT), exist_ok=True)
    with open(OUTPUT, "w", encoding="ascii") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
