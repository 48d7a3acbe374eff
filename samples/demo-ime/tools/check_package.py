#!/usr/bin/env python3
"""Checks the packed demo installer the way a vendor would before shipping it.

The package behind the installer's image unseals to a cabinet that
cabextract extracts to exactly the product folder, byte for byte, plus
"InstallInfo.dif", whose fields are those of the description.

usage: check_package.py IMEPACK INSTALLER.exe PRODUCT-FOLDER DESCRIPTION.txt
Exit 0 when all holds, 1 with the differences listed, 77 (skipped) when
there is no packer or no installer to check.
"""
import filecmp
import os
import re
import struct
import subprocess
import sys
import tempfile

# The install information record: field -> (byte offset, UTF-16 units).
TEXT_FIELDS = {
    "ime_name": (0x000, 40),
    "layout_text": (0x050, 40),
    "display_name": (0x0A0, 40),
    "comments": (0x0FC, 20),
    "publisher": (0x124, 40),
    "display_version": (0x174, 40),
    "contact": (0x1C4, 40),
    "url_info_about": (0x214, 256),
    "help_link": (0x414, 256),
    "url_update_info": (0x614, 256),
    "help_telephone": (0x814, 40),
    "post_install_open": (0x864, 260),
}
FLAGS_OFFSET = 0x0F0
RECORD_SIZE = 0xA6C


def read_description(path):
    fields = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            key, _, value = line.partition("=")
            fields[key.strip()] = value.strip()
    return fields


def slot_text(record, offset, units):
    raw = record[offset:offset + 2 * units]
    text = raw.decode("utf-16-le")
    end = text.find("\0")
    return None if end < 0 else text[:end]  # None: not terminated in its slot


def check_record(record, description):
    problems = []
    if len(record) != RECORD_SIZE:
        problems.append(f"InstallInfo.dif is {len(record)} bytes, not {RECORD_SIZE}")
        return problems
    for name, (offset, units) in TEXT_FIELDS.items():
        got = slot_text(record, offset, units)
        want = description.get(name, "")
        if got != want:
            problems.append(f"InstallInfo.dif {name}: {got!r}, description says {want!r}")
    flags = struct.unpack_from("<I", record, FLAGS_OFFSET)[0]
    want_flags = int(description.get("shortcut_flags", "0"), 0)
    if flags != want_flags:
        problems.append(f"InstallInfo.dif shortcut_flags: {flags:#x}, description says {want_flags:#x}")
    return problems


def compare_trees(extracted, product):
    problems = []
    for folder, _, files in os.walk(product):
        for name in files:
            rel = os.path.relpath(os.path.join(folder, name), product)
            got = os.path.join(extracted, rel)
            if not os.path.isfile(got):
                problems.append(f"missing from the package: {rel}")
            elif not filecmp.cmp(got, os.path.join(folder, name), shallow=False):
                problems.append(f"differs from the product folder: {rel}")
    for folder, _, files in os.walk(extracted):
        for name in files:
            rel = os.path.relpath(os.path.join(folder, name), extracted)
            if rel != "InstallInfo.dif" and not os.path.isfile(os.path.join(product, rel)):
                problems.append(f"in the package but not in the product folder: {rel}")
    return problems


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    imepack, installer, product, description_path = sys.argv[1:]
    for path in (imepack, installer):
        if not os.path.isfile(path):
            print(f"skipped: {path} does not exist")
            return 77
    inspect = subprocess.run([imepack, "inspect", installer], capture_output=True, text=True, check=True).stdout
    match = re.search(r"^package offset: (\d+)", inspect, re.M)
    if not match:
        print(f"imepack inspect shows no package offset:\n{inspect}")
        return 1
    offset = int(match.group(1))
    with tempfile.TemporaryDirectory() as work:
        package = os.path.join(work, "demo.pkg")
        cabinet = os.path.join(work, "demo.cab")
        extracted = os.path.join(work, "x")
        with open(installer, "rb") as f:
            f.seek(offset)
            data = f.read()
        with open(package, "wb") as f:
            f.write(data)
        subprocess.run([imepack, "unseal", package, cabinet], check=True, capture_output=True)
        subprocess.run(["cabextract", "-q", "-d", extracted, cabinet], check=True)
        problems = compare_trees(extracted, product)
        record = os.path.join(extracted, "InstallInfo.dif")
        if os.path.isfile(record):
            with open(record, "rb") as f:
                problems += check_record(f.read(), read_description(description_path))
        else:
            problems.append("the package holds no InstallInfo.dif")
    for p in problems:
        print(p)
    print(f"{0 if problems else 1} passed, {1 if problems else 0} failed: demo package")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
