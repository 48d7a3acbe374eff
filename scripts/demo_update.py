#!/usr/bin/env python3
"""Part of the demo: the installed demo IME brought up to date. The demo
product is installed through its wizard under wine64 and Xvfb, the demo
update server's files (build/win64/demo-update-server) are served on
127.0.0.1, and "检查更新" is started from the Start menu as a person
would: the update dialog's rows and messages are printed (the lists are
signed with the demo vendor's key, which the installed product carries;
one package is swapped on its way and refused), the skin
question answered Yes: the skins listed, one previewed, ticked and installed;
and the installed components' versions shown before and after, with
pictures of the dialogs."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import demo_product  # noqa: E402
import harness  # noqa: E402
import pe_resources  # noqa: E402
from update_server import UpdateServer, point_product_at  # noqa: E402

TITLE = f"{demo_product.DISPLAY_NAME} - 更新程序"
SKIN_QUESTION = "colourful驱动更新"
SKIN_TITLE = "colourful皮肤驱动更新"


def components(places):
    files = {name: places.install_dir / name for name in ("mb.dll", "skin.dll", "config.exe", "unstall.exe")}
    files[f"{demo_product.IME}.zin.ime"] = places.system / f"{demo_product.IME}.zin.ime"
    return files


def describe(path):
    resources = pe_resources.read(path)
    strings = pe_resources.version_strings(resources)
    return f"{pe_resources.file_version(resources)}  {strings.get('FileDescription', '')}"


def main():
    tree = harness.build_dir() / "demo-update-server"
    if not (tree / "_supports").is_dir():
        print(f"skipped: {tree} is missing (build the win64 preset with the packer)")
        return
    server = UpdateServer.serving_copy_of(tree)
    # An attacker between the product and the server swaps one package:
    # the signed list names the genuine one's digest.
    forged_path = "/_supports/zzime_drives/zzpinyin_mb.cab"
    forged = bytearray((server.folder / forged_path.lstrip("/")).read_bytes())
    forged[len(forged) // 2] ^= 0x20
    server.forged[forged_path] = bytes(forged)
    try:
        with harness.WineSession("demo-update") as wine:
            demo_product.prepare_session(wine)
            demo_product.install(wine)
            places = demo_product.Places(wine)
            point_product_at(wine, server)
            files = components(places)
            before = {name: describe(path) for name, path in files.items()}

            print(f"update server: {server.address} (files of {tree}; lists signed with the demo key)")
            print(f"forged on its way: {forged_path} (one byte changed)")
            wine.launch("start", wine.to_windows(places.programs / "检查更新.lnk"))
            wine.ui("wait", TITLE)
            print(f"dialog: {TITLE}")
            # The colourful skin driver keeps its skins in this folder.
            (places.install_dir / "colourful").mkdir(exist_ok=True)
            print(f"question: {wine.msgbox(SKIN_QUESTION)} -> 是")
            wine.msgbox(SKIN_QUESTION, answer="yes")
            wine.ui("wait", SKIN_TITLE)
            wine.ui("wait-count", SKIN_TITLE, "1006", "2", timeout_ms=60000)
            wine.ui("wait-state", SKIN_TITLE, "1", "enabled", timeout_ms=60000)
            print(f"skin dialog: {SKIN_TITLE}")
            for row in wine.rows(SKIN_TITLE, 1006, header=True):
                print("  " + " | ".join(row))
            wine.ui("select", SKIN_TITLE, "1006", "0")
            wine.ui("wait", "图片御览")
            skin_picture = wine.shot("skin-dialog", "desktop:")
            wine.ui("check-row", SKIN_TITLE, "1006", "0", "on")
            wine.ui("click", SKIN_TITLE, "1")
            wine.ui("gone", SKIN_TITLE)
            skins = sorted(p.name for p in (places.install_dir / "colourful").iterdir())
            for skin in skins:
                print(f"installed skin: colourful\\{skin}")
            harness.wait_until(lambda: wine.rows(TITLE, 1006)[-1:] == [["更新完毕"]], 60, "更新完毕")
            print("rows:")
            for row in wine.rows(TITLE, 1011, header=True):
                print("  " + " | ".join(row))
            print("messages:")
            for line in wine.rows(TITLE, 1006):
                print(f"  {line[0]}")
            picture = wine.shot("dialog", TITLE)
            wine.ui("click", TITLE, "2")
            wine.ui("gone", TITLE)

            print("installed files (version, description), before -> after:")
            for name, path in files.items():
                after = describe(path)
                mark = "updated" if after != before[name] else "unchanged"
                print(f"  {name:18} {before[name]}  ->  {after}  ({mark})")
            print(f"requests: {', '.join(server.requests)}")
            print(f"pictures: {picture}, {skin_picture}")
    finally:
        server.close()


if __name__ == "__main__":
    main()
