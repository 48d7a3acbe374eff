#!/usr/bin/env python3
"""Part of the demo: the installed demo IME damaged by hand and repaired
from its kept package, then removed, each through its own dialog under
wine64 and Xvfb, started as the Start-menu shortcuts start them
("Unstall.exe -r name=[ZZPinyin]" and "Unstall.exe -u name=[ZZPinyin]").
Shows the rows of each dialog, what the repair brought back and what the
removal left behind, and a picture of each dialog."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import demo_product as demo  # noqa: E402
import harness  # noqa: E402

UNINSTALLER = f"{demo.INSTALL_DIR}Unstall.exe"
DONE = "完成(&O)"


def run_dialog(wine, switch, title, start_caption, picture):
    """Starts the uninstaller with `switch`, presses its button, waits for
    "完成(&O)", prints the rows, takes a picture and closes the dialog."""
    program = wine.launch(UNINSTALLER, switch, f"name=[{demo.IME}]")
    wine.ui("wait", title)
    print(f"dialog:    {title} [{wine.text(title, 1)}]")
    assert wine.text(title, 1) == start_caption
    wine.ui("click", title, "1")
    wine.ui("wait-text", title, "1", DONE, timeout_ms=180000)
    print("rows:")
    for row in wine.rows(title, 1006):
        print(f"  {row[0]}")
    print(f"progress:  {wine.progress(title, 1008)}")
    shot = wine.shot(picture, title)
    wine.ui("click", title, "1")
    wine.ui("gone", title)
    program.wait(60)
    return shot


def exists(path):
    return "present" if path.exists() else "missing"


def main():
    with harness.WineSession("demo-repair") as wine:
        demo.prepare_session(wine)
        print(f"installing {demo.DISPLAY_NAME} through the wizard (owner 演示用户, company 演示公司)")
        demo.install(wine, owner="演示用户", company="演示公司")
        places = demo.Places(wine)
        mb = places.install_dir / "mb.dll"
        ime_file = places.system / f"{demo.IME}.zin.ime"
        help_link = places.programs / "使用帮助.lnk"

        # Damage: two installed files, a shortcut, the desktop link, a value.
        for path in (mb, ime_file, help_link, places.desktop_link):
            path.unlink()
        wine.run("reg", "add", demo.UNINSTALL_KEY, "/v", "DisplayVersion", "/d", "0.0", "/f")
        print("damaged:   mb.dll, the IME file, 使用帮助.lnk and the desktop link deleted, DisplayVersion changed")
        for path in (mb, ime_file, help_link, places.desktop_link):
            print(f"  {path.name:24} {exists(path)}")

        pictures = [run_dialog(wine, "-r", f"{demo.DISPLAY_NAME} - 修复程序", "修复(&R)", "repair-dialog")]
        print("after the repair:")
        for path in (mb, ime_file, help_link, places.desktop_link):
            print(f"  {path.name:24} {exists(path)}")
        for name in ("RegOwner", "RegCompany", "DisplayVersion"):
            print(f"  {name:24} {wine.reg_query(demo.UNINSTALL_KEY, name)}")

        pictures.append(run_dialog(wine, "-u", f"{demo.DISPLAY_NAME} - 卸载程序", "卸载(&U)", "uninstall-dialog"))
        print("after the removal:")
        for path in (places.install_dir, places.data_dir, ime_file, places.programs, places.desktop_link):
            print(f"  {str(path.relative_to(wine.prefix)):70} {exists(path)}")
        for key in (demo.UNINSTALL_KEY, f"HKLM\\{demo.VENDOR_KEY}", f"HKCU\\{demo.VENDOR_KEY}"):
            gone = wine.run("reg", "query", key).returncode != 0
            print(f"  {key:70} {'missing' if gone else 'present'}")
        print("pictures:")
        for picture in pictures:
            print(f"  {picture}")


if __name__ == "__main__":
    main()
