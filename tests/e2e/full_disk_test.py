#!/usr/bin/env python3
"""A full disk and a read-only destination under wine64: the demo product
installed through the wizard onto a small drive of its own (a tmpfs of a
few MiB that the test mounts, maps as drive T: and removes afterwards),
filled by the test so that the install or the repair runs out of room half
way.

The tests run in order:
1. A first install that runs out of room: the step list ends with the
   failure row, the button offers to quit, and nothing of the product is
   left on the drive, in the system folder, the Start menu or the registry.
2. The same install with room: it completes (the state later tests keep).
3. A repair that runs out of room half way: the failure row, a non-zero
   exit code, and every file (byte for byte), value and shortcut as the
   install left them; no new file left beside an installed one.
4. The drive remounted read-only: a repair fails the same way and changes
   nothing.
5. An update from a server on 127.0.0.1 (update_server.py) onto the full
   drive: the components on it are marked "失败" with "  替换文件失败！", and
   the installed files stay as they were, with nothing left beside them.

Mounting needs the right to mount (root, as the test machines run); where
the mount is refused the module skips (77).

Environment (CTest sets it): IMEBASE_DEMO_INSTALLER, IMEBASE_DEMO_PRODUCT,
IMEBASE_DEMO_UPDATE_SERVER and what harness.py reads."""

import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_product as demo  # noqa: E402
import harness  # noqa: E402
from update_server import DRIVER_LIST, SECOND_LIST, UpdateServer, point_product_at  # noqa: E402
from update_server import list_line as line  # noqa: E402

DRIVE = "t"
DRIVE_SIZE = 4 * 1024 * 1024
INSTALL_DIR = f"{DRIVE.upper()}:\\{demo.IME}\\"
WELCOME = demo.WELCOME
QUIT = "退出安装(&O)"
FAILED_ROW = "安装程序发生错误，所做操作已经撤销!"
REPAIR_TITLE = f"{demo.DISPLAY_NAME} - 修复程序"
REPAIR = "修复(&R)"
REPAIR_DONE = "完成(&O)"
KEYS = demo.INSTALL_KEYS
FILLER = "filler.bin"
UPDATE_TITLE = f"{demo.DISPLAY_NAME} - 更新程序"
SKIN_QUESTION = "colourful驱动更新"
DEMO_SERVER = Path(os.environ.get("IMEBASE_DEMO_UPDATE_SERVER", harness.build_dir() / "demo-update-server"))

session = None
places = None
mount_point = None
installed = None


def run_quietly(*argv):
    return subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, check=False)


def mount_small_drive(folder, options=""):
    """A tmpfs of DRIVE_SIZE bytes at `folder`; the mount's output when it
    fails, else None."""
    result = run_quietly("mount", "-t", "tmpfs", "-o", f"size={DRIVE_SIZE}{options}", "tmpfs", str(folder))
    return None if result.returncode == 0 else (result.stdout.strip() or f"exit {result.returncode}")


def can_mount():
    """None when this user can mount a tmpfs here, else why not."""
    if os.name != "posix":
        return "not a POSIX system"
    with tempfile.TemporaryDirectory() as folder:
        why = mount_small_drive(folder)
        if why is None:
            run_quietly("umount", folder)
        return why


def set_up_drive():
    global mount_point
    mount_point = Path(tempfile.mkdtemp(prefix="imebase-small-drive-"))
    why = mount_small_drive(mount_point)
    if why is not None:
        raise unittest.SkipTest(f"a small drive can't be mounted: {why}")
    link = session.prefix / "dosdevices" / f"{DRIVE}:"
    if link.is_symlink() or link.exists():
        link.unlink()
    link.symlink_to(mount_point)


def tear_down_drive():
    if mount_point is None:
        return
    run_quietly("umount", str(mount_point))
    try:
        mount_point.rmdir()
    except OSError:
        pass


def setUpModule():
    global session, places
    if not all(p.exists() for p in (demo.DEMO_INSTALLER, demo.DEMO_PRODUCT)):
        raise unittest.SkipTest("the demo installer isn't built")
    session = harness.WineSession("fulldisk")
    session.start()
    try:
        set_up_drive()
        demo.prepare_session(session)
        places = demo.Places(session)
        places.install_dir = mount_point / demo.IME
    except BaseException:
        tearDownModule()
        raise


def tearDownModule():
    global session
    if session:
        session.stop()
        session = None
    tear_down_drive()


def free_bytes():
    stats = os.statvfs(mount_point)
    return stats.f_bavail * stats.f_frsize


def fill_drive(leave):
    """Fills the drive with one file until `leave` bytes are free."""
    filler = mount_point / FILLER
    if filler.exists():
        filler.unlink()
    size = free_bytes() - leave
    if size > 0:
        with open(filler, "wb") as out:
            out.write(b"\0" * size)
    return free_bytes()


def empty_drive():
    filler = mount_point / FILLER
    if filler.exists():
        filler.unlink()


def product_size_in_install_folder():
    """Bytes of the demo product's files that go into the install folder
    (the macro folders and the IME file go elsewhere)."""
    total = 0
    for path in demo.DEMO_PRODUCT.rglob("*"):
        relative = path.relative_to(demo.DEMO_PRODUCT)
        if path.is_file() and not str(relative).startswith("$") and path.name != f"{demo.IME}.ime":
            total += path.stat().st_size
    return total


def tree_state(folder, prefix):
    return {f"{prefix}/{p.relative_to(folder)}": p.read_bytes() for p in sorted(folder.rglob("*")) if p.is_file()}


def snapshot():
    """Files (bytes) the install leaves on the drive and elsewhere, the
    registry keys it writes, and the Start-menu folder's links."""
    files = {}
    if places.install_dir.exists():
        files.update(tree_state(places.install_dir, "install"))
    if places.data_dir.exists():
        files.update(tree_state(places.data_dir, "data"))
    if places.programs.exists():
        files.update(tree_state(places.programs, "programs"))
    for path in (places.system / f"{demo.IME}.zin.ime", places.desktop_link):
        files[str(path)] = path.read_bytes() if path.exists() else None
    return files, {key: session.reg_export(key) for key in KEYS}


def drive_listing():
    return sorted(str(p.relative_to(mount_point)) for p in mount_point.rglob("*"))


class FullDiskCase(unittest.TestCase):
    maxDiff = None

    def assert_state(self, expected):
        files, registry = snapshot()
        self.assertEqual(sorted(files), sorted(expected[0]))
        for name, data in expected[0].items():
            self.assertTrue(files[name] == data, f"{name} differs from before")
        self.assertEqual(registry, expected[1])

    def start_wizard(self):
        program = session.launch(session.to_windows(demo.DEMO_INSTALLER))
        session.ui("wait", WELCOME)
        session.ui("check", WELCOME, "1012", "on")
        session.ui("wait-state", WELCOME, "1", "enabled")
        session.ui("type", WELCOME, "1022", INSTALL_DIR)
        session.ui("click", WELCOME, "1")
        return program

    def repair(self):
        """A repair from the installed uninstaller, started as its temporary
        copy would be (the relaunch's first process always ends with 0, the
        copy that does the work says how it went); its rows and exit code."""
        copy = demo.copy_into_workspace(places.temp, places.install_dir / "unstall.exe")
        program = session.launch(session.to_windows(copy), "-r", f"name=[{demo.IME}]",
                                 f"file={INSTALL_DIR}Unstall.exe")
        session.ui("wait", REPAIR_TITLE)
        session.ui("click", REPAIR_TITLE, "1")
        session.ui("wait-text", REPAIR_TITLE, "1", REPAIR_DONE, timeout_ms=180000)
        rows = [row[0] for row in session.rows(REPAIR_TITLE, 1006)]
        session.ui("click", REPAIR_TITLE, "1")
        session.ui("gone", REPAIR_TITLE)
        code = program.wait(60)
        harness.wait_until(lambda: not demo.workspaces(places.temp), 60, "the workspace to go")
        return rows, code

    def assert_failed_repair_rows(self, rows):
        self.assertEqual(rows[-1], FAILED_ROW)
        self.assertIn(demo.INSTALL_ROWS[2], rows)
        self.assertNotIn(demo.INSTALL_ROWS[-1], rows)

    def assert_nothing_beside(self):
        strays = [p for p in places.install_dir.rglob("~zz*")]
        self.assertEqual(strays, [], "new files left beside installed ones")

    def test_1_a_first_install_that_runs_out_of_room_leaves_nothing(self):
        before = snapshot()
        # Room for about half of what the install folder takes.
        left = fill_drive(product_size_in_install_folder() // 2)
        self.assertLess(left, product_size_in_install_folder())
        program = self.start_wizard()
        session.ui("wait-text", WELCOME, "1", QUIT, timeout_ms=180000)
        rows = [row[0] for row in session.rows(WELCOME, 1006)]
        self.assertEqual(rows, demo.INSTALL_ROWS[:3] + [FAILED_ROW])
        session.shot("failed-install", WELCOME)
        session.ui("click", WELCOME, "1")
        session.ui("gone", WELCOME)
        program.wait(60)
        harness.wait_until(lambda: not demo.workspaces(places.temp), 60, "the workspace to go")

        self.assertEqual(drive_listing(), [FILLER])
        self.assert_state(before)

    def test_2_the_same_install_with_room_completes(self):
        global installed
        empty_drive()
        program = self.start_wizard()
        session.ui("wait-text", WELCOME, "1", demo.INSTALL_DONE, timeout_ms=180000)
        harness.wait_until(lambda: session.processes("notepad.exe"), 60, "Notepad with readme.txt")
        session.ui("close", "part:readme.txt")
        harness.wait_until(lambda: not session.processes("notepad.exe"), 30, "Notepad to close")
        session.ui("click", WELCOME, "1")
        session.ui("gone", WELCOME)
        self.assertEqual(program.wait(60), 0)
        harness.wait_until(lambda: not demo.workspaces(places.temp), 60, "the workspace to go")
        self.assertTrue((places.install_dir / "unstall.exe").is_file())
        self.assertEqual((places.install_dir / "config.exe").read_bytes(),
                         (demo.DEMO_PRODUCT / "config.exe").read_bytes())
        self.assert_nothing_beside()
        installed = snapshot()

    def test_3_a_repair_that_runs_out_of_room_leaves_the_install_as_it_was(self):
        if installed is None:
            self.skipTest("the product isn't installed")
        # Room for the small files one at a time, not for the largest: the
        # repair replaces some files and runs out of room at a large one.
        # (The kept package and the uninstaller are not rewritten by a repair.)
        largest = max(p.stat().st_size for p in demo.DEMO_PRODUCT.rglob("*")
                      if p.is_file() and not str(p.relative_to(demo.DEMO_PRODUCT)).startswith("$"))
        fill_drive(largest * 6 // 10)
        rows, code = self.repair()
        self.assert_failed_repair_rows(rows)
        self.assertNotEqual(code, 0)
        self.assert_state(installed)
        self.assert_nothing_beside()
        empty_drive()

    def test_4_a_read_only_destination_fails_the_repair_and_changes_nothing(self):
        if installed is None:
            self.skipTest("the product isn't installed")
        result = run_quietly("mount", "-o", "remount,ro", str(mount_point))
        self.assertEqual(result.returncode, 0, result.stdout)
        try:
            rows, code = self.repair()
        finally:
            run_quietly("mount", "-o", "remount,rw", str(mount_point))
        self.assert_failed_repair_rows(rows)
        self.assertNotEqual(code, 0)
        self.assert_state(installed)
        self.assert_nothing_beside()

    def test_5_an_update_onto_a_full_drive_keeps_the_installed_files(self):
        if installed is None:
            self.skipTest("the product isn't installed")
        if not DEMO_SERVER.exists():
            self.skipTest("the demo update server isn't built")
        server = UpdateServer.serving_copy_of(DEMO_SERVER)
        try:
            server.lists = {
                DRIVER_LIST:
                    line("ZME_DRIVE", "zzpinyin_mb", "1.1.0.21", "/_supports/zzime_drives/zzpinyin_mb.cab")
                    + line("SKIN_DRIVE", "colourful", "1.1.0.21", "/_supports/zzime_drives/colourful.cab"),
                SECOND_LIST: "",
            }
            point_product_at(session, server)
            before = tree_state(places.install_dir, "install")
            # Less room than the smaller of the two new files needs.
            fill_drive(4096)
            program = session.launch(f"{INSTALL_DIR}Unstall.exe", "-g", f"name=[{demo.IME}]")
            session.ui("wait", UPDATE_TITLE)
            session.msgbox(SKIN_QUESTION, answer="no", timeout_ms=120000)

            def finished():
                lines = session.rows(UPDATE_TITLE, 1006)
                return lines and lines[-1] == ["更新完毕"] and lines
            lines = [cells[0] for cells in harness.wait_until(finished, 120, "更新完毕")]
            rows = session.rows(UPDATE_TITLE, 1011)
            self.assertEqual([row[0] for row in rows], ["失败", "失败"])
            self.assertEqual(lines.count("  替换文件失败！"), 2, lines)
            session.ui("wait-state", UPDATE_TITLE, "2", "enabled")
            session.ui("click", UPDATE_TITLE, "2")
            session.ui("gone", UPDATE_TITLE)
            program.wait(60)
        finally:
            server.close()
            empty_drive()
        self.assertEqual(tree_state(places.install_dir, "install"), before)
        self.assert_nothing_beside()


if __name__ == "__main__":
    for needed in (demo.DEMO_INSTALLER, demo.DEMO_PRODUCT):
        if not needed.exists():
            print(f"skipped: {needed} is missing (build the win64 preset with the packer)")
            sys.exit(77)
    why_not = can_mount()
    if why_not is not None:
        print(f"skipped: a small drive can't be mounted here ({why_not})")
        sys.exit(77)
    unittest.main(verbosity=2)
