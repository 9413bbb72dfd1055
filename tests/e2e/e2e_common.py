"""What the end-to-end drivers share: the failure they raise, the check that
raises it, progress lines, subprocess runs, scratch-tree clean-up that never
follows a link, and the host tools they need (which the bootstrap installs:
a missing one is a failure that says what to install, never a skip)."""

import os
import shutil
import subprocess


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(text):
    print(text, flush=True)


def run_text(command, **kwargs):
    """Runs the command with its outputs captured as text."""
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def require_tools(tools):
    """tools: {command: Debian package}. Fails naming every missing package."""
    missing = sorted({package for command, package in tools.items() if shutil.which(command) is None})
    check(not missing, "missing tools: install " + " ".join(missing) + " (scripts/bootstrap does)")


def make_writable(root):
    """Gives the owner write access to everything below root (read-only files
    and folders would stop the removal) without touching what a link points
    to: chmod follows links, so links are left alone."""
    if not os.path.isdir(root) or os.path.islink(root):
        return
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            if os.path.islink(path):
                continue
            try:
                os.chmod(path, 0o755 if os.path.isdir(path) else 0o644)
            except OSError:
                pass


def remove_tree(root):
    make_writable(root)
    shutil.rmtree(root, ignore_errors=True)


def make_icon(path, size, gradient, sizes, draw=()):
    """An .ico of the given sizes, drawn by ImageMagick's convert."""
    command = ["convert", "-size", "%dx%d" % (size, size), "gradient:" + gradient]
    for item in draw:
        command += ["-fill", item[0], "-draw", item[1]]
    command += ["-depth", "8", "-define", "icon:auto-resize=" + ",".join(str(s) for s in sizes), path]
    result = run_text(command)
    check(result.returncode == 0, "convert failed: " + result.stderr)

