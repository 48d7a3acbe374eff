#!/usr/bin/env python3
"""Signed installers, done as README's "Signing the installer" says, with
osslsigncode and a test certificate made here with OpenSSL, then installed
under Wine:

- the installer program signed (twice: a nested second signature), packed
  with imepack build, the result signed: the installed "Unstall.exe" is
  the signed program itself and verifies, and "_backup_.dat" holds exactly
  the package, not the certificate table behind it;
- the ordinary demo installer signed: the uninstaller cut from it carries
  no certificate entry and a right checksum, and can itself be signed.

Environment (CTest sets it): IMEBASE_DEMO_INSTALLER, IMEBASE_DEMO_PRODUCT,
IMEBASE_IMESETUP, IMEBASE_IMEPACK, and what harness.py reads."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_product  # noqa: E402
import harness  # noqa: E402

IMESETUP = Path(os.environ.get("IMEBASE_IMESETUP", harness.build_dir() / "src" / "app" / "imesetup.exe"))
IMEPACK = Path(os.environ.get("IMEBASE_IMEPACK",
                              harness.source_dir() / "build" / "native" / "tools" / "packer" / "imepack"))
DESCRIPTION = harness.source_dir() / "samples" / "demo-ime" / "InstallInfo.txt"
DEMO_INSTALLER = demo_product.DEMO_INSTALLER


def run(*args):
    result = subprocess.run([str(a) for a in args], capture_output=True, text=True)
    if result.returncode != 0:
        raise AssertionError(f"{args[0]} failed ({result.returncode}):\n{result.stdout}\n{result.stderr}")
    return result.stdout


def header(data):
    """CheckSum's offset and the certificate-table entry (offset, size)."""
    optional = struct.unpack_from("<I", data, 0x3C)[0] + 24
    plus = struct.unpack_from("<H", data, optional)[0] == 0x20B
    entry = optional + (112 if plus else 96) + 4 * 8
    return optional + 64, struct.unpack_from("<II", data, entry)


def checksum(data, field):
    """The image checksum as the loader computes it (CheckSum counted as 0)."""
    total = 0
    for i in range(0, len(data) - 1, 2):
        if i not in (field, field + 2):
            total += data[i] | (data[i + 1] << 8)
            total = (total & 0xFFFF) + (total >> 16)
    if len(data) % 2:
        total += data[-1]
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16)) + len(data)


class Signing(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for tool in ("osslsigncode", "openssl"):
            if not shutil.which(tool):
                raise AssertionError(f"{tool} is missing: scripts/setup.sh installs it")
        for needed in (IMESETUP, IMEPACK, DEMO_INSTALLER, demo_product.DEMO_PRODUCT):
            if not Path(needed).exists():
                raise unittest.SkipTest(f"{needed} not built")
        cls.work = Path(tempfile.mkdtemp(prefix="imebase-signing-"))
        # The vendor's certificate: a self-signed one, made for the test.
        cls.key, cls.cert = cls.work / "vendor.key", cls.work / "vendor.crt"
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
            "/CN=Test IME Vendor", "-keyout", cls.key, "-out", cls.cert)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def sign(self, source, target, *extra):
        run("osslsigncode", "sign", "-certs", self.cert, "-key", self.key, "-n", "Demo IME",
            *extra, "-in", source, "-out", target)

    def verify(self, path):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", str(self.cert), "-in", str(path)],
                              capture_output=True, text=True)

    def install(self, installer, name):
        session = harness.WineSession(name)
        session.start()
        self.addCleanup(session.stop)
        demo_product.prepare_session(session)
        demo_product.DEMO_INSTALLER = installer
        self.addCleanup(setattr, demo_product, "DEMO_INSTALLER", DEMO_INSTALLER)
        demo_product.install(session)
        return demo_product.Places(session)

    def test_signed_program_becomes_the_installed_uninstaller(self):
        # As README says: sign the program, sign it again nested, pack, sign.
        stub = self.work / "imesetup-signed.exe"
        self.sign(IMESETUP, self.work / "imesetup-once.exe")
        self.sign(self.work / "imesetup-once.exe", stub, "-nest")
        setup = self.work / "setup.exe"
        run(IMEPACK, "build", demo_product.DEMO_PRODUCT, DESCRIPTION, stub, setup)
        signed = self.work / "setup-signed.exe"
        self.sign(setup, signed)
        self.assertEqual(self.verify(signed).returncode, 0)
        report = run(IMEPACK, "inspect", signed)
        self.assertIn("signed: yes", report)
        self.assertIn("after the package: the certificate table", report)
        self.assertIn('uninstaller: carried "unstall.exe" (', report)
        self.assertIn("signed), this installer's own program: the install places it", report)

        places = self.install(signed, "signing")
        installed = places.install_dir / "unstall.exe"
        self.assertEqual(installed.read_bytes(), stub.read_bytes())
        checked = self.verify(installed)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertIn("Number of verified signatures: 2", checked.stdout)
        # The kept package: the bytes between the package offset and the
        # certificate table, no more.
        data = signed.read_bytes()
        offset = int(report.split("package offset: ")[1].split()[0])
        _, (table, _) = header(data)
        self.assertEqual((places.install_dir / "_backup_.dat").read_bytes(), data[offset:table])

    def test_uninstaller_cut_from_a_signed_installer_is_well_formed(self):
        signed = self.work / "demo-signed.exe"
        self.sign(DEMO_INSTALLER, signed)
        places = self.install(signed, "signing-cut")
        cut = (places.install_dir / "unstall.exe").read_bytes()
        field, entry = header(cut)
        self.assertEqual(entry, (0, 0))
        self.assertEqual(struct.unpack_from("<I", cut, field)[0], checksum(cut, field))
        # Signed in turn, it verifies: nothing in it points past its end.
        resigned = self.work / "unstall-signed.exe"
        self.sign(places.install_dir / "unstall.exe", resigned)
        self.assertEqual(self.verify(resigned).returncode, 0)


if __name__ == "__main__":
    unittest.main()
