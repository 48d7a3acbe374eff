#!/usr/bin/env python3
"""Part of the demo: the win64 demo installer installs the demo IME through
its wizard under wine64 and Xvfb, driven as a person would: the licence
accepted, the proposed directory kept, install pressed. Shows the progress
rows, what landed where (install folder, IME file, registry, shortcuts) and
a picture of each page."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import harness  # noqa: E402

IME = "ZZPinyin"
DISPLAY_NAME = "紫金拼音输入法"
WELCOME = f"欢迎使用 {DISPLAY_NAME} 安装程序"
LICENCE = f"{DISPLAY_NAME} - 最终用户许可协议"


def main():
    installer = harness.build_dir() / "demo-ime-setup.exe"
    with harness.WineSession("demo-wizard") as wine:
        # The desktop shortcut stays in the prefix (Wine links the Desktop
        # to the Unix home), and readme.txt opens in Notepad as on Windows.
        for desktop in (wine.prefix / "drive_c" / "users").glob("*/Desktop"):
            if desktop.is_symlink():
                desktop.unlink()
                desktop.mkdir()
        wine.run("reg", "add", "HKCR\\.txt", "/ve", "/d", "txtfile", "/f")

        program = wine.launch(wine.to_windows(installer))
        wine.ui("wait", WELCOME)
        pictures = [wine.shot("directory-page", WELCOME)]
        wine.ui("click", WELCOME, "1002")
        wine.ui("wait", LICENCE)
        pictures.append(wine.shot("licence-page", LICENCE))
        wine.ui("close", LICENCE)
        wine.ui("check", WELCOME, "1012", "on")
        wine.ui("tab", WELCOME, "1019", "用户信息")
        wine.ui("type", WELCOME, "1004", "演示用户")
        wine.ui("type", WELCOME, "1005", "演示公司")
        pictures.append(wine.shot("user-page", WELCOME))
        wine.ui("tab", WELCOME, "1019", "安装目录")
        print(f"directory: {wine.text(WELCOME, 1022)}")

        wine.ui("click", WELCOME, "1")
        wine.ui("wait-text", WELCOME, "1", "完成安装(&O)", timeout_ms=180000)
        print("rows:")
        for row in wine.rows(WELCOME, 1006):
            print(f"  {row[0]}")
        harness.wait_until(lambda: wine.processes("notepad.exe"), 60, "Notepad with readme.txt")
        print("opened:    readme.txt in Notepad")
        wine.ui("close", "part:readme.txt")
        pictures.append(wine.shot("progress-page", WELCOME))
        wine.ui("click", WELCOME, "1")
        program.wait(60)

        install_dir = wine.to_linux(f"C:\\Program Files\\{IME}")
        print(f"installed: C:\\Program Files\\{IME}\\")
        for path in sorted(p for p in install_dir.rglob("*") if p.is_file()):
            relative = str(path.relative_to(install_dir)).replace("/", "\\")
            print(f"  {relative:30} {path.stat().st_size:>9} bytes")
        ime_file = wine.to_linux(f"C:\\windows\\system32\\{IME}.zin.ime")
        print(f"IME file:  C:\\windows\\system32\\{IME}.zin.ime ({ime_file.stat().st_size} bytes)")
        entry = wine.reg_export(f"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{IME}") or {}
        for values in entry.values():
            for name in ("DisplayName", "RegOwner", "RegCompany", "UninstallString", "ModifyPath"):
                print(f"  {name:16} {values.get(name)}")
        vendor_key = f"HKLM\\Software\\marlix\\{IME}"
        print(f"  ZMEInstallPath   {wine.reg_query(vendor_key, 'ZMEInstallPath')}")
        programs = wine.to_linux("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs") / DISPLAY_NAME
        print("shortcuts:")
        for link in sorted(programs.rglob("*.lnk")):
            relative = str(link.relative_to(programs.parent)).replace("/", "\\")
            print(f"  {relative}")
        print("pictures:")
        for picture in pictures:
            print(f"  {picture}")


if __name__ == "__main__":
    main()
