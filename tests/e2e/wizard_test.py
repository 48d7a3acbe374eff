#!/usr/bin/env python3
"""The install wizard under wine64, driven as a person drives it: the demo
installer started, the licence refused and accepted, the pages looked at,
the proposed directory kept, install pressed, the nine progress rows read
and the wizard finished; then the installed product checked where it
lands (install folder, system folder, registry, shortcuts) and the
workspace and the temporary copy seen gone. Then the installer once more on
the machine where the product is registered: the directory is locked, the
existing directory is declined and then confirmed; and once more with a
program that holds the IME file loaded, which the check lists and ends.

The tests run in order (test_1_..., test_2_..., test_3_...): the later ones
start from what the first one installed.

Environment (CTest sets it): IMEBASE_DEMO_INSTALLER, IMEBASE_DEMO_PRODUCT,
IMEBASE_IME_HOLDER, and what harness.py reads."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from demo_product import (COPY_NAME, DEMO_INSTALLER, DEMO_PRODUCT, DISPLAY_NAME, IME, IME_HOLDER,  # noqa: E402
                          IME_STATUS, INSTALL_DIR, INSTALL_DONE, LINKS, UNINSTALL_KEY, VENDOR_KEY, WELCOME,
                          workspaces)
from demo_product import INSTALL_ROWS as ROWS  # noqa: E402

LICENCE = f"{DISPLAY_NAME} - 最终用户许可协议"
INSTALL_NOW = "立即安装(&S)"

session = None


def setUpModule():
    global session
    session = harness.WineSession("wizard")
    session.start()
    # Wine links the Desktop folder to the Unix home: the install's desktop
    # shortcut must land in the prefix, not in the home of whoever runs the
    # tests.
    for desktop in (session.prefix / "drive_c" / "users").glob("*/Desktop"):
        if desktop.is_symlink():
            desktop.unlink()
            desktop.mkdir()
    # The install opens readme.txt with its default program; Wine's prefix
    # has Notepad's "txtfile" class but no ".txt" entry pointing at it.
    session.run("reg", "add", "HKCR\\.txt", "/ve", "/d", "txtfile", "/f")


def tearDownModule():
    if session:
        session.stop()


def product_files():
    """The product folder's files as Windows-style relative paths."""
    return sorted(str(p.relative_to(DEMO_PRODUCT)).replace("/", "\\")
                  for p in DEMO_PRODUCT.rglob("*") if p.is_file())


class WizardCase(unittest.TestCase):
    wine = None

    @classmethod
    def setUpClass(cls):
        cls.wine = session
        temp = cls.wine.run("cmd", "/c", "echo %TEMP%").stdout.strip()
        cls.temp = cls.wine.to_linux(temp)
        cls.system = cls.wine.to_linux(harness.SYSTEM_DIR)
        cls.install_dir = cls.wine.to_linux(INSTALL_DIR)
        data = cls.wine.run("cmd", "/c", "echo %ALLUSERSPROFILE%").stdout.strip()
        cls.data_dir = cls.wine.to_linux(f"{data}\\ZinzinIMEs\\{IME}")
        cls.installer = cls.wine.to_windows(DEMO_INSTALLER)

    # ---- helpers

    def copies_running(self):
        return [p for p in self.wine.processes() if p["path"].lower().endswith(COPY_NAME)]

    def start_wizard(self):
        program = self.wine.launch(self.installer)
        self.wine.ui("wait", WELCOME)
        return program

    def accept_licence(self):
        self.wine.ui("check", WELCOME, "1012", "on")
        self.wine.ui("wait-state", WELCOME, "1", "enabled")

    def wait_finished(self):
        """The run's end: button 1 says "完成安装(&O)", the rows are all there."""
        self.wine.ui("wait-text", WELCOME, "1", INSTALL_DONE, timeout_ms=180000)
        self.assertEqual(self.wine.rows(WELCOME, 1006), [[row] for row in ROWS])
        self.assertEqual(self.wine.progress(WELCOME, 1008), 100)

    def close_readme(self):
        """The install opens readme.txt with its program (Notepad here), as
        the signed-in user: not started by the elevated installer."""
        harness.wait_until(lambda: self.wine.processes("notepad.exe"), 60, "Notepad with readme.txt")
        installers = {p["pid"] for p in self.wine.processes()
                      if p["path"].lower().endswith(("___zinzin_install_base___.exe", "setup.exe"))}
        for notepad in self.wine.processes("notepad.exe"):
            self.assertNotIn(notepad["parent"], installers, notepad)
        self.wine.ui("close", "part:readme.txt")
        harness.wait_until(lambda: not self.wine.processes("notepad.exe"), 30, "Notepad to close")

    def finish(self, program):
        self.wine.ui("click", WELCOME, "1")
        self.wine.ui("gone", WELCOME)
        self.assertEqual(program.wait(60), 0)
        harness.wait_until(lambda: not self.copies_running(), 30, "the copy to end")
        harness.wait_until(lambda: not workspaces(self.temp), 30, "the workspace and the copy to go")

    def special_folder(self, variable):
        return self.wine.to_linux(self.wine.run("cmd", "/c", f"echo %{variable}%").stdout.strip())

    # ---- the first install

    def test_1_first_install_through_the_wizard(self):
        program = self.start_wizard()
        # Refused at start: the button waits for the licence.
        self.assertEqual(self.wine.text(WELCOME, 1), INSTALL_NOW)
        self.assertIn("disabled", self.wine.state(WELCOME, 1))
        self.assertIn("checked", self.wine.state(WELCOME, 1013))
        self.assertEqual(self.wine.text(WELCOME, 1022), INSTALL_DIR)
        self.assertIn("enabled", self.wine.state(WELCOME, 1022))
        self.wine.shot("directory-page", WELCOME)

        self.accept_licence()
        self.wine.ui("check", WELCOME, "1013", "on")
        self.wine.ui("wait-state", WELCOME, "1", "disabled")
        # Clicking the disabled button is refused, as for a person.
        self.assertEqual(self.wine.ui_result("click", WELCOME, "1").returncode, 1)
        self.accept_licence()

        # A system folder typed as the install folder is refused, and
        # nothing lands there or leaves it.
        drivers = self.wine.prefix / "drive_c" / "windows" / "system32" / "drivers"
        (drivers / "sentinel.txt").write_text("the system's")
        before = sorted(p.name for p in drivers.iterdir())
        self.wine.ui("type", WELCOME, "1022", "C:\\windows\\system32\\drivers")
        self.wine.ui("click", WELCOME, "1")
        self.assertIn("不能安装到这里", self.wine.msgbox("安装错误？", answer="ok"))
        self.wine.ui("wait-state", WELCOME, "1", "enabled")
        self.assertEqual(sorted(p.name for p in drivers.iterdir()), before)
        self.wine.ui("type", WELCOME, "1022", INSTALL_DIR)

        self.wine.ui("tab", WELCOME, "1019", "用户信息")
        self.wine.ui("wait-state", WELCOME, "1004", "visible")
        self.assertIn("hidden", self.wine.state(WELCOME, 1022))
        self.wine.ui("type", WELCOME, "1004", "测试用户")
        self.wine.ui("type", WELCOME, "1005", "测试公司")
        self.wine.shot("user-page", WELCOME)
        self.wine.ui("tab", WELCOME, "1019", "安装目录")
        self.wine.ui("wait-state", WELCOME, "1022", "visible")

        # The licence link opens the licence page (blank under Wine).
        self.wine.ui("click", WELCOME, "1002")
        self.wine.ui("wait", LICENCE)
        self.wine.shot("licence-page", LICENCE)
        self.wine.ui("close", LICENCE)
        self.wine.ui("gone", LICENCE)

        self.wine.ui("click", WELCOME, "1")
        self.wait_finished()
        for control in (1002, 1012, 1013):
            self.assertIn("hidden", self.wine.state(WELCOME, control))
        self.assertIn("enabled", self.wine.state(WELCOME, 1019))
        self.close_readme()
        self.wine.shot("progress-page", WELCOME)
        self.finish(program)

        # The install folder: the product's own files (the IME file and the
        # macro folders go elsewhere), the uninstaller and the kept package.
        installed = sorted(str(p.relative_to(self.install_dir)).replace("/", "\\")
                           for p in self.install_dir.rglob("*") if p.is_file())
        expected = [f for f in product_files() if not f.startswith("$") and f != f"{IME}.ime"]
        self.assertEqual(installed, sorted(expected + ["_backup_.dat", "_installed_.lst", "unstall.exe"]))
        # Beside the kept package, the list of what the install placed: every
        # file there, in a folder the install made.
        listed = (self.install_dir / "_installed_.lst").read_text(encoding="utf-8").splitlines()
        self.assertEqual(listed[:2], [f"product={IME}", "folder=own"])
        self.assertLessEqual(set(installed), set(listed[2:]))
        for name in expected:
            relative = name.replace("\\", "/")
            self.assertEqual((self.install_dir / relative).read_bytes(), (DEMO_PRODUCT / relative).read_bytes(), name)
        self.assertEqual((self.system / f"{IME}.zin.ime").read_bytes(), (DEMO_PRODUCT / f"{IME}.ime").read_bytes())
        self.assertTrue((self.system / f"{IME}.lex").exists())
        self.assertTrue((self.data_dir / "config.dsc").exists())

        # The registry: the uninstall entry with the names typed on the user
        # page, the vendor keys under both roots.
        entry = self.wine.reg_export(UNINSTALL_KEY)
        values = next(iter(entry.values()))
        self.assertEqual(values["DisplayName"], DISPLAY_NAME)
        self.assertEqual(values["RegOwner"], "测试用户")
        self.assertEqual(values["RegCompany"], "测试公司")
        self.assertEqual(values["InstallLocation"], INSTALL_DIR)
        self.assertEqual(values["UninstallString"], f'"{INSTALL_DIR}Unstall.exe" -u name=[{IME}]')
        self.assertEqual(values["ModifyPath"], f'"{INSTALL_DIR}Unstall.exe" -r name=[{IME}]')
        # What Windows' list of programs and deployment tools read: the
        # silent uninstall command quoted like UninstallString, the day,
        # and the KiB of the install folder's files (the list of them
        # written after the entry aside).
        self.assertEqual(values["QuietUninstallString"], f'"{INSTALL_DIR}Unstall.exe" /S -u name=[{IME}]')
        self.assertEqual(values["InstallDate"], time.strftime("%Y%m%d"))
        on_disk = sum(p.stat().st_size for p in self.install_dir.rglob("*") if p.is_file())
        self.assertEqual(values["EstimatedSize"], (on_disk + 1023) // 1024)
        self.assertEqual(len(values), 19, sorted(values))
        for root in ("HKLM", "HKCU"):
            self.assertEqual(self.wine.reg_query(f"{root}\\{VENDOR_KEY}", "ZMEInstallPath"), INSTALL_DIR)
        # The system's list of installed programs shows the product (Wine
        # prints "<key>|||<display name>", the name in the console's code page).
        self.assertIn(f"{IME}|||", self.wine.run("uninstaller", "--list").stdout)
        if harness.target_bits() == 32:
            # A 32-bit install keeps to its own world: no IME file in the
            # 64-bit system folder, no machine keys in the 64-bit view.
            self.assertFalse((self.wine.to_linux("C:\\windows\\system32") / f"{IME}.zin.ime").exists())
            for key in (UNINSTALL_KEY, f"HKLM\\{VENDOR_KEY}"):
                self.assertIsNone(self.wine.reg_export(key, view="64"), key)

        # The shortcuts: the Start-menu folder and the desktop link.
        programs = self.special_folder("ProgramData") / "Microsoft" / "Windows" / "Start Menu" / "Programs"
        for link in LINKS:
            self.assertTrue((programs / DISPLAY_NAME / link.replace("\\", "/")).exists(), link)
        desktops = list((self.wine.prefix / "drive_c" / "users").glob(f"*/Desktop/{DISPLAY_NAME}系统设置.lnk"))
        self.assertEqual(len(desktops), 1)

    # ---- a second run on the registered product

    def test_2_registered_product_locks_the_directory_and_asks_before_overwriting(self):
        (self.install_dir / "leftover.txt").write_text("from before")
        (self.data_dir / "leftover.dat").write_text("from before")
        program = self.start_wizard()
        self.assertEqual(self.wine.text(WELCOME, 1022), INSTALL_DIR)
        self.assertIn("disabled", self.wine.state(WELCOME, 1022))
        self.wine.ui("click", WELCOME, "1005")
        self.assertEqual(self.wine.msgbox("现在无法更改安装目录。"),
                         "当前计算机存在一个已经安装的副本，如需更改安装目录，请首先卸载以往版本。")
        self.wine.shot("directory-locked", "title:现在无法更改安装目录。")
        self.wine.msgbox("现在无法更改安装目录。", answer="ok")
        self.wine.shot("directory-page-registered", WELCOME)

        self.accept_licence()
        self.wine.ui("click", WELCOME, "1")
        self.assertEqual(self.wine.msgbox("是否继续？"), "所选安装目录已经存在，如果继续，安装程序将覆盖当前目录？")
        self.wine.shot("directory-exists", "title:是否继续？")
        # While the question is open the install runs: the button waits.
        self.assertIn("disabled", self.wine.state(WELCOME, 1))
        self.wine.msgbox("是否继续？", answer="no")
        self.wine.ui("wait-state", WELCOME, "1", "enabled")
        self.assertEqual(self.wine.text(WELCOME, 1), INSTALL_NOW)
        self.assertTrue((self.install_dir / "leftover.txt").exists())
        self.assertIn("visible", self.wine.state(WELCOME, 1022))

        self.wine.ui("click", WELCOME, "1")
        self.wine.msgbox("是否继续？", answer="yes")
        self.wait_finished()
        self.close_readme()
        self.finish(program)
        # The old folder and the data folder went before the install.
        self.assertFalse((self.install_dir / "leftover.txt").exists())
        self.assertFalse((self.data_dir / "leftover.dat").exists())
        self.assertTrue((self.install_dir / "unstall.exe").exists())
        self.assertTrue((self.data_dir / "config.dsc").exists())

    # ---- a program holding the IME file

    def test_3_a_program_holding_the_ime_is_listed_and_ended(self):
        ime_file = f"{harness.SYSTEM_DIR}\\{IME}.zin.ime"
        ready = self.wine.prefix / "drive_c" / "holder-ready.txt"
        if ready.exists():
            ready.unlink()
        holder = self.wine.launch(self.wine.to_windows(IME_HOLDER), ime_file, self.wine.to_windows(ready))
        harness.wait_until(ready.exists, 30, "the helper to load the IME file")
        holder_pid = self.wine.processes("ime_holder.exe")[0]["pid"]

        program = self.start_wizard()
        self.accept_licence()
        # Cancelled: nothing starts, the wizard says why.
        self.wine.ui("click", WELCOME, "1")
        self.wine.ui("wait", IME_STATUS)
        rows = self.wine.rows(IME_STATUS, 1006)
        self.assertEqual(len(rows), 1, rows)
        self.assertEqual(rows[0][0], f"进程ID: {holder_pid:5d}    进程名称: ime_holder.exe")
        self.wine.shot("ime-load-status", IME_STATUS)
        self.wine.ui("click", IME_STATUS, "2")
        self.assertEqual(self.wine.msgbox("无法执行的操作"),
                         "由于您的计算机中存在一个当前输入法的副本，所以您必须关闭加载当前输入法的所有进程，然后重试该操作。")
        self.wine.shot("ime-loaded-refusal", "title:无法执行的操作")
        self.wine.msgbox("无法执行的操作", answer="ok")
        self.assertEqual(self.wine.text(WELCOME, 1), INSTALL_NOW)
        self.assertTrue(holder.running())

        # Ended from the list: the install goes on.
        self.wine.ui("click", WELCOME, "1")
        self.wine.ui("wait", IME_STATUS)
        self.wine.ui("click", IME_STATUS, "1015")
        self.wine.ui("gone", IME_STATUS)
        harness.wait_until(lambda: not holder.running(), 30, "the helper to end")
        self.wine.msgbox("是否继续？", answer="yes")
        self.wait_finished()
        self.close_readme()
        self.finish(program)


if __name__ == "__main__":
    for needed in (DEMO_INSTALLER, DEMO_PRODUCT, IME_HOLDER):
        if not needed.exists():
            print(f"skipped: {needed} is missing (build the win64 preset with the packer)")
            sys.exit(77)
    unittest.main(verbosity=2)
