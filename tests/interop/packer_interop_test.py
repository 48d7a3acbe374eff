#!/usr/bin/env python3
"""Cabinets, packages and installers that imepack writes, checked with the
peer tools a vendor would use: cabextract (libmspack) and gcab (libgcab).

Run by CTest with the path of the native imepack in IMEPACK. Everything
happens in a temporary folder that is removed afterwards.
"""
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

IMEPACK = os.environ.get("IMEPACK", "imepack")
# Cabinets store local time: pack and extract in a zone away from UTC so
# that a mix-up between the two shows.
ZONE = "CST-8"
os.environ["TZ"] = ZONE  # this script's own local time too
time.tzset()
ENV = dict(os.environ, TZ=ZONE, LC_ALL="C.UTF-8")
UTC_ENV = dict(os.environ, TZ="UTC0", LC_ALL="C.UTF-8")


def run(*args, env=ENV, user=None):
    cmd = list(args)
    if user is not None:
        cmd = ["setpriv", "--reuid", str(user), "--regid", str(user), "--clear-groups"] + cmd
    return subprocess.run(cmd, env=env, capture_output=True, text=True)


def imepack(*args, **kw):
    return run(IMEPACK, *args, **kw)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def text_data(n, seed):
    words = ["input ", "method ", "拼音 ", "table ", "skin ", "码表 ", "update\n", "version "]
    out = bytearray()
    x = seed
    while len(out) < n:
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out += words[x % 8].encode()
    return bytes(out[:n])


def local_dos_stamp(seconds):
    t = time.localtime(seconds)
    return "%02d.%02d.%04d %02d:%02d:%02d" % (t.tm_mday, t.tm_mon, t.tm_year, t.tm_hour, t.tm_min, t.tm_sec & ~1)


def fake_installer(pe32_plus, size=0x600):
    """A minimal PE image header (enough for the LoaderFlags field)."""
    image = bytearray(size)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    image[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<H", image, 0x80 + 4 + 16, 0xF0 if pe32_plus else 0xE0)
    struct.pack_into("<H", image, 0x98, 0x20B if pe32_plus else 0x10B)
    image[0x200:] = b"\x90" * (size - 0x200)
    return bytes(image)


def loader_flags(exe, pe32_plus):
    return struct.unpack_from("<I", exe, 0x80 + (0x80 if pe32_plus else 0x70))[0]


class Tree:
    """The product folder every interoperability case packs."""

    # name (with /) -> (bytes, read-only, mtime)
    def __init__(self, root):
        self.root = root
        base = int(time.mktime((2024, 3, 4, 5, 6, 8, 0, 0, -1)))
        rnd = random_bytes(100_000, 1)
        self.files = {
            "readme.txt": (b"hello, cabinet\n", False, base),
            "empty.dat": (b"", False, base + 2),
            "sub/also-empty": (b"", False, base + 4),
            "sub/noise.bin": (rnd, False, base + 6),
            "sub/deep/table.mb": (text_data(200_000, 2), False, base + 8),
            "sub/deep/exact-block.bin": (text_data(32768, 3), False, base + 10),
            "literals.txt": ("".join("%d\n" % i for i in range(1, 18)).encode(), False, base + 12),
            "locked.ini": (b"[settings]\nreadonly=1\n", True, base + 14),
            "odd-second.txt": (b"seconds are kept even\n", False, base + 17),
            "皮肤/默认皮肤.bmp": (text_data(40_000, 4), False, base + 20),
            "café menu.txt": ("crème brûlée\n".encode(), False, base + 22),
            ".hidden-cfg": (b"dot files are ordinary files\n", False, base + 24),
        }
        for name, (data, read_only, mtime) in self.files.items():
            path = os.path.join(root, name)
            write(path, data)
            os.utime(path, (mtime, mtime))
            if read_only:
                os.chmod(path, 0o444)
        os.makedirs(os.path.join(root, "empty-folder/inside"))  # not stored: a cabinet holds files


def random_bytes(n, seed):
    x = seed
    out = bytearray(n)
    for i in range(n):
        x = (x * 6364136223846793005 + 1442695040888963407) & 0xFFFFFFFFFFFFFFFF
        out[i] = x >> 56
    return bytes(out)


class PackerCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="imepack-interop-")
        os.chmod(self.tmp, 0o777)

    def tearDown(self):
        for top, dirs, files in os.walk(self.tmp):
            for d in dirs:
                os.chmod(os.path.join(top, d), 0o755)
        shutil.rmtree(self.tmp)

    def path(self, *parts):
        return os.path.join(self.tmp, *parts)

    def pack(self, folder, out, *options):
        r = imepack("cab", folder, out, *options)
        self.assertEqual(r.returncode, 0, r.stderr)
        return out

    def assert_extracted_tree(self, tree, folder, times=True):
        found = set()
        for top, dirs, files in os.walk(folder):
            for f in files:
                found.add(os.path.relpath(os.path.join(top, f), folder))
        self.assertEqual(found, set(tree.files))
        for name, (data, read_only, mtime) in tree.files.items():
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                self.assertEqual(f.read(), data, name)
            if times:
                self.assertEqual(int(os.stat(path).st_mtime), mtime & ~1, name)
                self.assertEqual(os.stat(path).st_mode & 0o222 == 0, read_only, name)


class CabinetInterop(PackerCase):
    def check_mode(self, *options):
        tree = Tree(self.path("product"))
        cab = self.pack(tree.root, self.path("product.cab"), *options)

        # cabextract: checksums, listing with the stored local times, extraction.
        test = run("cabextract", "-t", cab)
        self.assertEqual(test.returncode, 0, test.stdout + test.stderr)
        listing = run("cabextract", "-l", cab).stdout
        for name, (data, _, mtime) in tree.files.items():
            self.assertRegex(listing, r"\s%d \| %s \| %s\n" % (len(data), re.escape(local_dos_stamp(mtime)), re.escape(name)))
        run("cabextract", "-q", "-d", self.path("by-cabextract"), cab)
        self.assert_extracted_tree(tree, self.path("by-cabextract"))

        # gcab: it reads the stored time as UTC, so list it in UTC to see the raw fields.
        details = run("gcab", "-l", cab, env=UTC_ENV).stdout
        for name, (data, read_only, mtime) in tree.files.items():
            t = time.localtime(mtime)
            stamp = "%04d-%02d-%02d %02d:%02d:%02d" % (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec & ~1)
            attributes = 0x20 | (0x01 if read_only else 0) | (0x80 if not name.isascii() else 0)
            line = "%s %d %s 0x%X" % (name.replace("/", "\\"), len(data), stamp, attributes)
            self.assertIn(line + "\n", details)
        os.makedirs(self.path("by-gcab"))
        r = run("gcab", "-x", "-C", self.path("by-gcab"), cab)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assert_extracted_tree(tree, self.path("by-gcab"), times=False)
        return cab

    def test_mszip_cabinet_lists_and_extracts_with_both_tools(self):
        cab = self.check_mode()
        with open(cab, "rb") as f:
            data = f.read()
        self.assertEqual(struct.unpack_from("<H", data, 36 + 6)[0], 1)  # MSZIP
        self.assertLess(len(data), 300_000)  # 400 KB of input, half of it text

    def test_best_level_cabinet_lists_and_extracts_with_both_tools(self):
        # Blocks refer back into the block before: peers keep that history.
        plain = self.pack(Tree(self.path("again")).root, self.path("plain.cab"))
        cab = self.check_mode("--best")
        self.assertLess(os.path.getsize(cab), os.path.getsize(plain))
        # Not a terminal: no progress line, nothing on stderr.
        r = imepack("cab", self.path("again"), self.path("quiet.cab"), "--best")
        self.assertEqual((r.returncode, r.stderr), (0, ""))

    def test_stored_cabinet_lists_and_extracts_with_both_tools(self):
        cab = self.check_mode("--store")
        with open(cab, "rb") as f:
            data = f.read()
        self.assertEqual(struct.unpack_from("<H", data, 36 + 6)[0], 0)  # stored

    def test_a_cabinet_of_gcab_matches_ours_file_for_file(self):
        # The same files through gcab's writer and ours list the same.
        tree = Tree(self.path("product"))
        ours = self.pack(tree.root, self.path("ours.cab"))
        names = sorted(tree.files)
        cwd = os.getcwd()
        os.chdir(tree.root)
        try:
            r = run("gcab", "-c", "-z", self.path("theirs.cab"), *names)
        finally:
            os.chdir(cwd)
        self.assertEqual(r.returncode, 0, r.stderr)
        sizes = lambda cab: sorted(re.findall(r"^\s*(\d+) \|.*\| (.*)$", run("cabextract", "-l", cab).stdout, re.M))
        self.assertEqual(sizes(ours), sizes(self.path("theirs.cab")))


class PackageInterop(PackerCase):
    def test_seal_unseal_round_trip_and_inspect(self):
        tree = Tree(self.path("product"))
        cab = self.pack(tree.root, self.path("p.cab"))
        self.assertEqual(imepack("seal", cab, self.path("p.pkg")).returncode, 0)
        self.assertEqual(imepack("unseal", self.path("p.pkg"), self.path("back.cab")).returncode, 0)
        with open(cab, "rb") as a, open(self.path("back.cab"), "rb") as b, open(self.path("p.pkg"), "rb") as p:
            original, back, sealed = a.read(), b.read(), p.read()
        self.assertEqual(back, original)
        self.assertEqual(sealed[:4], b"CRYP")
        self.assertEqual(len(sealed) % 8, 0)
        self.assertNotIn(b"hello, cabinet", sealed)
        listing = imepack("inspect", self.path("p.pkg")).stdout
        self.assertIn("sealed package", listing)
        self.assertIn("R--A-  locked.ini", listing)
        self.assertIn("---AU  皮肤\\默认皮肤.bmp", listing)

    def test_attach_then_inspect_gives_back_offset_and_package(self):
        tree = Tree(self.path("product"))
        self.pack(tree.root, self.path("p.cab"))
        imepack("seal", self.path("p.cab"), self.path("p.pkg"))
        with open(self.path("p.pkg"), "rb") as f:
            package = f.read()
        for plus in (False, True):
            installer = fake_installer(plus)
            write(self.path("setup.exe"), installer)
            r = imepack("attach", self.path("setup.exe"), self.path("p.pkg"), self.path("out.exe"))
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(self.path("out.exe"), "rb") as f:
                exe = f.read()
            self.assertEqual(loader_flags(exe, plus), len(installer))
            self.assertEqual(exe[len(installer):], package)
            shown = imepack("inspect", self.path("out.exe")).stdout
            self.assertIn("(%s image)" % ("PE32+" if plus else "PE32"), shown)
            self.assertIn("image size: %d bytes" % len(installer), shown)
            self.assertIn("package offset: %d" % len(installer), shown)
            self.assertIn("package size: %d bytes" % len(package), shown)
            self.assertIn("sub\\deep\\table.mb", shown)

            # Attaching to the result replaces the package instead of stacking it.
            r = imepack("attach", self.path("out.exe"), self.path("p.pkg"), self.path("again.exe"))
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(self.path("again.exe"), "rb") as f:
                self.assertEqual(f.read(), exe)

    def test_build_makes_an_installer_whose_package_extracts_to_the_product(self):
        tree = Tree(self.path("product"))
        write(self.path("product.txt"), "ime_name = ZZDemo\ndisplay_name = 演示输入法\nshortcut_flags = 0x1CE0\n".encode())
        described = int(time.mktime((2023, 5, 6, 7, 8, 10, 0, 0, -1)))
        os.utime(self.path("product.txt"), (described, described))
        write(self.path("setup.exe"), fake_installer(False))
        r = imepack("build", tree.root, self.path("product.txt"), self.path("setup.exe"), self.path("demo.exe"))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("no ZZDemo.ime", r.stderr)  # a hint, not an error
        with open(self.path("demo.exe"), "rb") as f:
            exe = f.read()
        write(self.path("cut.pkg"), exe[loader_flags(exe, False):])
        self.assertEqual(imepack("unseal", self.path("cut.pkg"), self.path("cut.cab")).returncode, 0)
        self.assertEqual(run("cabextract", "-q", "-d", self.path("out"), self.path("cut.cab")).returncode, 0)
        listed = run("cabextract", "-l", self.path("cut.cab")).stdout
        self.assertIn("| %s | InstallInfo.dif" % local_dos_stamp(described), listed)
        # The record comes first (".hidden-cfg" would sort before it): the
        # installer's wizard waits for it alone.
        self.assertEqual([l.split("| ")[-1] for l in listed.splitlines() if " | " in l][1], "InstallInfo.dif")
        self.assertEqual(imepack("record", self.path("product.txt"), self.path("expected.dif")).returncode, 0)
        with open(self.path("out", "InstallInfo.dif"), "rb") as a, open(self.path("expected.dif"), "rb") as b:
            record = a.read()
            self.assertEqual(record, b.read())
        self.assertEqual(len(record), 2668)
        self.assertEqual(record[0:12].decode("utf-16-le"), "ZZDemo")
        # The same inputs give the same installer, byte for byte.
        r = imepack("build", tree.root, self.path("product.txt"), self.path("setup.exe"), self.path("again.exe"))
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(self.path("again.exe"), "rb") as f:
            self.assertEqual(f.read(), exe)
        os.remove(self.path("out", "InstallInfo.dif"))
        self.assert_extracted_tree(tree, self.path("out"))


class BadInput(PackerCase):
    """Each mistake: exit code 1, a message naming the file, and no output
    (not even a temporary file) left behind; an older output survives."""

    def expect_refusal(self, args, mention, user=None, program=None):
        out_dir = self.path("out")
        os.makedirs(out_dir, exist_ok=True)
        os.chmod(out_dir, 0o777)
        target = os.path.join(out_dir, "result")
        with open(target, "wb") as f:
            f.write(b"previous output")
        r = run(program or IMEPACK, *[a if a != "OUT" else target for a in args], user=user)
        self.assertEqual(r.returncode, 1, (args, r.stdout, r.stderr))
        self.assertIn(mention, r.stderr, args)
        self.assertTrue(r.stderr.startswith("imepack: "), r.stderr)
        self.assertEqual(os.listdir(out_dir), ["result"], args)
        with open(target, "rb") as f:
            self.assertEqual(f.read(), b"previous output", args)
        os.remove(target)

    def test_folders_the_cabinet_cannot_hold(self):
        self.expect_refusal(["cab", self.path("missing"), "OUT"], "missing: no such folder")
        os.makedirs(self.path("hollow", "a", "b"))
        self.expect_refusal(["cab", self.path("hollow"), "OUT"], "nothing to pack")
        long_dir = self.path("long", "d" * 200)
        write(os.path.join(long_dir, "f" * 60), b"x")
        self.expect_refusal(["cab", self.path("long"), "OUT"], "f" * 60 + ": the name is 261 bytes long")
        write(self.path("windows", "a:b.txt"), b"x")
        self.expect_refusal(["cab", self.path("windows"), "OUT"], "a:b.txt: the name holds a character")
        write(self.path("cases", "Read.me"), b"1")
        write(self.path("cases", "READ.ME"), b"2")
        self.expect_refusal(["cab", self.path("cases"), "OUT"], "same name")

    def test_an_unreadable_file(self):
        write(self.path("secret", "key.bin"), b"x")
        os.chmod(self.path("secret", "key.bin"), 0)
        os.chmod(self.path("secret"), 0o755)
        if os.geteuid() != 0:
            self.expect_refusal(["cab", self.path("secret"), "OUT"], "key.bin: can't open the file")
            return
        # Root reads everything: act as nobody, with a copy of the program
        # where nobody may run it (the build folder may be closed to others).
        if shutil.which("setpriv") is None:
            self.skipTest("running as root without setpriv")
        program = self.path("imepack")
        shutil.copy(IMEPACK, program)
        os.chmod(program, 0o755)
        self.expect_refusal(["cab", self.path("secret"), "OUT"], "key.bin: can't open the file",
                            user=65534, program=program)

    def test_packages_and_installers(self):
        write(self.path("text.txt"), b"This is a note, not a cabinet or an executable image." * 3)
        tree = Tree(self.path("product"))
        cab = self.pack(tree.root, self.path("p.cab"))
        imepack("seal", cab, self.path("p.pkg"))
        with open(self.path("p.pkg"), "rb") as f:
            sealed = f.read()
        write(self.path("short.pkg"), sealed[:-3])
        damaged = bytearray(sealed)
        damaged[len(damaged) // 2] ^= 0x40
        write(self.path("damaged.pkg"), bytes(damaged))
        write(self.path("setup.exe"), fake_installer(True))

        self.expect_refusal(["seal", self.path("nope.cab"), "OUT"], "nope.cab: no such file")
        self.expect_refusal(["seal", self.path("text.txt"), "OUT"], "text.txt: not a cabinet")
        self.expect_refusal(["seal", self.path("p.pkg"), "OUT"], "p.pkg: already a sealed package")
        self.expect_refusal(["seal", self.tmp, "OUT"], "not a regular file")
        self.expect_refusal(["unseal", cab, "OUT"], "p.cab: a plain cabinet, not a sealed package")
        self.expect_refusal(["unseal", self.path("short.pkg"), "OUT"], "short.pkg: the package length")
        self.expect_refusal(["unseal", self.path("damaged.pkg"), "OUT"], "damaged.pkg: a data block")
        self.expect_refusal(["attach", self.path("text.txt"), self.path("p.pkg"), "OUT"], "text.txt: not a Windows executable")
        self.expect_refusal(["attach", self.path("setup.exe"), cab, "OUT"], "p.cab: a plain cabinet")
        self.expect_refusal(["attach", self.path("setup.exe"), self.path("none.pkg"), "OUT"], "none.pkg: no such file")
        r = imepack("inspect", self.path("text.txt"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("text.txt: neither an installer", r.stderr)

    def test_descriptions(self):
        cases = [
            ("ime_name = a\ncolour = red\n", "desc.txt:2: unknown field \"colour\""),
            ("ime_name = a\n\ncomments = " + "x" * 20 + "\n", "desc.txt:3: comments is 20 UTF-16 units long"),
            ("ime_name = a\nshortcut_flags = 0xZZ\n", "desc.txt:2: \"0xZZ\" is not a number"),
            ("ime_name = a\nime_name = b\n", "desc.txt:2: the field \"ime_name\" is given twice"),
            ("# only a comment\n", "desc.txt: ime_name is missing"),
        ]
        for text, message in cases:
            write(self.path("desc.txt"), text.encode())
            self.expect_refusal(["record", self.path("desc.txt"), "OUT"], message)
        write(self.path("desc.txt"), b"ime_name = caf\xe9\n")
        self.expect_refusal(["record", self.path("desc.txt"), "OUT"], "desc.txt:1: the line isn't valid UTF-8")

    def test_build(self):
        write(self.path("product", "ZZDemo.ime"), b"ime")
        write(self.path("desc.txt"), b"ime_name = ZZDemo\n")
        write(self.path("bad.txt"), b"ime_name = ZZDemo\nflags = 1\n")
        write(self.path("setup.exe"), fake_installer(False))
        write(self.path("note.txt"), b"not an executable")
        self.expect_refusal(["build", self.path("product"), self.path("bad.txt"), self.path("setup.exe"), "OUT"],
                            "bad.txt:2: unknown field")
        self.expect_refusal(["build", self.path("product"), self.path("desc.txt"), self.path("note.txt"), "OUT"],
                            "note.txt: not a Windows executable")
        write(self.path("product", "installinfo.DIF"), b"stale")
        self.expect_refusal(["build", self.path("product"), self.path("desc.txt"), self.path("setup.exe"), "OUT"],
                            "already holds installinfo.DIF")

    def test_signed_installer_programs(self):
        """Signed with osslsigncode: a signed program is carried as the
        uninstaller; tables that can't be cut cleanly, and a folder with an
        uninstaller of its own, are refused."""
        dlls = [os.path.join(d, v, "libssp-0.dll") for d in ("/usr/lib/gcc/x86_64-w64-mingw32",)
                if os.path.isdir(d) for v in os.listdir(d)]
        dlls = [d for d in dlls if os.path.exists(d)]
        if not dlls or not shutil.which("osslsigncode"):
            self.skipTest("no MinGW DLL or osslsigncode (scripts/setup.sh installs both)")
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Test",
            "-keyout", self.path("k.pem"), "-out", self.path("c.pem"))
        signed = self.path("signed.exe")
        r = run("osslsigncode", "sign", "-certs", self.path("c.pem"), "-key", self.path("k.pem"),
                "-in", dlls[0], "-out", signed)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        write(self.path("product", "ZZDemo.ime"), b"ime")
        write(self.path("desc.txt"), b"ime_name = ZZDemo\n")
        r = imepack("build", self.path("product"), self.path("desc.txt"), signed, self.path("setup.exe"))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Its package carries the signed installer program", r.stderr)
        report = imepack("inspect", self.path("setup.exe")).stdout
        self.assertIn("signed: no\n", report)
        self.assertIn("signed), this installer's own program", report)
        # The package attached to another program: its own uninstaller is cut.
        with open(self.path("setup.exe"), "rb") as f:
            exe = f.read()
        write(self.path("p.pkg"), exe[loader_flags(exe, True):])
        write(self.path("other.exe"), fake_installer(True))
        self.assertEqual(imepack("attach", self.path("other.exe"), self.path("p.pkg"), self.path("o.exe")).returncode, 0)
        self.assertIn("not this installer's program", imepack("inspect", self.path("o.exe")).stdout)

        with open(signed, "rb") as f:
            program = f.read()
        write(self.path("appended.exe"), program + b"\0" * 16)
        late = bytearray(program + exe[loader_flags(exe, True):])
        struct.pack_into("<I", late, struct.unpack_from("<I", late, 0x3C)[0] + 24 + 0x68, len(program))
        write(self.path("late.exe"), bytes(late))
        for installer, mention in (("appended.exe", "isn't the last thing in the file: 16 bytes"),
                                   ("late.exe", "signed before its package was attached")):
            self.expect_refusal(["build", self.path("product"), self.path("desc.txt"), self.path(installer), "OUT"],
                                mention)
        write(self.path("product", "Unstall.EXE"), b"MZ")
        self.expect_refusal(["build", self.path("product"), self.path("desc.txt"), signed, "OUT"],
                            "that name is the uninstaller's")

    def test_output_inside_the_packed_folder(self):
        write(self.path("product", "a.txt"), b"a")
        r = imepack("cab", self.path("product"), self.path("product", "sub", "..", "p.cab"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("the output lies inside", r.stderr)
        self.assertEqual(os.listdir(self.path("product")), ["a.txt"])
        self.assertEqual(imepack("cab", self.path("product"), self.path("product-other.cab")).returncode, 0)

    def test_output_in_a_missing_folder(self):
        write(self.path("desc.txt"), b"ime_name = a\n")
        r = imepack("record", self.path("desc.txt"), self.path("no", "such", "dir", "x.dif"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("x.dif: can't create the output file", r.stderr)


class Usage(PackerCase):
    def test_exit_codes_and_help(self):
        self.assertEqual(imepack().returncode, 2)
        self.assertEqual(imepack("frobnicate").returncode, 2)
        self.assertEqual(imepack("cab", "one").returncode, 2)
        self.assertEqual(imepack("cab", "a", "b", "--zip").returncode, 2)
        self.assertEqual(imepack("inspect", "a", "--store").returncode, 2)
        help_text = imepack("--help")
        self.assertEqual(help_text.returncode, 0)
        for command in ("cab", "seal", "unseal", "attach", "inspect", "record", "build"):
            self.assertIn("imepack " + command + " ", help_text.stdout)
            r = imepack(command, "--help")
            self.assertEqual(r.returncode, 0)
            self.assertIn("Usage: imepack " + command, r.stdout)


if __name__ == "__main__":
    unittest.main(verbosity=2)
