#!/usr/bin/env python3
"""What the installer's checks cost: the Linux stub extracting one corpus
from a payload bvsfx wrote (with its check records) and from the same
payload with the check records taken out (so every chunk is the same
bytes), in one run, on tmpfs. Prints both times and the overhead.

    bench/check_bench.py [--bvsfx BVSFX] [--stub LINUX_STUB] [--mb N] [--reps R] [--scratch DIR]

Defaults: the linux preset's build (build/linux), a corpus of about 200 MB
of regular files from /usr/share/doc, topped up from /usr/include, 5
repetitions, and a scratch folder in /dev/shm (tmpfs, so that the disk does
not decide the figures). Both installers run alternately; each run extracts
into an empty folder. The figures are the best of the repetitions, as
processor time of the stub (user + system, which a busy machine disturbs
less) and as wall-clock time.
"""
import argparse
import os
import resource
import shutil
import struct
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MARKER = bytes([0x48, 0x12, 0x90, 0xBF, 0x49, 0xFF, 0x91, 0xAA])
RECORD_MAGIC = 0x6D27E59B
CHECK_RECORD_TYPE = 0x43
HEADER_BYTES = 6
MAX_SETTINGS_PAIRS = 200
CHUNK_LENGTH_MASK = 0x7FFFFFFF
CORPUS_ROOTS = ("/usr/share/doc", "/usr/include")


def make_corpus(folder, wanted_bytes):
    """Regular files in a stable order, copied until wanted_bytes."""
    listed = []
    for root in CORPUS_ROOTS:
        for parent, dirs, files in os.walk(root):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(parent, name)
                if os.path.isfile(path) and not os.path.islink(path):
                    listed.append(path)
    total = 0
    for path in listed:
        size = os.path.getsize(path)
        if total + size > wanted_bytes:
            break
        target = os.path.join(folder, path.lstrip("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        try:
            shutil.copyfile(path, target)
        except OSError:
            continue
        total += size
    return total


def without_check_records(image):
    """The installer with every check record of its (plain) payload left
    out; everything else byte for byte."""
    start = image.find(MARKER)
    if start < 0:
        sys.exit("check_bench: no payload marker in the installer")
    at = start + len(MARKER)
    if image[at + 4] != 0:
        sys.exit("check_bench: the payload is encrypted; pack it without a password")
    at += HEADER_BYTES
    for _ in range(MAX_SETTINGS_PAIRS):
        (name_bytes,) = struct.unpack_from("<H", image, at)
        at += 2
        if name_bytes == 0:
            break
        at += name_bytes
        (value_bytes,) = struct.unpack_from("<H", image, at)
        at += 2 + value_bytes
    out = bytearray(image[:at])
    while True:
        record = at
        magic, kind = struct.unpack_from("<IB", image, at)
        if magic != RECORD_MAGIC:
            sys.exit("check_bench: no record at offset %d" % at)
        at += 5
        if kind == 0:
            out += image[record:at]
            return bytes(out)
        (name_bytes,) = struct.unpack_from("<H", image, at)
        at += 2 + name_bytes + 8 + 4
        if kind == 2:
            while True:
                (field,) = struct.unpack_from("<I", image, at)
                at += 4
                if field == 0:
                    break
                at += field & CHUNK_LENGTH_MASK
        if kind != CHECK_RECORD_TYPE:
            out += image[record:at]


def run_once(installer, folder):
    """Extracts into folder (emptied first); returns (CPU s, wall s)."""
    if os.path.exists(folder):
        shutil.rmtree(folder)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    result = subprocess.run([installer], cwd=os.path.dirname(folder), stdin=subprocess.DEVNULL,
                            capture_output=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode != 1:
        sys.exit("check_bench: %s exited %d: %s" % (installer, result.returncode, result.stderr.decode()[-300:]))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bvsfx", default=os.path.join(REPO, "build/linux/tools/bvsfx/bvsfx"))
    parser.add_argument("--stub", default=os.path.join(REPO, "build/linux/app/bvsfx-stub"))
    parser.add_argument("--mb", type=int, default=200)
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--scratch", default="/dev/shm")
    args = parser.parse_args()
    for path in (args.bvsfx, args.stub):
        if not os.access(path, os.X_OK):
            sys.exit("check_bench: %s is missing: cmake --preset linux && cmake --build --preset linux" % path)

    work = tempfile.mkdtemp(prefix="bvsfx-check-bench-", dir=args.scratch)
    try:
        corpus = os.path.join(work, "corpus")
        corpus_bytes = make_corpus(corpus, args.mb * 1024 * 1024)
        files = sum(len(f) for _, _, f in os.walk(corpus))
        print("corpus: %d files, %.1f MB (from %s), scratch on %s" % (
            files, corpus_bytes / 1048576.0, " and ".join(CORPUS_ROOTS), args.scratch))
        destination = os.path.join(work, "run", "out")
        os.makedirs(os.path.dirname(destination))
        checked = os.path.join(work, "checked.run")
        subprocess.run([args.bvsfx, "pack", "-q", "-o", checked, "--stub", args.stub, "--silent",
                        "--dir", destination, corpus], check=True)
        with open(checked, "rb") as f:
            image = f.read()
        unchecked = os.path.join(work, "unchecked.run")
        with open(unchecked, "wb") as f:
            f.write(without_check_records(image))
        os.chmod(unchecked, 0o755)
        print("installers: %d bytes with check records, %d without" % (
            os.path.getsize(checked), os.path.getsize(unchecked)))

        best = {"with": [float("inf"), float("inf")], "without": [float("inf"), float("inf")]}
        for _ in range(args.reps):
            for label, installer in (("without", unchecked), ("with", checked)):
                cpu, wall = run_once(installer, destination)
                best[label][0] = min(best[label][0], cpu)
                best[label][1] = min(best[label][1], wall)
        print("best of %d extractions   CPU s     wall s" % args.reps)
        for label in ("without", "with"):
            print("  %-7s check records %7.3f   %7.3f" % (label, best[label][0], best[label][1]))
        print("overhead of the checks: CPU %+.1f%%, wall %+.1f%%" % (
            100.0 * (best["with"][0] / best["without"][0] - 1), 100.0 * (best["with"][1] / best["without"][1] - 1)))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
