#!/usr/bin/env python3
"""The skin package dialog under wine64, reached as a person reaches it: the
demo product installed through its wizard, "检查更新" started from its
Start-menu shortcut against an update server on 127.0.0.1 that this test
serves itself (the demo update server's two skins and their pictures), and
"是否检查服务器上的最新皮肤包？" answered with Yes.

The dialog lists both skins with check boxes, their versions and the bytes
received; choosing a row shows its picture in "图片御览" right beside the
dialog; "安装选中皮肤" copies the ticked skin into the
install folder's "colourful" folder and nothing else, and the update dialog
then ends its run with "更新完毕".

Environment (CTest sets it): IMEBASE_DEMO_INSTALLER, IMEBASE_DEMO_PRODUCT,
IMEBASE_DEMO_UPDATE_SERVER (the demo update server's folder), and what
harness.py reads."""

import os
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_product  # noqa: E402
import harness  # noqa: E402
from update_server import DRIVER_LIST, SECOND_LIST, UpdateServer, point_product_at  # noqa: E402
from update_server import list_line as line  # noqa: E402

IME = demo_product.IME
UPDATE_TITLE = f"{demo_product.DISPLAY_NAME} - 更新程序"
SKIN_QUESTION = "colourful驱动更新"
SKIN_TITLE = "colourful皮肤驱动更新"
PREVIEW_TITLE = "图片御览"
SKIN_LIST, MESSAGE_LIST = 1006, 1006
DEMO_SERVER = Path(os.environ.get("IMEBASE_DEMO_UPDATE_SERVER", harness.build_dir() / "demo-update-server"))
SKINS = DEMO_SERVER / "_supports" / "zzskin_colourful"

session = None
server = None


def setUpModule():
    global session, server
    session = harness.WineSession("skins")
    session.start()
    demo_product.prepare_session(session)
    demo_product.install(session)
    server = UpdateServer.serving_copy_of(DEMO_SERVER)
    # One component, listed with the version installed: nothing to
    # download, and the run goes on to the skin question.
    server.lists = {DRIVER_LIST: line("ZME_DRIVE", "zzpinyin_mb", "1.0.0.1", "/_supports/missing/mb.cab"),
                    SECOND_LIST: ""}
    point_product_at(session, server)


def tearDownModule():
    if session:
        session.stop()
    if server:
        server.close()


class SkinCase(unittest.TestCase):
    def test_ticked_skin_is_installed_and_a_chosen_row_shows_its_picture(self):
        places = demo_product.Places(session)
        # The colourful skin driver keeps its skins in this folder.
        (places.install_dir / "colourful").mkdir(exist_ok=True)
        link = places.programs / "检查更新.lnk"
        program = session.launch("start", "/wait", session.to_windows(link))
        self.assertEqual(session.msgbox(SKIN_QUESTION), "是否检查服务器上的最新皮肤包？")
        session.msgbox(SKIN_QUESTION, answer="yes")

        # The run: both skins listed, downloaded, the install button back.
        session.ui("wait", SKIN_TITLE)
        session.ui("wait-count", SKIN_TITLE, str(SKIN_LIST), "2", timeout_ms=60000)
        session.ui("wait-state", SKIN_TITLE, "1", "enabled", timeout_ms=60000)
        self.assertEqual(session.rows(SKIN_TITLE, SKIN_LIST, header=True)[0], ["皮肤名称", "最新版本", "----"])
        rows = session.rows(SKIN_TITLE, SKIN_LIST, marks=True)
        self.assertEqual([row[1:3] for row in rows], [["jade", "1.0.0.1"], ["sunset", "1.0.0.1"]])
        self.assertTrue(all("unchecked" in row[0].split(",") for row in rows), rows)
        # The last row downloaded is selected and counts the bytes.
        self.assertIn("selected", rows[1][0].split(","))
        self.assertRegex(rows[1][3], r"^[1-9][0-9]* K?B$")
        for name in ("jade.zip", "jade.zip.png", "sunset.zip", "sunset.zip.png"):
            self.assertIn(f"/_supports/zzskin_colourful/{name}", server.requests)

        # Choosing the first row shows its picture beside the dialog.
        session.ui("select", SKIN_TITLE, str(SKIN_LIST), "0")
        session.ui("wait", PREVIEW_TITLE)
        session.shot("skin-dialog-preview")
        # "wait" finds only visible windows. The picture is a gradient: the
        # window shows many colours, not an empty face. (Its size is not
        # measured here: the virtual desktop's edge cuts the window off.)
        shot = session.shot("skin-preview", PREVIEW_TITLE)
        self.assertGreater(harness.png_info(shot)[2], 20)

        # Tick the first skin and install it.
        session.ui("check-row", SKIN_TITLE, str(SKIN_LIST), "0", "on")
        session.shot("skin-dialog-ticked", SKIN_TITLE)
        session.ui("click", SKIN_TITLE, "1")
        session.ui("gone", SKIN_TITLE)
        installed = places.install_dir / "colourful"
        self.assertEqual((installed / "jade.zip").read_bytes(), (SKINS / "jade.zip").read_bytes())
        self.assertFalse((installed / "sunset.zip").exists())
        self.assertFalse((places.install_dir / "skin.zip").exists())

        # Back in the update dialog, the run ends as usual.
        def finished():
            lines = session.rows(UPDATE_TITLE, MESSAGE_LIST)
            return lines and lines[-1] == ["更新完毕"]
        harness.wait_until(finished, 60, "更新完毕")
        session.ui("click", UPDATE_TITLE, "2")
        session.ui("gone", UPDATE_TITLE)
        self.assertEqual(program.wait(60), 0)


if __name__ == "__main__":
    for needed in (demo_product.DEMO_INSTALLER, demo_product.DEMO_PRODUCT, SKINS):
        if not needed.exists():
            print(f"skipped: {needed} is missing (build the win64 preset with the packer)")
            sys.exit(77)
    unittest.main(verbosity=2)
