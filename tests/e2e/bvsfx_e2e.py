#!/usr/bin/env python3
"""End-to-end runs of bvsfx: real trees packed with `bvsfx pack`, extracted
by the installer itself and by `bvsfx extract`, and compared with the
original byte for byte, with last-write times (to the 100 ns a FILETIME
keeps) and read-only attributes.

    bvsfx_e2e.py --bvsfx BVSFX --stub LINUX_STUB --work DIR --case NAME
                 [--pack E2E_PACK] [--windows-stub STUB.exe --runner "PROGRAM [ARGS]"]
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
               the runner (for example scripts/wine-run) on a smaller tree;
               then, with installers written by e2e-pack (which packs any
               name), what the Windows installer makes of names bvsfx
               refuses: pairs Windows takes for one file (compared with the
               pairs bvsfx pack refuses), a character beyond U+FFFF
  safety       what must never lose data, each case carried out: an output
               that is an input, lies in the input folder or is the stub;
               SIGINT and SIGTERM during a pack and during an extract; a file
               that grows while it is packed (refused, or kept as read with
               --allow-changing); bvsfx extract on a full disk over an
               existing file
  refusals     what bvsfx pack refuses because the installer would fail,
               each checked against the Linux installer itself (installers
               written by e2e-pack): names of 800 bytes and more, a --dir
               that cannot fit, a character beyond U+FFFF; --silent without
               a folder, settings the installer does not read, --strict
  prompt       list, test and extract of an encrypted installer without a
               password on a terminal (a pseudo-terminal): the password is
               asked for and not echoed
  damaged      an installer with one changed byte in a stored file's data,
               run silently: exit 2, the damaged file deleted again, the
               setup program not launched (the unchanged installer launches
               it); with the Linux stub
  windows-damaged  the same with the Windows stub through the runner
  windows-tool bvsfx.exe (--windows-bvsfx) through the runner: pack (drive
               letters, backslashes and non-ASCII names on its command line),
               list, info, test and extract round trips; its installer
               compared entry for entry (names, times, attributes, sizes,
               packed sizes) with the one the Linux bvsfx packs from the same
               tree, tested sound by the Linux bvsfx, and run silently; the
               progress bar on a console (Wine makes one of a pseudo-terminal)
               and none into a pipe
  unix         execute bits and other modes, and symbolic links (one
               through "..", a dangling one): the Linux installer and bvsfx
               extract keep the modes (setuid left out) and make the links
               as links, also over links planted in the destination, which
               are replaced and not followed; --dereference packs what links
               point to

Folder times are compared too: the installer and bvsfx extract both set a
folder's packed time once everything inside it is written.
"""
import argparse
import filecmp
import os
import pty
import random
import re
import resource
import select
import signal
import shlex
import shutil
import stat
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_common import Failure, check, log, make_writable  # noqa: E402

# The installer ends a silent run with exit code 1, a dialog run with 0.
EXIT_SILENT_DONE = 1
EXIT_DIALOG_CLOSED = 0
BIG_FILE_BYTES = 100 * 1024 * 1024
CORPUS_FILES = 3000
CORPUS_SOURCE = "/usr/include"
STUB_TIMEOUT_SECONDS = 600


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

def run(command, *, stdin_text=None, env=None, expect=0, timeout=STUB_TIMEOUT_SECONDS, cwd=None):
    started = time.monotonic()
    result = subprocess.run(command, input=stdin_text, capture_output=True, text=True, env=env, timeout=timeout,
                            cwd=cwd)
    elapsed = time.monotonic() - started
    if expect is not None:
        check(result.returncode == expect,
              f"{shlex.join(command)} exited {result.returncode}, expected {expect}\n"
              f"stdout: {result.stdout[-2000:]}\nstderr: {result.stderr[-2000:]}")
    return result, elapsed


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
    windows_unix_records(args, work, runner)
    if args.pack:
        windows_names(args, work, runner)


def windows_unix_records(args, work, runner):
    """A tree with modes and links: the Windows installer extracts every file
    and folder and leaves the links out (it never reads the Unix records)."""
    tree = fresh(os.path.join(work, "unix-tree"))
    os.rmdir(tree)
    unix_tree(tree)
    target = fresh(os.path.join(work, "windows-unix-target"))
    installer = os.path.join(work, "unix-setup.exe")
    result, _ = run([args.bvsfx, "pack", "-q", "--stub", args.windows_stub, "-o", installer, "--silent", "--dir",
                     "Z:" + target.replace("/", "\\"), tree])
    check("3 symbolic links packed as links: the Windows installer does not create links" in result.stderr,
          result.stderr)
    run(runner + [installer], expect=EXIT_SILENT_DONE)
    found = sorted(os.path.relpath(os.path.join(folder, name), target)
                   for folder, dirs, files in os.walk(target) for name in dirs + files)
    expected = ["bin", "bin/setup.sh", "bin/suid", "bin/tool", "lib", "lib/libx.so.1", "private", "private/key"]
    check(found == expected, f"the Windows installer made {found}, expected {expected}")
    check(not any(os.path.islink(os.path.join(target, name)) for name in found), "a link was made")
    log("Windows stub: a payload with Unix modes and links extracts its files and folders, the links left out")


# Pairs of names, each with whether bvsfx takes them for one file on Windows
# (two names whose units map to the same upper-case units).
WINDOWS_NAME_PAIRS = (
    ("A.txt", "a.txt"), ("\u00c9.txt", "\u00e9.txt"), ("\u00ff.txt", "\u0178.txt"), ("\u03c2.txt", "\u03a3.txt"),
    ("\u0436.txt", "\u0416.txt"), ("\u01c6.txt", "\u01c4.txt"), ("\uff41.txt", "\uff21.txt"),
    ("\u00df.txt", "SS.txt"), ("a1.txt", "a2.txt"),
)


def windows_names(args, work, runner):
    """What the Windows installer makes of names bvsfx refuses for it, from
    an installer written by e2e-pack: every pair the installer makes one
    file of must be a pair bvsfx refuses (a pair bvsfx accepts must give two
    files). Wine's own comparison is not quite Windows' upper-case rule: it
    keeps a few pairs apart that the rule joins (final sigma and capital
    sigma); bvsfx refuses those too, and they are listed. A character beyond
    U+FFFF is dropped from the name."""
    tree = os.path.join(work, "names-tree")
    for index, (first, second) in enumerate(WINDOWS_NAME_PAIRS):
        write(os.path.join(tree, f"pair{index}", first), b"first\n")
        write(os.path.join(tree, f"pair{index}", second), b"second\n")
    write(os.path.join(tree, "emoji", "x\U0001F600.txt"), b"emoji\n")
    target = fresh(os.path.join(work, "names-target"))
    installer = os.path.join(work, "names.exe")
    run([args.pack, "--stub", args.windows_stub, "--out", installer, "--tree", tree, "--set", "noInterface=true",
         "--set", "unzipDir=Z:" + target.replace("/", "\\")])
    run(runner + [installer], expect=EXIT_SILENT_DONE)
    for index, (first, second) in enumerate(WINDOWS_NAME_PAIRS):
        single = os.path.join(tree, f"pair{index}-alone")
        write(os.path.join(single, first), b"first\n")
        write(os.path.join(single, second), b"second\n")
        result, _ = run([args.bvsfx, "pack", "-q", "--stub", args.windows_stub, "-o", single + ".exe", single],
                        expect=None)
        refused = result.returncode == BVSFX_LIMITS and "are one file on Windows" in result.stderr
        check(refused or result.returncode == 0, f"{first} / {second}: bvsfx exit {result.returncode}: {result.stderr}")
        made = sorted(os.listdir(os.path.join(target, f"pair{index}")))
        one_file = len(made) == 1
        check(refused or not one_file, f"{first} / {second}: the Windows installer made one file of them, "
              f"{made}, yet bvsfx accepted the pair")
        note = "" if one_file == refused else " (Wine keeps them apart; the upper-case rule joins them)"
        log(f"  {first} / {second}: the installer made {len(made)} file(s); bvsfx "
            f"{'refuses' if refused else 'accepts'}{note}")
    made = sorted(os.listdir(os.path.join(target, "emoji")))
    check(made == ["x.txt"], f"the Windows installer made {made} of x\U0001F600.txt")
    log("  x\U0001F600.txt: the Windows installer makes x.txt; bvsfx refuses the name")


# bvsfx's exit codes (tools/bvsfx/ExitCode.h).
BVSFX_USAGE = 2
BVSFX_INPUT = 3
BVSFX_LIMITS = 4
BVSFX_OUTPUT = 5
BVSFX_DAMAGED = 7
# The Linux stub ends a silent run that stopped early with exit code 2.
EXIT_SILENT_STOPPED = 2


def partial_files(folder):
    return sorted(name for name in os.listdir(folder) if ".bvsfx-partial" in name)


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.01)
    raise Failure("timed out waiting for " + what)


def check_refused(result, code, message, label):
    check(result.returncode == code, f"{label}: exit {result.returncode}, expected {code}\nstderr: {result.stderr}")
    check(message in result.stderr, f"{label}: {message!r} not in stderr:\n{result.stderr}")


def interrupt_pack(args, work, number):
    """Starts a pack of a slow input, sends the signal once the temporary
    file exists, and checks that the temporary file is gone and the old
    output untouched."""
    output = os.path.join(work, "interrupted.run")
    write(output, b"the previous installer")
    command = [args.bvsfx, "pack", "-q", "-j", "1", "--level", "9", "--stub", args.stub, "-o", output,
               os.path.join(work, "slow")]
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    wait_for(lambda: partial_files(work) or process.poll() is not None, 60, "the temporary output")
    check(process.poll() is None, "the pack ended before it could be interrupted")
    time.sleep(0.3)
    process.send_signal(number)
    _, stderr = process.communicate(timeout=60)
    check(process.returncode == -number, f"pack ended with {process.returncode} after signal {number}: {stderr}")
    check(not partial_files(work), f"left after signal {number}: {partial_files(work)}")
    with open(output, "rb") as old:
        check(old.read() == b"the previous installer", "the old output changed")
    return process.returncode


def case_safety(args):
    work = args.work
    # An output that is an input, lies in the input folder, or is the stub.
    os.makedirs(os.path.join(work, "oi"))
    write(os.path.join(work, "oi", "notes.txt"), b"notes\n")
    write(os.path.join(work, "solo.txt"), b"the only copy\n")
    stub_copy = shutil.copy(args.stub, os.path.join(work, "mystub3"))
    for label, command, message in (
            ("output is a file of the input folder", ["-o", "oi/notes.txt", "--stub", args.stub, "oi"],
             "lies inside the input folder oi"),
            ("output is the input", ["-o", "solo.txt", "--stub", args.stub, "solo.txt"], "is the input solo.txt"),
            ("output is the stub", ["--stub", "./mystub3", "-o", "mystub3", "solo.txt"], "is the stub ./mystub3")):
        result, _ = run([args.bvsfx, "pack"] + command, expect=None, cwd=work)
        check_refused(result, BVSFX_USAGE, message, label)
    with open(os.path.join(work, "oi", "notes.txt"), "rb") as notes, open(os.path.join(work, "solo.txt"), "rb") as solo:
        check(notes.read() == b"notes\n" and solo.read() == b"the only copy\n", "an input changed")
    check(filecmp.cmp(stub_copy, args.stub, shallow=False), "the stub changed")
    log("output that is an input, inside the input folder, or the stub: exit 2, nothing changed")

    # Ctrl-C and SIGTERM in the middle of a pack.
    slow = os.path.join(work, "slow")
    os.makedirs(slow)
    big_file(os.path.join(slow, "big.bin"), 200 * 1024 * 1024, 3)
    for number in (signal.SIGINT, signal.SIGTERM):
        interrupt_pack(args, work, number)
    log("SIGINT and SIGTERM during a pack: the temporary output removed, the old output untouched")

    # A file that grows while it is read: refused, or packed as read.
    growing = os.path.join(work, "growing")
    os.makedirs(growing)
    grower_path = os.path.join(growing, "log.bin")
    big_file(grower_path, 100 * 1024 * 1024, 4)
    for allow in (False, True):
        stop = threading.Event()
        growing_started = threading.Event()

        # Appends 64 KiB every 10 ms until the pack has ended (at most 10
        # minutes): the pack starts only after the first append, so its
        # listing and its reading always see later ones, however slowly it
        # starts and however fast it reads.
        def grow():
            block = random.Random(5).randbytes(64 * 1024)
            with open(grower_path, "ab") as out:
                for _ in range(60000):
                    if stop.is_set():
                        return
                    out.write(block)
                    out.flush()
                    growing_started.set()
                    time.sleep(0.01)

        installer = os.path.join(work, "growing.run")
        command = [args.bvsfx, "pack", "-q", "-j", "1", "--level", "1", "--stub", args.stub, "-o", installer, growing]
        if allow:
            command.insert(2, "--allow-changing")
        grower = threading.Thread(target=grow)
        grower.start()
        growing_started.wait()
        result, _ = run(command, expect=None)
        stop.set()
        grower.join()
        if not allow:
            check_refused(result, BVSFX_INPUT, grower_path + ": changed while it was read", "growing file")
            check(not os.path.exists(installer) and not partial_files(work), "a refused pack left a file")
            log(f"a file growing while packed: exit 3 ({result.stderr.strip().splitlines()[-1][:150]}...)")
        else:
            check(result.returncode == 0 and "changed while it was read" in result.stderr and
                  "packed as it was read" in result.stderr, f"--allow-changing: {result.returncode} {result.stderr}")
            run([args.bvsfx, "test", "-q", installer])
            extracted = fresh(os.path.join(work, "growing-out"))
            run([args.bvsfx, "extract", "-q", installer, "-C", extracted])
            size = os.path.getsize(os.path.join(extracted, "log.bin"))
            log(f"with --allow-changing: exit 0, a warning, stored as read ({size} bytes), test OK")

    # bvsfx extract over an existing file, on a full disk and interrupted.
    tree = os.path.join(work, "extract-tree")
    os.makedirs(tree)
    big_file(os.path.join(tree, "data.bin"), 7 * 1024 * 1024, 6)
    installer = os.path.join(work, "extract.run")
    run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", installer, tree])
    target = fresh(os.path.join(work, "extract-target"))
    old = random.Random(7).randbytes(6 * 1024 * 1024)
    write(os.path.join(target, "data.bin"), old)

    def cap():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (2 * 1024 * 1024, 2 * 1024 * 1024))

    result = subprocess.run([args.bvsfx, "extract", "-q", installer, "-C", target], capture_output=True, text=True,
                            preexec_fn=cap, restore_signals=False)
    check_refused(result, BVSFX_OUTPUT, "an old file of that name is left as it was", "extract on a full disk")
    with open(os.path.join(target, "data.bin"), "rb") as kept:
        check(kept.read() == old, "the old file changed")
    check(not partial_files(target), f"left behind: {partial_files(target)}")
    log("bvsfx extract on a full disk: exit 5, the old 6 MB file intact, no temporary file")

    slow_installer = os.path.join(work, "slow.run")
    run([args.bvsfx, "pack", "-q", "--level", "0", "--stub", args.stub, "-o", slow_installer, slow])
    slow_target = fresh(os.path.join(work, "slow-target"))
    write(os.path.join(slow_target, "big.bin"), b"old")

    process = subprocess.Popen([args.bvsfx, "extract", "-q", slow_installer, "-C", slow_target],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    wait_for(lambda: partial_files(slow_target) or process.poll() is not None, 60, "the temporary file")
    check(process.poll() is None, "the extract ended before it could be interrupted")
    process.send_signal(signal.SIGTERM)
    process.communicate(timeout=60)
    check(process.returncode == -signal.SIGTERM, f"extract ended with {process.returncode}")
    check(not partial_files(slow_target), f"left after SIGTERM: {partial_files(slow_target)}")
    with open(os.path.join(slow_target, "big.bin"), "rb") as kept:
        check(kept.read() == b"old", "the old file changed")
    log("SIGTERM during an extract: the temporary file removed, the old file intact")


def pack_by_hand(args, tree, installer, settings=()):
    """An installer written by e2e-pack, which packs any name bvsfx refuses."""
    check(args.pack, "--pack (e2e-pack) is needed for this case")
    command = [args.pack, "--stub", args.stub, "--out", installer, "--tree", tree]
    for setting in settings:
        command += ["--set", setting]
    run(command)


def case_refusals(args):
    work = args.work
    # Names: 799 bytes are extracted by the installer, 800 stop it.
    folders = "/".join(["a" * 200, "b" * 200, "c" * 200, "d" * 190])
    for total, stub_exit in ((799, EXIT_SILENT_DONE), (800, EXIT_SILENT_STOPPED)):
        tree = os.path.join(work, f"name-{total}")
        name = folders + "/" + "f" * (total - len(folders) - 5) + ".txt"
        check(len(name) == total, "test set-up")
        write(os.path.join(tree, name), b"x")
        destination = fresh(os.path.join(work, f"out-{total}"))
        installer = os.path.join(work, f"name-{total}.run")
        pack_by_hand(args, tree, installer, ("noInterface=true", "unzipDir=" + destination))
        run([installer], expect=stub_exit)
        extracted = os.path.exists(os.path.join(destination, name))
        check(extracted == (total == 799), f"the installer with a {total}-byte name: extracted {extracted}")
        result, _ = run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", installer + ".bvsfx", tree],
                        expect=None)
        if total == 799:
            check(result.returncode == 0, f"bvsfx refused a 799-byte name: {result.stderr}")
        else:
            check_refused(result, BVSFX_LIMITS, "the installer takes names of at most 799 bytes", "800-byte name")
            check(not os.path.exists(installer + ".bvsfx"), "an output was written")
    log("names: the installer extracts 799 bytes and stops at 800; bvsfx packs 799 and refuses 800 (exit 4)")

    tree = os.path.join(work, "tree")
    write(os.path.join(tree, "a.txt"), b"a")
    # 822 bytes in folders of 100, below the work folder (their parents do
    # not exist, so only the installer's own folder functions could make it).
    long_dir = os.path.join(work, "long-dir")
    while len(long_dir) + 101 < 822:
        long_dir += "/" + "d" * 100
    long_dir += "/" + "e" * (822 - len(long_dir) - 1)
    check(len(long_dir) == 822, "test set-up")
    installer = os.path.join(work, "long-dir.run")
    pack_by_hand(args, tree, installer, ("noInterface=true", "unzipDir=" + long_dir))
    run([installer], expect=EXIT_SILENT_STOPPED)
    result, _ = run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", installer + ".bvsfx", "--silent", "--dir",
                     long_dir, tree], expect=None)
    check_refused(result, BVSFX_LIMITS, "--dir is 822 bytes long", "an 822-byte --dir")
    log("an 822-byte --dir: the installer stops (exit 2); bvsfx refuses it (exit 4)")

    # A character beyond U+FFFF: the installer drops it from the names it
    # creates (a file and a folder), so bvsfx refuses it.
    emoji = "\U0001F600"
    tree = os.path.join(work, "emoji")
    write(os.path.join(tree, "file" + emoji + ".txt"), b"file\n")
    write(os.path.join(tree, "dir" + emoji, "inner.txt"), b"inner\n")
    destination = fresh(os.path.join(work, "emoji-out"))
    installer = os.path.join(work, "emoji.run")
    pack_by_hand(args, tree, installer, ("noInterface=true", "unzipDir=" + destination))
    run([installer], expect=None)
    created = sorted(os.path.relpath(os.path.join(folder, name), destination)
                     for folder, dirs, files in os.walk(destination) for name in dirs + files)
    check(created == ["dir", os.path.join("dir", "inner.txt"), "file.txt"],
          f"the installer made {created} of names with U+1F600")
    result, _ = run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", installer + ".bvsfx", tree], expect=None)
    check_refused(result, BVSFX_LIMITS, "beyond U+FFFF, which the installers (Windows and Linux) drop", "U+1F600")
    log(f"U+1F600 in names: the Linux installer creates {created}; bvsfx refuses them (exit 4)")

    # Settings.
    tree = os.path.join(work, "tree")
    for label, options, code, message in (
            ("--silent without a folder", ["--silent"], BVSFX_USAGE, "--silent needs --dir or --temp"),
            ("unknown setting", ["--set", "unzipdir=/tmp/x"], 0, "did you mean unzipDir?"),
            ("flag read as off", ["--set", "noInterface=yes"], 0, "this value means off"),
            ("strict", ["--strict", "--set", "noInterface=yes"], BVSFX_LIMITS, "--strict: 1 warning"),
            ("key bits without password", ["--key-bits", "128"], BVSFX_USAGE, "--key-bits without a password"),
            ("--cleanup without --wait", ["--temp", "--cleanup"], BVSFX_USAGE, "--cleanup needs --wait"),
            ("cleanupAfterSetup set without waiting", ["--set", "cleanupAfterSetup=TRUE"], BVSFX_USAGE,
             "--cleanup needs --wait")):
        output = os.path.join(work, "settings.run")
        if os.path.exists(output):
            os.remove(output)
        result, _ = run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", output] + options + [tree],
                        expect=None)
        check_refused(result, code, message, label)
        check(os.path.exists(output) == (code == 0), f"{label}: output {'missing' if code == 0 else 'written'}")
    log("--silent without a folder: exit 2; unknown or misread settings: warnings; --strict: exit 4; "
        "--cleanup without --wait: exit 2")


def case_empty_root(args):
    # The Linux installer is one static file: in a root that holds only the
    # installer, /proc and /tmp (no loader, no libraries) it extracts, and
    # it names no interpreter and no shared library.
    work = fresh(os.path.join(args.work, "empty-root"))
    tree = os.path.join(work, "tree")
    write(os.path.join(tree, "docs", "a.txt"), b"alpha\n")
    root = os.path.join(work, "root")
    for folder in ("proc", "tmp"):
        os.makedirs(os.path.join(root, folder))
    installer = os.path.join(root, "installer")
    run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", installer, "--silent", "--dir", "/tmp/out", tree])
    headers, _ = run(["readelf", "-d", "-l", args.stub])
    check("INTERP" not in headers.stdout and "(NEEDED)" not in headers.stdout,
          f"the Linux stub needs a loader or libraries:\n{headers.stdout}")
    for tool in ("unshare", "chroot", "mount"):
        check(shutil.which(tool) is not None, f"{tool} is missing: install util-linux and coreutils")
    script = f"mount -t proc proc '{root}/proc' && exec chroot '{root}' /installer"
    run(["unshare", "-r", "-m", "-p", "-f", "sh", "-c", script], expect=EXIT_SILENT_DONE)
    extracted = os.path.join(root, "tmp", "out", "docs", "a.txt")
    check(os.path.isfile(extracted) and open(extracted, "rb").read() == b"alpha\n",
          "the installer did not extract in the empty root")
    log("the Linux installer has no interpreter and no NEEDED entry, and extracts in a root holding only itself, /proc and /tmp")


def case_wait(args):
    # --wait --cleanup: bvsfx writes the two settings, info shows them as read
    # by the installer, and the installer (silent, in a generated folder)
    # exits with the setup program's code and leaves no folder behind.
    work = fresh(os.path.join(args.work, "wait"))
    tree = os.path.join(work, "tree")
    write(os.path.join(tree, "data.txt"), b"data\n")
    write(os.path.join(tree, "setup.sh"), b"#!/bin/sh\nsleep 1\nexit 42\n")
    installer = os.path.join(work, "wait.run")
    run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", installer, "--silent", "--temp", "--setup",
         "setup.sh", "--wait", "--cleanup", tree])
    info, _ = run([args.bvsfx, "info", installer])
    for line in ('waitForSetup = "true"', 'cleanupAfterSetup = "true"'):
        shown = [text for text in info.stdout.splitlines() if line in text]
        check(len(shown) == 1 and "not used" not in shown[0], f"info shows {shown} for {line}:\n{info.stdout}")
    temp = fresh(os.path.join(work, "tmp"))
    result, elapsed = run([installer], env=dict(os.environ, TMPDIR=temp), expect=42)
    check(os.listdir(temp) == [], f"left in the temporary folder: {os.listdir(temp)}")
    check(elapsed >= 1.0, f"the installer ended after {elapsed:.2f} s, before its setup program")
    log(f"--wait --cleanup: exit 42 after {elapsed:.2f} s, nothing left in the temporary folder")


def case_installer_options(args):
    # The installer's own options are on unless packed with
    # --no-installer-options (allowCommandLine=false); info says which, and
    # an installer packed with it runs as without arguments.
    work = fresh(os.path.join(args.work, "installer-options"))
    tree = os.path.join(work, "tree")
    write(os.path.join(tree, "data.txt"), b"data\n")
    write(os.path.join(tree, "setup.sh"), b"#!/bin/sh\nexit 42\n")
    for label, extra, info_line, list_exit in (
            ("on", [], "the installer takes --help, --list, --check, --target, --noexec, --quiet and --", 0),
            ("off", ["--no-installer-options"], "the installer's own options are off (allowCommandLine)", 42)):
        installer = os.path.join(work, label + ".run")
        run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", installer, "--silent", "--dir",
             os.path.join(work, "dest-" + label), "--setup", "setup.sh", "--wait"] + extra + [tree])
        info, _ = run([args.bvsfx, "info", installer])
        check("Command line:    " + info_line in info.stdout, f"{label}: info says:\n{info.stdout}")
        check("Setup program:   waited for" in info.stdout, f"{label}: info says:\n{info.stdout}")
        if extra:
            shown = [text for text in info.stdout.splitlines() if 'allowCommandLine = "false"' in text]
            check(len(shown) == 1 and "not used" not in shown[0], f"info shows {shown}:\n{info.stdout}")
        result, _ = run([installer, "--list"], expect=list_exit)
        check(("data.txt" in result.stdout) == (label == "on"), f"{label}: --list printed {result.stdout!r}")
        check(os.path.exists(os.path.join(work, "dest-" + label)) == (label == "off"),
              f"{label}: the destination {'is missing' if label == 'off' else 'was created'}")
    log("installer options: on by default (--list exit 0), off with --no-installer-options (the silent run, exit 42)")


def unix_tree(root):
    """Executables, a private folder, links (relative, through "..", one
    that points nowhere) and a setuid file."""
    write(os.path.join(root, "bin", "tool"), b"#!/bin/sh\necho tool ran\n")
    write(os.path.join(root, "bin", "setup.sh"), b"#!/bin/sh\n[ -x bin/tool ] && bin/tool > setup-ran.txt\n")
    write(os.path.join(root, "bin", "suid"), b"x")
    write(os.path.join(root, "lib", "libx.so.1"), b"library\n")
    write(os.path.join(root, "private", "key"), b"key\n")
    for name, mode in (("bin/tool", 0o755), ("bin/setup.sh", 0o755), ("bin/suid", 0o4755),
                       ("private/key", 0o600), ("private", 0o700)):
        os.chmod(os.path.join(root, name), mode)
    os.symlink("libx.so.1", os.path.join(root, "lib", "libx.so"))
    os.symlink("../lib/libx.so", os.path.join(root, "bin", "lib-link"))
    os.symlink("not-there", os.path.join(root, "dangling"))


def case_unix(args):
    # The Linux installer keeps modes and recreates links as links, also
    # where links were planted in its destination; the setup program finds
    # its tool executable. bvsfx extract does the same.
    work = fresh(os.path.join(args.work, "unix"))
    tree = os.path.join(work, "tree")
    unix_tree(tree)
    dest = os.path.join(work, "dest")
    outside = os.path.join(work, "outside")
    write(os.path.join(outside, "victim.txt"), b"victim\n")
    os.chmod(os.path.join(outside, "victim.txt"), 0o600)
    os.makedirs(dest)
    os.symlink(outside, os.path.join(dest, "lib"))                               # a folder on the way
    os.symlink(os.path.join(outside, "victim.txt"), os.path.join(dest, "dangling"))  # a link's name
    os.symlink(os.path.join(outside, "victim.txt"), os.path.join(dest, "bin-tool"))  # unrelated, left alone
    installer = os.path.join(work, "unix.run")
    run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", installer, "--silent", "--dir", dest,
         "--setup", "bin/setup.sh", tree])
    old_mask = os.umask(0o022)
    try:
        run([installer], expect=EXIT_SILENT_DONE)
        extracted = os.path.join(work, "extracted")
        run([args.bvsfx, "extract", "-q", "-C", extracted, installer])
    finally:
        os.umask(old_mask)
    wait_for_file(os.path.join(dest, "setup-ran.txt"), 10)
    check(open(os.path.join(dest, "setup-ran.txt"), "rb").read() == b"tool ran\n", "the setup program's tool did not run")
    modes = {"bin/tool": 0o755, "bin/setup.sh": 0o755, "bin/suid": 0o755, "private/key": 0o600, "private": 0o700,
             "lib/libx.so.1": 0o644}
    links = {"lib/libx.so": "libx.so.1", "bin/lib-link": "../lib/libx.so", "dangling": "not-there"}
    for root in (dest, extracted):
        for name, mode in modes.items():
            actual = os.lstat(os.path.join(root, name)).st_mode & 0o7777
            check(actual == mode, f"{root}: {name} has mode {actual:o}, expected {mode:o}")
        for name, target in links.items():
            path = os.path.join(root, name)
            check(os.path.islink(path) and os.readlink(path) == target,
                  f"{root}: {name} is not a link to {target}")
    check(open(os.path.join(dest, "bin", "lib-link"), "rb").read() == b"library\n", "the link through .. is broken")
    check(os.listdir(outside) == ["victim.txt"] and open(os.path.join(outside, "victim.txt"), "rb").read() == b"victim\n"
          and os.lstat(os.path.join(outside, "victim.txt")).st_mode & 0o777 == 0o600,
          f"the run changed what lies outside the destination: {os.listdir(outside)}")
    check(not os.path.islink(os.path.join(dest, "lib")), "the planted folder link is still there")
    log("Linux installer and bvsfx extract: execute bits and modes kept (setuid left out), "
        "links recreated as links, planted links replaced and not followed")

    # --dereference: what the links point to, as files; the dangling link
    # stops the pack.
    result, _ = run([args.bvsfx, "pack", "-q", "--dereference", "--stub", args.stub, "-o",
                     os.path.join(work, "deref.run"), tree], expect=3)
    check("dangling: the link points nowhere" in result.stderr, result.stderr)
    os.remove(os.path.join(tree, "dangling"))
    run([args.bvsfx, "pack", "-q", "--dereference", "--stub", args.stub, "-o", os.path.join(work, "deref.run"), tree])
    deref = os.path.join(work, "deref")
    run([args.bvsfx, "extract", "-q", "-C", deref, os.path.join(work, "deref.run")])
    check(not os.path.islink(os.path.join(deref, "lib", "libx.so")) and
          open(os.path.join(deref, "lib", "libx.so"), "rb").read() == b"library\n", "--dereference kept a link")
    log("--dereference packs what the links point to; a dangling link stops it (exit 3)")


def run_on_terminal(command, answer):
    """Runs the command on a pseudo-terminal, types the answer once the
    prompt appears; returns the exit code and everything the terminal
    showed."""
    pid, fd = pty.fork()
    if pid == 0:
        try:
            os.execv(command[0], command)
        finally:
            os._exit(127)
    shown = b""
    typed = False
    while True:
        ready, _, _ = select.select([fd], [], [], 30)
        if not ready:
            os.kill(pid, signal.SIGKILL)
            raise Failure(f"no output from {shlex.join(command)}; so far: {shown!r}")
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        shown += chunk
        if not typed and b"Password for " in shown:
            os.write(fd, answer.encode() + b"\n")
            typed = True
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    return os.waitstatus_to_exitcode(status), shown.decode(errors="replace")


def case_prompt(args):
    work = args.work
    tree = os.path.join(work, "tree")
    write(os.path.join(tree, "secret.txt"), b"secret content\n")
    installer = os.path.join(work, "locked.run")
    password = "typed pa55"
    run([args.bvsfx, "pack", "-q", "--stub", args.stub, "-o", installer, "-p", password, tree])
    target = os.path.join(work, "out")
    for label, command, answer, code in (
            ("list", ["list", installer], password, 0),
            ("test", ["test", "-q", installer], password, 0),
            ("extract", ["extract", "-q", installer, "-C", target], password, 0),
            ("wrong password", ["test", "-q", installer], "not it", 8)):
        status, shown = run_on_terminal([args.bvsfx] + command, answer)
        check(status == code, f"{label}: exit {status}, expected {code}; terminal: {shown!r}")
        check(f"Password for {installer}: " in shown, f"{label}: no prompt: {shown!r}")
        check(answer not in shown, f"{label}: the password was echoed: {shown!r}")
    with open(os.path.join(target, "secret.txt"), "rb") as extracted:
        check(extracted.read() == b"secret content\n", "extracted content differs")
    log("list, test and extract on a terminal ask for the password without echo; a wrong one gives exit 8")


SETUP_MARKER = "setup-ran.txt"
SETUP_WAIT_SECONDS = 20.0
NO_SETUP_WAIT_SECONDS = 3.0
EXIT_SILENT_INCOMPLETE = 2
DAMAGED_FILE = "stored.bin"
DAMAGED_FILE_BYTES = 4096


def wait_for_file(path, seconds):
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
            check(wait_for_file(marker, SETUP_WAIT_SECONDS), "the unchanged installer did not launch its setup")
            os.remove(marker)
            compare_trees(tree, target, folder_times=False)
            continue
        check(result.returncode == EXIT_SILENT_INCOMPLETE,
              f"the damaged installer exited {result.returncode}, expected {EXIT_SILENT_INCOMPLETE}")
        check(not wait_for_file(marker, NO_SETUP_WAIT_SECONDS), "the damaged installer launched its setup")
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


def console_output(command):
    """What a program writes on a terminal (under Wine, a console), with the
    terminal's control sequences taken out."""
    controller, terminal = pty.openpty()
    process = subprocess.Popen(command, stdin=terminal, stdout=terminal, stderr=terminal)
    os.close(terminal)
    output = b""
    while True:
        ready, _, _ = select.select([controller], [], [], STUB_TIMEOUT_SECONDS)
        if not ready:
            break
        try:
            data = os.read(controller, 65536)
        except OSError:  # the terminal is gone with the program
            break
        if not data:
            break
        output += data
    os.close(controller)
    check(process.wait(timeout=STUB_TIMEOUT_SECONDS) == 0, f"{shlex.join(command)} failed on a terminal")
    return re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", output.decode("utf-8", "replace"))


def windows_path(path):
    """The path under Wine, where drive Z: is the root of the Unix file system."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def listing_rows(text):
    """bvsfx list's entry lines, without the heading and the summary line
    and with the line ends of either system."""
    rows = [line for line in text.replace("\r\n", "\n").split("\n") if line.strip()]
    return rows[1:-1]


def case_windows_tool(args):
    check(args.windows_bvsfx, "--windows-bvsfx is needed for this case")
    check(args.windows_stub, "--windows-stub is needed for this case")
    runner = shlex.split(args.runner) if args.runner else []
    work = args.work
    tree = os.path.join(work, "tree")
    copied = make_tree(tree, 200, 3 * 1024 * 1024)
    # Wine shows a name that starts with a dot as hidden: the one attribute
    # bit that bvsfx.exe reads and the Linux bvsfx cannot.
    write(os.path.join(tree, "nested", ".hidden"), b"dot file\n")
    fixed_time(os.path.join(tree, "nested", ".hidden"), 1_300_000_000)
    fixed_time(os.path.join(tree, "nested"), 1_300_000_000)
    tool = runner + [args.windows_bvsfx]
    # Non-ASCII names reach bvsfx.exe only through the UTF-16 command line.
    windows_installer = os.path.join(work, "s\u00e9tup \u65e5\u672c.exe")
    linux_installer = os.path.join(work, "linux-setup.exe")
    run_target = os.path.join(work, "run-target")
    settings = ["--silent", "--dir", windows_path(run_target), "--title", "Caf\u00e9"]
    run(tool + ["pack", "-q", "--stub", windows_path(args.windows_stub), "-o", windows_path(windows_installer)]
        + settings + [windows_path(tree)])
    run([args.bvsfx, "pack", "-q", "--stub", args.windows_stub, "-o", linux_installer] + settings + [tree])

    # Entry for entry: the Linux bvsfx lists both installers.
    windows_rows = listing_rows(run([args.bvsfx, "list", windows_installer])[0].stdout)
    linux_rows = listing_rows(run([args.bvsfx, "list", linux_installer])[0].stdout)
    check(len(windows_rows) == len(linux_rows) and len(windows_rows) > copied,
          f"{len(windows_rows)} entries from bvsfx.exe, {len(linux_rows)} from the Linux bvsfx")
    # Columns: date, time, attributes (drhsa), Unix mode, size, packed size,
    # name. The mode is the one column that differs: only a pack on Linux
    # records Unix modes (bvsfx.exe writes no Unix records, "-").
    differing = []
    for w, l in zip(windows_rows, linux_rows):
        wf, lf = w.split(None, 6), l.split(None, 6)
        if wf[6] == "nested/.hidden":
            check((wf[2], lf[2]) == ("--h-a", "----a"), f"nested/.hidden: attributes {wf[2]} from bvsfx.exe, "
                  f"{lf[2]} from the Linux bvsfx; expected --h-a and ----a")
            wf[2] = lf[2]
        if wf[:3] + wf[4:] != lf[:3] + lf[4:] or wf[3] != "-" or not lf[3].isdigit():
            differing.append((w, l))
    check(not differing, "entries differ (bvsfx.exe, then Linux bvsfx):\n  " +
          "\n  ".join(f"{w}\n  {l}" for w, l in differing[:10]))
    log(f"bvsfx.exe: {len(windows_rows)} entries equal to the Linux bvsfx's (time, attributes, size, packed size, "
        f"name; the Unix mode only in the Linux pack)")

    # bvsfx.exe reads what it wrote as the Linux bvsfx does.
    own_list = listing_rows(run(tool + ["list", windows_path(windows_installer)])[0].stdout)
    check(own_list == windows_rows, "bvsfx.exe list differs from the Linux bvsfx list of the same installer")
    info = run(tool + ["info", windows_path(windows_installer)])[0].stdout
    check("Caf\u00e9" in info, f"the title is not in bvsfx.exe info:\n{info}")
    run(tool + ["test", windows_path(windows_installer)])
    run([args.bvsfx, "test", windows_installer])
    target = fresh(os.path.join(work, "extracted \u00fc"))
    run(tool + ["extract", "-q", windows_path(windows_installer), "-C", windows_path(target)])
    entries = compare_trees(tree, target, folder_times=True)
    log(f"bvsfx.exe: list, info, test and extract of its own installer; {entries} entries extracted identical")

    # A damaged copy is damage to bvsfx.exe too.
    damaged = os.path.join(work, "damaged.exe")
    data = bytearray(open(windows_installer, "rb").read())
    data[len(data) - 200] ^= 0x55
    open(damaged, "wb").write(bytes(data))
    result, _ = run(tool + ["test", windows_path(damaged)], expect=None)
    check(result.returncode == BVSFX_DAMAGED, f"bvsfx.exe test of a damaged installer: exit {result.returncode}")

    # The progress bar: drawn on a console (Wine makes one of a terminal),
    # never into a pipe.
    console = console_output(tool + ["pack", "--stub", "win64", "-o", windows_path(os.path.join(work, "bar.exe")),
                                     windows_path(tree)])
    check(re.search(r"pack +\[[#.]+\] +[0-9.]+%", console), f"no progress bar on the console:\n{console[-600:]}")
    piped, _ = run(tool + ["pack", "--stub", "win64", "-o", windows_path(os.path.join(work, "bar2.exe")),
                           windows_path(tree)])
    check("%" not in piped.stderr, f"a progress bar went into a pipe:\n{piped.stderr[-600:]}")
    log("bvsfx.exe: the progress bar on a console, none into a pipe")

    # The installer bvsfx.exe wrote runs.
    run(runner + [windows_installer], expect=EXIT_SILENT_DONE)
    compare_trees(tree, run_target, folder_times=True)
    log("bvsfx.exe: its installer, run silently, made the tree")


CASES = {"levels": case_levels, "passwords": case_passwords, "windows": case_windows, "safety": case_safety,
         "refusals": case_refusals, "prompt": case_prompt, "damaged": case_damaged,
         "windows-damaged": case_windows_damaged, "wait": case_wait, "empty-root": case_empty_root, "installer-options": case_installer_options,
         "unix": case_unix, "windows-tool": case_windows_tool}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bvsfx")
    parser.add_argument("--stub")
    parser.add_argument("--pack", help="e2e-pack, for installers with names bvsfx refuses")
    parser.add_argument("--windows-stub")
    parser.add_argument("--windows-bvsfx", help="bvsfx.exe, run through the runner")
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
