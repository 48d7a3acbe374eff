#!/usr/bin/env python3
"""An install killed at any moment, under wine64: the demo product packed
into the kill test's installer build (demo-ime-setup-crashtest.exe, the
installer plus a hook that ends the process at the N-th moment of its run
that IMEBASE_CRASH_AT names: every record its journal writes to disk, and
the commit), installed through the wizard.

First whole runs with the moments traced (IMEBASE_CRASH_TRACE): a first
install, whose result is the machine "installed exactly as the wizard
installs", and a second install over it (the folder question answered
Yes), which counts the moments of a run that clears an existing install.
After an uninstall, a third whole run counts the moments of a first
install on a machine the product was removed from (the state every later
kill of a first install starts from). Then the installer is killed at
moments spread over both kinds of run, from the
first record to the last and the commit, and each kill is followed by the
next run a person would start: a second install through the wizard, the
repair from the "修复安装" shortcut or the uninstall from "卸载软件" (the
last two only while the product's uninstaller is there to start). After
each the machine is either installed exactly as the wizard installs
(files byte for byte, shortcuts, registry keys) or cleanly absent (as the
uninstall test expects it), and nothing of a killed run is left beside
the product: no journal, no folder moved aside.

Environment (CTest sets it): IMEBASE_CRASH_INSTALLER, IMEBASE_DEMO_PRODUCT,
and what harness.py reads."""

import os
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_product as demo  # noqa: E402
import harness  # noqa: E402
import repair_test as expectations  # noqa: E402

INSTALLER = Path(os.environ.get("IMEBASE_CRASH_INSTALLER", harness.build_dir() / "demo-ime-setup-crashtest.exe"))
WELCOME = demo.WELCOME
REPAIR_TITLE = expectations.TITLE
UNINSTALL_TITLE = f"{demo.DISPLAY_NAME} - 卸载程序"
DONE = "完成(&O)"
KILLED_EXIT_CODE = 1201
# Kill points: at least this many, spread over a first install and a
# second install over an existing one.
FRESH_KILLS = 10
OVER_KILLS = 12

session = None
places = None


def setUpModule():
    global session, places
    if not INSTALLER.exists() or not demo.DEMO_PRODUCT.exists():
        raise unittest.SkipTest("the kill test's demo installer isn't built")
    session = harness.WineSession("crash")
    session.start()
    demo.prepare_session(session)
    places = demo.Places(session)
    # The repair test's picture of an installed product, taken in this session.
    expectations.session = session
    expectations.places = places


def tearDownModule():
    if session:
        session.stop()


def spread(count, first, last):
    """`count` distinct whole numbers from `first` to `last`, evenly apart."""
    if last - first + 1 <= count:
        return list(range(first, last + 1))
    return sorted({first + round(i * (last - first) / (count - 1)) for i in range(count)})


class CrashCase(unittest.TestCase):
    maxDiff = None

    # ---- the machine

    def picture(self):
        """The installed product (the repair test's snapshot), without the
        entry's InstallSource: the package a run was started from."""
        files, registry = expectations.snapshot()
        entry = registry.get(demo.UNINSTALL_KEY) or {}
        for values in entry.values():
            values.pop("InstallSource", None)
        return files, registry

    def leftovers(self):
        """What a killed run could leave beside the product: its journal
        folder, folders moved aside."""
        found = []
        for folder in (places.install_dir.parent, places.data_dir.parent):
            if folder.exists():
                found += [p.name for p in folder.iterdir()
                          if ".~zzold" in p.name.lower() or p.name.lower().endswith(".journal")]
        return found

    def assert_installed(self, after):
        files, registry = self.picture()
        self.assertEqual(sorted(files), sorted(self.installed[0]), after)
        for name, data in self.installed[0].items():
            self.assertEqual(files[name], data, f"{after}: {name}")
        self.assertEqual(registry, self.installed[1], after)
        self.assertEqual(self.leftovers(), [], after)

    def assert_absent(self, after):
        for path in (places.install_dir, places.data_dir, places.programs, places.desktop_link,
                     places.system / f"{demo.IME}.zin.ime"):
            self.assertFalse(path.exists(), f"{after}: {path}")
        self.assertIsNone(session.reg_export(demo.UNINSTALL_KEY), after)
        for root in ("HKLM", "HKCU"):
            self.assertIsNone(session.reg_export(f"{root}\\{demo.VENDOR_KEY}"), after)
        layouts = session.reg_export(expectations.KEYS[3]) or {}
        named = [key for key, values in layouts.items()
                 if str(values.get("Ime File", "")).lower().endswith(f"{demo.IME}.zin.ime".lower())]
        self.assertEqual(named, [], after)
        self.assertEqual(self.leftovers(), [], after)

    def can_start_uninstaller(self):
        return (places.install_dir / "unstall.exe").exists() and session.reg_export(demo.UNINSTALL_KEY) is not None

    # ---- runs

    def copies_running(self):
        return [p for p in session.processes() if p["path"].lower().endswith(demo.COPY_NAME)]

    def close_readme(self):
        harness.wait_until(lambda: session.processes("notepad.exe"), 60, "Notepad with readme.txt")
        session.ui("close", "part:readme.txt")
        harness.wait_until(lambda: not session.processes("notepad.exe"), 30, "Notepad to close")

    def wizard(self, kill_at=0, trace=None):
        """The kill test's installer through the wizard: licence accepted,
        install pressed (the folder question answered Yes). With `kill_at`
        the run ends itself at that moment. The moments it reached: the
        kind of each (the journal's record letters, "c" for the commit's
        end)."""
        session.env.pop("IMEBASE_CRASH_AT", None)
        if kill_at:
            session.env["IMEBASE_CRASH_AT"] = str(kill_at)
        trace_file = trace or session.prefix / "drive_c" / "crash-trace.txt"
        trace_file.unlink(missing_ok=True)
        session.env["IMEBASE_CRASH_TRACE"] = session.to_windows(trace_file)
        try:
            session.launch(session.to_windows(INSTALLER))
            session.ui("wait", WELCOME)
        finally:
            session.env.pop("IMEBASE_CRASH_AT", None)
            session.env.pop("IMEBASE_CRASH_TRACE", None)
        # The copy has undone any earlier killed run before its wizard shows.
        existing = places.install_dir.exists()
        session.ui("check", WELCOME, "1012", "on")
        session.ui("wait-state", WELCOME, "1", "enabled")
        session.ui("click", WELCOME, "1")
        if existing:
            session.msgbox(demo.DIRECTORY_EXISTS, answer="yes")
        if kill_at:
            session.ui("gone", WELCOME, timeout_ms=120000)
            harness.wait_until(lambda: not self.copies_running(), 60, "the killed installer to end")
            # A kill after the commit can come when the readme is open.
            for _ in session.processes("notepad.exe"):
                session.ui("close", "part:readme.txt")
        else:
            session.ui("wait-text", WELCOME, "1", demo.INSTALL_DONE, timeout_ms=180000)
            self.close_readme()
            session.ui("click", WELCOME, "1")
            session.ui("gone", WELCOME)
            harness.wait_until(lambda: not self.copies_running(), 60, "the installer to end")
        lines = trace_file.read_text().splitlines() if trace_file.exists() else []
        return [line.split()[1] for line in lines]

    def repair(self):
        session.launch(session.to_windows(places.install_dir / "unstall.exe"), "-r", f"name=[{demo.IME}]")
        session.ui("wait", REPAIR_TITLE)
        session.ui("click", REPAIR_TITLE, "1")
        session.ui("wait-text", REPAIR_TITLE, "1", DONE, timeout_ms=180000)
        self.assertEqual(session.rows(REPAIR_TITLE, 1006), [[row] for row in demo.INSTALL_ROWS])
        self.close_readme()
        session.ui("click", REPAIR_TITLE, "1")
        session.ui("gone", REPAIR_TITLE)
        harness.wait_until(lambda: not self.copies_running(), 60, "the repair to end")

    def uninstall(self):
        session.launch(session.to_windows(places.install_dir / "unstall.exe"), "-u", f"name=[{demo.IME}]")
        session.ui("wait", UNINSTALL_TITLE)
        session.ui("click", UNINSTALL_TITLE, "1")
        session.ui("wait-text", UNINSTALL_TITLE, "1", DONE, timeout_ms=180000)
        session.ui("click", UNINSTALL_TITLE, "1")
        session.ui("gone", UNINSTALL_TITLE)
        harness.wait_until(lambda: not self.copies_running(), 60, "the uninstall to end")

    # ---- the test

    def test_killed_at_every_part_of_the_run_the_next_run_leaves_a_clean_machine(self):
        self.assert_absent("before any install")
        first_run = self.wizard()
        self.installed = self.picture()
        self.assertEqual(self.leftovers(), [])
        over_run = self.wizard()
        self.assert_installed("a second install over the first")
        # A first install on a machine the product has been removed from
        # (the vendor's folder stays): the runs every later first-install
        # kill interrupts.
        self.uninstall()
        self.assert_absent("uninstalled")
        fresh_run = self.wizard()
        self.assert_installed("installed again")
        # Fewer records than the very first: what the product's removal
        # leaves (the vendor's folder and keys) isn't made again.
        self.assertLessEqual(len(fresh_run), len(first_run))
        # Every record of a run is a moment, the commit's mark and its end
        # two more. The journal is on disk before the run's first change
        # ("H", its head), and a run over an existing install moves the
        # install folder and the data folder aside as its first changes.
        self.assertGreater(len(fresh_run), 20)
        for run in (first_run, fresh_run, over_run):
            self.assertEqual((run[0], run[-2:]), ("H", ["C", "c"]))
        self.assertNotIn("A", first_run + fresh_run)
        self.assertEqual(over_run[:3], ["H", "A", "A"])
        fresh_moments, over_moments = len(fresh_run), len(over_run)

        fresh = spread(FRESH_KILLS, 1, fresh_moments)
        over = spread(OVER_KILLS, 1, over_moments)
        kills = 0
        state = "installed"
        while fresh or over:
            if state == "installed" and not over:
                self.uninstall()
                state = "absent"
            elif state == "absent" and not fresh:
                self.wizard()
                state = "installed"
            moment = over.pop(0) if state == "installed" else fresh.pop(0)
            what = f"killed at moment {moment} of a {'second' if state == 'installed' else 'first'} install"
            self.assertEqual(len(self.wizard(kill_at=moment)), moment, what)
            kills += 1
            # The next run: the repair or the uninstall while the product's
            # uninstaller can be started, the installer always; chosen so
            # that the next kill finds the state it needs when it can.
            wanted = "absent" if fresh and (not over or kills % 2 == 0) else "installed"
            choices = ["repair", "uninstall", "install"] if self.can_start_uninstaller() else ["install"]
            if wanted == "absent" and "uninstall" in choices:
                follower = "uninstall"
            else:
                follower = ["repair", "install"][kills % 2] if "repair" in choices else "install"
            if follower == "uninstall":
                self.uninstall()
                self.assert_absent(f"{what}, then uninstalled")
                state = "absent"
            else:
                self.repair() if follower == "repair" else self.wizard()
                self.assert_installed(f"{what}, then {follower}")
                state = "installed"
        self.assertGreaterEqual(kills, 20)


if __name__ == "__main__":
    unittest.main(verbosity=2)
