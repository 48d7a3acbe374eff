#!/usr/bin/env python3
"""The uninstall under wine64, driven as a person drives it: the demo
product installed through the wizard, then removed through its Start-menu
shortcut "更多工具\\卸载软件.lnk": the dialog read, "卸载(&U)" pressed, the
seven rows and the full bar read, "完成(&O)" pressed. Afterwards the machine
is compared with a picture of it taken before the install: registry and
files hold nothing of the product any more but its fonts and its files in
the system and Windows folders (the IME file gone too), the keyboard layout
has left the preload list and the layout keys, and the product's interface
library heard code 7.

Then a second install: the dialog closed before its button was pressed
removes nothing. A program holding the IME file: cancelling the
check ends the uninstaller with exit code 1602 (cancelled) and removes
nothing; then the product is removed the way its uninstall entry says
(UninstallString), with that program ended from the check's list.

Without a person (the switch /S): a silent uninstall of a product that
isn't installed ends 1605 and touches nothing; a silent install ends 0,
shows no window at any time and leaves the machine as the wizard's install
left it; a silent uninstall stopped by a program holding the IME file ends
1603 and removes nothing, with /closeapplications it ends that program and
leaves the machine as the dialog's uninstall left it.

Then what the uninstall must never remove: the current user's
"ZMEInstallPath" (the machine's key gone) pointing at a system folder, the
user's profile, a drive's root, another product's folder and a link, each
seeded with a sentinel file that survives while a row says the folder
isn't the product's; and a product installed into a folder that held the
user's own file: the product's files go, the user's file stays, and a
row says so.

The tests run in order (test_1_..., test_2_...).

Environment (CTest sets it): IMEBASE_DEMO_INSTALLER, IMEBASE_DEMO_PRODUCT,
IMEBASE_IME_HOLDER, and what harness.py reads."""

import concurrent.futures
import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_product  # noqa: E402
import harness  # noqa: E402
from demo_product import DISPLAY_NAME, IME, INSTALL_DIR, LINKS, UNINSTALL_KEY, VENDOR_KEY  # noqa: E402

TITLE = f"{DISPLAY_NAME} - 卸载程序"
IME_STATUS = demo_product.IME_STATUS
UNINSTALL = "卸载(&U)"
DONE = "完成(&O)"
ROWS = ["开始卸载...", "  1.卸载输入接口...", "  2.删除文件系统...", "  3.删除快捷方式...",
        "  4.删除注册表信息...", "  5.卸载输入法...", "  6.卸载完成."]
UNINSTALL_LINK = "更多工具\\卸载软件.lnk"
IME_FILE = f"{IME}.zin.ime"
IME_HOLDER = demo_product.IME_HOLDER
SYSTEM_REL = harness.SYSTEM_DIR[3:].replace("\\", "/").lower()

# The registry trees the product writes to, and Wine's own that it doesn't.
REGISTRY_TREES = ["HKLM\\Software", "HKCU\\Software", "HKCU\\Keyboard Layout",
                  "HKLM\\System\\CurrentControlSet\\Control\\Keyboard Layouts"]
# Text that names the product in a key, value name or value.
MARKS = [IME.lower(), "marlix", DISPLAY_NAME, "zinzin", "zzimeinstall"]

session = None
log_dir = None


def setUpModule():
    global session, log_dir
    session = harness.WineSession("uninstall")
    session.start()
    demo_product.prepare_session(session)
    # The demo's interface library logs its calls there: outside the
    # install folder, which the uninstall removes right after the call.
    log_dir = session.prefix / "drive_c" / "itf-log"
    log_dir.mkdir()
    session.env["ZZ_INTERFACE_LOG_DIR"] = session.to_windows(log_dir)


def tearDownModule():
    if session:
        session.stop()


def registry_snapshot():
    """Every (key, value name, value) of the trees, keys in lower case, in
    every registry view the build's programs can write to (for the win32
    build the 64-bit view too, its 32-bit keys read as the plain ones)."""
    entries = set()
    for tree in REGISTRY_TREES:
        for view in harness.REG_VIEWS:
            for key, values in (session.reg_export(tree, view) or {}).items():
                key = key.lower().replace("\\wow6432node\\", "\\")
                entries.add((key, None, None))
                for name, value in values.items():
                    entries.add((key, name, repr(value)))
    return entries


def files_snapshot():
    """Every file and folder under C:\\ as a lower-case relative path."""
    root = session.drive_root("c")
    return {str(p.relative_to(root)).lower() for p in root.rglob("*")}


def names_product(entry):
    text = " ".join(str(part) for part in entry).lower()
    return any(mark.lower() in text for mark in MARKS)


class UninstallCase(unittest.TestCase):
    wine = None
    places = None

    @classmethod
    def setUpClass(cls):
        cls.wine = session
        cls.places = demo_product.Places(session)

    # ---- helpers

    def copies_running(self):
        return [p for p in self.wine.processes() if p["path"].lower().endswith(demo_product.COPY_NAME)]

    def ime_layouts(self):
        """The layout keys whose "Ime File" names the product's IME file."""
        keys = self.wine.reg_export(REGISTRY_TREES[3]) or {}
        return [key.rsplit("\\", 1)[1] for key, values in keys.items()
                if str(values.get("Ime File", "")).lower().endswith(IME_FILE.lower())]

    def seed_preload(self, layout):
        """Windows adds a new IME's layout to the user's preload list; Wine
        never does, so the test writes the value Windows would have."""
        preload = self.wine.reg_export("HKCU\\Keyboard Layout\\Preload") or {}
        used = {name for values in preload.values() for name in values}
        name = next(str(n) for n in range(1, 100) if str(n) not in used)
        self.wine.run("reg", "add", "HKCU\\Keyboard Layout\\Preload", "/v", name, "/d", layout.lower(), "/f")
        return name

    def preload_values(self):
        preload = self.wine.reg_export("HKCU\\Keyboard Layout\\Preload") or {}
        return {name: str(value).lower() for values in preload.values() for name, value in values.items()}

    def interface_calls(self):
        log = log_dir / "ZZInterface.log"
        lines = log.read_text(encoding="utf-8").splitlines() if log.exists() else []
        return [" ".join(line.split()[:5]) for line in lines]

    def start_from_link(self):
        """As a double click on the Start-menu shortcut: the shell opens it."""
        link = self.places.programs / UNINSTALL_LINK.replace("\\", "/")
        self.assertTrue(link.exists(), link)
        self.wine.launch("start", self.wine.to_windows(link))
        self.wine.ui("wait", TITLE)

    def start_from_entry(self, quoted=True):
        """As the system's list of programs does: the entry's UninstallString,
        quoted as this install writes it, or unquoted as earlier ones did."""
        command = self.wine.reg_query(UNINSTALL_KEY, "UninstallString")
        if quoted:
            self.assertEqual(command, f'"{INSTALL_DIR}Unstall.exe" -u name=[{IME}]')
            exe, _, arguments = command[1:].partition('" ')
        else:
            self.assertEqual(command, f"{INSTALL_DIR}Unstall.exe -u name=[{IME}]")
            exe, _, arguments = command.partition(".exe ")
            exe += ".exe"
        program = self.wine.launch(exe, *arguments.split())
        self.wine.ui("wait", TITLE)
        return program

    def wait_ended(self):
        """The dialog gone, its program ended, the workspace and the copy removed."""
        self.wine.ui("gone", TITLE)
        harness.wait_until(lambda: not self.copies_running(), 60, "the uninstaller to end")
        harness.wait_until(lambda: not demo_product.workspaces(self.places.temp), 30,
                           "the workspace and the copy to go")

    def uninstall(self, shot=None):
        """The dialog from "卸载(&U)" to its end."""
        self.assertEqual(self.wine.text(TITLE, 1), UNINSTALL)
        self.assertEqual(self.wine.rows(TITLE, 1006, header=True), [["卸载详细信息"]])
        self.assertEqual(self.wine.ui("progress", TITLE, "1008", "--range").split(), ["0", "0", "100"])
        if shot:
            self.wine.shot(f"{shot}-ready", TITLE)
        self.wine.ui("click", TITLE, "1")
        self.wine.ui("wait-text", TITLE, "1", DONE, timeout_ms=180000)
        self.assertEqual(self.wine.rows(TITLE, 1006), [[row] for row in ROWS])
        self.assertEqual(self.wine.progress(TITLE, 1008), 100)
        if shot:
            self.wine.shot(f"{shot}-done", TITLE)
        self.wine.ui("click", TITLE, "1")
        self.wait_ended()

    def uninstall_with_extra_row(self, row):
        """The uninstall run with `row` after step 2's."""
        self.wine.ui("click", TITLE, "1")
        self.wine.ui("wait-text", TITLE, "1", DONE, timeout_ms=180000)
        self.assertEqual(self.wine.rows(TITLE, 1006), [[r] for r in ROWS[:3] + [row] + ROWS[3:]])
        self.wine.ui("click", TITLE, "1")
        self.wait_ended()

    def expect_product_gone(self):
        # The uninstaller that was started there waits for its copy and
        # takes the folder with it once it has ended.
        try:
            harness.wait_until(lambda: not self.places.install_dir.exists(), 60, "the install folder to go")
        except AssertionError:
            left = sorted(str(p.relative_to(self.places.install_dir)) for p in self.places.install_dir.rglob("*"))
            raise AssertionError(f"the install folder stayed with {left}; running: "
                                 f"{[p['path'] for p in self.wine.processes()]}") from None
        self.assertFalse(self.places.data_dir.exists())
        self.assertFalse(self.places.programs.exists())
        self.assertFalse(self.places.desktop_link.exists())
        self.assertFalse((self.places.system / IME_FILE).exists())
        self.assertIsNone(self.wine.reg_export(UNINSTALL_KEY))
        for root in ("HKLM", "HKCU"):
            self.assertIsNone(self.wine.reg_export(f"{root}\\{VENDOR_KEY}"))
        self.assertEqual(self.ime_layouts(), [])

    def run_silently(self, exe, arguments):
        """Runs `exe` with `arguments` to its end, watching the desktop all
        the while: no window of the installer's programs is ever seen. Its
        whole exit code."""
        names = (demo_product.DEMO_INSTALLER.name.lower(), "unstall.exe", demo_product.COPY_NAME)
        shown = []
        with concurrent.futures.ThreadPoolExecutor(1) as pool:
            ended = pool.submit(self.wine.run_to_end, exe, arguments)
            while not ended.done():
                for line in self.wine.ui("list").splitlines():
                    cells = line.split("\t")
                    if len(cells) > 2 and cells[2].lower().endswith(names):
                        shown.append(line)
            code, _ = ended.result()
        self.assertEqual(shown, [])
        harness.wait_until(lambda: not self.copies_running(), 60, "the copy to end")
        return code

    def log_lines(self, path):
        """The run's log at `path` (a Linux path) as (word, text) pairs, the
        time stamps left out, texts in lower case."""
        lines = path.read_text(encoding="utf-8").splitlines()
        return [tuple(part.strip().lower() for part in line[25:].split(" ", 1)) for line in lines if line.strip()]

    def product_state(self):
        """What of the machine names the product: registry entries and files
        (the temporary folder, where each run keeps its log, left out)."""
        temp = str(self.places.temp.relative_to(session.drive_root("c"))).lower()
        files = {f for f in files_snapshot() if names_product((f,)) and not f.startswith(temp)}
        return {e for e in registry_snapshot() if names_product(e)}, files

    # ---- the first uninstall, from the Start menu

    def test_1_uninstall_from_the_start_menu_leaves_the_machine_as_before(self):
        registry_before = registry_snapshot()
        files_before = files_snapshot()
        demo_product.install(self.wine, owner="测试用户", company="测试公司")
        layouts = self.ime_layouts()
        self.assertEqual(len(layouts), 1, layouts)
        preload_name = self.seed_preload(layouts[0])
        self.assertEqual(self.preload_values().get(preload_name), layouts[0].lower())
        self.assertEqual(self.interface_calls(), [])

        self.start_from_link()
        self.uninstall(shot="dialog")

        self.expect_product_gone()
        self.assertNotIn(preload_name, self.preload_values())
        self.assertNotIn(layouts[0].lower(), self.preload_values().values())
        self.assertEqual(self.interface_calls(), ["ZZInterfaceMessage 0 7 0 0"])

        # Nothing new in the registry names the product (the font's entry
        # names only the font) but the vendor's own key, which other
        # products of the vendor share: it stays, empty.
        added = sorted(e for e in registry_snapshot() - registry_before if names_product(e))
        self.assertEqual(added, [(f"{root}\\software\\marlix", None, None)
                                 for root in ("hkey_current_user", "hkey_local_machine")])
        # New files: only the fonts and the files the package put into the
        # system and Windows folders, the vendor's data folder that other
        # products of the vendor share (empty), the interface library's
        # log, and the logs of the install and the uninstall in the
        # temporary folder (kept for whoever looks after the machine).
        log = str((log_dir / "ZZInterface.log").relative_to(session.drive_root("c"))).lower()
        temp = str(self.places.temp.relative_to(session.drive_root("c"))).lower()
        # The runs' own logs in the temporary folder aside.
        left = sorted(f for f in files_snapshot() - files_before - {log}
                      if not (f.startswith(temp) and f.endswith(".log")))
        self.assertEqual(left, sorted(["programdata/zinzinimes", "windows/fonts/comfortaa-regular.ttf",
                                       f"{SYSTEM_REL}/{IME.lower()}.lex", f"windows/{IME.lower()}.ini"]))
        self.assertEqual(list((session.drive_root("c") / "ProgramData" / "ZinzinIMEs").iterdir()), [])

    # ---- the second uninstall, from the uninstall entry

    def test_2_uninstall_entry_with_the_ime_held_cancelled_then_ended(self):
        demo_product.install(self.wine)
        # Closed before the button was pressed: nothing is removed.
        self.start_from_entry()
        self.wine.ui("close", TITLE)
        self.wait_ended()
        self.assertTrue((self.places.install_dir / "unstall.exe").exists())
        self.assertIsNotNone(self.wine.reg_query(UNINSTALL_KEY, "UninstallString"))

        ready = self.wine.prefix / "drive_c" / "holder-ready.txt"
        if ready.exists():
            ready.unlink()
        holder = self.wine.launch(self.wine.to_windows(IME_HOLDER), f"{harness.SYSTEM_DIR}\\{IME_FILE}",
                                  self.wine.to_windows(ready))
        harness.wait_until(ready.exists, 30, "the helper to load the IME file")

        # Cancelled: the uninstaller ends with exit code 1602 and nothing is
        # removed. Started here as the temporary copy that the entry's
        # command starts, so that the test is the copy's parent and sees
        # its exit code.
        copy = demo_product.copy_into_workspace(self.places.temp, self.places.install_dir / "unstall.exe")
        program = self.wine.launch(copy, "-u", f"name=[{IME}]", f"file={INSTALL_DIR}Unstall.exe")
        self.wine.ui("wait", TITLE)
        self.wine.ui("click", TITLE, "1")
        self.wine.ui("wait", IME_STATUS)
        self.wine.ui("click", IME_STATUS, "2")
        # 1602, cancelled (wine's own exit status keeps its low byte).
        self.assertEqual(program.wait(60), 1602 & 0xFF)
        self.wait_ended()
        self.assertTrue(holder.running())
        self.assertTrue((self.places.install_dir / "unstall.exe").exists())
        self.assertTrue((self.places.programs / UNINSTALL_LINK.replace("\\", "/")).exists())
        self.assertIsNotNone(self.wine.reg_query(UNINSTALL_KEY, "UninstallString"))
        self.assertEqual(self.interface_calls(), ["ZZInterfaceMessage 0 7 0 0"])

        # Ended from the check's list: the run goes on. The entry as an
        # earlier install wrote it, unquoted, still starts the uninstall;
        # while the check asks, the button can't start a second run inside
        # the first.
        self.wine.run("reg", "add", UNINSTALL_KEY, "/v", "UninstallString", "/d",
                      f"{INSTALL_DIR}Unstall.exe -u name=[{IME}]", "/f")
        self.start_from_entry(quoted=False)
        self.wine.ui("click", TITLE, "1")
        self.wine.ui("wait", IME_STATUS)
        self.assertIn("disabled", self.wine.state(TITLE, 1))
        self.wine.ui("click", IME_STATUS, "1015")
        harness.wait_until(lambda: not holder.running(), 30, "the helper to end")
        self.wine.ui("wait-text", TITLE, "1", DONE, timeout_ms=180000)
        self.assertEqual(self.wine.rows(TITLE, 1006), [[row] for row in ROWS])
        self.wine.ui("click", TITLE, "1")
        self.wait_ended()
        self.expect_product_gone()
        self.assertEqual(self.interface_calls(), ["ZZInterfaceMessage 0 7 0 0"] * 2)

    # ---- what is not the product's stays

    def test_3_a_users_install_path_never_removes_what_isnt_the_products(self):
        demo_product.install(self.wine)
        saved = self.wine.prefix / "drive_c" / "saved-unstall.exe"
        shutil.copyfile(self.places.install_dir / "unstall.exe", saved)
        # Only the current user's key names a folder: the machine's is gone.
        self.wine.run("reg", "delete", f"HKLM\\{VENDOR_KEY}", "/f")
        c = session.drive_root("c")
        other = c / "Program Files" / "Other IME"
        other.mkdir(parents=True)
        for name in ("unstall.exe", "_backup_.dat"):
            (other / name).write_bytes(b"another product's")
        target = c / "target"
        target.mkdir()
        (c / "link").symlink_to(target)
        # The product's data folder made a link to the target in advance:
        # the removal doesn't follow it.
        shutil.rmtree(self.places.data_dir)
        self.places.data_dir.symlink_to(target)
        (target / "data-sentinel.txt").write_text("the user's")
        profile = session.to_linux(session.run("cmd", "/c", "echo %USERPROFILE%").stdout.strip())
        # The system's drivers folder as this build's program sees it.
        drivers = self.places.system / "drivers"
        drivers.mkdir(exist_ok=True)
        for folder in (drivers, profile, c, other, c / "link"):
            sentinel = (target if folder == c / "link" else folder) / "sentinel.txt"
            sentinel.write_text("the user's")
            value = self.wine.to_windows(folder).rstrip("\\") + "\\"
            self.wine.run("reg", "add", f"HKCU\\{VENDOR_KEY}", "/v", "ZMEInstallPath", "/d", value, "/f")
            # The dialog's title: the entry the first run removed.
            self.wine.run("reg", "add", UNINSTALL_KEY, "/v", "DisplayName", "/d", DISPLAY_NAME, "/f")
            self.wine.launch(saved, "-u", f"name=[{IME}]")
            self.wine.ui("wait", TITLE)
            self.uninstall_with_extra_row(f"  {value} 不是本产品的安装目录，其中的文件未删除。")
            self.assertEqual(sentinel.read_text(), "the user's", folder)
            sentinel.unlink()
        self.assertEqual((target / "data-sentinel.txt").read_text(), "the user's")
        self.places.data_dir.unlink()
        self.assertTrue((other / "unstall.exe").exists())
        self.assertTrue((self.places.install_dir / "unstall.exe").exists())  # named by no key of the run
        shutil.rmtree(self.places.install_dir)

    def test_4_a_folder_shared_with_the_users_files_loses_only_the_products(self):
        self.places.install_dir.mkdir(parents=True, exist_ok=True)
        sentinel = self.places.install_dir / "我的文档.txt"
        sentinel.write_text("the user's")
        # The wizard's clearing of the existing folder keeps the file too.
        demo_product.install(self.wine, existing=True)
        self.assertTrue((self.places.install_dir / "_installed_.lst").exists())
        self.start_from_link()
        self.uninstall_with_extra_row(f"  {INSTALL_DIR} 中不属于本产品的文件已保留。")
        # The uninstaller that was started there goes once it has ended.
        harness.wait_until(lambda: [p.name for p in self.places.install_dir.iterdir()] == [sentinel.name], 60,
                           "only the user's file to be left")
        self.assertEqual(sentinel.read_text(), "the user's")
        self.assertFalse(self.places.data_dir.exists())


    # ---- without a person

    def test_5_silent_install_and_uninstall_leave_what_the_dialogs_leave(self):
        installer = self.wine.to_windows(demo_product.DEMO_INSTALLER)
        # The product's own uninstaller ends at once (its copy removes its
        # very file); a script that wants the uninstall's exit code starts
        # the installer with -u, which waits for its copy.
        uninstaller = installer
        shutil.rmtree(self.places.install_dir, ignore_errors=True)
        self.assertIsNone(self.wine.reg_export(UNINSTALL_KEY))
        before = self.product_state()
        # Not installed: its own code, nothing touched.
        self.assertEqual(self.run_silently(installer, f"/S -u name=[{IME}]"), 1605)
        self.assertEqual(self.product_state(), before)

        # The wizard's install and the dialog's uninstall, for comparison.
        demo_product.install(self.wine)
        by_wizard = self.product_state()
        self.start_from_entry()
        self.uninstall()
        self.expect_product_gone()
        by_dialog = self.product_state()

        # The licence not accepted: failed, nothing installed.
        self.assertEqual(self.run_silently(installer, "/S"), 1603)
        self.assertEqual(self.product_state(), by_dialog)
        # A run that fails in step 4 (a folder where the kept package goes)
        # ends 1603, undoes what it did and says both in its log.
        failing = session.drive_root("c") / "failing"
        (failing / "_backup_.dat").mkdir(parents=True)
        failed_log = session.drive_root("c") / "silent-failed.log"
        switches = "/S /accepteula /dir=[C:\\failing\\] /log=[C:\\silent-failed.log]"
        self.assertEqual(self.run_silently(installer, switches), 1603)
        lines = self.log_lines(failed_log)
        self.assertIn("failed", [word for word, _ in lines])
        self.assertTrue(any(word == "failed" and text.startswith("4.备份安装数据") for word, text in lines), lines)
        self.assertIn(("row", "安装程序发生错误，所做操作已经撤销!"), lines)
        self.assertEqual(lines[-1], ("exit", "1603"))
        self.assertEqual([p.name for p in failing.iterdir()], ["_backup_.dat"])
        self.assertEqual(self.product_state(), by_dialog)

        install_log = session.drive_root("c") / "silent-install.log"
        self.assertEqual(self.run_silently(installer, "/S /accepteula /log=[C:\\silent-install.log]"), 0)
        self.assertEqual(self.product_state(), by_wizard)
        # The log names every file and value the run wrote, and the shortcuts.
        lines = self.log_lines(install_log)
        installed = [p for p in self.places.install_dir.rglob("*") if p.is_file()]
        for path in installed:
            self.assertIn(("copied", self.wine.to_windows(path).lower()), lines)
        # As the program names it: a 32-bit one's system folder is redirected.
        self.assertIn(("copied", f"C:\\windows\\system32\\{IME_FILE}".lower()), lines)
        entry = next(iter(self.wine.reg_export(UNINSTALL_KEY).values()))
        for name in entry:
            self.assertIn(("value", f"{UNINSTALL_KEY}\\{name}".lower()), lines)
        for link in LINKS:
            self.assertIn(("shortcut", self.wine.to_windows(self.places.programs / link.replace("\\", "/")).lower()),
                          lines)
        self.assertEqual(lines[-1], ("exit", "0"))

        ready = session.prefix / "drive_c" / "holder-ready.txt"
        ready.unlink(missing_ok=True)
        holder = self.wine.launch(self.wine.to_windows(IME_HOLDER), f"{harness.SYSTEM_DIR}\\{IME_FILE}",
                                  self.wine.to_windows(ready))
        harness.wait_until(ready.exists, 30, "the helper to load the IME file")
        self.assertEqual(self.run_silently(uninstaller, f"/S -u name=[{IME}]"), 1603)
        self.assertTrue(holder.running())
        self.assertEqual(self.product_state(), by_wizard)
        uninstall_log = session.drive_root("c") / "silent-uninstall.log"
        self.assertEqual(self.run_silently(
            uninstaller, f"/S /closeapplications /log=[C:\\silent-uninstall.log] -u name=[{IME}]"), 0)
        harness.wait_until(lambda: not holder.running(), 30, "the holder to be ended")
        self.expect_product_gone()
        self.assertEqual(self.product_state(), by_dialog)
        lines = self.log_lines(uninstall_log)
        # All but the uninstaller that was started, which goes once it has
        # ended.
        for path in installed:
            if path.name.lower() != "unstall.exe":
                self.assertIn(("deleted", self.wine.to_windows(path).lower()), lines)
        for link in LINKS:
            self.assertIn(("shortcut-del",
                           self.wine.to_windows(self.places.programs / link.replace("\\", "/")).lower()), lines)
        self.assertIn(("key-del", UNINSTALL_KEY.lower()), lines)
        self.assertEqual(lines[-1], ("exit", "0"))


if __name__ == "__main__":
    for needed in (demo_product.DEMO_INSTALLER, demo_product.DEMO_PRODUCT, IME_HOLDER):
        if not needed.exists():
            print(f"skipped: {needed} is missing (build the win64 preset with the packer)")
            sys.exit(77)
    unittest.main(verbosity=2)
