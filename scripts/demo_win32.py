#!/usr/bin/env python3
"""Part of the demo: the shipped 32-bit installer (build/win32) installs the
demo IME through its wizard in the WoW64 prefix, and shows where a 32-bit
install lands on 64-bit Windows: "Program Files (x86)", the IME file in
SysWOW64, the uninstall entry and vendor key in the registry's 32-bit view
(WOW6432Node as 64-bit programs see it), the keyboard layout in the shared
view, and the entry in Wine's list of installed programs."""

import os
import subprocess
import sys
from pathlib import Path

root = Path(__file__).resolve().parents[1]
if subprocess.run(["bash", str(root / "scripts" / "check-32bit.sh")]).returncode != 0:
    sys.exit(0)   # the line above said why
os.environ["IMEBASE_BUILD_DIR"] = str(root / "build" / "win32")
os.environ["IMEBASE_TARGET_BITS"] = "32"
sys.path.insert(0, str(root / "tests" / "e2e"))
import demo_product  # noqa: E402
import harness  # noqa: E402

IME = demo_product.IME
UNINSTALL = f"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{IME}"


def main():
    with harness.WineSession("demo-win32") as wine:
        demo_product.prepare_session(wine)
        demo_product.install(wine, owner="演示用户", company="演示公司")
        places = demo_product.Places(wine)
        print(f"installed: {demo_product.INSTALL_DIR} ({len(list(places.install_dir.rglob('*')))} files and folders)")
        ime_file = places.system / f"{IME}.zin.ime"
        print(f"IME file:  {harness.SYSTEM_DIR}\\{ime_file.name} ({ime_file.stat().st_size} bytes); "
              f"in system32: {(places.system.parent / 'system32' / ime_file.name).exists()}")
        command = wine.reg_query(UNINSTALL, "UninstallString", view="32")
        print(f"uninstall entry, 32-bit view:  {UNINSTALL} UninstallString = {command}")
        wow = f"HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{IME}"
        print(f"  as 64-bit programs see it:   {wow} "
              f"({'present' if wine.reg_query(wow, 'DisplayName', view='64') else 'missing'})")
        in_64 = wine.reg_query(UNINSTALL, "DisplayName", view="64")
        print(f"  in the 64-bit view itself:   {'present' if in_64 else 'missing'}")
        vendor = f"HKLM\\Software\\marlix\\{IME}"
        print(f"vendor key, 32-bit view:       {vendor} ZMEInstallPath = "
              f"{wine.reg_query(vendor, 'ZMEInstallPath', view='32')}")
        layouts = wine.reg_export("HKLM\\System\\CurrentControlSet\\Control\\Keyboard Layouts", view="64") or {}
        for key, values in layouts.items():
            if str(values.get("Ime File", "")).lower().endswith(ime_file.name.lower()):
                print(f"keyboard layout (shared):      {key} Ime File = {values['Ime File']}")
        listed = wine.run("uninstaller", "--list").stdout
        line = next((x for x in listed.splitlines() if x.startswith(f"{IME}|||")), "missing")
        print(f"Wine's list of programs:       {line.strip()}")


if __name__ == "__main__":
    main()
