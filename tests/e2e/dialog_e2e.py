#!/usr/bin/env python3
"""End-to-end runs of the stub's dialogs on Linux, where the POSIX layer
renders them in the terminal: the answers are scripted on standard input
(one line per answer; the end of input is Close or Cancel), and what the
terminal showed (standard error) and what was extracted are checked.

    dialog_e2e.py --stub STUB --pack E2E_PACK --work DIR --case NAME
    dialog_e2e.py --list

Answers: an empty line presses Unzip, "q" Close, "b" Browse (the next line
is the folder), any other line replaces the folder field. In the password
dialog a line is the password followed by OK; a line holding only Esc, or
the end of input, is Cancel.

The packed tree, its comparison and the setup-program marker come from the
silent-run driver beside this file (stub_e2e.py).
"""
import argparse
import os
import pty
import select
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stub_e2e  # noqa: E402  (the shared tree, comparison and setup marker)
from stub_e2e import Failure, check, compare_trees, make_tree, pack_installer, remove_tree  # noqa: E402

EXIT_DIALOG_CLOSED = 0
EXIT_SILENT_DONE = 1
STUB_TIMEOUT_SECONDS = 120
# The terminal shows the folder field as "  [value]" under its label.
FOLDER_LABEL = "Unzip to folder:"
MAIN_CAPTION = "Brivane Zip Self-Extractor"
EXPLANATION = "To unzip all files to the specified folder, press the Unzip button."
PASSWORD_PROMPT = "This self-extracting EXE is encrypted. Enter a password to unzip:"
INCORRECT_PASSWORD = "Error: Incorrect password."
DAMAGED_ARCHIVE = "Error: The archive is damaged or incomplete."
WRITE_FAILED = "Error: Failed to write the extracted files."
FINISHED = "Finished!"
SETUP_NAME = "setup.sh"


class Context:
    def __init__(self, args, case):
        self.args = args
        self.scratch = os.path.join(os.path.abspath(args.work), case)
        remove_tree(self.scratch)
        self.tree = os.path.join(self.scratch, "tree")
        self.temp = os.path.join(self.scratch, "tmp")
        self.cwd = os.path.join(self.scratch, "cwd")
        for folder in (self.tree, self.temp, self.cwd):
            os.makedirs(folder)
        make_tree(self.tree, SETUP_NAME)
        self.shown = ""

    def pack(self, settings, extra=()):
        installer = os.path.join(self.scratch, "installer")
        return pack_installer(self.args.pack, self.args.stub, installer, self.tree, settings, extra)

    def environment(self):
        env = dict(os.environ)
        env["TMPDIR"] = self.temp + "/"
        return env

    def run(self, installer, answers):
        """Runs the installer with the answers on standard input (no
        terminal); returns the exit code and keeps standard error."""
        result = subprocess.run([installer], cwd=self.cwd, env=self.environment(), input=answers.encode(),
                                capture_output=True, timeout=STUB_TIMEOUT_SECONDS)
        self.shown = result.stderr.decode(errors="replace")
        return result.returncode

    def expect_exit(self, code, expected):
        check(code == expected, "exit code %d, expected %d; terminal:\n%s" % (code, expected, self.shown))

    def expect_shown(self, text):
        check(text in self.shown, "%r was not shown; terminal:\n%s" % (text, self.shown))

    def expect_not_shown(self, text):
        check(text not in self.shown, "%r was shown; terminal:\n%s" % (text, self.shown))

    def folder_field(self):
        """The folder field as first shown."""
        lines = self.shown.splitlines()
        for index, line in enumerate(lines[:-1]):
            if line == FOLDER_LABEL:
                field = lines[index + 1]
                check(field.startswith("  [") and field.endswith("]"), "folder field line %r" % field)
                return field[3:-1]
        raise Failure("no folder field shown; terminal:\n%s" % self.shown)

    def expect_nothing_extracted(self, *folders):
        for folder in folders:
            leftovers = os.listdir(folder) if os.path.isdir(folder) else []
            check(not leftovers, "%s holds %s although nothing was to be extracted" % (folder, leftovers))


def dialog_settings(unzip_dir=None, setup=False, extra=()):
    settings = []
    if unzip_dir is not None:
        settings.append(("unzipDir", unzip_dir))
    if setup:
        settings += [("setupFilename", SETUP_NAME), ("setupParams", "one two")]
    return settings + list(extra)


# --- The main dialog ------------------------------------------------------------

def case_close(ctx):
    # Close at once: nothing extracted, the process ends with 0. Without a
    # configured folder the field shows the current directory.
    installer = ctx.pack(dialog_settings())
    ctx.expect_exit(ctx.run(installer, "q\n"), EXIT_DIALOG_CLOSED)
    ctx.expect_shown(MAIN_CAPTION)
    ctx.expect_shown(EXPLANATION)
    check(ctx.folder_field() == os.path.realpath(ctx.cwd), "field %r, expected the current directory"
          % ctx.folder_field())
    ctx.expect_not_shown(FINISHED)
    ctx.expect_nothing_extracted(ctx.cwd)


def case_unzip_configured(ctx):
    # The configured folder is shown as stored; Unzip extracts there, shows
    # "Finished!", launches the setup program, and the end of input closes.
    dest = os.path.join(ctx.scratch, "dest")
    installer = ctx.pack(dialog_settings(dest, setup=True))
    ctx.expect_exit(ctx.run(installer, "\n"), EXIT_DIALOG_CLOSED)
    check(ctx.folder_field() == dest, "field %r, expected %r" % (ctx.folder_field(), dest))
    ctx.expect_shown(FINISHED)
    ctx.expect_shown("] 100%")
    launch = stub_e2e.wait_for_setup(dest)
    check(launch.get("args") == "one two", "setup parameters %r" % launch.get("args"))
    compare_trees(ctx.tree, dest, skip=(stub_e2e.SETUP_MARKER,))


def case_unzip_current_dir(ctx):
    installer = ctx.pack(dialog_settings())
    ctx.expect_exit(ctx.run(installer, "\nq\n"), EXIT_DIALOG_CLOSED)
    compare_trees(ctx.tree, ctx.cwd)


def case_generated_temp(ctx):
    # unzipToTemp without a folder: the field proposes a new bvz_ folder in
    # the temporary-files folder, and Unzip extracts into exactly that one.
    installer = ctx.pack(dialog_settings(extra=[("unzipToTemp", "true")]))
    ctx.expect_exit(ctx.run(installer, "\n"), EXIT_DIALOG_CLOSED)
    field = ctx.folder_field()
    made = os.listdir(ctx.temp)
    check(len(made) == 1 and made[0].startswith("bvz_") and len(made[0]) == 8,
          "temporary folder holds %s" % made)
    check(field == os.path.join(ctx.temp, made[0]), "field %r, created %s" % (field, made))
    compare_trees(ctx.tree, field)


def case_temp_shown_literally(ctx):
    # "%temp%" stays in the field as typed; it is replaced when Unzip runs.
    installer = ctx.pack(dialog_settings("%temp%\\from dialog"))
    ctx.expect_exit(ctx.run(installer, "\n"), EXIT_DIALOG_CLOSED)
    check(ctx.folder_field() == "%temp%\\from dialog", "field %r" % ctx.folder_field())
    compare_trees(ctx.tree, os.path.join(ctx.temp, "from dialog"))


def case_typed_folder(ctx):
    configured = os.path.join(ctx.scratch, "configured")
    typed = os.path.join(ctx.scratch, "typed folder")
    installer = ctx.pack(dialog_settings(configured))
    ctx.expect_exit(ctx.run(installer, typed + "\n\n"), EXIT_DIALOG_CLOSED)
    ctx.expect_shown("  [%s]" % typed)
    compare_trees(ctx.tree, typed)
    check(not os.path.exists(configured), "the configured folder was used instead of the typed one")


def case_browse(ctx):
    # Browse, pick an existing folder (given relative; the browser answers
    # with its absolute path), then Unzip into it. A cancelled browser
    # leaves the field alone.
    chosen = os.path.join(ctx.cwd, "chosen")
    os.makedirs(chosen)
    configured = os.path.join(ctx.scratch, "configured")
    installer = ctx.pack(dialog_settings(configured))
    ctx.expect_exit(ctx.run(installer, "b\n\nb\nchosen\n\n"), EXIT_DIALOG_CLOSED)
    ctx.expect_shown("Please select a folder.")
    fields = [line[3:-1] for line in ctx.shown.splitlines() if line.startswith("  [")]
    check(fields[:3] == [configured, configured, os.path.realpath(chosen)],
          "field after cancel and choice: %s" % fields)
    compare_trees(ctx.tree, chosen)


def case_title_and_caption(ctx):
    installer = ctx.pack(dialog_settings(extra=[("appTitle", "Acme Tools 2.0"),
                                                ("appCaption", "Unpacks the Acme tools.")]))
    ctx.expect_exit(ctx.run(installer, "q\n"), EXIT_DIALOG_CLOSED)
    ctx.expect_shown("== Acme Tools 2.0 ==")
    ctx.expect_shown("Unpacks the Acme tools.")
    ctx.expect_not_shown(MAIN_CAPTION)
    ctx.expect_not_shown(EXPLANATION)


def case_damaged(ctx):
    # A damaged payload: what comes before the damage stays, the message
    # says so, no setup program starts, the dialog still ends normally.
    dest = os.path.join(ctx.scratch, "dest")
    installer = ctx.pack(dialog_settings(dest, setup=True), ["--damage", "truncated"])
    ctx.expect_exit(ctx.run(installer, "\n"), EXIT_DIALOG_CLOSED)
    ctx.expect_shown(DAMAGED_ARCHIVE)
    stub_e2e.expect_no_setup(dest)


def case_uncreatable_destination(ctx):
    # A destination below a file: nothing is extracted (not even into the
    # folder the installer was started from), the message says the files
    # could not be written, no setup program starts.
    blocker = os.path.join(ctx.scratch, "blocker")
    with open(blocker, "w") as f:
        f.write("a file where a folder is needed")
    installer = ctx.pack(dialog_settings(os.path.join(blocker, "dest"), setup=True))
    ctx.expect_exit(ctx.run(installer, "\n"), EXIT_DIALOG_CLOSED)
    ctx.expect_shown(WRITE_FAILED)
    stub_e2e.expect_no_setup(ctx.cwd)
    check(os.listdir(ctx.cwd) == [], "files appeared in the starting folder: %s" % os.listdir(ctx.cwd))


# --- The password dialog --------------------------------------------------------

def encrypted_case(key_bits):
    def run(ctx):
        dest = os.path.join(ctx.scratch, "dest")
        installer = ctx.pack(dialog_settings(dest), ["--password", "Open Sesame 7", "--key-bits", str(key_bits)])
        ctx.expect_exit(ctx.run(installer, "\nOpen Sesame 7\n"), EXIT_DIALOG_CLOSED)
        ctx.expect_shown(PASSWORD_PROMPT)
        ctx.expect_not_shown(INCORRECT_PASSWORD)
        ctx.expect_not_shown("Open Sesame 7")
        ctx.expect_shown(FINISHED)
        compare_trees(ctx.tree, dest)
    return run


def refused_password_case(answers, message_expected):
    """The run ends at the password prompt: nothing is extracted (the
    destination is not even created), no setup program starts, the dialog
    run still exits with 0."""
    def run(ctx):
        dest = os.path.join(ctx.scratch, "dest")
        installer = ctx.pack(dialog_settings(dest, setup=True), ["--password", "right", "--key-bits", "192"])
        ctx.expect_exit(ctx.run(installer, answers), EXIT_DIALOG_CLOSED)
        ctx.expect_shown(PASSWORD_PROMPT)
        if message_expected:
            ctx.expect_shown(INCORRECT_PASSWORD)
        else:
            ctx.expect_not_shown(INCORRECT_PASSWORD)
        check(not os.path.exists(dest), "the destination was created")
        ctx.expect_nothing_extracted(ctx.cwd, ctx.temp)
    return run


def case_silent_encrypted(ctx):
    # No window, no password: nothing happens, exit code 1.
    dest = os.path.join(ctx.scratch, "dest")
    installer = ctx.pack(dialog_settings(dest, setup=True, extra=[("noInterface", "true")]),
                         ["--password", "pw", "--key-bits", "128"])
    ctx.expect_exit(ctx.run(installer, ""), EXIT_SILENT_DONE)
    ctx.expect_not_shown(PASSWORD_PROMPT)
    check(not os.path.exists(dest), "an encrypted payload was extracted in a silent run")


def case_terminal_password(ctx):
    # On a terminal the password is read without echo: drive the stub
    # through a pseudo-terminal and look for the typed password in what it
    # shows.
    dest = os.path.join(ctx.scratch, "dest")
    password = "Typed Unseen 42"
    installer = ctx.pack(dialog_settings(dest), ["--password", password, "--key-bits", "256"])
    pid, master = pty.fork()
    if pid == 0:
        os.chdir(ctx.cwd)
        os.execve(installer, [installer], ctx.environment())
    terminal = TerminalReader(master)
    try:
        terminal.wait_for(b"> ")
        os.write(master, b"\n")
        terminal.wait_for(b"cancels.")
        os.write(master, password.encode() + b"\n")
        terminal.wait_for(FINISHED.encode())
        terminal.wait_for(b"> ")
        os.write(master, b"q\n")
        terminal.read_to_end()
    finally:
        _, status = os.waitpid(pid, 0)
        os.close(master)
    ctx.shown = terminal.data.decode(errors="replace")
    ctx.expect_exit(os.waitstatus_to_exitcode(status), EXIT_DIALOG_CLOSED)
    ctx.expect_not_shown(password)
    compare_trees(ctx.tree, dest)


class TerminalReader:
    """What a program writes to its pseudo-terminal, read as it comes."""

    def __init__(self, fd):
        self.fd = fd
        self.data = b""
        self.position = 0  # where the next wait_for starts looking

    def read_some(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return True
        try:
            chunk = os.read(self.fd, 4096)
        except OSError:  # the terminal closes with the process
            return False
        self.data += chunk
        return bool(chunk)

    def wait_for(self, marker, timeout=STUB_TIMEOUT_SECONDS):
        deadline = time.monotonic() + timeout
        while self.data.find(marker, self.position) < 0:
            check(time.monotonic() < deadline,
                  "timed out waiting for %r; got:\n%s" % (marker, self.data.decode(errors="replace")))
            check(self.read_some(0.5), "the program ended before showing %r; got:\n%s"
                  % (marker, self.data.decode(errors="replace")))
        self.position = self.data.find(marker, self.position) + len(marker)

    def read_to_end(self):
        while self.read_some(STUB_TIMEOUT_SECONDS):
            pass


CASES = {
    "close": case_close,
    "unzip-configured": case_unzip_configured,
    "unzip-current-dir": case_unzip_current_dir,
    "generated-temp": case_generated_temp,
    "temp-shown-literally": case_temp_shown_literally,
    "typed-folder": case_typed_folder,
    "browse": case_browse,
    "title-and-caption": case_title_and_caption,
    "damaged": case_damaged,
    "uncreatable-destination": case_uncreatable_destination,
    "password-128": encrypted_case(128),
    "password-192": encrypted_case(192),
    "password-256": encrypted_case(256),
    "password-wrong": refused_password_case("\nwrong\n", True),
    "password-empty": refused_password_case("\n\n", False),
    "password-cancel-eof": refused_password_case("\n", False),
    "password-cancel-esc": refused_password_case("\n\x1b\n", False),
    "password-silent": case_silent_encrypted,
    "password-terminal": case_terminal_password,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--stub")
    parser.add_argument("--pack")
    parser.add_argument("--work")
    parser.add_argument("--case", choices=sorted(CASES))
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    if args.list:
        print("\n".join(sorted(CASES)))
        return 0
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
