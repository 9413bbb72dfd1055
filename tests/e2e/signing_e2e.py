#!/usr/bin/env python3
"""Signed installers: pack first, then sign, with a test certificate.

    signing_e2e.py --bvsfx BVSFX --stub WINDOWS_STUB [--win32-stub WIN32_STUB] --work DIR
                   [--runner "wine-run"]

1. A certificate and key made with openssl; `osslsigncode sign` on a bvsfx-made
   installer; `osslsigncode verify` says the signature holds; bvsfx info says
   the file is signed; bvsfx list, test and extract read it; with --runner
   the signed installer runs (silently) and extracts. The same for an
   installer branded with --icon and --version-info, and (--win32-stub) for
   a branded installer of the 32-bit stub, which is not run: this machine's
   Wine runs 64-bit programs only.
2. bvsfx pack refuses a signed stub (exit 4): a payload behind it would
   break the signature.
3. The doctored file: a signed bare stub whose certificate table was grown to
   hold a payload. Its signature still verifies (the table is not covered by
   it), and no reader may take that payload: bvsfx finds none (exit 6).
"""
import argparse
import os
import shlex
import shutil
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_common import Failure, check, make_icon, run_text as run  # noqa: E402

TOOLS = {"openssl": "openssl", "osslsigncode": "osslsigncode", "convert": "imagemagick"}
SECURITY_DIRECTORY_ENTRY = 4
EXIT_NO_PAYLOAD = 6
EXIT_LIMITS = 4


def make_certificate(work):
    key = os.path.join(work, "key.pem")
    cert = os.path.join(work, "cert.pem")
    result = run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                  "-days", "2", "-subj", "/CN=Brivane test publisher"])
    check(result.returncode == 0, "openssl req failed: " + result.stderr)
    return key, cert


def sign(key, cert, unsigned, signed):
    result = run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Brivane test", "-h", "sha256",
                  "-in", unsigned, "-out", signed])
    check(result.returncode == 0, "osslsigncode sign failed: " + result.stdout + result.stderr)


def verify(cert, path):
    result = run(["osslsigncode", "verify", "-CAfile", cert, "-in", path])
    return result.returncode == 0 and "Signature verification: ok" in result.stdout, result.stdout


def branding(icon):
    return ["--icon", icon, "--version-info", "ProductName=Brivane signed demo", "--version-info",
            "FileVersion=3.0.0.1", "--version-info", "CompanyName=Brivane test publisher"]


def pack(args, stub, out, dest, tree, extra=()):
    result = run([args.bvsfx, "pack", "-q", "--stub", stub, "-o", out, "--silent", "--dir",
                  "Z:" + dest.replace("/", "\\"), "--setup", "setup.bat"] + list(extra) + [tree])
    check(result.returncode == 0, "bvsfx pack failed: " + result.stderr)


def signed_round_trip(args, key, cert, unsigned, dest, label):
    """Signs the installer, verifies it, reads it with bvsfx, and with a
    runner and a destination runs it."""
    work = os.path.dirname(unsigned)
    signed = unsigned[:-4] + "-signed.exe"
    sign(key, cert, unsigned, signed)
    ok, text = verify(cert, signed)
    check(ok, "the %s does not verify:\n%s" % (label, text))
    for line in text.splitlines():
        if "PE checksum" in line or "Signature verification" in line or "Message digest" in line:
            print("%s: osslsigncode verify: %s" % (label, line.strip()))
    info = run([args.bvsfx, "info", signed])
    check(info.returncode == 0 and "Signed:          yes" in info.stdout, "bvsfx info: " + info.stdout + info.stderr)
    extracted = os.path.join(work, "extracted-" + os.path.basename(signed))
    for command in (["list"], ["test"], ["extract", "-C", extracted]):
        result = run([args.bvsfx] + command + [signed])
        check(result.returncode == 0, "bvsfx %s on the %s: exit %d\n%s"
              % (command[0], label, result.returncode, result.stdout + result.stderr))
    check(open(os.path.join(extracted, "readme.txt")).read() == "signed hello\n", "extracted content")
    print("%s: verifies, bvsfx info says signed, list/test/extract read it" % label)
    if args.runner and dest:
        result = subprocess.run(shlex.split(args.runner) + [signed], capture_output=True, timeout=300)
        check(result.returncode == 1, "the %s exited %d" % (label, result.returncode))
        deadline = time.monotonic() + 20
        while not os.path.exists(os.path.join(dest, "setup-ran.txt")) and time.monotonic() < deadline:
            time.sleep(0.1)
        check(open(os.path.join(dest, "readme.txt")).read() == "signed hello\n", "the run extracted wrong data")
        check(os.path.exists(os.path.join(dest, "setup-ran.txt")), "the %s did not launch setup" % label)
        print("%s: ran under the runner, extracted and launched its setup program" % label)


def security_directory_field(image):
    """File offset of the certificate-table entry of the data directory."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    optional = pe + 4 + 20
    magic = struct.unpack_from("<H", image, optional)[0]
    directory = optional + (96 if magic == 0x10B else 112)
    return directory + 8 * SECURITY_DIRECTORY_ENTRY


def grow_certificate_table(signed_stub, payload, out):
    """The signed stub with the payload put inside its certificate table
    (WIN_CERTIFICATE length and directory size grown to cover it)."""
    image = bytearray(open(signed_stub, "rb").read())
    field = security_directory_field(image)
    offset, size = struct.unpack_from("<II", image, field)
    check(offset + size == len(image), "the certificate table is not at the end of the signed stub")
    padded = payload + b"\0" * (-len(payload) % 8)
    struct.pack_into("<II", image, field, offset, size + len(padded))
    length = struct.unpack_from("<I", image, offset)[0]
    struct.pack_into("<I", image, offset, length + len(padded))
    open(out, "wb").write(bytes(image) + padded)


def make_tree(root):
    os.makedirs(os.path.join(root, "docs"))
    open(os.path.join(root, "readme.txt"), "w").write("signed hello\n")
    open(os.path.join(root, "docs", "manual.txt"), "w").write("manual\n" * 1000)
    open(os.path.join(root, "setup.bat"), "w").write("@echo off\r\necho ran> setup-ran.txt\r\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bvsfx", required=True)
    parser.add_argument("--stub", required=True, help="a Windows stub")
    parser.add_argument("--win32-stub", default="", help="the 32-bit Windows stub, signed but not run")
    parser.add_argument("--work", required=True)
    parser.add_argument("--runner", default="")
    args = parser.parse_args()
    for tool, package in TOOLS.items():
        if shutil.which(tool) is None:
            print("FAILED: %s is missing: install the package %s (scripts/bootstrap does)" % (tool, package))
            return 1
    if args.win32_stub and not os.path.isfile(args.win32_stub):
        print("FAILED: the win32 stub %s is missing: build it (cmake --preset win32 && cmake --build --preset win32)"
              % args.win32_stub)
        return 1
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    try:
        key, cert = make_certificate(work)
        tree = os.path.join(work, "tree")
        make_tree(tree)
        dest = os.path.join(work, "dest")
        unsigned = os.path.join(work, "installer.exe")
        pack(args, args.stub, unsigned, dest, tree)
        signed_round_trip(args, key, cert, unsigned, dest, "signed installer")

        icon = os.path.join(work, "brand.ico")
        make_icon(icon, 64, "green-white", (64, 32, 16))
        branded_dest = os.path.join(work, "dest-branded")
        branded = os.path.join(work, "branded.exe")
        pack(args, args.stub, branded, branded_dest, tree, branding(icon))
        signed_round_trip(args, key, cert, branded, branded_dest, "signed branded installer")
        if args.win32_stub:
            branded32 = os.path.join(work, "branded32.exe")
            pack(args, args.win32_stub, branded32, os.path.join(work, "dest32"), tree, branding(icon))
            signed_round_trip(args, key, cert, branded32, None, "signed branded win32 installer")
            print("signed branded win32 installer: not run (this machine's Wine runs 64-bit programs only)")

        signed_stub = os.path.join(work, "signed-stub.exe")
        sign(key, cert, args.stub, signed_stub)
        result = run([args.bvsfx, "pack", "-q", "--stub", signed_stub, "-o", os.path.join(work, "refused.exe"), tree])
        check(result.returncode == EXIT_LIMITS and "is signed" in result.stderr,
              "pack with a signed stub: exit %d\n%s" % (result.returncode, result.stderr))
        check(not os.path.exists(os.path.join(work, "refused.exe")), "pack wrote an output for a signed stub")
        print("pack refuses a signed stub: " + result.stderr.strip().splitlines()[-1])

        stub_bytes = os.path.getsize(args.stub)
        payload = open(unsigned, "rb").read()[stub_bytes:]
        doctored = os.path.join(work, "doctored.exe")
        grow_certificate_table(signed_stub, payload, doctored)
        ok, text = verify(cert, doctored)
        print("doctored file (payload inside the certificate table): osslsigncode verify %s"
              % ("ok" if ok else "fails"))
        result = run([args.bvsfx, "list", doctored])
        check(result.returncode == EXIT_NO_PAYLOAD, "bvsfx list took the payload inside the certificate table: "
              "exit %d\n%s" % (result.returncode, result.stdout + result.stderr))
        print("doctored file: no payload found (exit %d)" % result.returncode)
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
