"""The demo product in an end-to-end session: its names, where it lands,
and a complete install through the wizard, as the uninstall, repair and
update tests need it before they start.

    session = harness.WineSession("repair")
    session.start()
    demo_product.prepare_session(session)
    demo_product.install(session, owner="测试用户", company="测试公司")
    places = demo_product.Places(session)
"""

import os
import secrets
import shutil
from pathlib import Path

import harness

IME = "ZZPinyin"
DISPLAY_NAME = "紫金拼音输入法"
WELCOME = f"欢迎使用 {DISPLAY_NAME} 安装程序"
INSTALL_DIR = f"{harness.PROGRAM_FILES}\\{IME}\\"
INSTALL_DONE = "完成安装(&O)"
COPY_NAME = "___zinzin_install_base___.exe"
DIRECTORY_EXISTS = "是否继续？"
WORKSPACE = "__ZZIMEInstall"


def workspaces(temp):
    """The runs' workspaces in the temporary folder `temp` ("__ZZIMEInstall."
    and 16 random hexadecimal digits each)."""
    return sorted(Path(temp).glob(WORKSPACE + ".*"))


def copy_into_workspace(temp, program):
    """`program` placed as a run's copy would be: a new workspace of the
    temporary folder `temp` holding it as the copy; the copy's path."""
    folder = Path(temp) / f"{WORKSPACE}.{secrets.token_hex(8)}"
    folder.mkdir()
    shutil.copyfile(program, folder / COPY_NAME)
    return folder / COPY_NAME
LINKS = ["系统设置.lnk", "使用帮助.lnk", "检查更新.lnk", "更多工具\\码表查询.lnk", "更多工具\\按键功能.lnk",
         "更多工具\\添加用户词.lnk", "更多工具\\修复安装.lnk", "更多工具\\卸载软件.lnk"]
IME_STATUS = "输入法载入状态"
# The rows of an install run, in the wizard and in the repair dialog.
INSTALL_ROWS = [
    "验证安装信息....",
    "开始安装....",
    "  1.创建文件系统....",
    "  2.设置软件运行环境...",
    "  3.写入卸载信息...",
    "  4.备份安装数据...",
    "  5.创建开始菜单及桌面快捷方式...",
    "  6.清除安装程序创建的临时文件...",
    "安装程序已经完成所有工作!",
]
UNINSTALL_KEY = f"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{IME}"
VENDOR_KEY = f"Software\\marlix\\{IME}"

# Registry keys the install writes into (compared whole by the tests that
# check a run left the product as installed).
INSTALL_KEYS = [
    UNINSTALL_KEY,
    f"HKLM\\{VENDOR_KEY}",
    f"HKCU\\{VENDOR_KEY}",
    "HKLM\\System\\CurrentControlSet\\Control\\Keyboard Layouts",
    "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
]

DEMO_INSTALLER = Path(os.environ.get("IMEBASE_DEMO_INSTALLER", harness.build_dir() / "demo-ime-setup.exe"))
DEMO_PRODUCT = Path(os.environ.get("IMEBASE_DEMO_PRODUCT",
                                   harness.build_dir() / "samples" / "demo-ime" / "product"))
# A program that keeps a DLL loaded (tests/win/fixtures).
IME_HOLDER = Path(os.environ.get("IMEBASE_IME_HOLDER",
                                 harness.build_dir() / "tests" / "win" / "fixtures" / "ime_holder.exe"))


def prepare_session(session):
    """What a Windows machine has and a fresh Wine prefix lacks."""
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


class Places:
    """Where the product's pieces land in this session's prefix (Linux paths)."""

    def __init__(self, session):
        def expand(variable):
            return session.run("cmd", "/c", f"echo %{variable}%").stdout.strip()

        self.temp = session.to_linux(expand("TEMP"))
        self.system = session.to_linux(harness.SYSTEM_DIR)
        self.install_dir = session.to_linux(INSTALL_DIR)
        self.data_dir = session.to_linux(f"{expand('ALLUSERSPROFILE')}\\ZinzinIMEs\\{IME}")
        self.programs = (session.to_linux(expand("ProgramData")) / "Microsoft" / "Windows" / "Start Menu"
                         / "Programs" / DISPLAY_NAME)
        # The install puts it on the current user's desktop (not Public's).
        self.desktop_link = session.to_linux(expand("USERPROFILE")) / "Desktop" / f"{DISPLAY_NAME}系统设置.lnk"


def install(session, owner="", company="", timeout=180, existing=False):
    """Runs the demo installer through the wizard to its end: licence
    accepted, owner and company typed on the user page, the proposed
    directory kept (when it exists already, `existing`, the question about
    it answered with Yes), install pressed, readme closed, wizard finished,
    and the temporary copy gone."""
    program = session.launch(session.to_windows(DEMO_INSTALLER))
    session.ui("wait", WELCOME)
    session.ui("check", WELCOME, "1012", "on")
    session.ui("wait-state", WELCOME, "1", "enabled")
    if owner or company:
        session.ui("tab", WELCOME, "1019", "用户信息")
        session.ui("wait-state", WELCOME, "1004", "visible")
        session.ui("type", WELCOME, "1004", owner)
        session.ui("type", WELCOME, "1005", company)
        session.ui("tab", WELCOME, "1019", "安装目录")
    session.ui("click", WELCOME, "1")
    if existing:
        session.msgbox(DIRECTORY_EXISTS, answer="yes")
    session.ui("wait-text", WELCOME, "1", INSTALL_DONE, timeout_ms=timeout * 1000)
    harness.wait_until(lambda: session.processes("notepad.exe"), 60, "Notepad with readme.txt")
    session.ui("close", "part:readme.txt")
    harness.wait_until(lambda: not session.processes("notepad.exe"), 30, "Notepad to close")
    session.ui("click", WELCOME, "1")
    session.ui("gone", WELCOME)
    code = program.wait(60)
    if code != 0:
        raise AssertionError(f"the installer ended with {code}")
    harness.wait_until(lambda: not [p for p in session.processes() if p["path"].lower().endswith(COPY_NAME)],
                       30, "the installer's copy to end")
