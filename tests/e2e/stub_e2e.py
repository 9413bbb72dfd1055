#!/usr/bin/env python3
"""End-to-end runs of the stub: pack a folder tree behind a stub with
e2e-pack, run the installer silently in a scratch folder, and compare what
it extracted with the tree, byte for byte, with last-write times and
read-only attributes; check the exit code and the launch of the setup
program.

    stub_e2e.py --stub STUB --pack E2E_PACK --work DIR --case NAME
                [--runner "PROGRAM [ARGS]"] [--windows-paths]
    stub_e2e.py --check-no-marker FILE...

--runner is put in front of the installer's command line (for example the
Wine wrapper for a Windows stub). --windows-paths hands folder settings to
the stub as Windows paths (drive Z: is the root of the Unix file system, as
under Wine). --list prints the case names.

Exit codes of the stub: 1 after a silent run, 2 when a silent run stopped
because the archive is damaged or incomplete (no setup program is then
launched).
"""
import argparse
import os
import random
import resource
import shlex
import shutil
import signal
import subprocess
import sys
import time

MARKER = bytes.fromhex("481290bf49ff91aa")
SETUP_MARKER = "setup-ran.txt"
# The setup program starts detached; this is how long a run waits for its
# marker file to appear, and how long a run that must not launch it waits
# before deciding that it did not.
SETUP_WAIT_SECONDS = 20.0
NO_SETUP_WAIT_SECONDS = 2.0
STUB_TIMEOUT_SECONDS = 300

EXIT_SILENT_DONE = 1
EXIT_SILENT_INCOMPLETE = 2


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# --- The tree that is packed --------------------------------------------------

def pattern(length, seed):
    rng = random.Random(seed)
    return bytes(rng.getrandbits(8) for _ in range(length))


def text(length):
    line = b"The quick brown fox jumps over the lazy dog 0123456789\n"
    return (line * (length // len(line) + 1))[:length]


SETUP_SCRIPT = (
    "#!/bin/sh\n"
    "# Written by the end-to-end tests: records how the stub launched it.\n"
    "{ printf 'args=%s\\n' \"$*\"; printf 'cwd=%s\\n' \"$(pwd -P)\"; } > " + SETUP_MARKER + ".tmp\n"
    "mv " + SETUP_MARKER + ".tmp " + SETUP_MARKER + "\n"
)

SETUP_BATCH = (
    "@echo off\r\n"
    "echo args=%*> " + SETUP_MARKER + "\r\n"
    "echo cwd=%CD%>> " + SETUP_MARKER + "\r\n"
)


def make_tree(root, setup_name):
    """A tree with nested and empty folders, empty, small, compressible,
    random and multi-chunk files, a read-only file, distinct times."""
    files = {
        "readme.txt": b"hello\n",
        "empty.bin": b"",
        "docs/manual.txt": text(300000),
        "docs/deep/er/random.bin": pattern(150000, 1),
        "docs/deep/er/tiny": b"x",
        "read-only.txt": b"do not change\n",
        "space name/file with spaces.txt": b"spaces\n",
    }
    if setup_name.endswith(".sh"):
        files[setup_name] = SETUP_SCRIPT.encode()
    elif setup_name.endswith(".bat"):
        files[setup_name] = SETUP_BATCH.encode()
    os.makedirs(os.path.join(root, "empty folder"))
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    # Distinct whole-second times, files first, then folders deepest first
    # (writing a file changes its folder's time).
    stamp = 1000000000
    for dirpath, dirnames, filenames in os.walk(root):
        for name in sorted(filenames):
            stamp += 3601
            os.utime(os.path.join(dirpath, name), (stamp, stamp))
    for dirpath, dirnames, filenames in sorted(os.walk(root), key=lambda w: -w[0].count(os.sep)):
        if dirpath == root:
            continue
        stamp += 86400
        os.utime(dirpath, (stamp, stamp))
    os.chmod(os.path.join(root, "read-only.txt"), 0o444)


def describe_tree(root, skip=()):
    """{relative path: (kind, bytes, mtime in seconds, read-only)}"""
    result = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, root)
            if rel in skip:
                continue
            st = os.lstat(path)
            is_dir = os.path.isdir(path)
            data = b"" if is_dir else open(path, "rb").read()
            read_only = (st.st_mode & 0o222) == 0 if not is_dir else False
            result[rel] = ("dir" if is_dir else "file", data, st.st_mtime_ns // 10**9, read_only)
    return result


def compare_trees(expected_root, actual_root, skip=()):
    expected = describe_tree(expected_root)
    actual = describe_tree(actual_root, skip)
    check(sorted(actual) == sorted(expected),
          "extracted entries differ: missing %s, unexpected %s"
          % (sorted(set(expected) - set(actual)), sorted(set(actual) - set(expected))))
    for rel, (kind, data, mtime, read_only) in expected.items():
        a_kind, a_data, a_mtime, a_read_only = actual[rel]
        check(a_kind == kind, "%s: %s instead of %s" % (rel, a_kind, kind))
        check(a_data == data, "%s: content differs (%d bytes, expected %d)" % (rel, len(a_data), len(data)))
        # A folder gets its time before its contents are written, and writing
        # them moves it again: only files and empty folders keep theirs.
        if kind == "file" or not any(other.startswith(rel + os.sep) for other in expected):
            check(a_mtime == mtime, "%s: last-write time %d, expected %d" % (rel, a_mtime, mtime))
        check(a_read_only == read_only, "%s: read-only %s, expected %s" % (rel, a_read_only, read_only))


# --- Running ------------------------------------------------------------------

class Context:
    def __init__(self, args, case):
        self.args = args
        self.scratch = os.path.join(os.path.abspath(args.work), case)
        remove_tree(self.scratch)
        os.makedirs(self.scratch)
        self.tree = os.path.join(self.scratch, "tree")
        self.temp = os.path.join(self.scratch, "tmp")
        self.unix_temp = os.path.join(self.scratch, "unix-tmp")
        self.cwd = os.path.join(self.scratch, "cwd")
        for folder in (self.tree, self.temp, self.unix_temp, self.cwd):
            os.makedirs(folder)
        if args.windows_paths:
            self.temp = self.windows_temp_folder()
        self.setup_name = "setup.bat" if args.windows_paths else "setup.sh"
        make_tree(self.tree, self.setup_name)

    def windows_temp_folder(self):
        """The temporary-files folder a Windows stub sees under the runner,
        as a Unix path (the runner's own environment decides it)."""
        def run(*command):
            result = subprocess.run(shlex.split(self.args.runner) + list(command), capture_output=True,
                                    stdin=subprocess.DEVNULL, timeout=STUB_TIMEOUT_SECONDS)
            return result.stdout.decode(errors="replace").strip()
        windows = run("cmd", "/c", "echo", "%TEMP%")
        unix = run("winepath", "-u", windows)
        check(os.path.isdir(unix), "cannot find the runner's temporary folder (%r, %r)" % (windows, unix))
        return unix.rstrip("/")

    def stub_path(self, path):
        """A folder as the stub should be told it."""
        if not self.args.windows_paths:
            return path
        return "Z:" + path.replace("/", "\\")

    def pack(self, settings, extra=()):
        installer = os.path.join(self.scratch, "installer" + (".exe" if self.args.windows_paths else ""))
        return pack_installer(self.args.pack, self.args.stub, installer, self.tree, settings, extra)

    def run(self, installer, limit_file_bytes=None):
        env = dict(os.environ)
        # The Linux stub takes its temporary folder from TMPDIR. A Windows
        # stub under a runner has the runner's own (see windows_temp_folder);
        # TMPDIR then only keeps the runner's files out of the way.
        env["TMPDIR"] = (self.unix_temp if self.args.windows_paths else self.temp) + "/"
        command = shlex.split(self.args.runner or "") + [installer]

        def limit():
            # A file-size limit stands in for a full disk; the signal it
            # raises is ignored so that the write comes back short.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit_file_bytes, limit_file_bytes))

        result = subprocess.run(command, cwd=self.cwd, env=env, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=STUB_TIMEOUT_SECONDS,
                                preexec_fn=limit if limit_file_bytes else None,
                                restore_signals=not limit_file_bytes)
        self.stderr = result.stderr.decode(errors="replace")
        return result.returncode

    def expect_exit(self, code, expected):
        check(code == expected, "exit code %d, expected %d; stderr:\n%s" % (code, expected, self.stderr))


def pack_installer(pack_tool, stub, installer, tree, settings, extra=()):
    """Writes an installer of the tree with e2e-pack: settings are (name,
    value) pairs, extra further e2e-pack arguments. Returns its path."""
    command = [pack_tool, "--stub", stub, "--out", installer, "--tree", tree]
    for name, value in settings:
        command += ["--set", "%s=%s" % (name, value)]
    subprocess.run(command + list(extra), check=True)
    return installer


def remove_tree(root):
    make_writable(root)
    shutil.rmtree(root, ignore_errors=True)


def make_writable(root):
    if os.path.isdir(root):
        for dirpath, dirnames, filenames in os.walk(root):
            for name in filenames + dirnames:
                try:
                    os.chmod(os.path.join(dirpath, name), 0o755)
                except OSError:
                    pass


def wait_for_setup(folder):
    path = os.path.join(folder, SETUP_MARKER)
    deadline = time.monotonic() + SETUP_WAIT_SECONDS
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path, "r", errors="replace") as f:
                return dict(line.rstrip("\r\n").split("=", 1) for line in f if "=" in line)
        time.sleep(0.05)
    raise Failure("the setup program did not run in %s" % folder)


def expect_no_setup(folder):
    time.sleep(NO_SETUP_WAIT_SECONDS)
    check(not os.path.exists(os.path.join(folder, SETUP_MARKER)),
          "the setup program ran although the extraction was incomplete")


def silent_settings(ctx, unzip_dir, params="alpha beta", no_interface="true"):
    # "noInterface" counts in any letter case.
    settings = [("noInterface", no_interface), ("setupFilename", ctx.setup_name)]
    if params:
        settings.append(("setupParams", params))
    if unzip_dir is not None:
        settings.append(("unzipDir", unzip_dir))
    return settings


def extract_and_compare(ctx, unzip_dir, dest, extra=(), settings=None):
    installer = ctx.pack(settings or silent_settings(ctx, unzip_dir), extra)
    ctx.expect_exit(ctx.run(installer), EXIT_SILENT_DONE)
    launch = wait_for_setup(dest)
    compare_trees(ctx.tree, dest, skip=(SETUP_MARKER,))
    return launch


# --- Cases --------------------------------------------------------------------

def case_silent_tree(ctx):
    dest = os.path.join(ctx.scratch, "dest")
    launch = extract_and_compare(ctx, ctx.stub_path(dest), dest)
    check(launch.get("args") == "alpha beta", "setup parameters %r" % launch.get("args"))
    if not ctx.args.windows_paths:
        check(launch.get("cwd") == os.path.realpath(dest), "setup ran in %r" % launch.get("cwd"))


def case_encrypted_tree(ctx):
    # Silent runs cannot ask for the password: an encrypted payload extracts
    # nothing and launches nothing, and the run still ends normally.
    dest = os.path.join(ctx.scratch, "dest")
    installer = ctx.pack(silent_settings(ctx, ctx.stub_path(dest)), ["--password", "pw", "--key-bits", "256"])
    ctx.expect_exit(ctx.run(installer), EXIT_SILENT_DONE)
    check(not os.path.exists(dest), "an encrypted payload was extracted without a password")


def case_temp_placeholder(ctx):
    # "%TEMP%\App": the temporary-files folder (with its trailing separator)
    # followed by App, slashes folded.
    dest = os.path.join(ctx.temp, "App")
    remove_tree(dest)  # a runner's temporary folder outlives the case
    settings = silent_settings(ctx, "%TEMP%\\App", no_interface="TRUE")
    extract_and_compare(ctx, None, dest, settings=settings)
    remove_tree(dest)


def case_unc_style(ctx):
    # Two leading backslashes fold to one slash: \\tmp\x\dest is /tmp/x/dest.
    dest = os.path.join(ctx.scratch, "unc dest")
    check(dest.startswith("/"), "scratch folder must be absolute")
    unc = "\\\\" + dest[1:].replace("/", "\\")
    extract_and_compare(ctx, None, dest, settings=silent_settings(ctx, unc, no_interface="True"))


def case_generated_temp(ctx):
    # No unzipDir, unzipToTemp: a new bvz_XXXX folder in the temporary folder.
    settings = silent_settings(ctx, None) + [("unzipToTemp", "TRUE")]
    installer = ctx.pack(settings)
    before = set(os.listdir(ctx.temp))
    ctx.expect_exit(ctx.run(installer), EXIT_SILENT_DONE)
    made = sorted(set(os.listdir(ctx.temp)) - before)
    check(len(made) == 1, "expected one new folder in the temporary folder, found %s" % made)
    name = made[0]
    check(len(name) == 8 and name.startswith("bvz_") and
          all(c in "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789" for c in name[4:]),
          "generated folder name %r" % name)
    dest = os.path.join(ctx.temp, name)
    wait_for_setup(dest)
    compare_trees(ctx.tree, dest, skip=(SETUP_MARKER,))
    remove_tree(dest)


def case_missing_setup(ctx):
    dest = os.path.join(ctx.scratch, "dest")
    settings = [("noInterface", "true"), ("setupFilename", "not-packed.exe"), ("unzipDir", ctx.stub_path(dest))]
    installer = ctx.pack(settings)
    ctx.expect_exit(ctx.run(installer), EXIT_SILENT_DONE)
    compare_trees(ctx.tree, dest)
    if not ctx.args.windows_paths:
        expected = "Failed to run not-packed.exe (check to see if this file is in the EXE)"
        check(expected in ctx.stderr, "message box text missing; stderr:\n%s" % ctx.stderr)


def damaged_case(damage):
    def run(ctx):
        dest = os.path.join(ctx.scratch, "dest")
        installer = ctx.pack(silent_settings(ctx, ctx.stub_path(dest)), ["--damage", damage])
        ctx.expect_exit(ctx.run(installer), EXIT_SILENT_INCOMPLETE)
        expect_no_setup(dest)
        # Entries before the damage stay: the first packed file is complete.
        check(open(os.path.join(dest, "docs", "manual.txt"), "rb").read() == text(300000),
              "entries before the damage were not kept")
    return run


def case_full_disk(ctx):
    # Writes stop at 200,000 bytes per file: docs/manual.txt cannot be
    # written completely.
    dest = os.path.join(ctx.scratch, "dest")
    installer = ctx.pack(silent_settings(ctx, ctx.stub_path(dest)))
    ctx.expect_exit(ctx.run(installer, limit_file_bytes=200000), EXIT_SILENT_INCOMPLETE)
    expect_no_setup(dest)
    check(os.path.getsize(os.path.join(dest, "docs", "manual.txt")) == 200000, "short file size")


def case_uncreatable_destination(ctx):
    # The destination lies below a file, so it can be neither created nor
    # entered: the run stops before extracting anything, rather than
    # writing the files into the folder it was started from.
    blocker = os.path.join(ctx.scratch, "blocker")
    with open(blocker, "w") as f:
        f.write("a file where a folder is needed")
    before = sorted(os.listdir(ctx.cwd))
    installer = ctx.pack(silent_settings(ctx, ctx.stub_path(os.path.join(blocker, "dest"))))
    ctx.expect_exit(ctx.run(installer), EXIT_SILENT_INCOMPLETE)
    expect_no_setup(ctx.cwd)
    check(sorted(os.listdir(ctx.cwd)) == before, "files appeared in the folder the installer was started from: %s"
          % sorted(set(os.listdir(ctx.cwd)) - set(before)))


CASES = {
    "silent-tree": case_silent_tree,
    "encrypted-silent": case_encrypted_tree,
    "temp-placeholder": case_temp_placeholder,
    "unc-style": case_unc_style,
    "generated-temp": case_generated_temp,
    "missing-setup": case_missing_setup,
    "damaged-truncated": damaged_case("truncated"),
    "damaged-bad-magic": damaged_case("bad-magic"),
    "damaged-oversized-chunk": damaged_case("oversized-chunk"),
    "damaged-bad-deflate": damaged_case("bad-deflate"),
    "full-disk": case_full_disk,
    "uncreatable-destination": case_uncreatable_destination,
}


def check_no_marker(paths):
    ok = True
    for path in paths:
        image = open(path, "rb").read()
        if MARKER in image:
            print("%s: the payload marker occurs at offset %d" % (path, image.index(MARKER)), file=sys.stderr)
            ok = False
        else:
            print("%s: %d bytes, no marker" % (path, len(image)))
    return 0 if ok else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--stub")
    parser.add_argument("--pack")
    parser.add_argument("--work")
    parser.add_argument("--case", choices=sorted(CASES))
    parser.add_argument("--runner", default="")
    parser.add_argument("--windows-paths", action="store_true")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--check-no-marker", nargs="+", metavar="FILE")
    args = parser.parse_args()
    if args.list:
        print("\n".join(sorted(CASES)))
        return 0
    if args.check_no_marker:
        return check_no_marker(args.check_no_marker)
    if not (args.stub and args.pack and args.work and args.case):
        parser.error("--stub, --pack, --work and --case are required")
    try:
        CASES[args.case](Context(args, args.case))
    except Failure as failure:
        print("FAILED %s: %s" % (args.case, failure), file=sys.stderr)
        return 1
    print("passed %s" % args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
