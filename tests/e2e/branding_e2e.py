#!/usr/bin/env python3
"""The publisher's icon and version information in a Windows installer.

    branding_e2e.py --bvsfx BVSFX --stub WIN64_STUB [--stub WIN32_STUB ...] --work DIR
                    [--runner "wine-run"] [--probe-compiler x86_64-w64-mingw32-gcc]

For each stub:
1. The stub's own layout: the resource section is its last section and the
   file ends with it; its PE checksum (set by the linker) is the one pefile
   computes.
2. bvsfx pack --icon (an ImageMagick-made .ico with a PNG and three bitmap
   images) --version-info ...: wrestool lists the icon group, one icon per
   image and the version resource; wrestool's icon file made from the group
   holds the .ico's images byte for byte; every other resource of the stub
   (dialogs, manifest, strings) is byte-identical; pefile finds the branded
   stub's checksum valid and its headers consistent; the same pack again
   gives the same bytes; bvsfx test reads the installer.
3. With --runner (the 64-bit stub only; this machine's Wine runs 64-bit
   programs only): a small probe (version_probe.c) reads the strings back
   with GetFileVersionInfoW/VerQueryValueW and loads the icon group with
   LoadImageW at 16, 32, 48 and 256 pixels and with LoadIconW; the branded
   installer runs silently and extracts.
"""
import argparse
import os
import shlex
import shutil
import struct
import subprocess
import sys
import time
from e2e_common import Failure, check, make_icon  # noqa: E402


def import_pefile():
    """pefile from the Debian package (python3-pefile), also when this is
    another Python than the system's."""
    try:
        import pefile
        return pefile
    except ImportError:
        sys.path.append("/usr/lib/python3/dist-packages")
        try:
            import pefile
            return pefile
        except ImportError:
            return None


TOOLS = {"wrestool": "icoutils", "convert": "imagemagick"}
VERSION_STRINGS = [
    ("ProductName", "Brivane Demo \u00e9dition"),
    ("FileDescription", "Brivane demo installer"),
    ("CompanyName", "Brivane test publisher"),
    ("FileVersion", "2.1.0.5"),
    ("ProductVersion", "2.1.7.0"),
    ("LegalCopyright", "\u00a9 2026 Brivane"),
    ("OriginalFilename", "demo-setup.exe"),
]
BRANDED_TYPES = {"3", "14", "16"}  # RT_ICON, RT_GROUP_ICON, RT_VERSION
ICON_SIZES = (256, 48, 32, 16)


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, **kwargs)


def ico_images(data):
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        _, _, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images.append(data[offset:offset + size])
    return images


def wrestool_list(path):
    """(type, name, language, size) of every resource, as wrestool lists them."""
    result = run(["wrestool", "-l", path])
    check(result.returncode == 0, "wrestool -l %s failed: %s" % (path, result.stderr.decode()))
    text = result.stdout.decode()
    rows = []
    for line in text.splitlines():
        fields = dict(part[2:].split("=", 1) for part in line.replace("[", " ").replace("]", " ").split()
                      if part.startswith("--") and "=" in part)
        size = [part.split("=")[1] for part in line.replace("]", " ").split() if part.startswith("size=")]
        rows.append((fields.get("type"), fields.get("name"), fields.get("language"), size[0] if size else None))
    return rows, text


def wrestool_raw(path, kind, name, language):
    command = ["wrestool", "-x", "--raw", "--type=" + kind, "--name=" + name]
    if language is not None:
        command.append("--language=" + language)
    result = run(command + [path])
    check(result.returncode == 0, "wrestool -x %s %s failed" % (kind, name))
    return result.stdout


def stub_part(pefile, path):
    """The PE image in front of the payload: up to the end of its last section."""
    data = open(path, "rb").read()
    pe = pefile.PE(data=data, fast_load=True)
    last = max(pe.sections, key=lambda section: section.PointerToRawData)
    return data[:last.PointerToRawData + last.SizeOfRawData]


def check_layout(pefile, image, label):
    pe = pefile.PE(data=image)
    last = max(pe.sections, key=lambda section: section.VirtualAddress)
    name = last.Name.rstrip(b"\0").decode()
    check(name == ".rsrc", "%s: the last section is %s, not .rsrc" % (label, name))
    check(last.PointerToRawData + last.SizeOfRawData == len(image), "%s: data follows .rsrc" % label)
    resources = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2]
    check(resources.VirtualAddress == last.VirtualAddress and resources.Size == last.Misc_VirtualSize,
          "%s: the resource directory entry does not name the .rsrc section" % label)
    expected_image = (last.VirtualAddress + last.Misc_VirtualSize + pe.OPTIONAL_HEADER.SectionAlignment - 1) \
        // pe.OPTIONAL_HEADER.SectionAlignment * pe.OPTIONAL_HEADER.SectionAlignment
    check(pe.OPTIONAL_HEADER.SizeOfImage == expected_image, "%s: SizeOfImage 0x%x, expected 0x%x"
          % (label, pe.OPTIONAL_HEADER.SizeOfImage, expected_image))
    stored = pe.OPTIONAL_HEADER.CheckSum
    computed = pe.generate_checksum()
    check(stored == computed, "%s: PE checksum 0x%08x, pefile computes 0x%08x" % (label, stored, computed))
    print("%s: .rsrc last (0x%x bytes at 0x%x), SizeOfImage 0x%x, checksum 0x%08x = pefile's"
          % (label, last.Misc_VirtualSize, last.PointerToRawData, pe.OPTIONAL_HEADER.SizeOfImage, stored))


def pack(args, stub, out, icon, tree, extra=()):
    command = [args.bvsfx, "pack", "-q", "--stub", stub, "-o", out, "--icon", icon]
    for key, value in VERSION_STRINGS:
        command += ["--version-info", "%s=%s" % (key, value)]
    result = run(command + list(extra) + [tree])
    check(result.returncode == 0, "bvsfx pack failed: " + result.stderr.decode())


def brand_and_check(args, pefile, stub, work, icon, tree):
    label = os.path.basename(stub)
    check_layout(pefile, open(stub, "rb").read(), label + " (as built)")
    dest = os.path.join(work, "dest-" + label)
    installer = os.path.join(work, "branded-" + label)
    pack(args, stub, installer, icon, tree, ["--silent", "--dir", "Z:" + dest.replace("/", "\\")])
    again = installer + ".again"
    pack(args, stub, again, icon, tree, ["--silent", "--dir", "Z:" + dest.replace("/", "\\")])
    check(open(installer, "rb").read() == open(again, "rb").read(), "the same branded pack gave other bytes")
    check_layout(pefile, stub_part(pefile, installer), label + " (branded)")

    before, _ = wrestool_list(stub)
    after, listing = wrestool_list(installer)
    print("wrestool -l %s:\n%s" % (os.path.basename(installer), listing.rstrip()))
    groups = [row for row in after if row[0] == "14"]
    icons = [row for row in after if row[0] == "3"]
    versions = [row for row in after if row[0] == "16"]
    check(len(groups) == 1 and groups[0][1] == "1", "icon groups: %s" % groups)
    check(len(icons) == len(ICON_SIZES), "icons: %s" % icons)
    check(len(versions) == 1 and versions[0][1] == "1", "version resources: %s" % versions)
    kept_before = [row for row in before if row[0] not in BRANDED_TYPES]
    kept_after = [row for row in after if row[0] not in BRANDED_TYPES]
    check(kept_before == kept_after, "other resources changed:\n%s\n%s" % (kept_before, kept_after))
    for kind, name, language, _ in kept_before:
        check(wrestool_raw(stub, kind, name, language) == wrestool_raw(installer, kind, name, language),
              "resource type %s name %s differs from the stub's" % (kind, name))
    print("%s: %d other resources (dialogs, manifest, strings) byte-identical" % (label, len(kept_before)))

    extracted = run(["wrestool", "-x", "--type=14", installer]).stdout
    check(ico_images(extracted) == ico_images(open(icon, "rb").read()),
          "the icon wrestool rebuilds from the group does not hold the .ico's images")
    print("%s: wrestool's icon from group 1 holds the %d images of the .ico byte for byte"
          % (label, len(ICON_SIZES)))
    result = run([args.bvsfx, "test", installer])
    check(result.returncode == 0, "bvsfx test on the branded installer: " + result.stdout.decode())
    return installer, dest


def probe_under_wine(args, work, installer, dest):
    probe = os.path.join(work, "version_probe.exe")
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "version_probe.c")
    result = run([args.probe_compiler, "-municode", "-O2", "-o", probe, source, "-lversion", "-lgdi32"])
    check(result.returncode == 0, "cannot build the probe: " + result.stderr.decode())
    runner = shlex.split(args.runner)
    result = run(runner + [probe, installer] + [key for key, _ in VERSION_STRINGS], timeout=300)
    text = result.stdout.decode("utf-8", "replace").replace("\r", "")
    print("version_probe.exe under Wine:\n" + text.rstrip())
    check(result.returncode == 0, "the probe failed (exit %d): %s" % (result.returncode, text))
    lines = set(text.splitlines())
    for key, value in VERSION_STRINGS:
        check("%s=%s" % (key, value) in lines, "GetFileVersionInfo gave no %s=%s" % (key, value))
    check("fixed file=2.1.0.5 product=2.1.7.0" in lines, "VS_FIXEDFILEINFO versions")
    for size in (16, 32, 48, 256):
        check("icon %d: %dx%d" % (size, size, size) in lines, "LoadImage of the %d-pixel icon" % size)
    check("LoadIcon: ok" in lines, "LoadIcon of group 1")

    result = run(runner + [installer], timeout=300)
    deadline = time.monotonic() + 20
    while not os.path.exists(os.path.join(dest, "readme.txt")) and time.monotonic() < deadline:
        time.sleep(0.1)
    check(os.path.exists(os.path.join(dest, "readme.txt")) and
          open(os.path.join(dest, "readme.txt")).read() == "branded hello\n",
          "the branded installer did not extract (exit %d)" % result.returncode)
    print("the branded installer ran under Wine and extracted")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bvsfx", required=True)
    parser.add_argument("--stub", action="append", required=True, help="a Windows stub (repeatable)")
    parser.add_argument("--work", required=True)
    parser.add_argument("--runner", default="")
    parser.add_argument("--probe-compiler", default="x86_64-w64-mingw32-gcc")
    args = parser.parse_args()
    missing = ["%s (package %s)" % (tool, package) for tool, package in TOOLS.items() if not shutil.which(tool)]
    pefile = import_pefile()
    if pefile is None:
        missing.append("pefile (package python3-pefile)")
    if args.runner and not shutil.which(args.probe_compiler):
        missing.append("%s (package gcc-mingw-w64-x86-64)" % args.probe_compiler)
    for stub in args.stub:
        if not os.path.isfile(stub):
            missing.append("the stub %s (build its preset: cmake --build --preset win64 / win32)" % stub)
    if missing:
        print("FAILED: missing: %s; run scripts/bootstrap" % ", ".join(missing))
        return 1
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    try:
        icon = os.path.join(work, "brand.ico")
        make_icon(icon, 256, "red-blue", ICON_SIZES, draw=[("yellow", "circle 128,128 128,40")])
        tree = os.path.join(work, "tree")
        os.makedirs(tree)
        open(os.path.join(tree, "readme.txt"), "w").write("branded hello\n")
        for stub in args.stub:
            installer, dest = brand_and_check(args, pefile, stub, work, icon, tree)
            machine = pefile.PE(installer, fast_load=True).FILE_HEADER.Machine
            if args.runner and machine == 0x8664:
                probe_under_wine(args, work, installer, dest)
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
