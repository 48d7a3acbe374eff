#!/usr/bin/env python3
"""Lays out the demo update server's files in one folder whose paths are the
server's URL paths:

  _supports/zzime_drives/UpdateList.txt     driver list (ZME_DRIVE, SKIN_DRIVE, IME_MAIN)
  _supports/zzime_drives/<file>.cab         one cabinet per component, holding <file>
  _supports/zzpinyin/UpdateList.txt         the product's second list (URLUpdateInfo)
  _supports/zzpinyin/<file>.cab
  _supports/zzskin_colourful/updatelist.txt skin list (SKINZIP)
  _supports/zzskin_colourful/<skin>.zip     skin package
  _supports/zzskin_colourful/<skin>.zip.png its preview (package address + ".png")

Cabinets are made by the packer ("imepack cab FOLDER OUT.cab"); every list
line names its package by its full address on --server. Each list is then
signed as a vendor signs it: "imepack sign-list LIST KEY --packages FOLDER"
fills in every line's SHA256 (and a skin's PNGSHA256) and writes LIST.sig. The tree is made
afresh when an input is newer than the last one; without a packer nothing
is written and the build goes on.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

# Each skin: name (also its file names), colours of its preview's gradient.
SKINS = [
    ("jade", (24, 120, 96), (200, 240, 220)),
    ("sunset", (160, 48, 24), (250, 200, 90)),
]
SKIN_LIST_FOLDER = "zzskin_colourful"
LIST_NAMES = {"zzime_drives": "UpdateList.txt", "zzpinyin": "UpdateList.txt"}


def list_line(item_type, name, version, address):
    return f"<TYPE={item_type}><NAME={name}><VERSION={version}><CABURL={address}>\r\n"


def png(width, height, top, bottom):
    """An RGB picture fading from `top` to `bottom`, as PNG bytes."""
    rows = bytearray()
    for y in range(height):
        t = y / max(1, height - 1)
        colour = bytes(round(a + (b - a) * t) for a, b in zip(top, bottom))
        rows += b"\x00" + colour * width

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")


def skin_package(name, preview):
    """A skin package: its settings and its picture, in a zip."""
    with tempfile.SpooledTemporaryFile() as buffer:
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
            fixed = (2026, 1, 1, 0, 0, 0)  # the same bytes on every build
            archive.writestr(zipfile.ZipInfo("skin.ini", fixed), f"[skin]\r\nname={name}\r\nbackground=background.png\r\n")
            archive.writestr(zipfile.ZipInfo("background.png", fixed), preview)
        buffer.seek(0)
        return buffer.read()


def newest_input(paths):
    return max(os.path.getmtime(p) for p in paths)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", required=True)
    parser.add_argument("--server", required=True, help="http://host[:port]")
    parser.add_argument("--imepack", required=True)
    parser.add_argument("--version", required=True, help="the components' version, a.b.c.d")
    parser.add_argument("--component", action="append", default=[], help="LISTFOLDER:TYPE:FILE")
    parser.add_argument("--private-key", required=True, help="the demo vendor's signing key (PEM)")
    args = parser.parse_args()

    if not os.path.isfile(args.imepack):
        print(f"demo update server not laid out: no packer at {args.imepack} "
              "(build the native preset first, or set IMEPACK_EXECUTABLE)")
        return 0

    components = []
    for spec in args.component:
        folder, item_type, path = spec.split(":", 2)
        if folder not in LIST_NAMES:
            sys.exit(f"make_update_server.py: unknown list folder {folder!r}")
        components.append((folder, item_type, path))

    stamp = args.out.rstrip("/") + ".stamp"
    inputs = [p for _, _, p in components] + [args.imepack, args.private_key, os.path.abspath(__file__)]
    if os.path.exists(stamp) and os.path.getmtime(stamp) >= newest_input(inputs) and \
            open(stamp, encoding="utf-8").read() == args.server:
        return 0

    server = args.server.rstrip("/")
    shutil.rmtree(args.out, ignore_errors=True)
    lists = {folder: "" for folder in LIST_NAMES}
    for folder, item_type, path in components:
        target = os.path.join(args.out, "_supports", folder)
        os.makedirs(target, exist_ok=True)
        file_name = os.path.basename(path)
        name = os.path.splitext(file_name)[0]
        cabinet = os.path.join(target, name + ".cab")
        with tempfile.TemporaryDirectory() as staging:
            shutil.copy2(path, os.path.join(staging, file_name))
            subprocess.run([args.imepack, "cab", staging, cabinet], check=True, stdout=subprocess.DEVNULL)
        address = f"{server}/_supports/{folder}/{name}.cab"
        lists[folder] += list_line(item_type, name, args.version, address)
    for folder, text in lists.items():
        os.makedirs(os.path.join(args.out, "_supports", folder), exist_ok=True)
        with open(os.path.join(args.out, "_supports", folder, LIST_NAMES[folder]), "w", encoding="utf-8", newline="") as f:
            f.write(text)

    skins = os.path.join(args.out, "_supports", SKIN_LIST_FOLDER)
    os.makedirs(skins, exist_ok=True)
    skin_list = ""
    for name, top, bottom in SKINS:
        preview = png(200, 120, top, bottom)
        with open(os.path.join(skins, name + ".zip"), "wb") as f:
            f.write(skin_package(name, preview))
        with open(os.path.join(skins, name + ".zip.png"), "wb") as f:
            f.write(preview)
        skin_list += list_line("SKINZIP", name, "1.0.0.1", f"{server}/_supports/{SKIN_LIST_FOLDER}/{name}.zip")
    with open(os.path.join(skins, "updatelist.txt"), "w", encoding="utf-8", newline="") as f:
        f.write(skin_list)

    for folder in list(LIST_NAMES) + [SKIN_LIST_FOLDER]:
        here = os.path.join(args.out, "_supports", folder)
        name = LIST_NAMES.get(folder, "updatelist.txt")
        subprocess.run([args.imepack, "sign-list", os.path.join(here, name), args.private_key, "--packages", here],
                       check=True, stdout=subprocess.DEVNULL)

    with open(stamp, "w", encoding="utf-8") as f:
        f.write(args.server)
    print(f"laid out the demo update server in {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
