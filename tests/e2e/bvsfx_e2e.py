#!/usr/bin/env python3
"""End-to-end runs of bvsfx: real trees packed with `bvsfx pack`, extracted
by the installer itself and by `bvsfx extract`, and compared with the
original byte for byte, with last-write times (to the 100 ns a FILETIME
keeps) and read-only attributes.

    bvsfx_e2e.py --bvsfx BVSFX --stub LINUX_STUB --work DIR --case NAME
                 [--windows-stub STUB.exe --runner "PROGRAM [ARGS]"]
    bvsfx_e2e.py --list

Cases:
  levels       a copy of a few thousand files of this machine (part of
               /usr/include) with nested and empty folders, empty files, a
               file over 2 MiB, a generated 100 MB file and non-ASCII names;
               packed at levels 0, 1, 6 and 9; each installer run silently
               and extracted with bvsfx extract; packing twice (different
               thread counts) gives the same bytes
  passwords    the same tree packed with AES-256, and a smaller one with
               AES-128 and AES-192; extracted with bvsfx extract --password,
               and by the installer in an interactive run that is given the
               folder and the password on standard input (the terminal
               dialogs read it line by line); a wrong password extracts
               nothing
  windows      the Windows stub (for example bvsfx-stub64.exe) run through
               the runner (for example scripts/wine-run) on a smaller tree
  damaged      an installer with one changed byte in a stored file's data,
               run silently: exit 2, the damaged file deleted again, the
               setup program not launched (the unchanged installer launches
               it); with the Linux stub
  windows-damaged  the same with the Windows stub through the runner

Folder times are compared too: the installer and bvsfx extract both set a
folder's packed time once everything inside it is written.
"""
import argparse
import filecmp
import os
import random
import shlex
import shutil
import stat
import subprocess
import sys
import time

# The installer ends a silent run with exit code 1, a dialog run with 0.
EXIT_SILENT_DONE = 1
EXIT_DIALOG_CLOSED = 0
BIG_FILE_BYTES = 100 * 1024 * 1024
CORPUS_FILES = 3000
CORPUS_SOURCE = "/usr/include"
STUB_TIMEOUT_SECONDS = 600


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(text):
    print(text, flush=True)


# --- Trees ----------------------------------------------------------------------

def fixed_time(path, seconds, nanoseconds=0):
    ns = seconds * 1_000_000_000 + nanoseconds
    os.utime(path, ns=(ns, ns), follow_symlinks=False)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def big_file(path, size, seed):
    """Blocks of noise between runs of text: some of it deflates, some not."""
    rng = random.Random(seed)
    line = b"a line of text that deflate likes, repeated to fill the block\n"
    with open(path, "wb") as out:
        written = 0
        while written < size:
            block = rng.randbytes(65536) if rng.random() < 0.5 else (line * 1100)[:65536]
            block = block[: size - written]
            out.write(block)
            written += len(block)


def copy_corpus(target, limit):
    """Regular files of CORPUS_SOURCE, sorted, up to limit, times kept."""
    copied = 0
    for folder, dirs, files in os.walk(CORPUS_SOURCE):
        dirs.sort()
        for name in sorted(files):
            source = os.path.join(folder, name)
            if os.path.islink(source) or not os.path.isfile(source):
                continue
            if not all(ord(c) < 0x10000 for c in name) or "\\" in name:
                continue
            relative = os.path.relpath(source, CORPUS_SOURCE)
            destination = os.path.join(target, "corpus", relative)
            os.makedirs(os.path.dirname(destination), exist_ok=True)
            shutil.copy2(source, destination)
            copied += 1
            if copied >= limit:
                return copied
    return copied


def make_tree(root, corpus_files, big_bytes):
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    copied = copy_corpus(root, corpus_files)
    check(copied >= min(corpus_files, 1000), f"only {copied} files found under {CORPUS_SOURCE}")
    write(os.path.join(root, "empty.txt"), b"")
    write(os.path.join(root, "nested", "a", "b", "c", "d", "leaf.txt"), b"deep\n")
    os.makedirs(os.path.join(root, "nested", "empty-folder"))
    os.makedirs(os.path.join(root, "empty-top"))
    write(os.path.join(root, "over-2MiB.bin"), random.Random(1).randbytes(2 * 1024 * 1024 + 12345))
    write(os.path.join(root, "caf\u00e9", "\u65e5\u672c\u8a9e \u0436\u0443\u0440\u043d\u0430\u043b.txt"),
          "non-ASCII names\n".encode())
    write(os.path.join(root, "\u00dcbersicht \u20ac.txt"), b"euro\n")
    read_only = os.path.join(root, "read-only.txt")
    write(read_only, b"read-only\n")
    os.chmod(read_only, 0o444)
    if big_bytes:
        big_file(os.path.join(root, "big.bin"), big_bytes, 2)
    # Times with sub-second parts on everything made here.
    seconds = 1_300_000_000
    for folder, dirs, files in os.walk(root, topdown=False):
        for name in files:
            path = os.path.join(folder, name)
            if "corpus" not in os.path.relpath(path, root).split(os.sep)[:1]:
                fixed_time(path, seconds, 123_456_700)
                seconds += 61
        if os.path.relpath(folder, root).split(os.sep)[0] != "corpus":
            fixed_time(folder, seconds, 987_654_300)
            seconds += 61
    return copied


def snapshot(root):
    entries = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            entries[os.path.relpath(path, root)] = (
                stat.S_ISDIR(st.st_mode), st.st_mtime_ns // 100, not (st.st_mode & stat.S_IWUSR), path)
    return entries


def compare_trees(expected_root, actual_root, folder_times):
    expected = snapshot(expected_root)
    actual = snapshot(actual_root)
    problems = []
    for name, (is_dir, mtime, read_only, path) in sorted(expected.items()):
        if name not in actual:
            problems.append(f"missing: {name}")
            continue
        got_dir, got_mtime, got_read_only, got_path = actual[name]
        if is_dir != got_dir:
            problems.append(f"kind differs: {name}")
            continue
        if not is_dir and not filecmp.cmp(path, got_path, shallow=False):
            problems.append(f"content differs: {name}")
        if (not is_dir or folder_times) and mtime != got_mtime:
            problems.append(f"time differs: {name} ({mtime} vs {got_mtime})")
        if not is_dir and read_only != got_read_only:
            problems.append(f"read-only differs: {name}")
    for name in sorted(set(actual) - set(expected)):
        problems.append(f"unexpected: {name}")
    check(not problems, "trees differ:\n  " + "\n  ".join(problems[:20]))
    return len(expected)


# --- Running --------------------------------------------------------------------

def run(command, *, stdin_text=None, env=None, expect=0, timeout=STUB_TIMEOUT_SECONDS):
    started = time.monotonic()
    result = subprocess.run(command, input=stdin_text, capture_output=True, text=True, env=env, timeout=timeout)
    elapsed = time.monotonic() - started
    if expect is not None:
        check(result.returncode == expect,
              f"{shlex.join(command)} exited {result.returncode}, expected {expect}\n"
              f"stdout: {result.stdout[-2000:]}\nstderr: {result.stderr[-2000:]}")
    return result, elapsed


def make_writable(root):
    for folder, dirs, files in os.walk(root):
        for name in files:
            os.chmod(os.path.join(folder, name), 0o644)


def fresh(path):
    if os.path.exists(path):
        make_writable(path)
        shutil.rmtree(path)
    os.makedirs(path)
    return path


def run_installer_silently(installer, work, name):
    """The installer is packed with --dir %temp%/<name>: TMPDIR picks the place."""
    temp = fresh(os.path.join(work, "tmp-" + name))
    env = dict(os.environ, TMPDIR=temp)
    _, elapsed = run([installer], env=env, expect=EXIT_SILENT_DONE)
    return os.path.join(temp, "extracted"), elapsed


# --- Cases ----------------------------------------------------------------------

def case_levels(args):
    work = args.work
    tree = os.path.join(work, "tree")
    log(f"making the tree in {tree}")
    copied = make_tree(tree, CORPUS_FILES, BIG_FILE_BYTES)
    log(f"  {copied} files from {CORPUS_SOURCE}, a {BIG_FILE_BYTES // (1024 * 1024)} MB file and the edge cases")
    for level in ("0", "1", "6", "9"):
        installer = os.path.join(work, f"level{level}.run")
        _, pack_time = run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", installer, "--level", level,
                            "--silent", "--dir", "%temp%/extracted", tree])
        size = os.path.getsize(installer)
        target, stub_time = run_installer_silently(installer, work, "level" + level)
        entries = compare_trees(tree, target, folder_times=True)
        extracted = fresh(os.path.join(work, "extract-level" + level))
        _, extract_time = run([args.bvsfx, "extract", "-q", installer, "-C", extracted])
        compare_trees(tree, extracted, folder_times=True)
        run([args.bvsfx, "test", "-q", installer])
        log(f"level {level}: {entries} entries, installer {size} bytes; pack {pack_time:.1f} s, "
            f"installer run {stub_time:.1f} s, bvsfx extract {extract_time:.1f} s: identical")
        for path in (target, extracted):
            make_writable(path)
            shutil.rmtree(path)
        if level != "6":
            os.remove(installer)
    # Reproducible: the same inputs with another thread count.
    again = os.path.join(work, "level6-again.run")
    run([args.bvsfx, "pack", "-q", "-j", "1", "--stub", args.stub, "-o", again, "--level", "6",
         "--silent", "--dir", "%temp%/extracted", tree])
    check(filecmp.cmp(again, os.path.join(work, "level6.run"), shallow=False),
          "packing the same tree twice gave different bytes")
    log("packing again with -j 1 gave the same bytes")


def case_passwords(args):
    work = args.work
    # AES-256, the default, on the whole tree; the other key lengths on a
    # smaller one (the key length changes the key, not the data path).
    full = os.path.join(work, "tree")
    copied = make_tree(full, CORPUS_FILES, BIG_FILE_BYTES)
    small = os.path.join(work, "small-tree")
    make_tree(small, 400, 3 * 1024 * 1024)
    log(f"trees: {copied} corpus files with a {BIG_FILE_BYTES // (1024 * 1024)} MB file; 400 corpus files")
    password = "s3cret p\u00e4ss"
    for bits, tree in (("256", full), ("128", small), ("192", small)):
        installer = os.path.join(work, f"aes{bits}.run")
        _, pack_time = run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", installer, "-p", password,
                            "--key-bits", bits, tree])
        extracted = fresh(os.path.join(work, "extract-" + bits))
        _, extract_time = run([args.bvsfx, "extract", "-q", installer, "-C", extracted, "-p", password])
        compare_trees(tree, extracted, folder_times=True)
        run([args.bvsfx, "extract", "-q", installer, "-C", extracted, "-p", "wrong"], expect=8)

        # The installer's dialogs read their answers from standard input
        # when it is not a terminal, a line each: the folder, an empty line
        # for Unzip, then the password; the end of the input closes the
        # dialog (exit code 0).
        target = fresh(os.path.join(work, "installer-" + bits))
        _, stub_time = run([installer], stdin_text=f"{target}\n\n{password}\n", expect=EXIT_DIALOG_CLOSED)
        entries = compare_trees(tree, target, folder_times=True)
        wrong_target = fresh(os.path.join(work, "wrong-" + bits))
        run([installer], stdin_text=f"{wrong_target}\n\nnot the password\n", expect=EXIT_DIALOG_CLOSED)
        check(not os.listdir(wrong_target), "a wrong password still extracted files")
        log(f"AES-{bits}: {entries} entries; pack {pack_time:.1f} s, bvsfx extract {extract_time:.1f} s, "
            f"installer (interactive) {stub_time:.1f} s: identical; a wrong password extracts nothing")
        for path in (extracted, target):
            make_writable(path)
            shutil.rmtree(path)
        os.remove(installer)


def case_windows(args):
    check(args.windows_stub, "--windows-stub is needed for this case")
    work = args.work
    tree = os.path.join(work, "tree")
    copied = make_tree(tree, 200, 3 * 1024 * 1024)
    installer = os.path.join(work, "setup.exe")
    target = fresh(os.path.join(work, "windows-target"))
    # Under Wine drive Z: is the root of the Unix file system.
    windows_target = "Z:" + target.replace("/", "\\")
    run([args.bvsfx, "pack", "-q", "--stub", args.windows_stub, "-o", installer, "--silent", "--dir",
         windows_target, tree])
    runner = shlex.split(args.runner) if args.runner else []
    _, elapsed = run(runner + [installer], expect=EXIT_SILENT_DONE)
    entries = compare_trees(tree, target, folder_times=True)
    log(f"Windows stub: {copied} corpus files, {entries} entries identical (folder times too) after {elapsed:.1f} s")


SETUP_MARKER = "setup-ran.txt"
SETUP_WAIT_SECONDS = 20.0
NO_SETUP_WAIT_SECONDS = 3.0
EXIT_SILENT_INCOMPLETE = 2
DAMAGED_FILE = "stored.bin"
DAMAGED_FILE_BYTES = 4096


def wait_for(path, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            return True
        time.sleep(0.2)
    return os.path.exists(path)


def damaged_stored_run(args, label, stub, runner, windows):
    """A tree with a stored (incompressible) file and a setup program that
    leaves a marker in the folder it runs in. The unchanged installer
    extracts it and launches the setup; with one byte of the stored data
    changed, the run ends with exit 2, the file is gone and nothing is
    launched."""
    work = os.path.join(args.work, "damaged-" + label)
    tree = fresh(os.path.join(work, "tree"))
    write(os.path.join(tree, "docs", "readme.txt"), b"read me\n" * 50)
    write(os.path.join(tree, DAMAGED_FILE), random.Random(16).randbytes(DAMAGED_FILE_BYTES))
    setup = "setup.bat" if windows else "setup.sh"
    script = (b"@echo off\r\necho ran> " + SETUP_MARKER.encode() + b"\r\n" if windows
              else b"#!/bin/sh\necho ran > " + SETUP_MARKER.encode() + b"\n")
    write(os.path.join(tree, setup), script)
    installer = os.path.join(work, "setup.exe" if windows else "setup.run")
    with open(os.path.join(tree, DAMAGED_FILE), "rb") as f:
        stored = f.read()
    outcomes = []
    for damaged in (False, True):
        target = fresh(os.path.join(work, "target-damaged" if damaged else "target"))
        destination = "Z:" + target.replace("/", "\\") if windows else target
        run([args.bvsfx, "pack", "-q", "--stub", stub, "-o", installer, "--silent", "--dir", destination,
             "--setup", setup, tree])
        if damaged:
            with open(installer, "rb") as f:
                image = bytearray(f.read())
            at = image.find(stored)
            check(at > 0 and image.find(stored, at + 1) < 0, "the stored file's data is not in the installer once")
            image[at + DAMAGED_FILE_BYTES // 2] ^= 0x01
            with open(installer, "wb") as f:
                f.write(image)
        result, _ = run(runner + [installer], expect=None)
        marker = os.path.join(target, SETUP_MARKER)
        if not damaged:
            check(result.returncode == EXIT_SILENT_DONE, f"the unchanged installer exited {result.returncode}")
            check(wait_for(marker, SETUP_WAIT_SECONDS), "the unchanged installer did not launch its setup")
            os.remove(marker)
            compare_trees(tree, target, folder_times=False)
            continue
        check(result.returncode == EXIT_SILENT_INCOMPLETE,
              f"the damaged installer exited {result.returncode}, expected {EXIT_SILENT_INCOMPLETE}")
        check(not wait_for(marker, NO_SETUP_WAIT_SECONDS), "the damaged installer launched its setup")
        check(not os.path.exists(os.path.join(target, DAMAGED_FILE)), "the damaged file was left behind")
        outcomes.append(f"{label}: one changed byte of stored data: exit 2, the file deleted, nothing launched")
    for line in outcomes:
        log(line)


def case_damaged(args):
    damaged_stored_run(args, "linux", args.stub, [], windows=False)


def case_windows_damaged(args):
    check(args.windows_stub, "--windows-stub is needed for this case")
    damaged_stored_run(args, "windows", args.windows_stub, shlex.split(args.runner) if args.runner else [],
                       windows=True)


CASES = {"levels": case_levels, "passwords": case_passwords, "windows": case_windows, "damaged": case_damaged,
         "windows-damaged": case_windows_damaged}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bvsfx")
    parser.add_argument("--stub")
    parser.add_argument("--windows-stub")
    parser.add_argument("--runner", default="")
    parser.add_argument("--work")
    parser.add_argument("--case", choices=sorted(CASES))
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    if args.list:
        print("\n".join(sorted(CASES)))
        return 0
    for needed in ("bvsfx", "work", "case"):
        if not getattr(args, needed):
            parser.error(f"--{needed} is required")
    args.work = os.path.abspath(os.path.join(args.work, args.case))
    fresh(args.work)
    try:
        CASES[args.case](args)
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        return 1
    if not args.keep:
        make_writable(args.work)
        shutil.rmtree(args.work)
    print(f"{args.case}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
