#!/usr/bin/env python3
"""The update dialog under wine64, driven as a person drives it: the demo
product installed through its wizard, then "检查更新" started from its
Start-menu shortcut against an update server on 127.0.0.1 that this test
serves itself (the demo update server's files, with lists of its own).

The first run lists every component the lists name with the installed and
the offered version, replaces the newer ones (the new files keep the
installed files' description, company, skin bitmaps and icon), leaves the
older and equal ones alone, marks the broken packages "失败" with the
engine's message, refuses a package swapped on its way (its digest isn't
the signed one) and one the signed list gives no digest for, asks about
the colourful skins and ends with "更新完毕";
the retry button runs it again on what is installed now, and this time the
skin package dialog is opened over it. Then a run is closed with
"退　出(&X)" in the middle of a slow download (its status cell counting
the bytes): the dialog stays until that item is done, works on no further
item, and the program ends normally. Last, a program that
holds the IME file: the check cancelled ends the run before anything is
listed; retried and the program ended from the check, the run goes on.
And with neither the machine's "UpdateServer" value nor the product's own
list, the dialog says that no update server is configured and asks none.

Environment (CTest sets it): IMEBASE_DEMO_INSTALLER, IMEBASE_DEMO_PRODUCT,
IMEBASE_DEMO_UPDATE_SERVER (the demo update server's folder),
IMEBASE_IME_HOLDER (a program that keeps a DLL loaded), and what
harness.py reads."""

import os
import re
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_product  # noqa: E402
import harness  # noqa: E402
import pe_resources  # noqa: E402
from update_server import DRIVER_LIST, SECOND_LIST, SERVER_KEY, UpdateServer, point_product_at  # noqa: E402
from update_server import list_line as line  # noqa: E402

IME = demo_product.IME
TITLE = f"{demo_product.DISPLAY_NAME} - 更新程序"
SKIN_QUESTION = "colourful驱动更新"
SKIN_DIALOG = "colourful皮肤驱动更新"
IME_STATUS = demo_product.IME_STATUS
IME_HOLDER = demo_product.IME_HOLDER
DEMO_SERVER = Path(os.environ.get("IMEBASE_DEMO_UPDATE_SERVER", harness.build_dir() / "demo-update-server"))

ITEM_LIST, MESSAGE_LIST = 1011, 1006
FORGED = "/_supports/forged/colourful.cab"
HEADER = ["状态", "本地版本", "最新版本", "驱动类型", "驱动名称"]

session = None
server = None


def setUpModule():
    global session, server
    session = harness.WineSession("update")
    session.start()
    demo_product.prepare_session(session)
    demo_product.install(session)
    server = UpdateServer.serving_copy_of(DEMO_SERVER)
    (server.folder / "_supports" / "broken.cab").write_bytes(b"MSCF" + bytes(range(256)) * 8)
    # The signed list names the real skin driver's package; what arrives has
    # one byte changed.
    genuine = server.folder / "_supports" / "zzime_drives" / "colourful.cab"
    (server.folder / "_supports" / "forged").mkdir()
    shutil.copy(genuine, server.folder / "_supports" / "forged" / "colourful.cab")
    forged = bytearray(genuine.read_bytes())
    forged[len(forged) // 2] ^= 1
    server.forged[FORGED] = bytes(forged)
    point_product_at(session, server)


def tearDownModule():
    if session:
        session.stop()
    if server:
        server.close()


class UpdateCase(unittest.TestCase):
    wine = None

    @classmethod
    def setUpClass(cls):
        cls.wine = session
        cls.places = demo_product.Places(session)
        cls.link = cls.places.programs / "检查更新.lnk"

    # ---- helpers

    def installed(self, name):
        """The installed component: resources and the file's bytes."""
        path = self.places.system / f"{IME}.zin.ime" if name == "ime" else self.places.install_dir / name
        return pe_resources.read(path), path.read_bytes()

    def copies_running(self):
        return [p for p in self.wine.processes() if p["path"].lower().endswith(demo_product.COPY_NAME)]

    def start_from_link(self):
        self.wine.launch("start", self.wine.to_windows(self.link))
        self.wine.ui("wait", TITLE)

    def wait_run_end(self, count):
        """The run's end: "更新完毕" is the last line, after `count` rows."""
        def finished():
            lines = self.wine.rows(TITLE, MESSAGE_LIST)
            return lines and lines[-1] == ["更新完毕"] and lines
        lines = harness.wait_until(finished, 120, "更新完毕")
        self.wine.ui("wait-state", TITLE, "1", "enabled")
        rows = self.wine.rows(TITLE, ITEM_LIST, header=True)
        self.assertEqual(rows[0], HEADER)
        self.assertEqual(len(rows) - 1, count, rows)
        return rows[1:], [cells[0] for cells in lines]

    def close_skin_dialog(self):
        """Cancel; while its downloads still run it asks for patience."""
        for _ in range(30):
            self.wine.ui("click", SKIN_DIALOG, "2")
            if self.wine.ui_result("gone", SKIN_DIALOG, timeout_ms=2000).returncode == 0:
                return
            self.wine.ui_result("msgbox", "请稍候...", "--answer", "ok", timeout_ms=2000)
        self.fail("the skin package dialog never closed")

    def end_program(self):
        self.wine.ui("click", TITLE, "2")
        self.wine.ui("gone", TITLE)
        harness.wait_until(lambda: not self.copies_running(), 30, "the updater to end")
        harness.wait_until(lambda: not demo_product.workspaces(self.places.temp), 30,
                           "the workspace to go")

    # ---- the update run

    def test_1_update_from_the_shortcut_replaces_the_newer_components(self):
        before = {name: self.installed(name) for name in ("mb.dll", "skin.dll", "config.exe", "unstall.exe", "ime")}
        uninstaller = pe_resources.file_version(before["unstall.exe"][0])
        server.lists = {
            DRIVER_LIST:
                line("ZME_DRIVE", "ZZPINYIN_MB", "1.1.0.21", "/_supports/zzime_drives/zzpinyin_mb.cab")
                + line("ZME_DRIVE", "zzpinyin_mb", "0.9.19.5", "/_supports/missing/older.cab")
                + line("SKIN_DRIVE", "colourful", "1.1.0.21", "/_supports/zzime_drives/colourful.cab")
                + line("IME_MAIN", IME, "1.1.0.21", "/_supports/zzime_drives/ZZPinyin.cab")
                + line("INSTALLBASE_DRIVE", "_install_base_", uninstaller, "/_supports/missing/equal.cab")
                + line("ZME_DRIVE", "another_mb", "9.0.0.0", "/_supports/missing/another.cab"),
            # 1.0.5.1 looks like 1.0.0.1 in the list (the third part's
            # lowest bits aren't shown), yet it is newer.
            SECOND_LIST:
                line("CONFIG_DRIVE", "_config_", "1.0.5.1", "/_supports/zzpinyin/_config_.cab")
                + line("SKIN_DRIVE", "colourful", "1.2.0.0", "/_supports/broken.cab")
                + line("IME_MAIN", IME, "1.2.0.0", "/_supports/missing/ZZPinyin.cab")
                + line("SKIN_DRIVE", "colourful", "1.3.0.0", FORGED),
        }
        # The shortcut starts the installed uninstaller in update mode.
        program = self.wine.launch("start", "/wait", self.wine.to_windows(self.link))
        self.wine.ui("wait", TITLE)
        copy = harness.wait_until(self.copies_running, 30, "the updater's copy")[0]
        self.assertIn(f"-g name=[{IME}]", copy["command_line"])

        self.assertEqual(self.wine.msgbox(SKIN_QUESTION), "是否检查服务器上的最新皮肤包？")
        self.wine.shot("skin-question", f"title:{SKIN_QUESTION}")
        self.wine.msgbox(SKIN_QUESTION, answer="no")
        rows, lines = self.wait_run_end(9)
        self.wine.shot("first-run", TITLE)
        self.assertEqual(rows, [
            ["完成", "1.0.0.1", "1.1.0.21", "码表驱动", "zzpinyin_mb"],
            ["完成", "1.0.0.1", "0.9.16.5", "码表驱动", "zzpinyin_mb"],
            ["完成", "1.0.0.1", "1.1.0.21", "界面驱动", "colourful"],
            ["完成", "1.0.0.1", "1.1.0.21", "IME驱动", IME],
            ["完成", uninstaller, uninstaller, "安装程序", "_install_base_"],
            ["完成", "1.0.0.1", "1.0.0.1", "配置程序", "_config_"],
            ["失败", "1.0.0.1", "1.2.0.0", "界面驱动", "colourful"],
            ["失败", "1.0.0.1", "1.2.0.0", "IME驱动", IME],
            ["失败", "1.0.0.1", "1.3.0.0", "界面驱动", "colourful"],
        ])
        self.assertEqual(lines, [
            "开始Zinzin驱动程序更新：",
            "更新：zzpinyin_mb",
            "更新：colourful",
            f"更新：{IME}",
            "更新：_config_",
            "更新：colourful",
            "  解压文件失败！",
            f"更新：{IME}",
            f"  更新列表没有给出{IME}的SHA-256摘要，已拒绝",
            "更新：colourful",
            "  colourful与更新列表签名的SHA-256摘要不符，已拒绝",
            "更新完毕",
        ])
        self.assertIn(FORGED, server.requests)
        self.assertNotIn("/_supports/missing/ZZPinyin.cab", server.requests)
        # Neither the older nor the equal item was fetched.
        self.assertNotIn("/_supports/missing/older.cab", server.requests)
        self.assertNotIn("/_supports/missing/equal.cab", server.requests)

        # The newer files are in place with the installed files' identity.
        for name in ("mb.dll", "skin.dll", "config.exe", "ime"):
            resources, _ = self.installed(name)
            self.assertEqual(pe_resources.file_version(resources), "1.1.0.21", name)
            old = pe_resources.version_strings(before[name][0])
            new = pe_resources.version_strings(resources)
            for key in ("FileDescription", "CompanyName"):
                self.assertEqual(new[key], old[key], f"{name} {key}")
        skin, _ = self.installed("skin.dll")
        for bitmap in (103, 104):
            self.assertEqual(skin[(pe_resources.RT_BITMAP, bitmap)],
                             before["skin.dll"][0][(pe_resources.RT_BITMAP, bitmap)])
        ime, _ = self.installed("ime")
        self.assertEqual(ime[(pe_resources.RT_ICON, 1)], before["ime"][0][(pe_resources.RT_ICON, 1)])
        self.assertEqual(self.installed("unstall.exe")[1], before["unstall.exe"][1])

        # Retry: a second run on what is installed now; this time the skin
        # package dialog is opened, lists the server's skins and is closed.
        self.wine.ui("click", TITLE, "1")
        self.wine.msgbox(SKIN_QUESTION, answer="yes")
        self.wine.ui("wait", SKIN_DIALOG)
        harness.wait_until(lambda: "/_supports/zzskin_colourful/sunset.zip.png" in server.requests, 60,
                           "the skin pictures to be fetched")
        self.assertEqual([row[0] for row in self.wine.rows(SKIN_DIALOG, 1006)], ["jade", "sunset"])
        self.close_skin_dialog()
        rows, lines = self.wait_run_end(9)
        self.assertEqual([row[:2] for row in rows[:4]],
                         [["完成", "1.1.0.21"], ["完成", "1.1.0.21"], ["完成", "1.1.0.21"], ["完成", "1.1.0.21"]])
        self.assertEqual(rows[5][:2], ["完成", "1.1.0.21"])
        self.assertEqual([row[0] for row in rows[6:]], ["失败", "失败", "失败"])
        self.assertEqual(lines[0], "开始Zinzin驱动程序更新：")
        self.assertEqual(lines.count("更新完毕"), 1)
        self.end_program()
        self.assertEqual(program.wait(30), 0)

    # ---- closing during a run

    def test_2_exit_during_a_download_waits_for_the_item_and_ends_cleanly(self):
        server.requests.clear()
        server.lists = {
            DRIVER_LIST:
                line("ZME_DRIVE", "zzpinyin_mb", "1.3.0.0", "/slow/_supports/zzime_drives/zzpinyin_mb.cab")
                + line("SKIN_DRIVE", "colourful", "1.3.0.0", "/_supports/zzime_drives/colourful.cab"),
            SECOND_LIST: "",
        }
        mb_before = (self.places.install_dir / "mb.dll").stat().st_ctime_ns
        self.start_from_link()
        self.assertTrue(server.slow_started.wait(60), "the slow download never started")
        # The selected row's status cell counts the bytes received so far.
        harness.wait_until(lambda: re.fullmatch(r"[1-9][0-9]* K?B", self.wine.rows(TITLE, ITEM_LIST)[0][0]), 10,
                           "a byte count in the status cell")
        self.wine.ui("click", TITLE, "2")
        self.wine.ui("wait-state", TITLE, "2", "disabled")
        # The dialog stays while its worker works on the item.
        self.assertFalse(server.slow_done.is_set())
        self.wine.ui("wait", TITLE)
        self.wine.ui("gone", TITLE, timeout_ms=60000)
        self.assertTrue(server.slow_done.is_set())
        harness.wait_until(lambda: not self.copies_running(), 30, "the updater to end")
        harness.wait_until(lambda: not demo_product.workspaces(self.places.temp), 30,
                           "the workspace to go")
        # The item in hand was finished; the next one never started.
        self.assertGreater((self.places.install_dir / "mb.dll").stat().st_ctime_ns, mb_before)
        self.assertNotIn("/_supports/zzime_drives/colourful.cab", server.requests)

    # ---- a program holding the IME file

    def test_3_a_program_holding_the_ime_stops_the_run_until_it_is_ended(self):
        server.lists = {
            DRIVER_LIST: line("ZME_DRIVE", "zzpinyin_mb", "0.1.0.0", "/_supports/missing/older.cab"),
            SECOND_LIST: "",
        }
        ready = self.wine.prefix / "drive_c" / "holder-ready.txt"
        if ready.exists():
            ready.unlink()
        holder = self.wine.launch(self.wine.to_windows(IME_HOLDER), f"{harness.SYSTEM_DIR}\\{IME}.zin.ime",
                                  self.wine.to_windows(ready))
        harness.wait_until(ready.exists, 30, "the helper to load the IME file")

        # Cancelled: the run ends at once, silently; the dialog stays idle.
        self.start_from_link()
        self.wine.ui("wait", IME_STATUS)
        self.assertEqual(len(self.wine.rows(IME_STATUS, 1006)), 1)
        self.wine.ui("click", IME_STATUS, "2")
        self.wine.ui("gone", IME_STATUS)
        self.wine.ui("wait-state", TITLE, "1", "enabled")
        self.assertEqual(self.wine.rows(TITLE, ITEM_LIST), [])
        self.assertEqual(self.wine.rows(TITLE, MESSAGE_LIST), [])
        self.assertTrue(holder.running())

        # Retried and the holder ended from the list: the run goes on.
        self.wine.ui("click", TITLE, "1")
        self.wine.ui("wait", IME_STATUS)
        self.wine.ui("click", IME_STATUS, "1015")
        self.wine.ui("gone", IME_STATUS)
        harness.wait_until(lambda: not holder.running(), 30, "the helper to end")
        self.wine.msgbox(SKIN_QUESTION, answer="no")
        rows, _ = self.wait_run_end(1)
        self.assertEqual(rows[0][0], "完成")
        self.end_program()

    # ---- no server configured

    def test_4_without_a_configured_server_the_dialog_says_so(self):
        self.wine.run("reg", "delete", SERVER_KEY, "/v", "UpdateServer", "/f", view="64")
        self.wine.run("reg", "delete", demo_product.UNINSTALL_KEY, "/v", "URLUpdateInfo", "/f")
        server.requests.clear()
        try:
            self.start_from_link()
            rows, lines = self.wait_run_end(0)
            self.assertEqual(lines, ["没有配置更新服务器，不检查服务器上的更新", "更新完毕"])
            self.assertEqual(server.requests, [])
            self.end_program()
        finally:
            point_product_at(self.wine, server)


if __name__ == "__main__":
    for needed in (demo_product.DEMO_INSTALLER, demo_product.DEMO_PRODUCT, DEMO_SERVER / "_supports", IME_HOLDER):
        if not needed.exists():
            print(f"skipped: {needed} is missing (build the win64 preset with the packer)")
            sys.exit(77)
    unittest.main(verbosity=2)
