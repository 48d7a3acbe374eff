#!/usr/bin/env python3
"""Repair under wine64, driven as a person drives it: the demo product
installed through the wizard, then damaged (files deleted and garbled, a
Start-menu shortcut and the desktop link deleted, uninstall-entry values
changed), then repaired from its "修复安装" command: the dialog's title,
button and column, the install's rows, and afterwards every file, value
and shortcut as the install left it, the names the install recorded
included. Then a kept package that is missing, cut short or garbled: the
error box, exit code 1603 (failed), nothing changed.

The tests run in order: the later ones start from the repaired product.

Then a program holding the IME file: the check cancelled leaves the
dialog ready, the holder ended from the check lets the repair run.

Last, without a person (/S): the damaged product repaired with no window,
exit code 0, everything as the install left it; a kept package that is
missing fails the silent repair with 1603.

Environment (CTest sets it): IMEBASE_DEMO_INSTALLER, IMEBASE_DEMO_PRODUCT,
IMEBASE_IME_HOLDER and what harness.py reads."""

import copy
import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_product as demo  # noqa: E402
import harness  # noqa: E402

TITLE = f"{demo.DISPLAY_NAME} - 修复程序"
REPAIR = "修复(&R)"
DONE = "完成(&O)"
UNUSABLE_CAPTION = "无法执行的操作"
UNUSABLE_TEXT = "安装数据文件不存在或者已经损坏,修复程序无法运行."
UNINSTALLER = f"{demo.INSTALL_DIR}Unstall.exe"
IME_STATUS = demo.IME_STATUS
IME_HOLDER = demo.IME_HOLDER
ROWS = demo.INSTALL_ROWS
# Registry keys the install writes into (whole keys compared).
KEYS = demo.INSTALL_KEYS

session = None
places = None
installed = None


def setUpModule():
    global session, places, installed
    if not all(p.exists() for p in (demo.DEMO_INSTALLER, demo.DEMO_PRODUCT, IME_HOLDER)):
        raise unittest.SkipTest("the demo installer or the IME-holding helper isn't built")
    session = harness.WineSession("repair")
    session.start()
    demo.prepare_session(session)
    demo.install(session, owner="测试用户", company="测试公司")
    places = demo.Places(session)
    installed = snapshot()


def tearDownModule():
    if session:
        session.stop()


def link_fields(data):
    """What a shell link's properties show: its target, the texts (name,
    relative path, working folder, arguments, icon), icon index, window
    state and hot key. Its item-ID list is left out: it also carries the
    folders' times, which every install changes."""
    flags = struct.unpack_from("<I", data, 0x14)[0]
    fields = [struct.unpack_from("<iIH", data, 0x38)]
    offset = 0x4C
    if flags & 0x01:
        offset += 2 + struct.unpack_from("<H", data, offset)[0]
    if flags & 0x02:
        size, _, info_flags, _, base = struct.unpack_from("<5I", data, offset)
        if info_flags & 0x01:
            fields.append(data[offset + base:data.index(b"\0", offset + base)])
        offset += size
    unit = 2 if flags & 0x80 else 1
    for bit in (0x04, 0x08, 0x10, 0x20, 0x40):
        if flags & bit:
            count = struct.unpack_from("<H", data, offset)[0]
            fields.append(data[offset + 2:offset + 2 + count * unit])
            offset += 2 + count * unit
    return fields


def file_state(path):
    data = path.read_bytes()
    return link_fields(data) if path.suffix == ".lnk" else data


def tree_state(folder, prefix):
    return {f"{prefix}/{p.relative_to(folder)}": file_state(p) for p in sorted(folder.rglob("*")) if p.is_file()}


def snapshot():
    """What the install leaves on the machine: files (bytes), registry
    keys (values) and shortcuts (their properties)."""
    windows = session.to_linux("C:\\windows")
    files = {}
    files.update(tree_state(places.install_dir, "install"))
    files.update(tree_state(places.data_dir, "data"))
    files.update(tree_state(places.programs, "programs"))
    for path in (places.system / f"{demo.IME}.zin.ime", places.system / f"{demo.IME}.lex",
                 windows / f"{demo.IME}.ini", windows / "Fonts" / "Comfortaa-Regular.ttf", places.desktop_link):
        files[str(path)] = file_state(path) if path.exists() else None
    registry = {key: session.reg_export(key) for key in KEYS}
    # A 32-bit install or repair writes no machine key into the 64-bit view.
    for view in harness.REG_VIEWS[1:]:
        for key in KEYS[:2]:
            if session.reg_export(key, view) is not None:
                raise AssertionError(f"{key} is in the {view}-bit registry view")
    return files, registry


def copies_running():
    return [p for p in session.processes() if p["path"].lower().endswith(demo.COPY_NAME)]


def wait_cleaned_up():
    harness.wait_until(lambda: not copies_running(), 30, "the copy to end")
    harness.wait_until(lambda: not demo.workspaces(places.temp), 30, "the workspace and the copy to go")


class RepairCase(unittest.TestCase):
    maxDiff = None

    def assert_as_installed(self, expected_registry=None):
        files, registry = snapshot()
        self.assertEqual(sorted(files), sorted(installed[0]))
        for name, data in installed[0].items():
            self.assertEqual(files[name], data, name)
        self.assertEqual(registry, expected_registry or installed[1])

    def start_copy(self):
        """The uninstaller started as its own temporary copy would be (the
        relaunch's first process always ends with 0), so that the exit code
        of the copy that does the work can be read."""
        path = demo.copy_into_workspace(places.temp, places.install_dir / "unstall.exe")
        return session.launch(session.to_windows(path), "-r", f"name=[{demo.IME}]", f"file={UNINSTALLER}")

    def finish_repair(self, program):
        """The run's rows and bar, the readme the install opens closed, the
        dialog closed; the program's exit code."""
        session.ui("wait-text", TITLE, "1", DONE, timeout_ms=180000)
        self.assertEqual(session.rows(TITLE, 1006), [[row] for row in ROWS])
        self.assertEqual(session.progress(TITLE, 1008), 100)
        harness.wait_until(lambda: session.processes("notepad.exe"), 60, "Notepad with readme.txt")
        session.ui("close", "part:readme.txt")
        harness.wait_until(lambda: not session.processes("notepad.exe"), 30, "Notepad to close")
        session.shot("done", TITLE)
        session.ui("click", TITLE, "1")
        session.ui("gone", TITLE)
        code = program.wait(60)
        wait_cleaned_up()
        return code

    def test_1_repair_restores_files_registry_and_shortcuts(self):
        global installed
        # The product damaged: files deleted and garbled, two shortcuts
        # gone, values of the uninstall entry changed and removed.
        for name in ("mb.dll", "config.exe"):
            (places.install_dir / name).unlink()
        (places.install_dir / "skin.dll").write_bytes(b"garbled")
        (places.system / f"{demo.IME}.zin.ime").unlink()
        (places.programs / "系统设置.lnk").unlink()
        (places.programs / "更多工具" / "卸载软件.lnk").unlink()
        places.desktop_link.unlink()
        session.run("reg", "add", demo.UNINSTALL_KEY, "/v", "DisplayVersion", "/d", "0.0.0.0", "/f")
        session.run("reg", "delete", demo.UNINSTALL_KEY, "/v", "URLInfoAbout", "/f")

        # The current user's key names another folder, with a kept package
        # of its own: the repair takes the machine's folder and leaves that
        # one alone.
        decoy = session.drive_root("c") / "decoy"
        decoy.mkdir()
        for name in ("sentinel.txt", "_backup_.dat"):
            (decoy / name).write_text("the user's")
        session.run("reg", "add", f"HKCU\\{demo.VENDOR_KEY}", "/v", "ZMEInstallPath", "/d", "C:\\decoy\\", "/f")

        # Started as the "修复安装" shortcut and ModifyPath start it.
        program = session.launch(UNINSTALLER, "-r", f"name=[{demo.IME}]")
        session.ui("wait", TITLE)
        self.assertEqual(session.text(TITLE, 1), REPAIR)
        self.assertEqual(session.rows(TITLE, 1006, header=True), [["安装详细信息"]])
        self.assertEqual(session.progress(TITLE, 1008), 0)
        session.shot("ready", TITLE)

        session.ui("click", TITLE, "1")
        self.assertEqual(self.finish_repair(program), 0)

        # Everything as the install left it, with the names it recorded;
        # only the source the entry names is now the uninstaller the
        # repair ran from.
        expected = copy.deepcopy(installed[1])
        entry = next(iter(expected[demo.UNINSTALL_KEY].values()))
        self.assertEqual((entry["RegOwner"], entry["RegCompany"]), ("测试用户", "测试公司"))
        # Wine's WoW64 loader names a started program by its file's own
        # spelling on disk ("unstall.exe"), Windows by the path it was
        # started with: the same file either way.
        source = session.reg_query(demo.UNINSTALL_KEY, "InstallSource")
        self.assertEqual(source.lower(), UNINSTALLER.lower())
        entry["InstallSource"] = source
        self.assert_as_installed(expected)
        installed = snapshot()
        self.assertEqual(sorted(p.name for p in decoy.iterdir()), ["_backup_.dat", "sentinel.txt"])

    def unusable_backup_refused(self, damage):
        backup = places.install_dir / "_backup_.dat"
        kept = backup.read_bytes()
        try:
            damage(backup, kept)
            program = self.start_copy()
            self.assertEqual(session.msgbox(UNUSABLE_CAPTION), UNUSABLE_TEXT)
            session.shot(f"unusable-{self._testMethodName[7:]}", f"title:{UNUSABLE_CAPTION}")
            session.msgbox(UNUSABLE_CAPTION, answer="ok")
            # 1603, failed (wine's own exit status keeps its low byte).
            self.assertEqual(program.wait(60), 1603 & 0xFF)
            wait_cleaned_up()
            self.assertEqual(session.ui_result("wait", TITLE, timeout_ms=500).returncode, 3)
        finally:
            backup.write_bytes(kept)
        self.assert_as_installed()

    def test_2_missing_backup_is_refused(self):
        self.unusable_backup_refused(lambda backup, kept: backup.unlink())

    def test_3_backup_cut_short_is_refused(self):
        self.unusable_backup_refused(lambda backup, kept: backup.write_bytes(kept[:len(kept) // 2]))

    def test_4_garbled_backup_is_refused(self):
        def garble(backup, kept):
            # The plain header stays, the enciphered body is noise.
            backup.write_bytes(kept[:64] + bytes((b * 7 + 13) & 0xFF for b in kept[64:]))
        self.unusable_backup_refused(garble)

    def test_5_a_program_holding_the_ime_file_is_ended_first(self):
        ready = session.prefix / "drive_c" / "holder-ready.txt"
        holder = session.launch(session.to_windows(IME_HOLDER), f"{harness.SYSTEM_DIR}\\{demo.IME}.zin.ime",
                                session.to_windows(ready))
        harness.wait_until(ready.exists, 30, "the helper to load the IME file")
        program = self.start_copy()
        session.ui("wait", TITLE)
        # Cancelled: nothing happens, the dialog stays ready.
        session.ui("click", TITLE, "1")
        session.ui("wait", IME_STATUS)
        session.ui("click", IME_STATUS, "2")
        session.ui("gone", IME_STATUS)
        self.assertEqual(session.text(TITLE, 1), REPAIR)
        self.assertEqual(session.rows(TITLE, 1006), [])
        self.assertTrue(holder.running())
        # Ended from the check: the repair runs, and the copy that did it
        # ends with 0.
        session.ui("click", TITLE, "1")
        session.ui("wait", IME_STATUS)
        session.ui("click", IME_STATUS, "1015")
        harness.wait_until(lambda: not holder.running(), 30, "the helper to end")
        self.assertEqual(self.finish_repair(program), 0)
        # The entry's InstallSource is the "file=" argument as the command
        # line spells it: quoted here (it holds a space), never by the
        # relaunch.
        expected = copy.deepcopy(installed[1])
        entry = next(iter(expected[demo.UNINSTALL_KEY].values()))
        entry["InstallSource"] = f'{UNINSTALLER}"'
        self.assert_as_installed(expected)


    def test_6_a_silent_repair_shows_nothing_and_restores_the_product(self):
        expected = snapshot()
        (places.install_dir / "config.exe").unlink()
        (places.install_dir / "skin.dll").write_bytes(b"garbled")
        (places.programs / "系统设置.lnk").unlink()
        backup = places.install_dir / "_backup_.dat"
        kept = backup.read_bytes()
        backup.unlink()
        try:
            code, _ = session.run_to_end(UNINSTALLER, f"/S -r name=[{demo.IME}]")
            self.assertEqual(code, 1603)
            wait_cleaned_up()
        finally:
            backup.write_bytes(kept)
        code, _ = session.run_to_end(UNINSTALLER, f"/S -r name=[{demo.IME}]")
        self.assertEqual(code, 0)
        wait_cleaned_up()
        self.assertEqual(session.processes("notepad.exe"), [])
        # The entry's source is the uninstaller the repair ran from.
        entry = next(iter(expected[1][demo.UNINSTALL_KEY].values()))
        source = session.reg_query(demo.UNINSTALL_KEY, "InstallSource")
        self.assertEqual(source.lower().strip('"'), UNINSTALLER.lower())
        entry["InstallSource"] = source
        self.assertEqual(snapshot(), expected)


if __name__ == "__main__":
    for needed in (demo.DEMO_INSTALLER, demo.DEMO_PRODUCT, IME_HOLDER):
        if not needed.exists():
            print(f"skipped: {needed} is missing (build the win64 preset with the packer)")
            sys.exit(77)
    unittest.main(verbosity=2)
