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
launched), 3 when every entry was written but the setup program could not be
started; with waitForSetup, after a launch, the setup program's own code.
The installer's own options (the options-* cases): 0 after --help, --list
and a sound --check, 2 for damage, 4 for a password not accepted, 5 for a
command line that cannot be carried out.

The attack cases carry out what another local user could try: folders and
links planted at every name the generated temporary folder can have, links
planted in an existing destination, programs of the setup program's name on
PATH, beside the installer and in the folder it is started from.
"""
import argparse
import itertools
import os
import random
import resource
import shlex
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_common import Failure, check, make_writable, remove_tree  # noqa: E402

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
EXIT_SETUP_NOT_STARTED = 3

NAME_CHARS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
# An unprivileged user to play the other local user of the attacks.
OTHER_UID = 65534


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


# A setup program that ends with its own exit code, after a pause long
# enough that a stub which did not wait would have exited before it.
SETUP_EXIT_CODE = 42
WAITED_SETUP_SCRIPT = (
    "#!/bin/sh\n"
    "sleep 1\n"
    "echo ended > " + SETUP_MARKER + "\n"
    "exit " + str(SETUP_EXIT_CODE) + "\n"
)
WAITED_SETUP_BATCH = (
    "@echo off\r\n"
    "ping -n 2 127.0.0.1 > nul\r\n"
    "echo ended> " + SETUP_MARKER + "\r\n"
    "exit " + str(SETUP_EXIT_CODE) + "\r\n"
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

    def run(self, installer, limit_file_bytes=None, path_prefix=None, extra_env=None, arguments=(),
            stdin_text=None):
        env = dict(os.environ, **(extra_env or {}))
        if path_prefix:
            env["PATH"] = path_prefix + os.pathsep + env.get("PATH", "")
        # The Linux stub takes its temporary folder from TMPDIR. A Windows
        # stub under a runner has the runner's own (see windows_temp_folder);
        # TMPDIR then only keeps the runner's files out of the way.
        env["TMPDIR"] = (self.unix_temp if self.args.windows_paths else self.temp) + "/"
        command = shlex.split(self.args.runner or "") + [installer] + list(arguments)

        def limit():
            # A file-size limit stands in for a full disk; the signal it
            # raises is ignored so that the write comes back short.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit_file_bytes, limit_file_bytes))

        # Output goes to files, not pipes: a setup program started detached
        # inherits them, and a pipe would keep the run waiting for its end.
        with open(os.path.join(self.scratch, "stdout.txt"), "w+b") as out, \
                open(os.path.join(self.scratch, "stderr.txt"), "w+b") as err, \
                open(os.path.join(self.scratch, "stdin.txt"), "w+b") as given:
            given.write((stdin_text or "").encode())
            given.seek(0)
            result = subprocess.run(command, cwd=self.cwd, env=env,
                                    stdin=given if stdin_text is not None else subprocess.DEVNULL,
                                    stdout=out, stderr=err, timeout=STUB_TIMEOUT_SECONDS,
                                    preexec_fn=limit if limit_file_bytes else None,
                                    restore_signals=not limit_file_bytes)
            err.seek(0)
            self.stderr = err.read().decode(errors="replace")
            out.seek(0)
            self.stdout = out.read().decode(errors="replace")
        return result.returncode

    def expect_exit(self, code, expected):
        check(code == expected, "exit code %d, expected %d; stdout:\n%s\nstderr:\n%s"
              % (code, expected, self.stdout, self.stderr))


def pack_installer(pack_tool, stub, installer, tree, settings, extra=()):
    """Writes an installer of the tree with e2e-pack: settings are (name,
    value) pairs, extra further e2e-pack arguments. Returns its path."""
    command = [pack_tool, "--stub", stub, "--out", installer, "--tree", tree]
    for name, value in settings:
        command += ["--set", "%s=%s" % (name, value)]
    subprocess.run(command + list(extra), check=True)
    return installer


def remove_file(path):
    if os.path.lexists(path):
        os.remove(path)


def wait_for_setup(folder, last_key="cwd"):
    """The setup program's report, once its last line (last_key; None: the
    file's existence is enough) is written: the batch file writes its lines
    one by one, and the run may end before it has."""
    path = os.path.join(folder, SETUP_MARKER)
    deadline = time.monotonic() + SETUP_WAIT_SECONDS
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path, "r", errors="replace") as f:
                report = dict(line.rstrip("\r\n").split("=", 1) for line in f if "=" in line)
            if last_key is None or last_key in report:
                return report
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


def plant_impostors(ctx, name):
    """Programs of the setup program's name on PATH, beside the installer and
    in the folder it is started from; returns (PATH folder, the file any of
    them writes when run)."""
    ran = os.path.join(ctx.scratch, "impostor-ran.txt")
    bin_dir = os.path.join(ctx.scratch, "bin")
    os.makedirs(bin_dir)
    for folder in (bin_dir, ctx.scratch, ctx.cwd):
        impostor = os.path.join(folder, name)
        with open(impostor, "w") as f:
            if ctx.args.windows_paths:
                f.write("@echo off\r\necho %%CD%%> %s\r\n" % ctx.stub_path(ran))
            else:
                f.write("#!/bin/sh\npwd > '%s'\n" % ran)
        os.chmod(impostor, 0o755)
    return bin_dir, ran


def expect_no_impostor(ran):
    check(not os.path.exists(ran), "a program outside the destination ran as the setup program: %s"
          % (open(ran).read().strip() if os.path.exists(ran) else ""))


def case_missing_setup(ctx):
    # The setup program was not packed, but programs of its name wait on
    # PATH, beside the installer and in the folder the installer is started
    # from: none of them may run, only a program in the destination could.
    # The silent run says so with its exit code.
    dest = os.path.join(ctx.scratch, "dest")
    name = "not-packed.bat" if ctx.args.windows_paths else "not-packed.sh"
    bin_dir, ran = plant_impostors(ctx, name)
    settings = [("noInterface", "true"), ("setupFilename", name), ("unzipDir", ctx.stub_path(dest))]
    installer = ctx.pack(settings)
    ctx.expect_exit(ctx.run(installer, path_prefix=bin_dir), EXIT_SETUP_NOT_STARTED)
    compare_trees(ctx.tree, dest)
    time.sleep(NO_SETUP_WAIT_SECONDS)
    expect_no_impostor(ran)
    if not ctx.args.windows_paths:
        expected = "Failed to run %s (check to see if this file is in the EXE)" % name
        check(expected in ctx.stderr, "message box text missing; stderr:\n%s" % ctx.stderr)


def case_setup_impostors(ctx):
    # The packed setup program runs from the destination, not one of the same
    # name on PATH, beside the installer or in the starting folder.
    dest = os.path.join(ctx.scratch, "dest")
    bin_dir, ran = plant_impostors(ctx, ctx.setup_name)
    installer = ctx.pack(silent_settings(ctx, ctx.stub_path(dest)))
    ctx.expect_exit(ctx.run(installer, path_prefix=bin_dir), EXIT_SILENT_DONE)
    launch = wait_for_setup(dest)
    expect_no_impostor(ran)
    if not ctx.args.windows_paths:
        check(launch.get("cwd") == os.path.realpath(dest), "setup ran in %r" % launch.get("cwd"))


# DLLs that the system loads on demand by name and that a Downloads folder
# may hold beside the installer. (Not version.dll: Wine's own user32 imports
# it, so Wine loads it before any line of the installer runs; Windows' user32
# has no such import.)
PLANTED_DLLS = ("uxtheme", "dwmapi", "cryptbase")
MINGW_CC = "x86_64-w64-mingw32-gcc"


def case_planted_dlls(ctx):
    # DLLs beside the installer, with the loader told to prefer them over
    # its own (as Windows does for DLLs that are not Known DLLs): the
    # installer must load none of them.
    check(ctx.args.windows_paths, "planted-dlls is a case for a Windows stub")
    check(shutil.which(MINGW_CC) is not None, "%s is missing: install gcc-mingw-w64-x86-64-posix (scripts/bootstrap does)" % MINGW_CC)
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "planted_dll.c")
    for name in PLANTED_DLLS:
        subprocess.run([MINGW_CC, "-shared", "-o", os.path.join(ctx.scratch, name + ".dll"), source], check=True)
    report = os.path.join(ctx.scratch, "report")
    os.makedirs(report)
    dest = os.path.join(ctx.scratch, "dest")
    installer = ctx.pack(silent_settings(ctx, ctx.stub_path(dest)))
    overrides = ",".join(PLANTED_DLLS) + "=n,b;mscoree,mshtml="
    ctx.expect_exit(ctx.run(installer, extra_env={"WINEDLLOVERRIDES": overrides,
                                                   "PLANTED_DLL_REPORT": ctx.stub_path(report)}), EXIT_SILENT_DONE)
    wait_for_setup(dest)
    check(os.listdir(report) == [], "planted DLLs ran inside the installer: %s" % sorted(os.listdir(report)))


def plant_links(ctx, dest, folder_links):
    """Links in the destination to a file and a folder outside it, and a
    dangling one; returns the folder outside."""
    outside = os.path.join(ctx.scratch, "outside")
    os.makedirs(os.path.join(outside, "folder"))
    with open(os.path.join(outside, "victim.txt"), "wb") as f:
        f.write(b"the victim's own file\n")
    os.makedirs(os.path.join(dest, "space name"))
    os.symlink(os.path.join(outside, "victim.txt"), os.path.join(dest, "readme.txt"))
    os.symlink(os.path.join(outside, "dangling"), os.path.join(dest, "space name", "file with spaces.txt"))
    if folder_links:
        os.symlink(os.path.join(outside, "folder"), os.path.join(dest, "docs"))
        os.symlink(os.path.join(outside, "folder"), os.path.join(dest, "empty folder"))
    return outside


def links_case(folder_links):
    # Links that stand in the destination before the run: the run replaces
    # them by what it extracts and changes nothing outside. Under Wine a Unix
    # link to a folder cannot be removed without touching its target (Wine
    # opens the target): there the run refuses (exit 2) instead.
    def run(ctx):
        dest = os.path.join(ctx.scratch, "dest")
        outside = plant_links(ctx, dest, folder_links)
        before = describe_tree(outside)
        if folder_links and ctx.args.windows_paths:
            installer = ctx.pack(silent_settings(ctx, ctx.stub_path(dest)))
            ctx.expect_exit(ctx.run(installer), EXIT_SILENT_INCOMPLETE)
            expect_no_setup(dest)
        else:
            extract_and_compare(ctx, ctx.stub_path(dest), dest)
            for rel in ("readme.txt", "docs", "empty folder", "space name/file with spaces.txt"):
                check(not os.path.islink(os.path.join(dest, rel)), "%s is still a link" % rel)
        check(describe_tree(outside) == before, "the run changed what lies outside the destination: %s"
              % sorted(set(describe_tree(outside)) ^ set(before)))
        check(not os.path.lexists(os.path.join(outside, "dangling")), "a file was created through a dangling link")
    return run


def case_reinstall_read_only(ctx):
    # Running the same installer again into the same folder replaces the
    # files of the first run, the read-only one too.
    dest = os.path.join(ctx.scratch, "dest")
    installer = ctx.pack(silent_settings(ctx, ctx.stub_path(dest)))
    for run in (1, 2):
        remove_file(os.path.join(dest, SETUP_MARKER))
        ctx.expect_exit(ctx.run(installer), EXIT_SILENT_DONE)
        wait_for_setup(dest)
        compare_trees(ctx.tree, dest, skip=(SETUP_MARKER,))


def generated_folders(folder):
    return sorted(n for n in os.listdir(folder) if n.startswith("bvz_") and len(n) == 8)


def case_private_generated_temp(ctx):
    # The generated folder is the user's alone: another user can neither list
    # it nor read a file extracted (perhaps deciphered) into it.
    settings = silent_settings(ctx, None) + [("unzipToTemp", "true")]
    installer = ctx.pack(settings)
    ctx.expect_exit(ctx.run(installer), EXIT_SILENT_DONE)
    made = generated_folders(ctx.temp)
    check(len(made) == 1, "expected one generated folder, found %s" % made)
    dest = os.path.join(ctx.temp, made[0])
    wait_for_setup(dest)
    mode = os.lstat(dest).st_mode & 0o7777
    check(mode == 0o700, "the generated folder has mode %o, expected 700" % mode)
    if os.geteuid() == 0:
        # Root plays the other user for real.
        result = subprocess.run(["cat", os.path.join(dest, "readme.txt")], capture_output=True,
                                preexec_fn=lambda: (os.setgid(OTHER_UID), os.setuid(OTHER_UID)))
        check(result.returncode != 0 and b"hello" not in result.stdout,
              "another user read a file in the generated folder")
    else:
        print("not root: the other user's read is not tried; the folder's mode 700 was checked")
    remove_tree(dest)


PLANT_INNER_ENV = "BRIVANE_E2E_PLANT_INNER"


def plant_every_name(temp, attacker):
    """Another user's folders and links at every name of the generated form:
    world-writable folders, each 16th a link to the attacker's folder, each
    256th a file."""
    old_umask = os.umask(0)
    try:
        for index, chars in enumerate(itertools.product(NAME_CHARS, repeat=4)):
            path = os.path.join(temp, "bvz_" + "".join(chars))
            if index % 256 == 5:
                open(path, "w").close()
            elif index % 16 == 3:
                os.symlink(attacker, path)
            else:
                os.mkdir(path, 0o777)
    finally:
        os.umask(old_umask)


def case_planted_temp_names(ctx):
    # Every name the generated folder can have is taken: the run must refuse
    # (exit 2) rather than use a folder or link someone else put there. The
    # 1,679,616 names are planted on a tmpfs of a mount namespace of our own.
    # The mount point lies beside the case's scratch folder, which the run in
    # the namespace makes anew.
    mount_point = ctx.scratch + "-tmpfs"
    if os.environ.get(PLANT_INNER_ENV) != "1":
        os.makedirs(mount_point, exist_ok=True)
        namespaces = ["--mount", "--propagation", "private"]
        if os.geteuid() != 0:
            namespaces = ["--user", "--map-root-user"] + namespaces
        script = ("mount -t tmpfs -o size=2g,nr_inodes=4000000 bvsfx-plant \"$1\" && shift && exec \"$@\"")
        command = (["unshare"] + namespaces + ["sh", "-c", script, "sh", mount_point, sys.executable,
                   os.path.abspath(__file__)] + sys.argv[1:])
        result = subprocess.run(command, env=dict(os.environ, **{PLANT_INNER_ENV: "1"}), capture_output=True)
        sys.stdout.write(result.stdout.decode(errors="replace"))
        stderr = result.stderr.decode(errors="replace")
        # The run inside exits 1 when a check failed; anything else means that
        # the namespace could not be made.
        check(result.returncode != 1, stderr)
        check(result.returncode == 0, "could not plant in a mount namespace of our own (exit %d): unshare "
              "(util-linux) and user namespaces are needed\n%s" % (result.returncode, stderr))
        return
    ctx.temp = os.path.join(mount_point, "tmp")
    attacker = os.path.join(mount_point, "attacker")
    os.makedirs(ctx.temp)
    os.makedirs(attacker, 0o777)
    started = time.monotonic()
    plant_every_name(ctx.temp, attacker)
    print("planted %d names in %.1f s" % (len(NAME_CHARS) ** 4, time.monotonic() - started))
    installer = ctx.pack(silent_settings(ctx, None) + [("unzipToTemp", "true")])
    ctx.expect_exit(ctx.run(installer), EXIT_SILENT_INCOMPLETE)
    check(os.listdir(attacker) == [], "files were written into the attacker's folder: %s" % os.listdir(attacker)[:5])
    for name in ("bvz_0000", "bvz_AAAA", "bvz_ZZZZ", "bvz_A0B1"):
        path = os.path.join(ctx.temp, name)
        check(os.path.islink(path) or os.path.isfile(path) or os.listdir(path) == [],
              "a planted folder was used: %s" % name)


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


def waited_setup(ctx):
    """Replaces the packed setup program by one that pauses, records its end
    and exits with SETUP_EXIT_CODE."""
    with open(os.path.join(ctx.tree, ctx.setup_name), "w", newline="") as f:
        f.write(WAITED_SETUP_BATCH if ctx.args.windows_paths else WAITED_SETUP_SCRIPT)


def case_wait_exit_code(ctx):
    # waitForSetup ("TRUE" counts, as for the other flags): the run ends only
    # after the setup program, and with its exit code.
    waited_setup(ctx)
    dest = os.path.join(ctx.scratch, "dest")
    installer = ctx.pack(silent_settings(ctx, ctx.stub_path(dest)) + [("waitForSetup", "TRUE")])
    ctx.expect_exit(ctx.run(installer), SETUP_EXIT_CODE)
    check(os.path.exists(os.path.join(dest, SETUP_MARKER)), "the run ended before the setup program did")
    compare_trees(ctx.tree, dest, skip=(SETUP_MARKER,))


def case_no_wait_unchanged(ctx):
    # Without waitForSetup nothing changes: the run exits 1 while the setup
    # program still runs, and cleanupAfterSetup alone removes nothing.
    waited_setup(ctx)
    settings = silent_settings(ctx, None) + [("unzipToTemp", "true"), ("cleanupAfterSetup", "true")]
    installer = ctx.pack(settings)
    before = set(os.listdir(ctx.temp))
    ctx.expect_exit(ctx.run(installer), EXIT_SILENT_DONE)
    made = sorted(set(os.listdir(ctx.temp)) - before)
    check(len(made) == 1, "expected one new folder in the temporary folder, found %s" % made)
    dest = os.path.join(ctx.temp, made[0])
    check(not os.path.exists(os.path.join(dest, SETUP_MARKER)), "the run waited for the setup program")
    wait_for_setup(dest, last_key=None)
    compare_trees(ctx.tree, dest, skip=(SETUP_MARKER,))
    remove_tree(dest)


def case_wait_cleanup_temp(ctx):
    # A generated folder, waited for and cleaned up: nothing is left in the
    # temporary folder, and the exit code is the setup program's. A file
    # outside, reached by a link the setup program left in the folder, stays.
    waited_setup(ctx)
    outside = os.path.join(ctx.scratch, "outside")
    os.makedirs(os.path.join(outside, "folder"))
    with open(os.path.join(outside, "folder", "keep.txt"), "w") as f:
        f.write("not the installer's\n")
    if not ctx.args.windows_paths:
        # Links made by the setup program: a link to a folder outside, and
        # one to a file outside; the cleanup removes the links only.
        with open(os.path.join(ctx.tree, ctx.setup_name), "w") as f:
            f.write(WAITED_SETUP_SCRIPT.replace(
                "sleep 1\n", "sleep 1\nln -s '%s' linked-folder\nln -s '%s' docs/linked-file\n"
                "chmod 555 docs/deep\n" % (os.path.join(outside, "folder"),
                                          os.path.join(outside, "folder", "keep.txt"))))
    settings = silent_settings(ctx, None) + [("unzipToTemp", "true"), ("waitForSetup", "true"),
                                             ("cleanupAfterSetup", "True")]
    installer = ctx.pack(settings)
    before = set(os.listdir(ctx.temp))
    ctx.expect_exit(ctx.run(installer), SETUP_EXIT_CODE)
    left = sorted(set(os.listdir(ctx.temp)) - before)
    check(left == [], "the generated folder was left behind: %s" % left)
    check(os.path.exists(os.path.join(outside, "folder", "keep.txt")), "the cleanup followed a link")


def case_wait_cleanup_keeps_configured(ctx):
    # cleanupAfterSetup removes only a folder the run generated: a configured
    # destination, and what was in it before, stay.
    waited_setup(ctx)
    dest = os.path.join(ctx.scratch, "dest")
    os.makedirs(dest)
    with open(os.path.join(dest, "users-file.txt"), "w") as f:
        f.write("was here before\n")
    settings = silent_settings(ctx, ctx.stub_path(dest)) + [("waitForSetup", "true"),
                                                            ("cleanupAfterSetup", "true")]
    ctx.expect_exit(ctx.run(ctx.pack(settings)), SETUP_EXIT_CODE)
    check(os.path.exists(os.path.join(dest, "users-file.txt")), "a folder that existed before was removed")
    compare_trees(ctx.tree, dest, skip=(SETUP_MARKER, "users-file.txt"))


def case_wait_damaged(ctx):
    # Damage keeps exit code 2 with waitForSetup: nothing is launched.
    waited_setup(ctx)
    dest = os.path.join(ctx.scratch, "dest")
    settings = silent_settings(ctx, ctx.stub_path(dest)) + [("waitForSetup", "true")]
    ctx.expect_exit(ctx.run(ctx.pack(settings, ["--damage", "bad-deflate"])), EXIT_SILENT_INCOMPLETE)
    expect_no_setup(dest)


# --- The installer's own options ------------------------------------------------

EXIT_OPTION_RUN_DONE = 0
EXIT_PASSWORD_NOT_ACCEPTED = 4
EXIT_COMMAND_LINE_ERROR = 5
ARGS_FILE = "args.bin"

# Records every argument it gets, NUL-terminated, then the marker.
ARGS_SETUP_SCRIPT = (
    "#!/bin/sh\n"
    "printf '%s\\0' \"$@\" > " + ARGS_FILE + "\n"
    "echo cwd=$(pwd -P) > " + SETUP_MARKER + "\n"
)
# The same for Windows: a program built from args_probe.c, which splits its
# command line with the system's CommandLineToArgvW.
ARGS_PROBE_SOURCE = "args_probe.c"


def options_settings(ctx, unzip_dir, extra=()):
    """A dialog installer (no noInterface): only the options make it silent."""
    settings = [("setupFilename", ctx.setup_name), ("setupParams", "alpha beta")]
    if unzip_dir is not None:
        settings.append(("unzipDir", unzip_dir))
    return settings + list(extra)


def use_args_setup(ctx):
    """Replaces the packed setup program by one that records its arguments
    exactly; returns its name."""
    remove_file(os.path.join(ctx.tree, ctx.setup_name))
    if not ctx.args.windows_paths:
        with open(os.path.join(ctx.tree, ctx.setup_name), "w") as f:
            f.write(ARGS_SETUP_SCRIPT)
        os.chmod(os.path.join(ctx.tree, ctx.setup_name), 0o755)
        return ctx.setup_name
    check(shutil.which(MINGW_CC) is not None, "%s is missing: install gcc-mingw-w64-x86-64-posix (scripts/bootstrap does)" % MINGW_CC)
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), ARGS_PROBE_SOURCE)
    ctx.setup_name = "setup.exe"
    subprocess.run([MINGW_CC, "-mwindows", "-o", os.path.join(ctx.tree, ctx.setup_name), source, "-lshell32"],
                   check=True)
    return ctx.setup_name


def recorded_arguments(folder):
    wait_for_setup(folder)
    with open(os.path.join(folder, ARGS_FILE), "rb") as f:
        data = f.read()
    return [part.decode("utf-8", errors="replace") for part in data.split(b"\0")[:-1]]


def listed_entries(stdout):
    """{name: (time text, attributes, size)} from --list's lines."""
    entries = {}
    for line in stdout.splitlines()[1:]:
        parts = line.split(None, 5)
        if len(parts) == 6 and len(parts[0]) == 10 and parts[0][4] == "-":
            entries[parts[5].rstrip("/")] = (parts[0] + " " + parts[1], parts[2], parts[3])
    return entries


def expect_nothing_written(ctx, before, dest):
    check(sorted(os.listdir(ctx.cwd)) == before, "files appeared in the starting folder: %s"
          % sorted(set(os.listdir(ctx.cwd)) - set(before)))
    check(not os.path.exists(dest), "the destination %s was created" % dest)


def case_options_help(ctx):
    # --help: the usage text on standard output, exit 0, nothing extracted,
    # nothing launched, also for a payload that would run silently.
    dest = os.path.join(ctx.scratch, "dest")
    before = sorted(os.listdir(ctx.cwd))
    installer = ctx.pack(silent_settings(ctx, ctx.stub_path(dest)))
    ctx.expect_exit(ctx.run(installer, arguments=["--help"]), EXIT_OPTION_RUN_DONE)
    for word in ("Usage:", "--list", "--check", "--target DIR", "--noexec", "--quiet", "Exit codes:"):
        check(word in ctx.stdout, "the usage text lacks %r:\n%s" % (word, ctx.stdout))
    expect_nothing_written(ctx, before, dest)


def case_options_list(ctx):
    # --list: one line per entry with its UTC time, attributes and size, a
    # summary line, exit 0; nothing is written.
    dest = os.path.join(ctx.scratch, "dest")
    before = sorted(os.listdir(ctx.cwd))
    installer = ctx.pack(options_settings(ctx, ctx.stub_path(dest)))
    ctx.expect_exit(ctx.run(installer, arguments=["--list"]), EXIT_OPTION_RUN_DONE)
    listed = listed_entries(ctx.stdout)
    expected = describe_tree(ctx.tree)
    names = {rel.replace(os.sep, "/") for rel in expected}
    check(set(listed) == names, "listed %s, packed %s" % (sorted(listed), sorted(names)))
    total = 0
    for rel, (kind, data, mtime, read_only) in expected.items():
        stamp, attributes, size = listed[rel.replace(os.sep, "/")]
        check(stamp == time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(mtime)), "%s: time %s" % (rel, stamp))
        check(attributes[0] == ("d" if kind == "dir" else "-"), "%s: attributes %s" % (rel, attributes))
        check(attributes[1] == ("r" if read_only else "-"), "%s: attributes %s" % (rel, attributes))
        check(size == ("-" if kind == "dir" else str(len(data))), "%s: size %s" % (rel, size))
        total += len(data)
    files = sum(1 for v in expected.values() if v[0] == "file")
    summary = "%d files, %d folders, %d bytes" % (files, len(expected) - files, total)
    check(summary in ctx.stdout, "no summary %r:\n%s" % (summary, ctx.stdout))
    expect_nothing_written(ctx, before, dest)


def case_options_check(ctx):
    # --check: 0 for a sound payload, 2 for a damaged one (damage also ends
    # --list with 2); nothing is written either way.
    dest = os.path.join(ctx.scratch, "dest")
    before = sorted(os.listdir(ctx.cwd))
    sound = ctx.pack(options_settings(ctx, ctx.stub_path(dest)))
    ctx.expect_exit(ctx.run(sound, arguments=["--check"]), EXIT_OPTION_RUN_DONE)
    check("Sound:" in ctx.stdout, "no verdict:\n%s" % ctx.stdout)
    check("Checking: 100%" in ctx.stderr, "no progress:\n%s" % ctx.stderr)
    ctx.expect_exit(ctx.run(sound, arguments=["--check", "--quiet"]), EXIT_OPTION_RUN_DONE)
    check("Checking" not in ctx.stderr, "--quiet showed progress:\n%s" % ctx.stderr)
    for damage in ("bad-deflate", "truncated"):
        damaged = ctx.pack(options_settings(ctx, ctx.stub_path(dest)), ["--damage", damage])
        for option in ("--check", "--list"):
            ctx.expect_exit(ctx.run(damaged, arguments=[option]), EXIT_SILENT_INCOMPLETE)
            check("The archive is damaged or incomplete." in ctx.stderr, "%s %s: no reason:\n%s"
                  % (damage, option, ctx.stderr))
    expect_nothing_written(ctx, before, dest)


def case_options_target(ctx):
    # --target DIR: a silent extraction into DIR instead of the configured
    # folder, the setup program launched there with its parameters; exit 1
    # as for any silent run. --target=DIR is the same.
    configured = os.path.join(ctx.scratch, "configured")
    installer = ctx.pack(options_settings(ctx, ctx.stub_path(configured)))
    for index, form in enumerate(("separate", "joined")):
        dest = os.path.join(ctx.scratch, "dest %d" % index)
        arguments = ["--target", ctx.stub_path(dest)] if form == "separate" else ["--target=" + ctx.stub_path(dest)]
        ctx.expect_exit(ctx.run(installer, arguments=arguments), EXIT_SILENT_DONE)
        launch = wait_for_setup(dest)
        compare_trees(ctx.tree, dest, skip=(SETUP_MARKER,))
        check(launch.get("args") == "alpha beta", "setup parameters %r" % launch.get("args"))
        check("Extracting: 100%" in ctx.stderr, "no progress:\n%s" % ctx.stderr)
    check(not os.path.exists(configured), "the configured folder was used")
    # --quiet: the same without progress.
    dest = os.path.join(ctx.scratch, "quiet")
    ctx.expect_exit(ctx.run(installer, arguments=["--quiet", "--target", ctx.stub_path(dest)]), EXIT_SILENT_DONE)
    wait_for_setup(dest)
    check("Extracting" not in ctx.stderr, "--quiet showed progress:\n%s" % ctx.stderr)
    # --target without a folder: exit 5, nothing done.
    before = sorted(os.listdir(ctx.cwd))
    ctx.expect_exit(ctx.run(installer, arguments=["--target"]), EXIT_COMMAND_LINE_ERROR)
    check("--target needs a folder." in ctx.stderr, "no reason:\n%s" % ctx.stderr)
    check(sorted(os.listdir(ctx.cwd)) == before and not os.path.exists(configured), "--target alone extracted")


# The installer's peak memory stays within this, whatever the payload: the
# chunk buffers are fixed, and inflated data goes to the file as it comes.
PEAK_MEMORY_LIMIT_KIB = 8 * 1024
EXPANDING_FILE = "expanding.bin"
EXPANDING_FILE_BYTES = 256 << 20


def case_peak_memory(ctx):
    # The tree, then a file whose one chunk (about 256 KB of deflate data)
    # inflates to 256 MiB: the maximum resident set of the extraction stays
    # below the limit. GNU time reports it: a process started from this
    # script would carry the interpreter's own resident set in the kernel's
    # count (it is kept across exec), the small time program's is far below
    # the limit.
    time_program = shutil.which("time", path="/usr/bin") or ""
    check(time_program != "", "GNU time is missing: install the package time (scripts/bootstrap does)")
    dest = os.path.join(ctx.scratch, "dest")
    installer = ctx.pack(options_settings(ctx, ctx.stub_path(os.path.join(ctx.scratch, "configured"))),
                         ["--expanding-file", "%s=%d" % (EXPANDING_FILE, EXPANDING_FILE_BYTES)])
    report = os.path.join(ctx.scratch, "peak-kib.txt")
    code = ctx.run(time_program, arguments=["-f", "%M", "-o", report, installer, "--quiet", "--noexec",
                                            "--target", dest])
    ctx.expect_exit(code, EXIT_SILENT_DONE)
    compare_trees(ctx.tree, dest, skip=(EXPANDING_FILE,))
    path = os.path.join(dest, EXPANDING_FILE)
    check(os.path.getsize(path) == EXPANDING_FILE_BYTES, "%s has %d bytes" % (EXPANDING_FILE, os.path.getsize(path)))
    with open(path, "rb") as data:
        zeros = bytes(1 << 20)
        for block in iter(lambda: data.read(1 << 20), b""):
            check(block == zeros[:len(block)], "%s holds other bytes than zeros" % EXPANDING_FILE)
    peak_kib = int(open(report).read().split()[-1])
    check(peak_kib < PEAK_MEMORY_LIMIT_KIB,
          "the installer's maximum resident set was %d KiB (limit %d KiB)" % (peak_kib, PEAK_MEMORY_LIMIT_KIB))
    print("peak memory: %d KiB" % peak_kib)


def case_options_noexec(ctx):
    # --noexec: everything extracted, nothing launched, also with
    # waitForSetup (then nothing is waited for: exit 1).
    waited_setup(ctx)
    installer = ctx.pack(options_settings(ctx, None, [("waitForSetup", "true")]))
    dest = os.path.join(ctx.scratch, "dest")
    ctx.expect_exit(ctx.run(installer, arguments=["--noexec", "--target", ctx.stub_path(dest)]), EXIT_SILENT_DONE)
    expect_no_setup(dest)
    compare_trees(ctx.tree, dest)
    # Without --noexec the same installer waits and passes the code on.
    dest = os.path.join(ctx.scratch, "waited")
    ctx.expect_exit(ctx.run(installer, arguments=["--target", ctx.stub_path(dest)]), SETUP_EXIT_CODE)


# Arguments the command line of either system can carry, with the
# characters a quoting mistake would lose or split on.
PASSTHROUGH_ARGUMENTS = ["two words", 'quote"inside', "", "trailing\\", "back\\\\slash\\", "--help",
                         "tab\there", "%TEMP%", "a&b|c", "Gr\u00fc\u00dfe"]


def case_options_passthrough(ctx):
    # "--": what follows goes to the setup program after its own parameters,
    # every argument arriving exactly as given.
    use_args_setup(ctx)
    installer = ctx.pack(options_settings(ctx, None))
    dest = os.path.join(ctx.scratch, "dest")
    ctx.expect_exit(ctx.run(installer, arguments=["--target", ctx.stub_path(dest), "--"] + PASSTHROUGH_ARGUMENTS),
                    EXIT_SILENT_DONE)
    received = recorded_arguments(dest)
    check(received == ["alpha", "beta"] + PASSTHROUGH_ARGUMENTS, "the setup program got %r" % received)


def case_options_turned_off(ctx):
    # allowCommandLine=false ("FALSE" counts): the words are ignored as
    # before, the configured silent run happens as without arguments.
    dest = os.path.join(ctx.scratch, "dest")
    other = os.path.join(ctx.scratch, "other")
    installer = ctx.pack(silent_settings(ctx, ctx.stub_path(dest)) + [("allowCommandLine", "FALSE")])
    ctx.expect_exit(ctx.run(installer, arguments=["--help", "--noexec", "--target", ctx.stub_path(other), "--",
                                                  "x"]), EXIT_SILENT_DONE)
    launch = wait_for_setup(dest)
    check(launch.get("args") == "alpha beta", "setup parameters %r" % launch.get("args"))
    compare_trees(ctx.tree, dest, skip=(SETUP_MARKER,))
    check("Usage" not in ctx.stdout and not os.path.exists(other), "an option counted")


def case_options_encrypted(ctx):
    # Encrypted payloads: --list, --check and --target ask for the password
    # (here typed on standard input); a wrong one ends the run with 4 and
    # writes nothing.
    dest = os.path.join(ctx.scratch, "dest")
    installer = ctx.pack(options_settings(ctx, None), ["--password", "pw", "--key-bits", "256"])
    ctx.expect_exit(ctx.run(installer, arguments=["--list"], stdin_text="pw\n"), EXIT_OPTION_RUN_DONE)
    check("docs/manual.txt" in ctx.stdout, "not listed:\n%s" % ctx.stdout)
    ctx.expect_exit(ctx.run(installer, arguments=["--check"], stdin_text="pw\n"), EXIT_OPTION_RUN_DONE)
    for option in (["--check"], ["--target", ctx.stub_path(dest)]):
        ctx.expect_exit(ctx.run(installer, arguments=option, stdin_text="wrong\n"), EXIT_PASSWORD_NOT_ACCEPTED)
        check("Incorrect password." in ctx.stderr, "no reason:\n%s" % ctx.stderr)
        ctx.expect_exit(ctx.run(installer, arguments=option, stdin_text=""), EXIT_PASSWORD_NOT_ACCEPTED)
    check(not os.path.exists(dest), "extracted with a wrong password")
    ctx.expect_exit(ctx.run(installer, arguments=["--target", ctx.stub_path(dest)], stdin_text="pw\n"),
                    EXIT_SILENT_DONE)
    wait_for_setup(dest)
    compare_trees(ctx.tree, dest, skip=(SETUP_MARKER,))


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
    "links-in-destination": links_case(folder_links=True),
    "file-links-in-destination": links_case(folder_links=False),
    "setup-impostors": case_setup_impostors,
    "planted-dlls": case_planted_dlls,
    "reinstall-read-only": case_reinstall_read_only,
    "private-generated-temp": case_private_generated_temp,
    "planted-temp-names": case_planted_temp_names,
    "uncreatable-destination": case_uncreatable_destination,
    "wait-exit-code": case_wait_exit_code,
    "no-wait-unchanged": case_no_wait_unchanged,
    "wait-cleanup-temp": case_wait_cleanup_temp,
    "wait-cleanup-keeps-configured": case_wait_cleanup_keeps_configured,
    "wait-damaged": case_wait_damaged,
    "options-help": case_options_help,
    "options-list": case_options_list,
    "options-check": case_options_check,
    "options-target": case_options_target,
    "options-noexec": case_options_noexec,
    "options-passthrough": case_options_passthrough,
    "options-turned-off": case_options_turned_off,
    "options-encrypted": case_options_encrypted,
    "peak-memory": case_peak_memory,
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
