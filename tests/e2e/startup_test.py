#!/usr/bin/env python3
"""The installer's start-up under wine64, as a person sees it: the demo
installer started from a read-only folder restarts as its copy in a new
private workspace of the temporary folder, the copy unpacks its package there and
welcomes the user with the product's name, and once the dialog is closed
the workspace and the copy are gone. Broken installers show the start-up
error box and leave no workspace; switches naming a product that isn't
installed end without a word; the relaunch's own failure is reported.
Planted DLLs never run, and folders made ahead under the workspace's and
the copy's old fixed names (a link to another folder among them) are left
alone.

Environment (CTest sets it): IMEBASE_DEMO_INSTALLER, IMEBASE_DEMO_PRODUCT,
IMEBASE_IMESETUP, and what harness.py reads."""

import concurrent.futures
import os
import shutil
import stat
import struct
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

COPY_NAME = "___zinzin_install_base___.exe"
WORKSPACE_PREFIX = "__ZZIMEInstall"
DISPLAY_NAME = "紫金拼音输入法"
WELCOME = f"欢迎使用 {DISPLAY_NAME} 安装程序"
ERROR_CAPTION = "安装程序提示信息"
ERROR_TEXT = "程序无法执行任何操作，可能启动参数错误或者文件格式错误。"
RELAUNCH_CAPTION = "初始化错误"
RELAUNCH_COPY_TEXT = "安装程序无法访问临时目录，将中止进程。"

DEMO_INSTALLER = Path(os.environ.get("IMEBASE_DEMO_INSTALLER",
                                     harness.build_dir() / "demo-ime-setup.exe"))
DEMO_PRODUCT = Path(os.environ.get("IMEBASE_DEMO_PRODUCT",
                                   harness.build_dir() / "samples" / "demo-ime" / "product"))
IMESETUP = Path(os.environ.get("IMEBASE_IMESETUP",
                               harness.build_dir() / "src" / "app" / "imesetup.exe"))
PLANTED_DLLS = Path(os.environ.get("IMEBASE_PLANTED_DLLS",
                                   harness.build_dir() / "tests" / "e2e" / "planted"))
IMEPACK = Path(os.environ.get("IMEBASE_IMEPACK",
                              harness.source_dir() / "build" / "native" / "tools" / "packer" / "imepack"))

session = None


def setUpModule():
    global session
    session = harness.WineSession("startup")
    session.start()


def tearDownModule():
    if session:
        session.stop()


def package_offset(data):
    """The package offset in the image header (LoaderFlags)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    return struct.unpack_from("<I", data, pe + (0x80 if magic == 0x20B else 0x70))[0]


def tree(folder):
    """Every file below `folder`, as sorted relative paths with "/"."""
    root = Path(folder)
    return sorted(str(p.relative_to(root)) for p in root.rglob("*") if p.is_file())


class StartupCase(unittest.TestCase):
    wine = None

    @classmethod
    def setUpClass(cls):
        cls.wine = session
        temp = cls.wine.run("cmd", "/c", "echo %TEMP%").stdout.strip()
        cls.temp_windows = temp
        cls.temp = cls.wine.to_linux(temp)

    def setUp(self):
        # Every test starts without a copy or a workspace of an earlier one.
        harness.wait_until(lambda: not self.copies_running(), 30, "earlier copies to end")
        for path in self.temp.glob(WORKSPACE_PREFIX + "*"):
            if path.is_symlink() or path.is_file():
                path.unlink()
            else:
                shutil.rmtree(path, ignore_errors=True)
        self.media = self.wine.prefix / "drive_c" / f"media-{self._testMethodName}"

    def tearDown(self):
        if self.media.exists():
            for path in [self.media, *self.media.rglob("*")]:
                path.chmod(0o755 if path.is_dir() else 0o644)
            shutil.rmtree(self.media)

    # ---- helpers

    def workspaces(self):
        return sorted(self.temp.glob(WORKSPACE_PREFIX + ".*"))

    @property
    def workspace(self):
        """The one workspace of the running copy."""
        found = self.workspaces()
        self.assertEqual(len(found), 1, found)
        return found[0]

    def copies_running(self):
        return [p for p in self.wine.processes() if p["path"].lower().endswith(COPY_NAME)]

    def installer_in_media(self, data, name="setup.exe", read_only=True):
        """Writes the installer into a folder of its own, read-only as on a
        CD when asked; its Windows path."""
        self.media.mkdir()
        path = self.media / name
        path.write_bytes(data)
        if read_only:
            path.chmod(stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
            self.media.chmod(0o555)
        return self.wine.to_windows(path)

    def wait_cleaned_up(self):
        """The copy ends, then the workspace and the copy's file go."""
        harness.wait_until(lambda: not self.copies_running(), 30, "the copy to end")
        harness.wait_until(lambda: not self.workspaces(), 30, "the workspace and the copy in it to go")

    # ---- the road of a first start

    def test_relaunch_from_read_only_folder_unpacks_and_cleans_up(self):
        data = DEMO_INSTALLER.read_bytes()
        installer = self.installer_in_media(data, "demo-ime-setup.exe")
        before = sorted(os.listdir(self.media))

        first = self.wine.launch(installer)
        self.wine.ui("wait", WELCOME)
        # The first process waits for the copy, which runs from its
        # workspace, "__ZZIMEInstall." and 16 random hexadecimal digits,
        # with " file=" and the path the user started.
        self.assertTrue(first.running())
        copies = self.copies_running()
        self.assertEqual(len(copies), 1, copies)
        self.assertRegex(self.workspace.name, r"^__ZZIMEInstall\.[0-9a-f]{16}$")
        self.assertEqual(copies[0]["path"].lower(),
                         f"{self.temp_windows}\\{self.workspace.name}\\{COPY_NAME}".lower())
        self.assertTrue(copies[0]["command_line"].endswith(f" file={installer}"), copies[0])
        self.assertEqual(self.wine.text(WELCOME), WELCOME)

        # The workspace: uninstaller and package cut at the package offset,
        # the scratch copy gone, the package extracted with its install
        # information.
        offset = package_offset(data)
        # Byte for byte but for the checksum, which is that of its own bytes.
        uninstaller = (self.workspace / "unstall.exe").read_bytes()
        checksum_at = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 64
        self.assertEqual(uninstaller[:checksum_at] + uninstaller[checksum_at + 4:],
                         data[:checksum_at] + data[checksum_at + 4:offset])
        self.assertEqual((self.workspace / "zzinstallbaseexe.cab").read_bytes(), data[offset:])
        self.assertFalse((self.workspace / "zzinstallbaseexe.tmp").exists())
        extracted = self.workspace / "ZZ_INSTALL"
        self.assertEqual(tree(extracted), sorted(tree(DEMO_PRODUCT) + ["InstallInfo.dif"]))
        self.assertEqual((extracted / "readme.txt").read_bytes(), (DEMO_PRODUCT / "readme.txt").read_bytes())
        info = (extracted / "InstallInfo.dif").read_bytes()
        self.assertEqual(len(info), 2668)
        self.assertEqual(info[0xA0:0xA0 + 2 * len(DISPLAY_NAME)].decode("utf-16-le"), DISPLAY_NAME)
        self.wine.shot("welcome", WELCOME)
        self.assertEqual(sorted(os.listdir(self.media)), before)

        self.wine.ui("close", WELCOME)
        self.wine.ui("gone", WELCOME)
        self.wait_cleaned_up()
        # It ended with the copy, with the copy's exit code (the wizard
        # closed before anything was done: no success).
        # (wine's own exit status keeps the code's low byte).
        self.assertIn(first.wait(30), (0, 1602 & 0xFF))
        self.assertEqual(sorted(os.listdir(self.media)), before)
        self.assertEqual((self.media / "demo-ime-setup.exe").read_bytes(), data)

    def test_the_copys_name_outside_a_workspace_relaunches_and_leaves_its_folder(self):
        # A file under the copy's name straight in the temporary folder (as
        # the copy lay once, or as another program put it there) is no
        # copy: it starts a copy in a workspace of its own, and its own
        # folder, taken for a workspace, would have been emptied at the end.
        stray = self.temp / COPY_NAME
        shutil.copy(DEMO_INSTALLER, stray)
        neighbour = self.temp / "neighbour.txt"
        neighbour.write_text("kept")
        try:
            program = self.wine.launch(f"{self.temp_windows}\\{COPY_NAME}", "file=C:\\elsewhere\\setup.exe")
            self.wine.ui("wait", WELCOME)
            self.assertTrue(program.running())
            # The stray file waits for the copy it started in a workspace.
            copies = [c for c in self.copies_running() if WORKSPACE_PREFIX in c["path"]]
            self.assertEqual(len(copies), 1, copies)
            self.assertIn(self.workspace.name, copies[0]["path"])
            self.wine.ui("close", WELCOME)
            self.wait_cleaned_up()
            self.assertEqual(neighbour.read_text(), "kept")
            self.assertEqual(stray.read_bytes(), DEMO_INSTALLER.read_bytes())
        finally:
            stray.unlink()
            neighbour.unlink()

    # ---- planted and pre-created things

    def test_planted_dlls_never_run(self):
        # The libraries the installer loads late, planted beside it and in
        # the temporary folder, with Wine told to prefer such files to its
        # own (as Windows would search): none may run.
        dlls = sorted(PLANTED_DLLS.glob("*.dll"))
        if not dlls:
            self.skipTest(f"no planted DLLs in {PLANTED_DLLS}")
        installer = self.installer_in_media(DEMO_INSTALLER.read_bytes(), read_only=False)
        markers = self.wine.prefix / "drive_c" / "markers"
        shutil.rmtree(markers, ignore_errors=True)
        markers.mkdir()
        planted = [folder / dll.name for folder in (self.media, self.temp) for dll in dlls]
        for path in planted:
            shutil.copy(PLANTED_DLLS / path.name, path)
        saved = dict(self.wine.env)
        # Not version.dll: Wine's own user32 imports it (Windows' doesn't),
        # so Wine would load a preferred native copy for itself at start.
        names = ",".join(dll.stem for dll in dlls if dll.stem != "version")
        self.wine.env["WINEDLLOVERRIDES"] = f"{saved['WINEDLLOVERRIDES']};{names}=n,b"
        self.wine.env["IMEBASE_PLANT_MARKERS"] = self.wine.to_windows(markers)
        try:
            self.wine.launch(installer)
            self.wine.ui("wait", WELCOME)
            self.wine.ui("close", WELCOME)
            self.wait_cleaned_up()
        finally:
            self.wine.env.clear()
            self.wine.env.update(saved)
            for path in planted:
                path.unlink()
        self.assertEqual(sorted(p.name for p in markers.iterdir()), [])
        shutil.rmtree(markers)

    def test_folders_made_ahead_under_the_old_fixed_names_are_left_alone(self):
        # Another program of the user made the workspace's old fixed name a
        # link to a folder of its choosing, and put a program of its own
        # under the copy's old name: the run uses neither, and at the end
        # the linked folder's contents are all still there.
        victim = self.wine.prefix / "drive_c" / "victim"
        shutil.rmtree(victim, ignore_errors=True)
        (victim / "ZZ_INSTALL").mkdir(parents=True)
        (victim / "precious.txt").write_text("mine")
        (victim / "ZZ_INSTALL" / "InstallInfo.dif").write_bytes(b"planted")
        link = self.temp / WORKSPACE_PREFIX
        link.symlink_to(victim, target_is_directory=True)
        foreign = self.temp / COPY_NAME
        foreign.write_bytes(b"not the installer")
        try:
            installer = self.installer_in_media(DEMO_INSTALLER.read_bytes())
            self.wine.launch(installer)
            self.wine.ui("wait", WELCOME)
            self.assertNotEqual(self.workspace, link)
            self.wine.ui("close", WELCOME)
            self.wait_cleaned_up()
            self.assertEqual((victim / "precious.txt").read_text(), "mine")
            self.assertEqual((victim / "ZZ_INSTALL" / "InstallInfo.dif").read_bytes(), b"planted")
            self.assertEqual(foreign.read_bytes(), b"not the installer")
        finally:
            link.unlink()
            foreign.unlink()
            shutil.rmtree(victim)

    # ---- broken installers

    def test_broken_installers_show_the_error_box_and_leave_no_workspace(self):
        data = DEMO_INSTALLER.read_bytes()
        offset = package_offset(data)
        damaged = bytearray(data)
        middle = offset + (len(data) - offset) // 2
        damaged[middle:middle + 64] = bytes(b ^ 0x5A for b in damaged[middle:middle + 64])
        cases = [
            ("damaged", bytes(damaged)),
            ("truncated", data[:offset + (len(data) - offset) // 2]),
            ("no-package", IMESETUP.read_bytes()),
        ]
        for name, broken in cases:
            with self.subTest(name):
                self.setUp()
                installer = self.installer_in_media(broken, f"{name}.exe", read_only=False)
                self.wine.launch(installer)
                self.assertEqual(self.wine.msgbox(ERROR_CAPTION), ERROR_TEXT)
                self.wine.shot(f"error-{name}", f"title:{ERROR_CAPTION}")
                self.wine.msgbox(ERROR_CAPTION, answer="ok")
                self.wait_cleaned_up()
                self.assertEqual(sorted(os.listdir(self.media)), [f"{name}.exe"])
                self.tearDown()

    def packed(self, files):
        """imesetup.exe with a package of `files` ({name: bytes}), packed
        by the packer's single steps."""
        if not IMEPACK.exists():
            self.skipTest(f"no packer at {IMEPACK}")
        work = self.wine.prefix / "drive_c" / f"pack-{self._testMethodName}"
        shutil.rmtree(work, ignore_errors=True)
        (work / "product").mkdir(parents=True)
        for name, data in files.items():
            (work / "product" / name).write_bytes(data)
        for step in (["cab", work / "product", work / "p.cab"], ["seal", work / "p.cab", work / "p.pkg"],
                     ["attach", IMESETUP, work / "p.pkg", work / "out.exe"]):
            subprocess.run([str(IMEPACK), *map(str, step)], check=True, stdout=subprocess.DEVNULL)
        data = (work / "out.exe").read_bytes()
        shutil.rmtree(work)
        return data

    def test_a_package_without_install_information_shows_the_error_box(self):
        installer = self.installer_in_media(self.packed({"readme.txt": b"no InstallInfo.dif here"}))
        self.wine.launch(installer)
        self.assertEqual(self.wine.msgbox(ERROR_CAPTION, answer="ok"), ERROR_TEXT)
        self.wait_cleaned_up()

    def test_a_short_install_information_reads_as_zeros_behind_it(self):
        # 100 bytes: the display name (at 0xA0) lies behind the end.
        short = bytearray(100)
        short[0:8] = "Short".encode("utf-16-le")[:8]
        installer = self.installer_in_media(self.packed({"InstallInfo.dif": bytes(short)}))
        self.wine.launch(installer)
        title = "title:欢迎使用  安装程序"
        self.wine.ui("wait", title)
        self.assertEqual(self.wine.text(title), "欢迎使用  安装程序")
        self.wine.ui("close", title)
        self.wait_cleaned_up()

    # ---- switches

    def test_overlong_arguments_end_87_and_start_no_copy(self):
        # "<arguments> file=<path>" must reach the copy whole: cut at 259
        # characters it would lose the path, or a switch's value.
        installer = self.installer_in_media(DEMO_INSTALLER.read_bytes())
        for args in ("x" * 300, "/S /log=[C:\\" + "l" * 240 + ".log]"):
            with self.subTest(len(args)):
                code, output = self.wine.run_to_end(installer, args)
                self.assertEqual(code, 87)
                self.assertIn("命令行过长", output)
                self.assertEqual(self.copies_running(), [])
                self.assertEqual(self.workspaces(), [])
        self.assertEqual(session.ui_result("wait", ERROR_CAPTION, timeout_ms=500).returncode, 3)

    def test_bad_switches_end_87_with_a_line_and_start_nothing(self):
        installer = self.installer_in_media(DEMO_INSTALLER.read_bytes())
        for args, named in (("/verysilent", "/verysilent"), ("/S /log=C:\\x.log", "/log=C:\\x.log"),
                            ("/dir=[]", "/dir=[]"), ("-u name=[X] /S /log=[C:\\x.log]", "name=[X]")):
            with self.subTest(args):
                code, output = self.wine.run_to_end(installer, args)
                self.assertEqual(code, 87)
                self.assertIn("无法识别的命令行参数：", output)
                self.assertIn(named, output)
                self.assertEqual(self.copies_running(), [])
                self.assertEqual(self.workspaces(), [])

    def test_every_run_writes_a_log_ending_with_its_exit_code(self):
        installer = self.installer_in_media(DEMO_INSTALLER.read_bytes())
        stamp = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  "
        # The default place: a new file in the temporary folder, named
        # after the product (what a file name can't hold made "_") and the
        # mode.
        before = set(self.temp.glob("*.log"))
        code, _ = self.wine.run_to_end(installer, "-u name=[Not:Installed]")
        # Nothing to do: 0, or 1605 where the product's absence has its own code.
        self.assertIn(code, (0, 1605))
        made = sorted(set(self.temp.glob("*.log")) - before)
        self.assertEqual(len(made), 1, made)
        self.assertRegex(made[0].name, r"^Not_Installed-uninstall-\d{8}-\d{6}-[0-9a-f]{8}\.log$")
        lines = made[0].read_text(encoding="utf-8").splitlines()
        for line in lines:
            self.assertRegex(line, "^" + stamp)
        self.assertRegex(lines[0], stamp + r"start +uninstall \"Not:Installed\", arguments: -u name=\[Not:Installed\]")
        self.assertRegex(lines[-1], stamp + rf"exit +{code}$")
        made[0].unlink()

        # A named place.
        logs = self.wine.to_linux("C:\\") / "logs 日志"
        logs.mkdir(exist_ok=True)
        code, _ = self.wine.run_to_end(installer, "/log=[C:\\logs 日志\\run.log] -r name=[a:b]")
        self.assertIn(code, (0, 1605))
        lines = (logs / "run.log").read_text(encoding="utf-8").splitlines()
        self.assertRegex(lines[0], stamp + r"start +repair \"a:b\", arguments: /log=")
        self.assertRegex(lines[-1], stamp + rf"exit +{code}$")
        self.assertEqual(set(self.temp.glob("*.log")) - before, set())
        shutil.rmtree(logs)

    def test_a_log_that_cant_be_written_is_said_once_and_the_run_goes_on(self):
        installer = self.installer_in_media(DEMO_INSTALLER.read_bytes())
        for place in ("C:\\no such folder\\run.log", "C:\\windows"):
            with self.subTest(place):
                code, output = self.wine.run_to_end(installer, f"/S /log=[{place}] -g name=[Not Installed]")
                # The run's own code: nothing to do for a product not installed.
                self.assertIn(code, (0, 1605))
                self.assertEqual(output.count("无法写入日志文件"), 1, output)
                self.assertIn(place, output)
        self.assertFalse(self.wine.to_linux("C:\\no such folder").exists())

    def test_help_goes_to_standard_output_and_ends_0(self):
        installer = self.installer_in_media(DEMO_INSTALLER.read_bytes())
        for switch in ("/?", "--help"):
            with self.subTest(switch):
                code, text = self.wine.run_to_end(installer, switch)
                self.assertEqual(code, 0)
                for documented in ("/S", "/quiet", "/accepteula", "/closeapplications", "/dir=[", "/owner=[",
                                   "/company=[", "/log=[", "1602", "1603", "1605", "1618", "3010", "87"):
                    self.assertIn(documented, text)
                self.assertEqual(self.copies_running(), [])
                self.assertEqual(self.workspaces(), [])

    def test_switches_naming_a_product_that_isnt_installed_end_silently(self):
        installer = self.installer_in_media(DEMO_INSTALLER.read_bytes())
        for args in (["-u", "name=[NotInstalled]"], ["-r", "name=[NotInstalled]"],
                     ["-g", "name=[Not]Installed]"], ["/U", "name=[NoBracket"], ["-g", "name=[]"]):
            with self.subTest(" ".join(args)):
                program = self.wine.launch(installer, *args)
                # 1605, unknown product (wine's own exit status keeps its low byte).
                self.assertEqual(program.wait(30), 1605 & 0xFF)
                harness.wait_until(lambda: not self.copies_running(), 30, "the copy to end")
                windows = [w for w in self.wine.ui("list").split("\n")
                           if COPY_NAME in w and "\tvisible\t" in w]
                self.assertEqual(windows, [])
                # Workspaces are never reused: each run takes its own along.
                self.wait_cleaned_up()

    def test_switches_naming_an_installed_product_open_its_mode(self):
        product = "E2EStartupIME"
        self.wine.run("reg", "add", f"HKCU\\Software\\marlix\\{product}", "/v", "ZMEInstallPath",
                      "/d", "C:\\Program Files\\E2E\\", "/f")
        self.wine.run("reg", "add",
                      f"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{product}",
                      "/v", "DisplayName", "/d", "端到端输入法", "/f")
        installer = self.installer_in_media(DEMO_INSTALLER.read_bytes())
        for switch, title in (("-u", "端到端输入法 - 卸载程序"), ("-g", "端到端输入法 - 更新程序")):
            with self.subTest(switch):
                self.wine.launch(installer, switch, f"name=[{product}]")
                self.wine.ui("wait", title)
                self.wine.shot(f"mode{switch}", title)
                self.wine.ui("close", title)
                self.wait_cleaned_up()
        # Repair needs the package the install keeps in its folder; this
        # product has none, which the repair mode says before it ends.
        with self.subTest("-r"), concurrent.futures.ThreadPoolExecutor(1) as pool:
            ended = pool.submit(self.wine.run_to_end, installer, f"-r name=[{product}]")
            self.assertEqual(self.wine.msgbox("无法执行的操作"), "安装数据文件不存在或者已经损坏,修复程序无法运行.")
            self.wine.shot("mode-r", "title:无法执行的操作")
            self.wine.msgbox("无法执行的操作", answer="ok")
            self.wait_cleaned_up()
            # The copy failed (1603): the program the user started ends
            # with the copy's code.
            self.assertEqual(ended.result(60)[0], 1603)

    def test_a_second_run_for_the_same_product_ends_1618(self):
        product = "E2ELockIME"
        self.wine.run("reg", "add", f"HKCU\\Software\\marlix\\{product}", "/v", "ZMEInstallPath",
                      "/d", "C:\\Program Files\\E2ELock\\", "/f")
        installer = self.installer_in_media(DEMO_INSTALLER.read_bytes())
        refused = "此输入法的另一个安装程序正在运行，请等它结束后再试。"
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            # The first run stops at its message box, holding the product.
            first = pool.submit(self.wine.run_to_end, installer, f"-r name=[{product}]")
            self.wine.ui("wait", "title:无法执行的操作")
            code, output = self.wine.run_to_end(installer, f"/S -u name=[{product}]")
            self.assertEqual(code, 1618)
            self.assertIn(refused, output)
            # In dialog mode the second run says so in a box.
            second = pool.submit(self.wine.run_to_end, installer, f"-g name=[{product}]")
            self.assertEqual(self.wine.msgbox(ERROR_CAPTION), refused)
            self.wine.shot("already-running", f"title:{ERROR_CAPTION}")
            self.wine.msgbox(ERROR_CAPTION, answer="ok")
            self.assertEqual(second.result(60)[0], 1618)
            # Another product is not held up.
            self.assertIn(self.wine.run_to_end(installer, "/S -u name=[Another]")[0], (0, 1605))
            self.wine.msgbox("无法执行的操作", answer="ok")
            self.assertEqual(first.result(60)[0], 1603)
        self.wait_cleaned_up()

    # ---- the relaunch's own failure

    def test_temporary_folder_too_long_for_the_copy_is_reported(self):
        installer = self.installer_in_media(DEMO_INSTALLER.read_bytes())
        long_temp = "C:\\" + "t" * 236
        self.assertEqual(len(long_temp), 239)
        self.wine.to_linux("C:\\").joinpath("t" * 236).mkdir()
        try:
            self.wine.launch("cmd", "/c", f"set TMP={long_temp}&& set TEMP={long_temp}&& {installer}")
            self.assertEqual(self.wine.msgbox(RELAUNCH_CAPTION), RELAUNCH_COPY_TEXT)
            self.wine.shot("relaunch-error", f"title:{RELAUNCH_CAPTION}")
            self.wine.msgbox(RELAUNCH_CAPTION, answer="ok")
            self.assertEqual(list(self.wine.to_linux(long_temp).iterdir()), [])
        finally:
            shutil.rmtree(self.wine.to_linux("C:\\").joinpath("t" * 236), ignore_errors=True)


if __name__ == "__main__":
    for needed in (DEMO_INSTALLER, DEMO_PRODUCT, IMESETUP):
        if not needed.exists():
            print(f"skipped: {needed} is missing (build the win64 preset with the packer)")
            sys.exit(77)
    unittest.main(verbosity=2)
