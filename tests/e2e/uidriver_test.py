#!/usr/bin/env python3
"""The UI driver proven on the fixture dialog (e2e_fixture.exe) under
wine64: every command against a real dialog in another process, under Xvfb
in Wine's virtual desktop, and the basic ones once more with Wine's null
graphics driver. The fixture appends what it saw to a result file, so each
action is checked from the program's side as well as the screen's."""

import os
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

TITLE = "界面驱动测试"
CAPTION = "安装程序提示信息"
FIXTURE = Path(os.environ.get("IMEBASE_E2E_FIXTURE",
                              harness.build_dir() / "tests" / "e2e" / "e2e_fixture.exe"))

session = None


def setUpModule():
    global session
    session = harness.WineSession("uidriver")
    session.start()


def tearDownModule():
    if session:
        session.stop()


class FixtureCase(unittest.TestCase):
    """Starts a fresh fixture for each test and ends it afterwards."""

    wine = None  # the session the tests of a class run in

    @classmethod
    def setUpClass(cls):
        cls.wine = session

    def setUp(self):
        self.result = self.wine.prefix / "drive_c" / f"result-{self.id().split('.')[-1]}.txt"
        for stale in (self.result, Path(str(self.result) + ".go")):
            if stale.exists():
                stale.unlink()
        self.program = self.wine.launch(FIXTURE, self.wine.to_windows(self.result))
        self.wine.ui("wait", TITLE)
        self.wait_event("started")

    def tearDown(self):
        Path(str(self.result) + ".go").touch()   # frees a handler still holding
        if self.program.running():
            self.wine.ui_result("msgbox", CAPTION, "--answer", "no", timeout_ms=0)
            self.wine.ui_result("close", TITLE, timeout_ms=2000)
            try:
                self.program.wait(20)
            except Exception:
                self.program.kill()

    # ---- helpers

    def events(self):
        if not self.result.exists():
            return []
        return self.result.read_text(encoding="utf-8").splitlines()

    def wait_event(self, line, timeout=20):
        try:
            harness.wait_until(lambda: line in self.events(), timeout, repr(line))
        except AssertionError:
            self.fail(f"the fixture never recorded {line!r}; it recorded {self.events()}")

    def assertFails(self, code, *args, timeout_ms=None, message=None):
        result = self.wine.ui_result(*args, timeout_ms=timeout_ms)
        self.assertEqual(result.returncode, code,
                         f"uidriver {args}: stdout {result.stdout!r} stderr {result.stderr!r}")
        self.assertTrue(result.stderr.startswith("uidriver: "), result.stderr)
        if message:
            self.assertIn(message, result.stderr)
        return result.stderr


class WindowsAndTimeOuts(FixtureCase):
    def test_wait_list_and_gone_after_the_close_box(self):
        handle, pid = self.wine.ui("wait", TITLE).split("\t")
        self.assertRegex(handle, r"^0x[0-9A-F]{8,16}$")
        listing = self.wine.ui("list").splitlines()
        mine = [line.split("\t") for line in listing if line.startswith(handle + "\t")]
        self.assertEqual(mine, [[handle, pid, "e2e_fixture.exe", "visible", "#32770", TITLE]])
        # The same window by class, handle, part of the title, process.
        self.assertEqual(self.wine.ui("wait", "hwnd:" + handle), f"{handle}\t{pid}")
        self.assertEqual(self.wine.ui("text", "part:驱动测"), TITLE)
        self.assertEqual(self.wine.ui("wait", TITLE, "--pid", pid), f"{handle}\t{pid}")
        self.assertEqual(self.wine.ui("wait", TITLE, "--exe", "E2E_FIXTURE.EXE"),
                         f"{handle}\t{pid}")
        self.wine.ui("close", TITLE)
        self.wine.ui("gone", TITLE)
        self.assertEqual(self.program.wait(20), 2)   # IDCANCEL
        self.assertEqual(self.events()[-1], "end=cancel")

    def test_processes_with_their_command_lines(self):
        pid = int(self.wine.ui("wait", TITLE).split("\t")[1])
        mine = self.wine.processes("e2e_fixture.exe")
        self.assertEqual([p["pid"] for p in mine], [pid])
        self.assertTrue(mine[0]["path"].lower().endswith("\\e2e_fixture.exe"), mine[0])
        self.assertTrue(mine[0]["command_line"].endswith(" " + self.wine.to_windows(self.result)),
                        mine[0])
        everything = self.wine.processes()
        self.assertIn(pid, [p["pid"] for p in everything])
        self.assertGreater(len(everything), len(mine))

    def test_time_outs_end_with_exit_code_3(self):
        self.assertFails(3, "wait", "没有这个窗口", timeout_ms=300, message="time-out after 300 ms")
        self.assertFails(3, "wait", TITLE, "--exe", "other.exe", timeout_ms=300)
        self.assertFails(3, "text", TITLE, "4242", timeout_ms=300, message="control 4242")
        self.assertFails(3, "gone", TITLE, timeout_ms=300, message="still there")
        self.assertFails(3, "msgbox", CAPTION, timeout_ms=300)
        self.assertFails(3, "wait-text", TITLE, "1", "完成(&O)", timeout_ms=300,
                         message="last seen: 立即安装(&S)")
        self.assertFails(3, "wait-state", TITLE, "1", "enabled", timeout_ms=300)
        self.assertFails(3, "wait-count", TITLE, "1006", "4", timeout_ms=300,
                         message="last seen: 3")
        self.assertFails(3, "wait-progress", TITLE, "1008", "43", timeout_ms=300,
                         message="last seen: 42")

    def test_usage_errors_end_with_exit_code_2(self):
        self.assertFails(2, "frobnicate", message="unknown command")
        self.assertFails(2, "click", TITLE, message="usage: uidriver click")
        self.assertFails(2, "click", TITLE, "twelve", message="not a number")
        self.assertFails(2, "wait", TITLE, "--bogus", message="unknown option --bogus")
        self.assertFails(2, "wait", "", message="empty window name")
        self.assertFails(2, "wait-state", TITLE, "1", "shiny", message="unknown state word")
        self.assertFails(2, "msgbox", CAPTION, "--answer", "maybe",
                         message="no such message box button")
        self.assertFails(2, "check", TITLE, "1016", "sideways")


class ReadingControls(FixtureCase):
    def test_texts_and_states(self):
        self.assertEqual(self.wine.text(TITLE), TITLE)
        self.assertEqual(self.wine.text(TITLE, 1022), "C:\\Program Files\\演示输入法")
        self.assertEqual(self.wine.text(TITLE, 1), "立即安装(&S)")
        self.assertEqual(self.wine.state(TITLE, 1), {"disabled", "visible"})
        self.assertEqual(self.wine.state(TITLE, 1013), {"enabled", "visible", "checked"})
        self.assertEqual(self.wine.state(TITLE, 1012), {"enabled", "visible", "unchecked"})
        # The user page is hidden behind the first tab.
        self.assertEqual(self.wine.state(TITLE, 1004), {"enabled", "hidden"})
        controls = self.wine.ui("controls", TITLE)
        self.assertRegex(controls, r"\t1006\tSysListView32\tenabled,visible\t")
        self.assertRegex(controls, r"\t1013\tButton\tenabled,visible,checked\t拒绝协议")

    def test_list_view_rows_all_columns_with_header(self):
        self.assertEqual(self.wine.rows(TITLE, 1006, header=True), [
            ["项目", "状态"],
            ["复制文件", "完成"],
            ["注册输入法", "成功"],
            ["Write registry", "ok"],
        ])
        self.assertEqual(self.wine.ui("count", TITLE, "1006"), "3")

    def test_list_box_lines_and_tab_labels(self):
        self.assertEqual(self.wine.rows(TITLE, 1009), [
            ["进程ID: 1234    进程名称: demo.exe"],
            ["ID: 99    NAME: 记事本.exe"],
        ])
        self.assertEqual(self.wine.rows(TITLE, 1019), [["安装目录"], ["用户信息"]])
        self.assertFails(1, "rows", TITLE, "1010", message="has no rows")
        self.assertFails(1, "rows", TITLE, "1009", "--header", message="only a list view")

    def test_progress_position_and_range(self):
        self.assertEqual(self.wine.progress(TITLE, 1008), 42)
        self.assertEqual(self.wine.ui("progress", TITLE, "1008", "--range"), "42 0 100")
        self.wine.ui("wait-progress", TITLE, "1008", "42")
        self.assertFails(1, "progress", TITLE, "1006", message="not a progress bar")


class Acting(FixtureCase):
    def test_click_follows_the_licence_radio_buttons(self):
        self.assertFails(1, "click", TITLE, "1", message="disabled")
        self.wine.ui("check", TITLE, "1012")
        self.wine.ui("wait-state", TITLE, "1", "enabled", "visible")
        self.assertEqual(self.wine.state(TITLE, 1013), {"enabled", "visible", "unchecked"})
        self.wine.ui("click", TITLE, "1")
        self.wait_event("install")
        self.wine.ui("check", TITLE, "1013")
        self.wine.ui("wait-state", TITLE, "1", "disabled")
        self.assertFails(1, "check", TITLE, "1013", "off", message="radio button")

    def test_a_button_that_disables_itself(self):
        self.wine.ui("click", TITLE, "1002")
        self.wine.ui("wait-state", TITLE, "1002", "disabled")
        self.wait_event("disabled")
        self.assertFails(1, "click", TITLE, "1002", message="disabled visible")
        self.assertEqual(self.events().count("disabled"), 1)

    def test_check_box_on_and_off(self):
        self.wine.ui("check", TITLE, "1016")
        self.wait_event("details=on")
        self.wine.ui("check", TITLE, "1016", "on")       # already on: no click
        self.wine.ui("check", TITLE, "1016", "off")
        self.wait_event("details=off")
        self.assertEqual([e for e in self.events() if e.startswith("details")],
                         ["details=on", "details=off"])
        self.assertFails(1, "check", TITLE, "1", message="not a check box")

    def test_message_box_answered_by_button(self):
        self.wine.ui("click", TITLE, "1001")
        # While the box is up, its owner takes no clicks.
        self.wine.ui("wait", CAPTION)
        self.assertFails(1, "click", TITLE, "1002", message="modal dialog")
        self.assertFails(1, "msgbox", CAPTION, "--answer", "retry", message="has no button 4")
        self.assertEqual(self.wine.msgbox(CAPTION, answer="yes"), "是否继续？\r\n请选择。")
        self.wait_event("msgbox=yes")
        self.wine.ui("click", TITLE, "1001")
        self.assertEqual(self.wine.msgbox(CAPTION), "是否继续？\r\n请选择。")   # just read
        self.wine.msgbox(CAPTION, answer="no")
        self.wait_event("msgbox=no")
        self.wine.ui("gone", CAPTION)

    def test_click_returns_while_the_handler_is_busy(self):
        self.wine.ui("click", TITLE, "1003")
        self.wait_event("run=busy")
        # The dialog's thread is inside the handler: reading the bar needs
        # its answer, so the driver reports it rather than hanging.
        self.assertFails(1, "progress", TITLE, "1008", message="doesn't answer")
        Path(str(self.result) + ".go").touch()
        self.wine.ui("wait-text", TITLE, "1003", "完成(&O)")
        self.wait_event("run=done")
        self.wine.ui("wait-count", TITLE, "1006", "13")
        self.assertEqual(self.wine.progress(TITLE, 1008), 100)
        rows = self.wine.rows(TITLE, 1006)
        self.assertEqual(len(rows), 13)
        self.assertEqual(rows[-1], ["步骤 10", "完成"])

    def test_list_view_rows_selected_and_checked(self):
        self.assertEqual(self.wine.rows(TITLE, 1006, marks=True), [
            ["unchecked", "复制文件", "完成"],
            ["unchecked", "注册输入法", "成功"],
            ["unchecked", "Write registry", "ok"],
        ])
        self.wine.ui("select", TITLE, "1006", "1")
        self.wait_event("row1=selected")
        self.wine.ui("check-row", TITLE, "1006", "2")
        self.wait_event("row2=checked")
        self.assertEqual([r[0] for r in self.wine.rows(TITLE, 1006, marks=True)],
                         ["unchecked", "unchecked,selected", "checked"])
        # One selection at a time: a new row takes it over.
        self.wine.ui("select", TITLE, "1006", "0")
        self.wait_event("row0=selected")
        self.wine.ui("check-row", TITLE, "1006", "2", "off")
        self.wait_event("row2=unchecked")
        self.assertEqual([r[0] for r in self.wine.rows(TITLE, 1006, marks=True)],
                         ["unchecked,selected", "unchecked", "unchecked"])
        self.assertEqual(self.wine.rows(TITLE, 1006, header=True, marks=True)[0], ["", "项目", "状态"])
        self.assertFails(1, "select", TITLE, "1006", "3", message="row 3 doesn't exist")
        self.assertFails(1, "check-row", TITLE, "1009", "0", message="not a list view with check boxes")

    def test_list_box_line_selected_with_notification(self):
        self.assertEqual(self.wine.rows(TITLE, 1009, marks=True)[1][0], "-")
        self.wine.ui("select", TITLE, "1009", "1")
        self.wait_event("line=1")
        self.assertEqual(self.wine.rows(TITLE, 1009, marks=True),
                         [["-", "进程ID: 1234    进程名称: demo.exe"],
                          ["selected", "ID: 99    NAME: 记事本.exe"]])

    def test_typing_by_set_text_and_by_keys(self):
        self.wine.ui("type", TITLE, "1010", "你好 world")
        # The program saw the change (EN_CHANGE) and mirrored it.
        self.wine.ui("wait-text", TITLE, "1011", "你好 world")
        self.wine.ui("type", TITLE, "1010", "键入 abc", "--keys")
        self.wine.ui("wait-text", TITLE, "1011", "键入 abc")
        self.wine.ui("type", TITLE, "1010", "--", "--tab\there")
        self.assertEqual(self.wine.text(TITLE, 1010), "--tab\there")
        self.wine.ui("type", TITLE, "1010", "")
        self.assertEqual(self.wine.text(TITLE, 1010), "")
        self.assertFails(1, "type", TITLE, "1004", "张三", message="hidden")

    def test_tab_selection_switches_pages(self):
        self.assertEqual(self.wine.ui("tab", TITLE, "1019"), "0")
        self.wine.ui("tab", TITLE, "1019", "用户信息")
        self.wait_event("tab=1")
        self.assertEqual(self.wine.ui("tab", TITLE, "1019"), "1")
        self.assertEqual(self.wine.text(TITLE, 1017), "当前页: 1")
        self.assertIn("visible", self.wine.state(TITLE, 1004))
        self.assertIn("hidden", self.wine.state(TITLE, 1022))
        # 1005 is a button on one page and an edit on the other: the
        # visible one is meant, or the class says which.
        self.wine.ui("type", TITLE, "1005", "紫金公司")
        self.assertEqual(self.wine.text(TITLE, "1005:Edit"), "紫金公司")
        self.assertEqual(self.wine.text(TITLE, "1005:Button"), "浏览(&B)")
        self.wine.ui("type", TITLE, "1004", "张三")
        self.wine.ui("tab", TITLE, "1019", "0")
        self.wait_event("tab=0")
        self.assertIn("visible", self.wine.state(TITLE, 1022))
        self.assertFails(1, "tab", TITLE, "1019", "5", message="doesn't exist")
        self.assertFails(1, "tab", TITLE, "1006", message="not a tab control")


class Screenshots(FixtureCase):
    def test_window_and_desktop_pictures_are_real_pngs(self):
        window = self.wine.shot("fixture", TITLE)
        width, height, colours = harness.png_info(window)
        self.assertGreater(width, 300)
        self.assertGreater(height, 200)
        # Frame, caption, text, list, progress bar: many colours, not a
        # blank or black area.
        self.assertGreater(colours, 20)
        self.wine.ui("click", TITLE, "1001")
        self.wine.ui("wait", CAPTION)
        desktop = self.wine.shot("fixture-with-message-box")
        self.assertEqual(harness.png_info(desktop)[:2], (800, 600))
        self.assertGreater(harness.png_info(desktop)[2], colours / 2)
        self.wine.msgbox(CAPTION, answer="no")

    def test_unwritable_target_fails(self):
        self.assertFails(1, "screenshot", TITLE, "Z:\\no\\such\\folder\\x.png",
                         message="can't write the PNG file")


class HarnessHelpers(unittest.TestCase):
    """The harness's own helpers that later tests rely on for their checks."""

    def test_registry_values_of_every_type_read_back(self):
        key = r"HKCU\Software\ImeBaseE2E\读回"
        for name, kind, data in [("文本", "REG_SZ", "紫金 \"引号\" \\ 反斜杠"),
                                 ("Count", "REG_DWORD", "0x2a"),
                                 ("Path", "REG_EXPAND_SZ", "%SystemRoot%\\x"),
                                 ("List", "REG_MULTI_SZ", "一\\0two"),
                                 ("Blob", "REG_BINARY", "00ff10")]:
            result = session.run("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f")
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        session.run("reg", "add", key, "/ve", "/d", "默认", "/f")
        self.assertEqual(session.reg_query(key, "文本"), '紫金 "引号" \\ 反斜杠')
        self.assertEqual(session.reg_query(key, "Count"), 42)
        self.assertEqual(session.reg_query(key, "Path"), "%SystemRoot%\\x")
        self.assertEqual(session.reg_query(key, "List"), ["一", "two"])
        self.assertEqual(session.reg_query(key, "Blob"), b"\x00\xff\x10")
        self.assertEqual(session.reg_query(key, ""), "默认")
        self.assertIsNone(session.reg_query(key, "missing"))
        self.assertIsNone(session.reg_query(key + r"\nothing", "x"))
        self.assertEqual(session.reg_query(r"HKCU\Software\Wine\Drivers", "Graphics"), "x11")

    def test_export_parser_keeps_continued_hex_and_escapes(self):
        text = ('Windows Registry Editor Version 5.00\r\n\r\n'
                '[HKEY_CURRENT_USER\\A]\r\n'
                '"s"="a\\\\b\\"c"\r\n'
                '"h"=hex:01,02,\\\r\n  03\r\n'
                '"q"=hex(b):01,00,00,00,00,00,00,00\r\n'
                '@=dword:00000010\r\n')
        self.assertEqual(harness.parse_reg_export(text), {
            "HKEY_CURRENT_USER\\A": {"s": 'a\\b"c', "h": b"\x01\x02\x03", "q": 1, "": 16}})

    def test_paths_convert_both_ways(self):
        inside = session.prefix / "drive_c" / "Program Files" / "演示 输入法"
        inside.mkdir(parents=True, exist_ok=True)
        self.assertEqual(session.to_windows(inside), "C:\\Program Files\\演示 输入法")
        self.assertEqual(session.to_linux("c:\\PROGRAM FILES\\演示 输入法"), inside)
        self.assertEqual(session.to_windows("/tmp"), "Z:\\tmp")
        self.assertEqual(session.to_linux("Z:\\tmp"), Path("/tmp"))
        with self.assertRaises(harness.HarnessError):
            session.to_linux("relative\\path")


class NullGraphicsDriver(FixtureCase):
    """The same driver with Wine's null graphics driver: no display at all,
    dialogs and cross-process messages still work."""

    null_session = None

    @classmethod
    def setUpClass(cls):
        cls.null_session = harness.WineSession("uidriver-null", graphics="null")
        cls.null_session.start()
        cls.wine = cls.null_session

    @classmethod
    def tearDownClass(cls):
        cls.null_session.stop()

    def test_driving_without_a_display(self):
        self.assertNotIn("DISPLAY", self.wine.env)
        self.assertEqual(self.wine.rows(TITLE, 1006)[0], ["复制文件", "完成"])
        self.assertEqual(self.wine.progress(TITLE, 1008), 42)
        self.wine.ui("tab", TITLE, "1019", "1")
        self.wait_event("tab=1")
        self.wine.ui("type", TITLE, "1004", "张三")
        self.wine.ui("click", TITLE, "1001")
        self.assertEqual(self.wine.msgbox(CAPTION, answer="yes"), "是否继续？\r\n请选择。")
        self.wait_event("msgbox=yes")
        # No screen to copy from: the driver says so instead of saving black.
        picture = self.wine.prefix / "drive_c" / "null.png"
        self.assertFails(1, "screenshot", TITLE, self.wine.to_windows(picture),
                         message="can't copy from the screen")
        self.assertFalse(picture.exists())


if __name__ == "__main__":
    unittest.main(verbosity=2)
