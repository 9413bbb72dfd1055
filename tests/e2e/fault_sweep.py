#!/usr/bin/env python3
"""Fault injection on the Linux stub and on bvsfx.

    fault_sweep.py --stub STUB --pack E2E_PACK --bvsfx BVSFX --work DIR
                   [--values flip|all] [--offset-step N] [--sweep NAME ...]

Sweeps (all by default):
  truncate     the installer cut at every offset of its payload
  bytes        every single-byte change of the payload: each byte XORed
               with 0xFF (--values flip, the default) or replaced by each of
               the other 255 values (--values all)
  checked      the same changes of payloads bvsfx made (with its check
               records; a folder, a deflated file, a stored file and a setup
               program), plain and silent, and AES-256 through the dialog:
               each must end in exit 2 (damage found, nothing launched),
               in the packed tree and the setup program launched, or in a
               message ("no payload", wrong password, damage) with nothing
               extracted and nothing launched
  strong       the same changes of a payload in the strong password mode
               (PBKDF2 with a low iteration count, so that the sweep stays
               quick), through the dialog with the right password: every
               change must be refused (wrong password, damage message or no
               payload), nothing launched, and nothing extracted that is not
               exactly as packed; not run unless named
--offset-step N changes only every Nth payload byte in the bytes, checked
and strong sweeps (default 1: every byte).
  full-disk    a file-size limit (standing in for a full disk) at every
               16 bytes from 0 to past the largest file
  uncreatable  destinations that can be neither created nor entered
  unreadable   bvsfx pack with inputs it cannot read, and bvsfx extract
               onto a full disk

Each stub run happens in a jail: a user and mount namespace (unshare) whose
root is a folder of the work folder, with the system folders bound in read
only. So a changed payload that names another place (its names and its
destination are taken as they stand, and a leading '/' makes them absolute)
can only write inside the jail, where the sweep sees it.

For every run: no crash (a signal or an exit code other than 0, 1, 2), no
hang, nothing written in the jail outside the folder the stub runs in
except at absolute places the changed payload names (counted, listed), and
the outcome the stub's rules give: a cut payload never reports success; a
file-size limit below the largest file ends with exit 2 and the file cut at
the limit; an uncreatable destination ends with exit 2 and nothing written.
Prints the counts of every outcome. Exits 0 when every run passed.

Needs unshare (util-linux) with unprivileged user namespaces, objcopy
(binutils) and, when run as root, setpriv (util-linux) for the unreadable
inputs; a missing one fails the sweep and names it.
"""
import argparse
import collections
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

INSIDE_JAIL_ENV = "BRIVANE_FAULT_SWEEP_INSIDE"
STUB_TIMEOUT_SECONDS = 20
# The stub's exit codes (README): dialog closed, silent run complete, silent
# run stopped early.
EXIT_DIALOG_CLOSED, EXIT_SILENT_DONE, EXIT_SILENT_INCOMPLETE = 0, 1, 2
# bvsfx's exit codes (tools/bvsfx/ExitCode.h).
BVSFX_INPUT, BVSFX_OUTPUT = 3, 5
FULL_DISK_STEP_BYTES = 16
PROGRESS_EVERY_RUNS = 5000
SANITIZER_VARIABLES = ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS")
# System folders bound into the jail, read only.
SYSTEM_FOLDERS = ("usr", "bin", "sbin", "lib", "lib32", "lib64", "libx32", "etc")
DEVICES = ("null", "zero", "urandom")
JAIL_WORK = "work"
JAIL_RUN = "/work/run"
INSTALLER_IN_JAIL = "/work/installer"
TOOLS = {"unshare": "util-linux", "objcopy": "binutils", "setpriv": "util-linux"}
# The setup program of the checked sweep appends the run's number to this
# file of the jail's work folder: it starts detached, so launches are read
# after all runs.
LAUNCH_LOG = "launches"
RUN_ID_VARIABLE = "BRIVANE_SWEEP_RUN"
CHECKED_SETUP = "setup.sh"
CHECKED_PASSWORD = "sweep password"
LAUNCH_SETTLE_SECONDS = 2.0
DAMAGE_MESSAGE = "The archive is damaged or incomplete."
INCORRECT_PASSWORD_MESSAGE = "Incorrect password."
# The strong sweep's derivation: the lowest bvsfx writes. A changed
# iteration count costs what it names (the installer refuses more than
# 10,000,000 at once), so the sweep stays within minutes.
STRONG_SWEEP_ITERATIONS = 1000


# --- The payload ----------------------------------------------------------------

def make_tree(root):
    """A small tree: deflated text, a stored binary file, an empty folder."""
    os.makedirs(os.path.join(root, "docs"))
    os.makedirs(os.path.join(root, "empty"))
    with open(os.path.join(root, "docs", "notes.txt"), "w") as f:
        f.write("".join("line %d of the notes\n" % i for i in range(8)))
    with open(os.path.join(root, "table.bin"), "wb") as f:
        f.write(bytes((i * 7 + 3) & 0xFF for i in range(16)))


def make_checked_tree(root):
    """A folder with a deflated file, a stored file, a setup program."""
    os.makedirs(os.path.join(root, "d"))
    with open(os.path.join(root, "d", "t.txt"), "w") as f:
        f.write("".join("line %d\n" % i for i in range(12)))
    with open(os.path.join(root, "b.bin"), "wb") as f:
        f.write(bytes((i * 151 + 7) & 0xFF for i in range(16)))
    with open(os.path.join(root, CHECKED_SETUP), "w") as f:
        f.write('#!/bin/sh\necho "$%s" >> /%s/%s\n' % (RUN_ID_VARIABLE, JAIL_WORK, LAUNCH_LOG))


def describe_tree(root):
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs:
            found[os.path.relpath(os.path.join(folder, name), root)] = None
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root)] = f.read()
    return found


class Sweep:
    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work)
        self.jail = os.path.join(self.work, "jail")
        self.counts = collections.OrderedDict()
        self.failures = []
        self.absolute_places = collections.Counter()
        self.runs = 0

    # --- jail -------------------------------------------------------------------

    def build_jail(self):
        """Runs inside the namespaces: binds the system folders read only."""
        os.makedirs(os.path.join(self.jail, "proc"))
        os.makedirs(os.path.join(self.jail, "dev"))
        os.makedirs(os.path.join(self.jail, "tmp"))
        os.makedirs(os.path.join(self.jail, JAIL_WORK, "run"))
        for name in SYSTEM_FOLDERS:
            host = "/" + name
            inside = os.path.join(self.jail, name)
            if os.path.islink(host):
                os.symlink(os.readlink(host), inside)
            elif os.path.isdir(host):
                os.makedirs(inside)
                subprocess.run(["mount", "--rbind", host, inside], check=True)
                subprocess.run(["mount", "-o", "remount,bind,ro", inside], check=True)
        for name in DEVICES:
            inside = os.path.join(self.jail, "dev", name)
            open(inside, "w").close()
            subprocess.run(["mount", "--bind", "/dev/" + name, inside], check=True)
        # A proc of the jail's own PID namespace: the stub finds its own file
        # through /proc/self/exe.
        subprocess.run(["mount", "-t", "proc", "proc", os.path.join(self.jail, "proc")], check=True)
        self.jail_entries = set(os.listdir(self.jail))

    def reset_jail(self):
        run = os.path.join(self.jail, JAIL_WORK, "run")
        shutil.rmtree(run)
        os.makedirs(run)

    def run_stub(self, image, limit_file_bytes=None, prepare=None, answers=None):
        """Runs one installer image in the jail, with the dialog's answers on
        standard input when given. Returns (exit code, output, absolute
        places written); the run's number is self.runs."""
        self.reset_jail()
        self.runs += 1
        if self.runs % PROGRESS_EVERY_RUNS == 0:
            print("  ... %d runs" % self.runs, file=sys.stderr, flush=True)
        installer = os.path.join(self.jail, INSTALLER_IN_JAIL.lstrip("/"))
        with open(installer, "wb") as f:
            f.write(image)
        os.chmod(installer, 0o755)
        if prepare:
            prepare(os.path.join(self.jail, JAIL_RUN.lstrip("/")))
        jail = self.jail

        def enter():
            os.chroot(jail)
            os.chdir(JAIL_RUN)
            if limit_file_bytes is not None:
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit_file_bytes, limit_file_bytes))

        env = {"PATH": "/usr/bin:/bin", "TMPDIR": "/tmp/", "HOME": JAIL_RUN, "LANG": "C.UTF-8",
               RUN_ID_VARIABLE: str(self.runs)}
        # A sanitizer build's settings (its own exit code, so that a report
        # cannot pass for the stub's exit code 1).
        env.update({k: v for k, v in os.environ.items() if k in SANITIZER_VARIABLES})
        try:
            stdin = {"input": answers.encode()} if answers is not None else {"stdin": subprocess.DEVNULL}
            result = subprocess.run([INSTALLER_IN_JAIL], preexec_fn=enter, env=env, capture_output=True,
                                    timeout=STUB_TIMEOUT_SECONDS, restore_signals=limit_file_bytes is None, **stdin)
            code, output = result.returncode, (result.stdout + result.stderr).decode(errors="replace")
        except subprocess.TimeoutExpired:
            code, output = "timeout", ""
        return code, output, self.collect_strays()

    def collect_strays(self):
        """Whatever the run left in the jail outside the run folder: at the
        jail's root (absolute places) or in its work and tmp folders
        (escapes). Removed after being listed."""
        strays = []
        for name in sorted(set(os.listdir(self.jail)) - self.jail_entries):
            strays.append("/" + name)
            path = os.path.join(self.jail, name)
            shutil.rmtree(path) if os.path.isdir(path) and not os.path.islink(path) else os.remove(path)
        for folder, keep in ((JAIL_WORK, {"run", os.path.basename(INSTALLER_IN_JAIL), LAUNCH_LOG}), ("tmp", set())):
            for name in sorted(set(os.listdir(os.path.join(self.jail, folder))) - keep):
                strays.append("/%s/%s" % (folder, name))
                path = os.path.join(self.jail, folder, name)
                shutil.rmtree(path) if os.path.isdir(path) and not os.path.islink(path) else os.remove(path)
        return strays

    # --- bookkeeping ----------------------------------------------------------

    def count(self, sweep, outcome):
        self.counts.setdefault(sweep, collections.Counter())[outcome] += 1

    def fail(self, sweep, what, message):
        self.failures.append("%s %s: %s" % (sweep, what, message))
        self.count(sweep, "FAILED")

    def judge_common(self, sweep, what, code, strays):
        """The checks every run shares. False when the run failed them."""
        if code == "timeout":
            self.fail(sweep, what, "no exit within %d s" % STUB_TIMEOUT_SECONDS)
            return False
        if code not in (EXIT_DIALOG_CLOSED, EXIT_SILENT_DONE, EXIT_SILENT_INCOMPLETE):
            self.fail(sweep, what, "exit code %s (a crash)" % code)
            return False
        escapes = [path for path in strays if path.startswith("/%s/" % JAIL_WORK) or path.startswith("/tmp/")]
        if escapes:
            self.fail(sweep, what, "wrote outside the folder it ran in: %s" % escapes)
            return False
        for path in strays:
            self.absolute_places[path] += 1
        return True

    # --- sweeps ---------------------------------------------------------------

    def pack(self, name, unzip_dir):
        """A silent installer of the tree, written by e2e-pack: the stub's
        own format, without the check records bvsfx adds."""
        out = os.path.join(self.work, name)
        command = [self.args.pack, "--stub", self.stub, "--out", out, "--tree", self.tree,
                   "--set", "noInterface=true", "--set", "unzipDir=" + unzip_dir]
        subprocess.run(command, check=True)
        with open(out, "rb") as f:
            return f.read()

    def prepare_payload(self):
        self.tree = os.path.join(self.work, "tree")
        make_tree(self.tree)
        self.expected = describe_tree(self.tree)
        self.largest_file = max(len(v) for v in self.expected.values() if v is not None)
        # A stripped copy of the stub: every run writes the whole installer.
        self.stub = os.path.join(self.work, "stub")
        subprocess.run(["objcopy", "--strip-all", self.args.stub, self.stub], check=True)
        self.stub_bytes = os.path.getsize(self.stub)
        self.image = self.pack("installer", "out")
        self.payload_bytes = len(self.image) - self.stub_bytes
        print("stub %d bytes (stripped), payload %d bytes, tree of %d entries"
              % (self.stub_bytes, self.payload_bytes, len(self.expected)))

    def extracted(self):
        out = os.path.join(self.jail, JAIL_RUN.lstrip("/"), "out")
        return describe_tree(out) if os.path.isdir(out) else None

    def sweep_truncate(self):
        for cut in range(self.stub_bytes, len(self.image)):
            what = "cut at payload byte %d" % (cut - self.stub_bytes)
            code, output, strays = self.run_stub(self.image[:cut])
            if not self.judge_common("truncate", what, code, strays):
                continue
            if code == EXIT_SILENT_DONE:
                self.fail("truncate", what, "a cut payload reported a complete extraction")
            elif code == EXIT_DIALOG_CLOSED and "Error" not in output:
                self.fail("truncate", what, "no payload found, but no message said so")
            else:
                self.count("truncate", {EXIT_SILENT_INCOMPLETE: "exit 2 (damaged)",
                                        EXIT_DIALOG_CLOSED: "exit 0 (payload not found, message shown)"}[code])

    def sweep_bytes(self):
        for what, changed in self.changed_images(self.image):
            code, output, strays = self.run_stub(changed)
            if not self.judge_common("bytes", what, code, strays):
                continue
            if code == EXIT_SILENT_DONE:
                same = self.extracted() == self.expected
                self.count("bytes", "exit 1, tree %s" % ("identical" if same else "differs (change not detectable)"))
            else:
                self.count("bytes", "exit %d" % code)

    def changed_images(self, image):
        """(what, installer) for each payload byte changed as --values says
        (every --offset-step-th byte), one change at a time."""
        changed = bytearray(image)
        for offset in range(self.stub_bytes, len(image), self.args.offset_step):
            values = ([image[offset] ^ 0xFF] if self.args.values == "flip"
                      else [v for v in range(256) if v != image[offset]])
            for value in values:
                changed[offset] = value
                yield "payload byte %d set to 0x%02X" % (offset - self.stub_bytes, value), bytes(changed)
            changed[offset] = image[offset]

    def launched_runs(self, sweep, image, answers):
        """Runs the unchanged installer, then each changed one, with the
        answers; returns (run number, what, code, output, extracted tree,
        whether that run launched its setup program) for each run that
        passed the common judgement. The setup programs write their run
        number to the launch log, read once every run has ended."""
        launch_log = os.path.join(self.jail, JAIL_WORK, LAUNCH_LOG)
        if os.path.exists(launch_log):
            os.remove(launch_log)
        judged = []
        for what, installer in self.checked_runs(image):
            code, output, strays = self.run_stub(installer, answers=answers)
            if not self.judge_common(sweep, what, code, strays):
                continue
            judged.append((self.runs, what, code, output, self.extracted()))
        time.sleep(LAUNCH_SETTLE_SECONDS)
        launched = set()
        if os.path.exists(launch_log):
            with open(launch_log) as f:
                launched = {int(line) for line in f if line.strip().isdigit()}
        return [(run, what, code, output, got, run in launched) for run, what, code, output, got in judged]

    def pack_checked(self, name, options):
        """An installer of the checked tree, written by bvsfx."""
        out = os.path.join(self.work, name)
        # An absolute destination: the setup program is started in it.
        subprocess.run([self.args.bvsfx, "pack", "-q", "-o", out, "--stub", self.stub, "--dir", JAIL_RUN + "/out",
                        "--setup", CHECKED_SETUP] + options + [self.checked_tree], check=True)
        with open(out, "rb") as f:
            return f.read()

    def sweep_checked(self):
        self.checked_tree = os.path.join(self.work, "checked-tree")
        make_checked_tree(self.checked_tree)
        expected = describe_tree(self.checked_tree)
        variants = [("plain, silent", self.pack_checked("checked-plain", ["--silent"]), None),
                    ("classic AES-256, dialog", self.pack_checked("checked-aes", [
                        "--password", CHECKED_PASSWORD, "--key-bits", "256", "--classic-encryption"]),
                     "\n%s\n" % CHECKED_PASSWORD)]
        for label, image, answers in variants:
            sweep = "checked (%s)" % label
            print("%s: payload %d bytes" % (sweep, len(image) - self.stub_bytes))
            for _, what, code, output, got, launched in self.launched_runs(sweep, image, answers):
                self.judge_checked(sweep, what, code, output, got == expected, not got, launched)

    def checked_runs(self, image):
        """(what, installer) of each run, made one at a time: first the
        unchanged installer, which must extract the tree and launch."""
        yield "unchanged", image
        yield from self.changed_images(image)

    def judge_checked(self, sweep, what, code, output, same_tree, nothing, launched):
        if what == "unchanged":
            if same_tree and launched:
                self.count(sweep, "unchanged installer: packed tree, setup launched")
            else:
                self.fail(sweep, what, "the unchanged installer did not extract its tree and launch its setup")
        elif launched:
            if same_tree and code in (EXIT_SILENT_DONE, EXIT_DIALOG_CLOSED):
                self.count(sweep, "exit %d, packed tree, setup launched" % code)
            else:
                self.fail(sweep, what, "exit %s, setup launched with %s" % (
                    code, "the packed tree" if same_tree else "another tree"))
        elif code == EXIT_SILENT_INCOMPLETE:
            self.count(sweep, "exit 2 (damage found), nothing launched")
        elif code == EXIT_DIALOG_CLOSED and DAMAGE_MESSAGE in output:
            self.count(sweep, "exit 0, damage message, nothing launched")
        elif code == EXIT_DIALOG_CLOSED and nothing:
            message = "message shown" if "Error" in output else "no message"
            self.count(sweep, "exit 0, nothing extracted, nothing launched (%s)" % message)
        else:
            self.fail(sweep, what, "exit %s, %s, nothing launched: %r" % (
                code, "packed tree" if same_tree else "nothing extracted" if nothing else "another tree",
                output[-200:]))

    def sweep_strong(self):
        if not hasattr(self, "checked_tree"):
            self.checked_tree = os.path.join(self.work, "checked-tree")
            make_checked_tree(self.checked_tree)
        expected = describe_tree(self.checked_tree)
        image = self.pack_checked("strong", ["--password", CHECKED_PASSWORD, "--key-bits", "256",
                                             "--kdf-iterations", str(STRONG_SWEEP_ITERATIONS)])
        answers = "\n%s\n" % CHECKED_PASSWORD
        sweep = "strong (AES-256, PBKDF2 %d iterations, dialog, right password)" % STRONG_SWEEP_ITERATIONS
        print("%s: payload %d bytes" % (sweep, len(image) - self.stub_bytes))
        for _, what, code, output, got, launched in self.launched_runs(sweep, image, answers):
            self.judge_strong(sweep, what, code, output, got, expected, launched)

    def judge_strong(self, sweep, what, code, output, got, expected, launched):
        if what == "unchanged":
            if got == expected and launched:
                self.count(sweep, "unchanged installer: packed tree, setup launched")
            else:
                self.fail(sweep, what, "the unchanged installer did not extract its tree and launch its setup")
            return
        if launched:
            self.fail(sweep, what, "a changed strong payload launched its setup program (exit %s)" % code)
            return
        # A file may stand only as packed (one written before the damage was
        # reached); anything else is garbage.
        garbage = [name for name, content in (got or {}).items() if expected.get(name, "absent") != content]
        if garbage:
            self.fail(sweep, what, "extracted what was not packed: %s" % garbage[:5])
            return
        if INCORRECT_PASSWORD_MESSAGE in output:
            self.count(sweep, "refused: \"Incorrect password.\", nothing extracted, nothing launched")
        elif DAMAGE_MESSAGE in output:
            self.count(sweep, "refused: damage message, nothing launched")
        elif code == EXIT_SILENT_INCOMPLETE:
            self.count(sweep, "refused: exit 2 (damage found), nothing launched")
        elif "Error" in output and not got:
            self.count(sweep, "refused: another message (no payload), nothing extracted, nothing launched")
        else:
            self.fail(sweep, what, "exit %s without a refusal: %r" % (code, output[-200:]))

    def sweep_full_disk(self):
        for limit in range(0, self.largest_file + FULL_DISK_STEP_BYTES, FULL_DISK_STEP_BYTES):
            what = "file-size limit %d" % limit
            code, output, strays = self.run_stub(self.image, limit_file_bytes=limit)
            if not self.judge_common("full-disk", what, code, strays):
                continue
            expected = EXIT_SILENT_DONE if limit >= self.largest_file else EXIT_SILENT_INCOMPLETE
            if code != expected:
                self.fail("full-disk", what, "exit %d, expected %d" % (code, expected))
                continue
            got = self.extracted() or {}
            for name, content in got.items():
                want = self.expected.get(name)
                if content is not None and content != (want or b"")[:len(content)]:
                    self.fail("full-disk", what, "%s does not hold the start of its data" % name)
                    break
            else:
                self.count("full-disk", "exit %d as expected" % code)

    def sweep_uncreatable(self):
        def blocker(run):
            with open(os.path.join(run, "blocker"), "w") as f:
                f.write("a file where a folder is needed")

        cases = [("below a file", "blocker/out"), ("a file itself", "blocker"),
                 ("below a file, absolute", JAIL_RUN + "/blocker/deep/out")]
        for label, unzip_dir in cases:
            image = self.pack("uncreatable", unzip_dir)
            code, output, strays = self.run_stub(image, prepare=blocker)
            if not self.judge_common("uncreatable", label, code, strays):
                continue
            left = sorted(os.listdir(os.path.join(self.jail, JAIL_RUN.lstrip("/"))))
            if code != EXIT_SILENT_INCOMPLETE or left != ["blocker"]:
                self.fail("uncreatable", label, "exit %s, run folder holds %s" % (code, left))
            else:
                self.count("uncreatable", "exit 2, nothing written")

    def sweep_unreadable(self):
        """bvsfx pack with inputs it cannot read (as a user without rights
        when the sweep runs as root, since root reads everything), and bvsfx
        extract onto a full disk."""
        # A folder of /tmp, so that a user without rights can reach it
        # whatever folders the build tree lies in; bvsfx and the stub are
        # copied in.
        scratch = tempfile.mkdtemp(prefix="brivane-unreadable-")
        try:
            self.unreadable_inputs(scratch)
        finally:
            for folder, dirs, files in os.walk(scratch):
                for name in dirs:
                    os.chmod(os.path.join(folder, name), 0o755)
            shutil.rmtree(scratch, ignore_errors=True)
        self.full_disk_extract()

    def unreadable_inputs(self, scratch):
        os.chmod(scratch, 0o777)
        bvsfx = shutil.copy(self.args.bvsfx, os.path.join(scratch, "bvsfx"))
        stub = shutil.copy(self.stub, os.path.join(scratch, "stub"))
        tree = os.path.join(scratch, "tree")
        shutil.copytree(self.tree, tree)
        as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if os.geteuid() == 0 else []

        def tree_with(kind):
            root = os.path.join(scratch, "tree-" + kind)
            shutil.copytree(tree, root)
            target = os.path.join(root, "docs", "notes.txt")
            if kind == "file":
                os.chmod(target, 0)
            elif kind == "folder":
                os.chmod(os.path.dirname(target), 0)
            elif kind == "dangling-link":
                os.symlink("missing-target", os.path.join(root, "link"))
            return root

        for kind in ("file", "folder", "dangling-link", "missing"):
            root = os.path.join(scratch, "no-such-folder") if kind == "missing" else tree_with(kind)
            out = os.path.join(scratch, "out-" + kind)
            # A dangling link is packed as a link; only followed does it
            # stop the pack.
            follow = ["--dereference"] if kind == "dangling-link" else []
            result = subprocess.run(as_user + [bvsfx, "pack", "-q", "-o", out, "--stub", stub] + follow + [root],
                                    capture_output=True)
            message = result.stderr.decode(errors="replace")
            if result.returncode != BVSFX_INPUT or "error" not in message or os.path.exists(out):
                self.fail("unreadable", "pack, input: " + kind, "exit %d, output %s, stderr %r" % (
                    result.returncode, "left behind" if os.path.exists(out) else "absent", message))
            else:
                self.count("unreadable", "pack exit 3, message, no output")

    def full_disk_extract(self):
        """bvsfx extract onto a full disk: exit 5 at every limit below the
        largest file."""
        installer = os.path.join(self.work, "installer")
        for limit in range(0, self.largest_file, FULL_DISK_STEP_BYTES):
            target = os.path.join(self.work, "extract-%d" % limit)

            def cap(limit=limit):
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

            result = subprocess.run([self.args.bvsfx, "extract", installer, "-C", target, "-q"], capture_output=True,
                                    preexec_fn=cap, restore_signals=False)
            if result.returncode != BVSFX_OUTPUT:
                self.fail("unreadable", "extract with limit %d" % limit, "exit %d, stderr %r"
                          % (result.returncode, result.stderr.decode(errors="replace")))
            else:
                self.count("unreadable", "extract onto a full disk: exit 5")

    def report(self):
        print()
        for sweep, outcomes in self.counts.items():
            print("%s: %d runs" % (sweep, sum(outcomes.values())))
            for outcome, number in sorted(outcomes.items()):
                print("    %6d  %s" % (number, outcome))
        if self.absolute_places:
            print("absolute places named by changed payloads (written inside the jail, as the format allows):")
            for path, number in sorted(self.absolute_places.items()):
                print("    %6d  %s" % (number, path))
        for failure in self.failures[:40]:
            print("FAILED: " + failure, file=sys.stderr)
        if len(self.failures) > 40:
            print("... and %d more failures" % (len(self.failures) - 40), file=sys.stderr)
        return 1 if self.failures else 0


SWEEPS = ("truncate", "bytes", "checked", "full-disk", "uncreatable", "unreadable", "strong")
# Without --sweep: all but the strong sweep, which has a test entry of its own.
DEFAULT_SWEEPS = tuple(name for name in SWEEPS if name != "strong")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--stub", required=True)
    parser.add_argument("--pack", required=True, help="e2e-pack, which writes the installers")
    parser.add_argument("--bvsfx", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--values", choices=("flip", "all"), default="flip")
    parser.add_argument("--offset-step", type=int, default=1)
    parser.add_argument("--sweep", action="append", choices=SWEEPS)
    args = parser.parse_args()
    missing = ["%s (package %s)" % (tool, package) for tool, package in TOOLS.items() if not shutil.which(tool)]
    if missing:
        print("fault_sweep: missing: " + ", ".join(missing), file=sys.stderr)
        return 1

    if os.environ.get(INSIDE_JAIL_ENV) != "1":
        shutil.rmtree(os.path.abspath(args.work), ignore_errors=True)
        os.makedirs(os.path.abspath(args.work))
        env = dict(os.environ, **{INSIDE_JAIL_ENV: "1"})
        # New mount and PID namespaces with a proc of their own (the
        # sanitizers read /proc for the process's threads). Root keeps its
        # own user: the unreadable-input sweep needs to drop to another user,
        # which a one-user namespace cannot do; anyone else gets a user
        # namespace in which they are root.
        namespaces = ["--mount", "--pid", "--fork", "--mount-proc", "--propagation", "private"]
        if os.geteuid() != 0:
            namespaces = ["--user", "--map-root-user"] + namespaces
        command = ["unshare"] + namespaces + [sys.executable, os.path.abspath(__file__)] + sys.argv[1:]
        result = subprocess.run(command, env=env)
        if result.returncode != 0 and result.returncode != 1:
            print("fault_sweep: could not start in new namespaces (exit %d): unprivileged user namespaces "
                  "must be allowed (sysctl kernel.unprivileged_userns_clone=1)" % result.returncode, file=sys.stderr)
        return result.returncode

    sweep = Sweep(args)
    try:
        sweep.build_jail()
        sweep.prepare_payload()
        for name in args.sweep or DEFAULT_SWEEPS:
            getattr(sweep, "sweep_" + name.replace("-", "_"))()
    except (subprocess.CalledProcessError, OSError) as error:
        print("fault_sweep: %s" % error, file=sys.stderr)
        return 1
    return sweep.report()


if __name__ == "__main__":
    sys.exit(main())
