#!/usr/bin/env python3
"""Part of the demo: the win64 demo installer started from a read-only
folder under wine64 and Xvfb. Shows the copy it restarts as in the
temporary folder (with its command line), the workspace that copy unpacks
its package into, and a picture of the welcome dialog; then closes it and
shows that the workspace and the copy are gone."""

import shutil
import stat
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import harness  # noqa: E402

COPY_NAME = "___zinzin_install_base___.exe"
WELCOME = "欢迎使用 紫金拼音输入法 安装程序"


def main():
    installer = harness.build_dir() / "demo-ime-setup.exe"
    with harness.WineSession("demo-startup") as wine:
        media = wine.prefix / "drive_c" / "demo-cd"
        media.mkdir()
        shutil.copy(installer, media / installer.name)
        (media / installer.name).chmod(stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        media.chmod(0o555)
        started = wine.to_windows(media / installer.name)
        print(f"started:   {started} (read-only folder)")

        wine.launch(started)
        wine.ui("wait", WELCOME)
        for process in wine.processes():
            if process["path"].lower().endswith(COPY_NAME):
                print(f"relaunched: {process['command_line']}")
        temp = wine.run("cmd", "/c", "echo %TEMP%").stdout.strip()
        workspace = wine.to_linux(temp + "\\__ZZIMEInstall")
        print(f"workspace: {temp}\\__ZZIMEInstall\\")
        for path in sorted(p for p in workspace.rglob("*") if p.is_file()):
            relative = str(path.relative_to(workspace)).replace("/", "\\")
            print(f"  {relative:45} {path.stat().st_size:>9} bytes")
        print(f"dialog:    {wine.text(WELCOME)!r}")
        print(f"picture:   {wine.shot('welcome', WELCOME)}")

        wine.ui("close", WELCOME)
        copy = wine.to_linux(temp + "\\" + COPY_NAME)
        harness.wait_until(lambda: not workspace.exists() and not copy.exists(), 30,
                           "the workspace and the copy to go")
        print("closed:    workspace removed, temporary copy deleted itself")
        media.chmod(0o755)


if __name__ == "__main__":
    main()
