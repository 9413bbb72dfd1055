#!/usr/bin/env python3
"""End-to-end runs of the real dialogs of a Windows stub under Wine, on a
virtual X display (Xvfb) of its own, driven with xdotool as a user would
(clicks and keys), and read back with dialog-probe, a small Win32 program
that prints the texts and states of the dialog's controls. A screenshot of
every dialog state is kept under the work folder (screenshots/).

    dialog_wine.py --stub STUB.exe --pack E2E_PACK --work DIR --case NAME
                   [--runner scripts/wine-run] [--probe-compiler GCC] [--bvsfx BVSFX]
    dialog_wine.py --list

Needs Xvfb (package xvfb), xdotool, ImageMagick's import (imagemagick),
Wine and the mingw-w64 C compiler that builds dialog-probe
(gcc-mingw-w64-x86-64); a missing one fails the test and names it.

The runner gets its own Wine prefix in the work folder, with Wine drawing
the window frames itself (no window manager runs on the virtual display).
"""
import argparse
import os
import random
import select
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from stub_e2e import Failure, check, compare_trees, make_tree, pack_installer, remove_tree  # noqa: E402
from stub_e2e import expect_no_setup  # noqa: E402

MAIN_CAPTION = "Brivane Zip Self-Extractor"
PASSWORD_CAPTION = "Enter Password"
EXPLANATION = "To unzip all files to the specified folder, press the Unzip button."
ERROR_CAPTION = "Error"
FINISHED = "Finished!"
# Control ids of the dialogs (resources/StubResources.h).
IDC_UNZIP, IDC_CLOSE, IDC_CAPTION_TEXT, IDC_FOLDER_EDIT = 1001, 2, 1012, 1003
IDC_PROGRESS, IDC_FINISHED, IDC_PASSWORD_EDIT, IDC_OK = 1008, 1013, 1007, 1
# A message box's text is the static control with this id.
MESSAGE_BOX_TEXT_ID = 0xFFFF

SCREEN = "1024x768x24"
DISPLAY_START_SECONDS = 30
WINDOW_WAIT_MS = 60000
STATE_WAIT_SECONDS = 60
EXIT_WAIT_SECONDS = 60
EXIT_DIALOG_CLOSED = 0
PROBE_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "dialog_probe.c")
LAUNCHER_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "start_without_handles.c")

TOOLS = {
    "Xvfb": "xvfb",
    "xdotool": "xdotool",
    "import": "imagemagick",
    "wine": "wine64",
}


def require_tools(probe_compiler):
    missing = ["%s (package %s)" % (tool, package) for tool, package in TOOLS.items() if not shutil.which(tool)]
    if not shutil.which(probe_compiler):
        missing.append("%s (package gcc-mingw-w64-x86-64)" % probe_compiler)
    check(not missing, "missing tools for the Windows dialog tests: %s; run scripts/bootstrap or "
          "apt-get install them" % ", ".join(missing))


class VirtualDisplay:
    """An Xvfb server on a display number it picks itself (-displayfd: the
    first one free, written back to us when the server is ready)."""

    def __init__(self, log_path):
        read_end, write_end = os.pipe()
        with open(log_path, "wb") as log:
            self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN,
                                             "-nolisten", "tcp"], stdout=log, stderr=subprocess.STDOUT,
                                            pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + DISPLAY_START_SECONDS
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.5)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            self.close()
            raise Failure("Xvfb did not start (see %s)" % log_path)
        self.name = ":" + number.decode().strip()

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)


class Context:
    def __init__(self, args, case):
        self.args = args
        self.work = os.path.abspath(args.work)
        self.scratch = os.path.join(self.work, case)
        self.case = case
        remove_tree(self.scratch)
        self.tree = os.path.join(self.scratch, "tree")
        self.cwd = os.path.join(self.scratch, "cwd")
        self.screenshots = os.path.join(self.work, "screenshots")
        for folder in (self.tree, self.cwd, self.screenshots):
            os.makedirs(folder, exist_ok=True)
        make_tree(self.tree, "setup.bat")
        self.prefix = os.path.join(self.work, "wine-prefix-gui")
        self.display = VirtualDisplay(os.path.join(self.scratch, "xvfb.log"))
        self.env = dict(os.environ, DISPLAY=self.display.name, BRIVANE_WINE_GUI="1",
                        BRIVANE_WINEPREFIX=self.prefix, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        self.installer_process = None
        try:
            self.start_wine()
        except BaseException:
            self.close()
            raise

    def start_wine(self):
        self.probe = self.build_probe()
        self.prepare_prefix()
        # One server for the prefix, kept while the case runs, so that the
        # installer and the probe do not both start one (it fails, harmlessly,
        # when the prefix's set-up left one running).
        subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)

    # --- Wine ------------------------------------------------------------

    def runner(self):
        return shlex.split(self.args.runner)

    def build_launcher(self):
        """start_without_handles.exe: starts a program with no standard
        handles and no console to attach to, as Explorer does."""
        launcher = os.path.join(self.work, "start-without-handles.exe")
        if not os.path.exists(launcher) or os.path.getmtime(launcher) < os.path.getmtime(LAUNCHER_SOURCE):
            subprocess.run([self.args.probe_compiler, "-municode", "-O2", "-o", launcher, LAUNCHER_SOURCE], check=True)
        return launcher

    def build_probe(self):
        probe = os.path.join(self.work, "dialog-probe.exe")
        if not os.path.exists(probe) or os.path.getmtime(probe) < os.path.getmtime(PROBE_SOURCE):
            subprocess.run([self.args.probe_compiler, "-O2", "-o", probe, PROBE_SOURCE, "-lcomctl32"], check=True)
        return probe

    def prepare_prefix(self):
        """Wine draws window frames itself: no window manager runs here."""
        ready = os.path.join(self.prefix, ".brivane-dialogs-ready")
        if os.path.exists(ready):
            return
        code, _ = self.run_windows_program(["reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Decorated",
                                            "/d", "N", "/f"], timeout=600)
        check(code == 0, "cannot set up the Wine prefix %s" % self.prefix)
        open(ready, "w").close()

    def run_windows_program(self, arguments, timeout):
        """Runs a program under the runner; gives its exit code and output.
        The output goes through a file, not a pipe: the prefix's background
        processes that the first program starts (the desktop, the services)
        inherit its descriptors and would hold a pipe open after it ended."""
        with tempfile.TemporaryFile(dir=self.scratch) as output:
            result = subprocess.run(self.runner() + arguments, env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=output, stderr=subprocess.DEVNULL, timeout=timeout)
            output.seek(0)
            return result.returncode, output.read().decode(errors="replace")

    def windows_path(self, path):
        return "Z:" + path.replace("/", "\\")

    def windows_temp(self):
        _, output = self.run_windows_program([self.probe, "temp-path"], timeout=120)
        return output.strip()

    def pack(self, settings, extra=()):
        installer = os.path.join(self.scratch, "installer.exe")
        return pack_installer(self.args.pack, self.args.stub, installer, self.tree, settings, extra)

    def start(self, installer, arguments=(), launcher=None):
        """Starts the installer, or the launcher program with the
        installer's Windows path and the arguments."""
        self.log = open(os.path.join(self.scratch, "installer.log"), "wb")
        command = [installer] + list(arguments)
        if launcher is not None:
            command = launcher + [self.windows_path(installer)] + list(arguments)
        self.installer_process = subprocess.Popen(self.runner() + command, cwd=self.cwd, env=self.env,
                                                  stdin=subprocess.DEVNULL, stdout=self.log,
                                                  stderr=subprocess.STDOUT)

    def wait_for_exit(self):
        try:
            return self.installer_process.wait(timeout=EXIT_WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            self.screenshot("still-running")
            raise Failure("the installer did not end")

    def close(self):
        if self.installer_process is not None and self.installer_process.poll() is None:
            self.installer_process.kill()
            self.installer_process.wait()
        # The prefix's own processes (wineserver, the desktop) belong to
        # this run: end them before their display goes away.
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        self.display.close()

    # --- Reading and driving the dialogs -------------------------------------

    def probe_dialog(self, title, ids=(), wait_ms=WINDOW_WAIT_MS):
        """{item: text} of the dialog titled title; None when it is not there."""
        code, output = self.run_windows_program([self.probe, str(wait_ms), title] + [str(i) for i in ids],
                                                timeout=wait_ms / 1000 + 120)
        if code != 0:
            return None
        lines = output.splitlines()
        return dict(line.rstrip("\r").split("=", 1) for line in lines if "=" in line)

    def wait_for_window(self, title):
        """Waits until the X display shows a window titled title."""
        try:
            subprocess.run(["xdotool", "search", "--sync", "--name", "^%s$" % title], env=self.env,
                           capture_output=True, timeout=WINDOW_WAIT_MS / 1000)
        except subprocess.TimeoutExpired:
            self.screenshot("missing-" + title.replace(" ", "-"))
            raise Failure("no window titled %r appeared" % title)

    def expect_dialog(self, title, ids=()):
        self.wait_for_window(title)
        state = self.probe_dialog(title, ids)
        if state is None:
            self.screenshot("missing-" + title.replace(" ", "-"))
        check(state is not None, "no dialog titled %r appeared" % title)
        return state

    def wait_for_state(self, title, ids, condition, what):
        deadline = time.monotonic() + STATE_WAIT_SECONDS
        while True:
            state = self.probe_dialog(title, ids, wait_ms=1000)
            if state is not None and condition(state):
                return state
            if time.monotonic() > deadline:
                self.screenshot("timeout")
                raise Failure("%s did not happen; last state: %s" % (what, state))
            time.sleep(0.3)

    def xdotool(self, *arguments):
        subprocess.run(["xdotool"] + list(arguments), env=self.env, check=True, capture_output=True)

    def click(self, state, control_id):
        left, top, right, bottom = (int(v) for v in state["%d.rect" % control_id].split(","))
        self.xdotool("mousemove", str((left + right) // 2), str((top + bottom) // 2), "click", "1")

    def screenshot(self, state_name):
        path = os.path.join(self.screenshots, "%s-%s.png" % (self.case, state_name))
        subprocess.run(["import", "-window", "root", path], env=self.env, capture_output=True)
        return path

    def expect_closed_with_code_0(self):
        code = self.wait_for_exit()
        check(code == EXIT_DIALOG_CLOSED, "exit code %d, expected %d" % (code, EXIT_DIALOG_CLOSED))


MAIN_IDS = (IDC_UNZIP, IDC_CLOSE, IDC_CAPTION_TEXT, IDC_FOLDER_EDIT, IDC_PROGRESS, IDC_FINISHED)


def finished(state):
    return state.get(str(IDC_FINISHED)) == FINISHED


# --- Cases ---------------------------------------------------------------------

def case_unzip_configured(ctx):
    # The configured folder shown as stored, the template's texts; a click
    # on Unzip extracts, shows "Finished!" and fills the bar; Unzip stays
    # disabled; a click on Close ends the process with 0.
    dest = os.path.join(ctx.scratch, "dest")
    ctx.start(ctx.pack([("unzipDir", ctx.windows_path(dest))]))
    state = ctx.expect_dialog(MAIN_CAPTION, MAIN_IDS)
    ctx.screenshot("before-unzip")
    check(state["caption"] == MAIN_CAPTION, "caption %r" % state["caption"])
    check(state[str(IDC_CAPTION_TEXT)] == EXPLANATION, "explanation %r" % state[str(IDC_CAPTION_TEXT)])
    check(state[str(IDC_FOLDER_EDIT)] == ctx.windows_path(dest), "folder field %r" % state[str(IDC_FOLDER_EDIT)])
    check(state[str(IDC_FINISHED)] == "", "finished text before the run: %r" % state[str(IDC_FINISHED)])
    ctx.click(state, IDC_UNZIP)
    state = ctx.wait_for_state(MAIN_CAPTION, MAIN_IDS, finished, "Finished!")
    ctx.screenshot("after-unzip")
    check(state["%d.pos" % IDC_PROGRESS] == "100", "progress %r" % state["%d.pos" % IDC_PROGRESS])
    check(state["%d.enabled" % IDC_UNZIP] == "0", "Unzip is still enabled")
    compare_trees(ctx.tree, dest)
    ctx.click(state, IDC_CLOSE)
    ctx.expect_closed_with_code_0()


def case_current_dir(ctx):
    # Without a folder setting the field shows the current directory; Esc
    # (Close) ends the dialog.
    ctx.start(ctx.pack([]))
    state = ctx.expect_dialog(MAIN_CAPTION, MAIN_IDS)
    ctx.screenshot("shown")
    check(state[str(IDC_FOLDER_EDIT)].lower() == ctx.windows_path(ctx.cwd).lower(),
          "folder field %r, expected the current directory %r" % (state[str(IDC_FOLDER_EDIT)],
                                                                  ctx.windows_path(ctx.cwd)))
    ctx.xdotool("key", "Escape")
    ctx.expect_closed_with_code_0()


def case_temp_literal(ctx):
    ctx.start(ctx.pack([("unzipDir", "%temp%\\Acme")]))
    state = ctx.expect_dialog(MAIN_CAPTION, MAIN_IDS)
    check(state[str(IDC_FOLDER_EDIT)] == "%temp%\\Acme", "folder field %r" % state[str(IDC_FOLDER_EDIT)])
    ctx.xdotool("key", "Escape")
    ctx.expect_closed_with_code_0()


def case_generated_temp(ctx):
    temp = ctx.windows_temp()
    check(temp, "cannot read the runner's temporary folder")
    ctx.start(ctx.pack([("unzipToTemp", "true")]))
    state = ctx.expect_dialog(MAIN_CAPTION, MAIN_IDS)
    ctx.screenshot("shown")
    field = state[str(IDC_FOLDER_EDIT)]
    prefix = temp.rstrip("\\") + "\\bvz_"
    check(field.lower().startswith(prefix.lower()) and len(field) == len(prefix) + 4,
          "folder field %r, expected %s and four characters" % (field, prefix))
    ctx.xdotool("key", "Escape")
    ctx.expect_closed_with_code_0()


def case_title_and_caption(ctx):
    # appTitle and appCaption replace the caption and the explanation;
    # Alt+F4 (the system close) ends the dialog too.
    ctx.start(ctx.pack([("appTitle", "Acme Tools Setup"), ("appCaption", "Unpacks the Acme tools.")]))
    state = ctx.expect_dialog("Acme Tools Setup", MAIN_IDS)
    ctx.screenshot("shown")
    check(state[str(IDC_CAPTION_TEXT)] == "Unpacks the Acme tools.", "caption text %r" % state[str(IDC_CAPTION_TEXT)])
    check(ctx.probe_dialog(MAIN_CAPTION, wait_ms=0) is None, "a dialog still carries the template's caption")
    ctx.xdotool("key", "alt+F4")
    ctx.expect_closed_with_code_0()


def password_case(key_bits):
    # Unzip (Enter on the default button), the password dialog with the
    # focus in its field, the password typed, Enter: extracted.
    def run(ctx):
        dest = os.path.join(ctx.scratch, "dest")
        password = "Open Sesame %d" % key_bits
        ctx.start(ctx.pack([("unzipDir", ctx.windows_path(dest))], ["--password", password, "--key-bits", str(key_bits)]))
        ctx.expect_dialog(MAIN_CAPTION, MAIN_IDS)
        ctx.xdotool("key", "Return")
        ctx.expect_dialog(PASSWORD_CAPTION, (IDC_PASSWORD_EDIT, IDC_OK))
        ctx.xdotool("type", "--delay", "40", password)
        ctx.wait_for_state(PASSWORD_CAPTION, (IDC_PASSWORD_EDIT,),
                           lambda s: s.get(str(IDC_PASSWORD_EDIT)) == password, "typing the password")
        ctx.screenshot("password-typed")
        ctx.xdotool("key", "Return")
        state = ctx.wait_for_state(MAIN_CAPTION, MAIN_IDS, finished, "Finished!")
        ctx.screenshot("after-unzip")
        compare_trees(ctx.tree, dest)
        ctx.click(state, IDC_CLOSE)
        ctx.expect_closed_with_code_0()
    return run


def case_wrong_password(ctx):
    # "Incorrect password." in a message box captioned "Error"; after OK the
    # run ends the main dialog and the process (exit code 0); nothing is
    # extracted.
    dest = os.path.join(ctx.scratch, "dest")
    ctx.start(ctx.pack([("unzipDir", ctx.windows_path(dest))], ["--password", "right", "--key-bits", "128"]))
    ctx.expect_dialog(MAIN_CAPTION, MAIN_IDS)
    ctx.xdotool("key", "Return")
    ctx.expect_dialog(PASSWORD_CAPTION, (IDC_PASSWORD_EDIT,))
    ctx.xdotool("type", "--delay", "40", "wrong")
    ctx.xdotool("key", "Return")
    state = ctx.expect_dialog(ERROR_CAPTION, (MESSAGE_BOX_TEXT_ID,))
    ctx.screenshot("incorrect-password")
    check(state.get(str(MESSAGE_BOX_TEXT_ID)) == "Incorrect password.", "message %r" % state)
    ctx.xdotool("key", "Return")
    ctx.expect_closed_with_code_0()
    check(not os.path.exists(dest), "the destination was created after a wrong password")


def refused_password_case(key, what):
    # OK on an empty field (Return) or Cancel (Escape) in the password
    # dialog: no message, nothing extracted, exit 0.
    def run(ctx):
        dest = os.path.join(ctx.scratch, "dest")
        ctx.start(ctx.pack([("unzipDir", ctx.windows_path(dest))], ["--password", "right", "--key-bits", "256"]))
        ctx.expect_dialog(MAIN_CAPTION, MAIN_IDS)
        ctx.xdotool("key", "Return")
        ctx.expect_dialog(PASSWORD_CAPTION, (IDC_PASSWORD_EDIT, IDC_OK))
        ctx.xdotool("key", key)
        ctx.expect_closed_with_code_0()
        check(ctx.probe_dialog(ERROR_CAPTION, wait_ms=0) is None, "a message box appeared")
        check(not os.path.exists(dest), "the destination was created after %s" % what)
    return run


def case_damaged_stored(ctx):
    # An installer bvsfx made, with one byte of a stored file's data
    # changed: Unzip shows "The archive is damaged or incomplete." (caption
    # "Error"), the damaged file is deleted again, the setup program is not
    # launched; Close then ends the process with 0.
    check(ctx.args.bvsfx, "--bvsfx is needed for this case")
    dest = os.path.join(ctx.scratch, "dest")
    stored = random.Random(16).randbytes(4096)
    with open(os.path.join(ctx.tree, "stored.bin"), "wb") as f:
        f.write(stored)
    installer = os.path.join(ctx.scratch, "installer.exe")
    subprocess.run([ctx.args.bvsfx, "pack", "-q", "--stub", ctx.args.stub, "-o", installer,
                    "--dir", ctx.windows_path(dest), "--setup", "setup.bat", ctx.tree], check=True)
    with open(installer, "rb") as f:
        image = bytearray(f.read())
    at = image.find(stored)
    check(at > 0, "the stored file's data is not in the installer")
    image[at + len(stored) // 2] ^= 0x01
    with open(installer, "wb") as f:
        f.write(image)
    ctx.start(installer)
    state = ctx.expect_dialog(MAIN_CAPTION, MAIN_IDS)
    ctx.click(state, IDC_UNZIP)
    message = ctx.expect_dialog(ERROR_CAPTION, (MESSAGE_BOX_TEXT_ID,))
    ctx.screenshot("damaged")
    check(message.get(str(MESSAGE_BOX_TEXT_ID)) == "The archive is damaged or incomplete.", "message %r" % message)
    ctx.xdotool("key", "Return")
    state = ctx.wait_for_state(MAIN_CAPTION, MAIN_IDS, finished, "the end of the run")
    check(not os.path.exists(os.path.join(dest, "stored.bin")), "the damaged file was left behind")
    expect_no_setup(dest)
    ctx.click(state, IDC_CLOSE)
    ctx.expect_closed_with_code_0()


def strong_case(change_setting):
    # An installer bvsfx made in the strong password mode (PBKDF2, 600,000
    # iterations). The right password extracts the tree; the time from the
    # password's Enter to "Finished!" is printed (mostly the derivation).
    # With change_setting, one byte of the setup program's parameters is
    # changed first: the right password then meets "The archive is damaged
    # or incomplete.", nothing is extracted and nothing launched.
    def run(ctx):
        check(ctx.args.bvsfx, "--bvsfx is needed for this case")
        dest = os.path.join(ctx.scratch, "dest")
        password = "Strong Sesame"
        installer = os.path.join(ctx.scratch, "installer.exe")
        subprocess.run([ctx.args.bvsfx, "pack", "-q", "--stub", ctx.args.stub, "-o", installer, "-p", password,
                        "--dir", ctx.windows_path(dest), "--setup-params", "harmless", ctx.tree], check=True)
        if change_setting:
            with open(installer, "rb") as f:
                image = bytearray(f.read())
            at = image.rfind(b"harmless")
            check(at > 0, "the setting is not in the installer")
            image[at] = ord("H")
            with open(installer, "wb") as f:
                f.write(image)
        ctx.start(installer)
        ctx.expect_dialog(MAIN_CAPTION, MAIN_IDS)
        ctx.xdotool("key", "Return")
        ctx.expect_dialog(PASSWORD_CAPTION, (IDC_PASSWORD_EDIT, IDC_OK))
        ctx.xdotool("type", "--delay", "40", password)
        ctx.wait_for_state(PASSWORD_CAPTION, (IDC_PASSWORD_EDIT,),
                           lambda s: s.get(str(IDC_PASSWORD_EDIT)) == password, "typing the password")
        started = time.monotonic()
        ctx.xdotool("key", "Return")
        if change_setting:
            message = ctx.expect_dialog(ERROR_CAPTION, (MESSAGE_BOX_TEXT_ID,))
            ctx.screenshot("strong-changed-setting")
            check(message.get(str(MESSAGE_BOX_TEXT_ID)) == "The archive is damaged or incomplete.",
                  "message %r" % message)
            ctx.xdotool("key", "Return")
            state = ctx.wait_for_state(MAIN_CAPTION, MAIN_IDS, finished, "the end of the run")
            check(not os.path.exists(dest) or not os.listdir(dest), "a changed setting still extracted files")
        else:
            state = ctx.wait_for_state(MAIN_CAPTION, MAIN_IDS, finished, "Finished!")
            print("strong mode under Wine: %.2f s from the password's Enter to Finished!" % (time.monotonic() - started))
            ctx.screenshot("strong-after-unzip")
            compare_trees(ctx.tree, dest)
        ctx.click(state, IDC_CLOSE)
        ctx.expect_closed_with_code_0()
    return run


# A setup program that runs until the test lets it end (by creating
# RELEASE_FILE in the destination), then records that it ran.
RELEASE_FILE = "release.txt"
SETUP_RAN_FILE = "setup-ran.txt"
HELD_SETUP_BATCH = (
    "@echo off\r\n"
    ":loop\r\n"
    "if exist " + RELEASE_FILE + " goto done\r\n"
    "ping -n 2 127.0.0.1 > nul\r\n"
    "goto loop\r\n"
    ":done\r\n"
    "echo ended> " + SETUP_RAN_FILE + "\r\n"
)


def case_wait_responsive(ctx):
    # waitForSetup with the dialog: while the setup program runs, the dialog
    # answers (the probe reads its controls through messages, the screenshot
    # shows it drawn) and "Finished!" is not shown yet; it appears once the
    # setup program has ended. Close then ends the process with 0.
    with open(os.path.join(ctx.tree, "setup.bat"), "w", newline="") as f:
        f.write(HELD_SETUP_BATCH)
    dest = os.path.join(ctx.scratch, "dest")
    ctx.start(ctx.pack([("unzipDir", ctx.windows_path(dest)), ("setupFilename", "setup.bat"),
                        ("waitForSetup", "true")]))
    state = ctx.expect_dialog(MAIN_CAPTION, MAIN_IDS)
    ctx.click(state, IDC_UNZIP)
    deadline = time.monotonic() + STATE_WAIT_SECONDS
    while not os.path.exists(os.path.join(dest, "setup.bat")):
        check(time.monotonic() < deadline, "the setup program was not extracted")
        time.sleep(0.2)
    time.sleep(3)  # the setup program runs now, and the stub waits for it
    state = ctx.probe_dialog(MAIN_CAPTION, MAIN_IDS, wait_ms=5000)
    ctx.screenshot("waiting-for-setup")
    check(state is not None, "the dialog did not answer while the setup program ran")
    check(not finished(state), "\"Finished!\" was shown before the setup program ended")
    check(not os.path.exists(os.path.join(dest, SETUP_RAN_FILE)), "the setup program ended too early")
    open(os.path.join(dest, RELEASE_FILE), "w").close()
    state = ctx.wait_for_state(MAIN_CAPTION, MAIN_IDS, finished, "Finished!")
    ctx.screenshot("setup-ended")
    check(os.path.exists(os.path.join(dest, SETUP_RAN_FILE)), "\"Finished!\" before the setup program ended")
    ctx.click(state, IDC_CLOSE)
    ctx.expect_closed_with_code_0()


OPTIONS_TITLE = "Options Test"


def case_options_message_box(ctx):
    # The installer's --help without standard handles and without a console
    # to attach to (as when started from Explorer or a shortcut): the usage
    # text is shown in one message box captioned with the title; OK ends the
    # process with 0 and nothing is extracted.
    dest = os.path.join(ctx.scratch, "dest")
    ctx.start(ctx.pack([("appTitle", OPTIONS_TITLE), ("unzipDir", ctx.windows_path(dest)),
                        ("setupFilename", "setup.bat")]), arguments=["--help"],
              launcher=[ctx.build_launcher(), "none"])
    box = ctx.expect_dialog(OPTIONS_TITLE, (MESSAGE_BOX_TEXT_ID,))
    ctx.screenshot("help-message-box")
    # The probe gives a text's first line (the screenshot shows all of it).
    text = box.get(str(MESSAGE_BOX_TEXT_ID), "")
    check(text.startswith("Usage: installer [options]"), "the message box says %r" % text)
    ctx.xdotool("key", "Return")
    ctx.expect_closed_with_code_0()
    check(not os.path.exists(dest), "--help extracted")


CASES = {
    "options-message-box": case_options_message_box,
    "wait-responsive": case_wait_responsive,
    "unzip-configured": case_unzip_configured,
    "current-dir": case_current_dir,
    "temp-literal": case_temp_literal,
    "generated-temp": case_generated_temp,
    "title-and-caption": case_title_and_caption,
    "password-128": password_case(128),
    "password-192": password_case(192),
    "password-256": password_case(256),
    "empty-password": refused_password_case("Return", "an empty password"),
    "wrong-password": case_wrong_password,
    "cancel-password": refused_password_case("Escape", "Cancel"),
    "damaged-stored": case_damaged_stored,
    "strong-password": strong_case(False),
    "strong-changed-setting": strong_case(True),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--stub")
    parser.add_argument("--pack")
    parser.add_argument("--work")
    parser.add_argument("--case", choices=sorted(CASES))
    parser.add_argument("--runner", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                         "..", "..", "scripts", "wine-run"))
    parser.add_argument("--probe-compiler", default="x86_64-w64-mingw32-gcc")
    parser.add_argument("--bvsfx", help="bvsfx, for the cases that pack with it")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    if args.list:
        print("\n".join(sorted(CASES)))
        return 0
    if not (args.stub and args.pack and args.work and args.case):
        parser.error("--stub, --pack, --work and --case are required")
    ctx = None
    try:
        require_tools(args.probe_compiler)
        ctx = Context(args, args.case)
        CASES[args.case](ctx)
    except Failure as failure:
        print("FAILED %s: %s" % (args.case, failure), file=sys.stderr)
        return 1
    finally:
        if ctx is not None:
            ctx.close()
    print("passed %s" % args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
