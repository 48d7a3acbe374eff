#!/usr/bin/env python3
"""Part of the demo: the demo IME deployed without a person, as a system
administrator's script would: a silent install with the licence accepted
and a log named on the command line, then a silent uninstall through the
installer with -u (which waits for the run and ends with its code; the
entry's QuietUninstallString is shown). Prints each command, its exit
code, the entry's deployment values and an excerpt of each log.

Silent runs show no window at all. A build whose silent modes aren't there
yet shows its wizard instead: the demo says so, closes it and stops."""

import concurrent.futures
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import demo_product as demo  # noqa: E402
import harness  # noqa: E402

LOGS = "C:\\deploy-logs"


def excerpt(wine, path, head=4, tail=3):
    lines = wine.to_linux(path).read_text(encoding="utf-8").splitlines()
    shown = lines if len(lines) <= head + tail else lines[:head] + ["  ..."] + lines[-tail:]
    print(f"log:       {path} ({len(lines)} lines)")
    for line in shown:
        print(f"  {line}")


def silent_run(wine, exe, arguments):
    """Runs `exe` with `arguments` to its end; None when a window shows up
    (a build without silent modes), after closing it."""
    print(f"command:   \"{exe}\" {arguments}")
    with concurrent.futures.ThreadPoolExecutor(1) as pool:
        ended = pool.submit(wine.run_to_end, exe, arguments, 300000)
        while not ended.done():
            shown = [w for w in wine.ui("list").split("\n") if "\tvisible\t" in w and "#32770" in w]
            if shown:
                print("           a window showed up: this build has no silent modes yet")
                for window in shown:
                    wine.ui_result("close", "hwnd:" + window.split("\t")[0])
                ended.result(120)
                return None
            concurrent.futures.wait([ended], timeout=1)
        code, output = ended.result()
    print(f"exit code: {code}" + (f"   ({output.strip()})" if output.strip() else ""))
    return code


def main():
    installer = harness.build_dir() / "demo-ime-setup.exe"
    with harness.WineSession("demo-silent", graphics="null") as wine:
        demo.prepare_session(wine)
        wine.to_linux(LOGS).mkdir(parents=True, exist_ok=True)
        setup = wine.to_windows(installer)
        code = silent_run(wine, setup, f"/S /accepteula /owner=[运维] /company=[演示学校] /log=[{LOGS}\\install.log]")
        if code is None:
            return
        excerpt(wine, f"{LOGS}\\install.log")
        entry = next(iter(wine.reg_export(demo.UNINSTALL_KEY).values()))
        for name in ("DisplayName", "EstimatedSize", "InstallDate", "QuietUninstallString"):
            print(f"entry:     {name} = {entry.get(name)}")

        # The entry's command starts the uninstaller in the install folder,
        # which can't wait for its copy; the installer with -u waits and
        # ends with the uninstall's exit code.
        code = silent_run(wine, setup, f"/S /log=[{LOGS}\\uninstall.log] -u name=[{demo.IME}]")
        if code is None:
            return
        excerpt(wine, f"{LOGS}\\uninstall.log")
        print(f"entry:     {'gone' if wine.reg_export(demo.UNINSTALL_KEY) is None else 'still there'}; "
              f"install folder {'gone' if not wine.to_linux(demo.INSTALL_DIR).exists() else 'still there'}")


if __name__ == "__main__":
    main()
