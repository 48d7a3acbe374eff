"""End-to-end test harness: Windows programs under wine64 and Xvfb, driven
by uidriver.exe (Python 3 standard library only).

A test module opens one `WineSession`: its own X server (Xvfb on a free
display), its own Wine prefix copied from a template prefix made once per
build folder (scripts/wine-prefix.sh), and its own wineserver. Programs are
started without blocking (`start`), the driver is run for each step (`ui`),
and registry, files and screenshots are checked afterwards.

    with WineSession("install") as wine:
        program = wine.start(installer)
        wine.ui("wait", "欢迎使用 演示输入法 安装程序")
        wine.ui("click", "欢迎使用 演示输入法 安装程序", "1012")
        rows = wine.rows("卸载程序", 1006)
        wine.shot("after-install")

Configuration comes from the environment (CTest sets it): IMEBASE_UIDRIVER
(uidriver.exe), IMEBASE_SOURCE_DIR, IMEBASE_BUILD_DIR (build/<preset>), and
optionally IMEBASE_E2E_KEEP=1 to keep a session's prefix for a look after
the run and IMEBASE_E2E_LOCALE for Wine's locale (default C.UTF-8; it must
be a UTF-8 locale for Chinese arguments to reach the programs whole).
"""

import ctypes
import fcntl
import os
import re
import select
import shutil
import struct
import subprocess
import tempfile
import time
import zlib
from pathlib import Path

DEFAULT_DESKTOP = "800x600"
DEFAULT_SCREEN = "1024x768x24"
DEFAULT_UI_TIMEOUT_MS = 20000


class HarnessError(RuntimeError):
    """The test environment itself could not be set up or used."""


class DriverError(AssertionError):
    """A uidriver command failed; `code` is its exit code (1 failed,
    2 usage, 3 time-out), `stderr` its message."""

    def __init__(self, args, code, stdout, stderr, picture=None):
        where = f" (screen at that moment: {picture})" if picture else ""
        super().__init__(
            f"uidriver {' '.join(args)} -> exit {code}: {stderr.strip() or stdout.strip()}{where}")
        self.code = code
        self.stdout = stdout
        self.stderr = stderr


# --------------------------------------------------------------- settings

def source_dir():
    env = os.environ.get("IMEBASE_SOURCE_DIR")
    return Path(env) if env else Path(__file__).resolve().parents[2]


def build_dir():
    env = os.environ.get("IMEBASE_BUILD_DIR")
    return Path(env) if env else source_dir() / "build" / "win64"


def target_bits():
    """32 when the programs under test are the win32 build's (IMEBASE_TARGET_BITS,
    or a build folder named win32), else 64."""
    bits = os.environ.get("IMEBASE_TARGET_BITS")
    if bits:
        return int(bits)
    return 32 if build_dir().name == "win32" else 64


# Where the programs of this build land: a 32-bit program on 64-bit Windows
# gets "Program Files (x86)", its "system32" is SysWOW64, and its
# HKLM\Software keys live in the registry's 32-bit view.
PROGRAM_FILES = "C:\\Program Files (x86)" if target_bits() == 32 else "C:\\Program Files"
SYSTEM_DIR = "C:\\windows\\syswow64" if target_bits() == 32 else "C:\\windows\\system32"
REG_VIEWS = ("32", "64") if target_bits() == 32 else ("64",)


def uidriver_path():
    env = os.environ.get("IMEBASE_UIDRIVER")
    path = Path(env) if env else build_dir() / "tests" / "e2e" / "uidriver.exe"
    if not path.is_file():
        raise HarnessError(f"uidriver.exe not found at {path} (build the preset first)")
    return path


def shots_dir():
    """Screenshots of every session go to build/<preset>/e2e-shots/."""
    path = build_dir() / "e2e-shots"
    path.mkdir(parents=True, exist_ok=True)
    return path


# ------------------------------------------------------------------- Xvfb

def _end_with_parent():
    """Runs in a child before exec: the kernel ends it (SIGTERM) when the
    harness dies, so that a test killed by CTest's time-out leaves no X
    server behind."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, 15)   # PR_SET_PDEATHSIG, SIGTERM


class Xvfb:
    """An X server of the session's own. `-displayfd` lets Xvfb pick a free
    display number itself, so parallel test modules never collide."""

    def __init__(self, screen=DEFAULT_SCREEN):
        self.screen = screen
        self.process = None
        self.display = None

    def start(self, timeout=20):
        if shutil.which("Xvfb") is None:
            raise HarnessError("Xvfb is missing (scripts/setup.sh installs it)")
        read_end, write_end = os.pipe()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.screen,
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), preexec_fn=_end_with_parent, stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            write_end = None
            number = b""
            deadline = time.monotonic() + timeout
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                ready, _, _ = select.select([read_end], [], [], max(left, 0))
                if not ready:
                    raise HarnessError("Xvfb did not report its display in time")
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise HarnessError("Xvfb ended before reporting its display")
                number += chunk
            self.display = ":" + number.decode().strip()
        except BaseException:
            self.stop()
            raise
        finally:
            if write_end is not None:
                os.close(write_end)
            os.close(read_end)
        return self.display

    def stop(self):
        if self.process is None:
            return
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process = None


# ----------------------------------------------------------- wine prefixes

def _wine_base_env(prefix):
    """The environment scripts/wine-env.sh gives, for `prefix`."""
    script = source_dir() / "scripts" / "wine-env.sh"
    env = dict(os.environ, IMEBASE_WINEPREFIX=str(prefix))
    out = subprocess.run(["bash", "-c", f'source "{script}" && env -0'], env=env,
                         check=True, stdout=subprocess.PIPE).stdout
    result = {}
    for item in out.split(b"\0"):
        if b"=" in item:
            key, _, value = item.partition(b"=")
            result[key.decode()] = value.decode(errors="surrogateescape")
    # Wine turns the Unix command line into UTF-16 with the locale's
    # character set: UTF-8 keeps Chinese arguments whole.
    result["LC_ALL"] = os.environ.get("IMEBASE_E2E_LOCALE", "C.UTF-8")
    # Shortcuts a program creates must not become menu entries of the
    # Linux user running the tests.
    overrides = result.get("WINEDLLOVERRIDES", "")
    result["WINEDLLOVERRIDES"] = (overrides + ";" if overrides else "") + "winemenubuilder.exe=d"
    return result


def ensure_template(graphics="x11", desktop=DEFAULT_DESKTOP, display=None):
    """Creates the template prefix of this build folder once (under a lock:
    test modules may run in parallel) and returns its path."""
    name = f"template-{graphics}" + (f"-{desktop}" if desktop else "")
    template = build_dir() / "e2e" / name
    marker = template / (f".imebase-ready-{graphics}" + (f"-{desktop}" if desktop else ""))
    template.parent.mkdir(parents=True, exist_ok=True)
    with open(template.parent / "template.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        env = _wine_base_env(template)
        # The marker names the kind of Wine that made the prefix (wow64 with
        # wine32 installed, else win64); a template of the other kind no
        # longer starts programs and is made again.
        if marker.is_file() and marker.read_text().strip() == env.get("IMEBASE_WINE_KIND"):
            return template
        # What an interrupted earlier attempt left is started afresh.
        if template.exists():
            subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            shutil.rmtree(template)
        if display:
            env["DISPLAY"] = display
        args = ["bash", str(source_dir() / "scripts" / "wine-prefix.sh"), graphics]
        if desktop:
            args.append(desktop)
        log = template.parent / f"{name}.log"
        with open(log, "wb") as out:
            result = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT, timeout=600)
        subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if result.returncode != 0 or not marker.is_file():
            raise HarnessError(f"template prefix not created; see {log}")
        return template


def _use_graphics_in_copy(prefix, graphics):
    """A copy of the x11 template switched to another driver (`null`) by
    editing its user.reg before any Wine process has read it."""
    user_reg = prefix / "user.reg"
    text = user_reg.read_text(encoding="utf-8", errors="surrogateescape")
    if '"Graphics"="x11"' not in text:
        raise HarnessError("template user.reg has no Graphics value to switch")
    text = text.replace('"Graphics"="x11"', f'"Graphics"="{graphics}"')
    text = text.replace('"Desktop"="Default"\n', "")
    user_reg.write_text(text, encoding="utf-8", errors="surrogateescape")


# ------------------------------------------------------------ registry text

def parse_reg_export(text):
    """Parses regedit's export format into {key path: {value name: value}}.
    The default value's name is "". REG_SZ and REG_EXPAND_SZ give str,
    REG_MULTI_SZ a list of str, REG_DWORD and REG_QWORD int, others bytes."""
    keys = {}
    current = None
    lines = text.replace("\r\n", "\n").split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        i += 1
        while line.endswith("\\") and i < len(lines):   # hex continuation
            line = line[:-1] + lines[i].strip()
            i += 1
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
            continue
        if current is None or not line or line.startswith(";"):
            continue
        name, rest = _reg_name(line)
        if name is not None:
            current[name] = _reg_value(rest)
    return keys


def _reg_name(line):
    if line.startswith("@="):
        return "", line[2:]
    if not line.startswith('"'):
        return None, None
    name, end = _reg_string(line, 0)
    if line[end:end + 1] != "=":
        return None, None
    return name, line[end + 1:]


def _reg_string(line, start):
    """A quoted string with \\\\ and \\" escapes starting at `start`;
    returns the text and the index behind the closing quote."""
    out = []
    i = start + 1
    while i < len(line):
        c = line[i]
        if c == "\\" and i + 1 < len(line):
            nxt = line[i + 1]
            out.append({"n": "\n", "r": "\r", "0": "\0"}.get(nxt, nxt))
            i += 2
        elif c == '"':
            return "".join(out), i + 1
        else:
            out.append(c)
            i += 1
    return "".join(out), i


def _reg_value(rest):
    if rest.startswith('"'):
        return _reg_string(rest, 0)[0]
    if rest.startswith("dword:"):
        return int(rest[6:], 16)
    kind = None
    if rest.startswith("hex:"):
        data = rest[4:]
    elif rest.startswith("hex("):
        kind, _, data = rest[4:].partition("):")
        kind = int(kind, 16)
    else:
        return rest
    raw = bytes(int(b, 16) for b in data.replace(" ", "").split(",") if b)
    if kind in (1, 2):
        return raw.decode("utf-16-le").rstrip("\0")
    if kind == 7:
        return [s for s in raw.decode("utf-16-le").split("\0") if s]
    if kind == 4:
        return struct.unpack("<I", raw)[0]
    if kind == 11:
        return struct.unpack("<Q", raw)[0]
    return raw


# -------------------------------------------------------------- PNG check

def png_info(path):
    """(width, height, number of distinct colours) of an 8-bit RGB or RGBA
    PNG, to prove a screenshot is a picture and not an empty frame."""
    data = Path(path).read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise HarnessError(f"{path} is not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise HarnessError(f"{path}: unsupported PNG layout (depth {depth}, colour {colour})")
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    previous = bytearray(stride)
    colours = set()
    for row in range(height):
        start = row * (stride + 1)
        kind = raw[start]
        line = bytearray(raw[start + 1:start + 1 + stride])
        _unfilter(kind, line, previous, bpp)
        for x in range(0, stride, bpp):
            colours.add(bytes(line[x:x + 3]))
        previous = line
    return width, height, len(colours)


def _unfilter(kind, line, previous, bpp):
    for i in range(len(line)):
        left = line[i - bpp] if i >= bpp else 0
        up = previous[i]
        corner = previous[i - bpp] if i >= bpp else 0
        if kind == 1:
            line[i] = (line[i] + left) & 0xFF
        elif kind == 2:
            line[i] = (line[i] + up) & 0xFF
        elif kind == 3:
            line[i] = (line[i] + ((left + up) >> 1)) & 0xFF
        elif kind == 4:
            p = left + up - corner
            pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
            pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
            line[i] = (line[i] + pred) & 0xFF


def wait_until(condition, timeout=20, what="the condition"):
    """Polls `condition()` every 50 ms until it returns a true value, which
    is returned; fails the test after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"time-out after {timeout} s waiting for {what}")
        time.sleep(0.05)


def unescape_cell(cell):
    """Undoes the driver's escaping of \\t, \\n, \\r and \\\\ in row cells."""
    out, i = [], 0
    while i < len(cell):
        if cell[i] == "\\" and i + 1 < len(cell):
            out.append({"t": "\t", "n": "\n", "r": "\r"}.get(cell[i + 1], cell[i + 1]))
            i += 2
        else:
            out.append(cell[i])
            i += 1
    return "".join(out)


# ----------------------------------------------------------------- session

class Program:
    """A Windows program started without waiting for it."""

    def __init__(self, args, popen, log_path):
        self.args = args
        self.popen = popen
        self.log_path = log_path

    def wait(self, timeout=60):
        """The program's exit code; raises subprocess.TimeoutExpired."""
        return self.popen.wait(timeout)

    def running(self):
        return self.popen.poll() is None

    def output(self):
        """What the program wrote to standard output and error so far."""
        return Path(self.log_path).read_text(encoding="utf-8", errors="replace")

    def kill(self):
        if self.running():
            self.popen.kill()
            self.popen.wait()


class WineSession:
    """One test module's Wine world: Xvfb (for `graphics="x11"`), a fresh
    prefix copied from the template, a wineserver, and helpers."""

    def __init__(self, name, graphics="x11", desktop=DEFAULT_DESKTOP,
                 ui_timeout_ms=DEFAULT_UI_TIMEOUT_MS):
        if graphics not in ("x11", "null"):
            raise HarnessError(f"graphics must be x11 or null, not {graphics}")
        if not re.fullmatch(r"[1-9][0-9]*x[1-9][0-9]*", desktop):
            raise HarnessError(f"desktop size must be WIDTHxHEIGHT, not {desktop}")
        self.name = name
        self.graphics = graphics
        # A null session starts from the same template as an x11 one.
        self.desktop = desktop if graphics == "x11" else DEFAULT_DESKTOP
        self.ui_timeout_ms = ui_timeout_ms
        # The registry view that "reg" reads and writes: the one the build's
        # programs see (32 for the win32 build, 64 for win64).
        self.reg_view = REG_VIEWS[0]
        self.prefix = build_dir() / "e2e" / "prefixes" / name
        self.logs = build_dir() / "e2e" / "logs" / name
        self.uidriver = uidriver_path()
        self.xvfb = None
        self.env = None
        self.programs = []
        self._log_count = 0
        self._failure_count = 0

    # ---- life cycle

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        try:
            width, height = (int(n) for n in self.desktop.split("x"))
            self.xvfb = Xvfb(f"{max(width, 1024)}x{max(height, 768)}x24")
            display = self.xvfb.start()
            template = ensure_template("x11", self.desktop, display)
            if self.prefix.exists():
                self._kill_wineserver()
                shutil.rmtree(self.prefix)
            self.prefix.parent.mkdir(parents=True, exist_ok=True)
            shutil.copytree(template, self.prefix, symlinks=True)
            if self.graphics == "null":
                _use_graphics_in_copy(self.prefix, "null")
                self.xvfb.stop()
                self.xvfb = None
            shutil.rmtree(self.logs, ignore_errors=True)
            self.logs.mkdir(parents=True, exist_ok=True)
            self.env = _wine_base_env(self.prefix)
            if self.xvfb:
                self.env["DISPLAY"] = self.xvfb.display
            else:
                self.env.pop("DISPLAY", None)
            subprocess.run(["wineserver", "-p"], env=self.env, check=True,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            # Wine's services and the desktop start with the first program;
            # started here, with no pipe of a test to hold on to.
            self.run(self.uidriver, "list", timeout=120)
        except BaseException:
            self.stop()
            raise

    def stop(self):
        if self.env is not None:
            self._kill_wineserver()   # ends every Windows process of the prefix
        for program in self.programs:
            try:
                program.wait(10)
            except subprocess.TimeoutExpired:
                program.kill()
        self.programs = []
        if self.xvfb:
            self.xvfb.stop()
            self.xvfb = None
        if self.prefix.exists() and os.environ.get("IMEBASE_E2E_KEEP") != "1":
            shutil.rmtree(self.prefix, ignore_errors=True)

    def _kill_wineserver(self):
        env = self.env or _wine_base_env(self.prefix)
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-k"], env=env, **quiet)
        try:
            subprocess.run(["wineserver", "-w"], env=env, timeout=30, **quiet)
        except subprocess.TimeoutExpired:
            subprocess.run(["wineserver", "-k9"], env=env, **quiet)

    # ---- programs

    def _next_log(self, label):
        self._log_count += 1
        return self.logs / f"{self._log_count:03d}-{Path(str(label)).name}.log"

    def launch(self, exe, *args, cwd=None):
        """Starts a Windows program (a Linux path or a Windows path) and
        returns at once; the session ends it at the latest in stop()."""
        argv = ["wine", str(exe), *[str(a) for a in args]]
        log = self._next_log(exe)
        with open(log, "wb") as out:
            popen = subprocess.Popen(argv, env=self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=subprocess.STDOUT)
        program = Program(argv, popen, log)
        self.programs.append(program)
        return program

    def run(self, exe, *args, timeout=120, cwd=None, view=None):
        """Runs a Windows program to its end: CompletedProcess with text
        stdout and stderr. Output goes through files, not pipes, so that a
        Wine service started on the way can't hold the call open. "reg"
        works in the product's registry view unless `view` names another."""
        argv = ["wine", str(exe), *[str(a) for a in args]]
        if str(exe).lower() == "reg":
            # With wine32 installed a plain "reg" is the 32-bit one, which
            # sees the 32-bit registry view; name the view.
            argv.append(f"/reg:{view or self.reg_view}")
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(argv, env=self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(
                argv, result.returncode, out.read().decode("utf-8", errors="replace"),
                err.read().decode("utf-8", errors="replace"))

    # ---- the UI driver

    def ui_result(self, *args, timeout_ms=None):
        """Runs one uidriver command; CompletedProcess, never raises for a
        failing command."""
        timeout_ms = self.ui_timeout_ms if timeout_ms is None else timeout_ms
        words = [str(a) for a in args]
        return self.run(self.uidriver, "--timeout", str(timeout_ms), *words,
                        timeout=timeout_ms / 1000 + 60)

    def ui(self, *args, timeout_ms=None):
        """Runs one uidriver command and returns its output without the
        final line break; raises DriverError when it fails."""
        result = self.ui_result(*args, timeout_ms=timeout_ms)
        if result.returncode != 0:
            raise DriverError([str(a) for a in args], result.returncode, result.stdout,
                              result.stderr, self._failure_picture())
        out = result.stdout
        return out[:-1] if out.endswith("\n") else out

    def run_to_end(self, exe, arguments="", timeout_ms=120000):
        """Runs a Windows program with `arguments` as its argument string,
        through the UI driver, to its end: (its whole 32-bit exit code, what
        it wrote to standard output and error). wine's own exit status
        keeps only the code's low byte (1603 would read 67)."""
        result = self.run(self.uidriver, "--timeout", str(timeout_ms), "run", "--", str(exe), arguments,
                          timeout=timeout_ms / 1000 + 60)
        lines = result.stdout.rstrip("\n").split("\n")
        if result.returncode != 0 or not lines[-1].startswith("exit "):
            raise DriverError(["run", str(exe), arguments], result.returncode, result.stdout, result.stderr)
        return int(lines[-1][5:]), "\n".join(lines[:-1]) + result.stderr

    def rows(self, window, control, header=False, marks=False, timeout_ms=None):
        """The rows of a list view, list box, combo box or tab control, each
        a list of cells. With `marks`, each row starts with a cell of its
        marks: "selected", "checked"/"unchecked" (comma-joined) or "-"."""
        args = ["rows", window, str(control)] + (["--header"] if header else []) + \
            (["--marks"] if marks else [])
        text = self.ui(*args, timeout_ms=timeout_ms)
        if text == "" and not header:
            return []
        return [[unescape_cell(c) for c in line.split("\t")] for line in text.split("\n")]

    def text(self, window, control=None, timeout_ms=None):
        args = ["text", window] + ([str(control)] if control is not None else [])
        return self.ui(*args, timeout_ms=timeout_ms)

    def state(self, window, control, timeout_ms=None):
        """The control's state words as a set: {"enabled", "visible", ...}."""
        return set(self.ui("state", window, str(control), timeout_ms=timeout_ms).split())

    def progress(self, window, control, timeout_ms=None):
        return int(self.ui("progress", window, str(control), timeout_ms=timeout_ms))

    def msgbox(self, caption, answer=None, timeout_ms=None):
        """Waits for a message box, answers it when `answer` is given
        ("yes", "no", "ok", ...) and returns its text."""
        args = ["msgbox", caption] + (["--answer", answer] if answer else [])
        return self.ui(*args, timeout_ms=timeout_ms)

    def processes(self, exe=None):
        """The prefix's running processes as dicts with pid, parent, path
        and command_line; `exe` ("imesetup.exe") keeps only those."""
        args = ["processes"] + (["--exe", exe] if exe else [])
        text = self.ui(*args)
        result = []
        for line in text.split("\n") if text else []:
            pid, parent, path, command_line = [unescape_cell(c) for c in line.split("\t")]
            result.append({"pid": int(pid), "parent": int(parent), "path": path,
                           "command_line": command_line})
        return result

    # ---- screenshots

    def shot(self, name, window="desktop:", timeout_ms=None):
        """Saves a picture of `window` (default: the whole desktop) as
        build/<preset>/e2e-shots/<session>-<name>.png and returns its path."""
        path = shots_dir() / f"{self.name}-{name}.png"
        if path.exists():
            path.unlink()
        self.ui("screenshot", window, self.to_windows(path), timeout_ms=timeout_ms)
        return path

    def _failure_picture(self):
        """The screen when a driver command failed unexpectedly, for the
        test's failure message; None when no picture can be had."""
        if not self.xvfb:
            return None
        self._failure_count += 1
        try:
            return self.shot_x(f"failure-{self._failure_count}")
        except Exception:
            return None

    def shot_x(self, name):
        """The whole X screen through ImageMagick's `import`, for when the
        driver itself can't be used (a hung program, a failing test)."""
        if not self.xvfb:
            raise HarnessError("no X server in a null-driver session")
        path = shots_dir() / f"{self.name}-{name}.png"
        subprocess.run(["import", "-display", self.xvfb.display, "-window", "root", str(path)],
                       check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        return path

    # ---- paths

    def drive_root(self, letter):
        return Path(os.path.realpath(self.prefix / "dosdevices" / f"{letter.lower()}:"))

    def to_windows(self, path):
        """A Linux path as the programs in the prefix see it: under drive_c
        as C:\\..., anything else through Z: (the Linux root)."""
        real = Path(os.path.realpath(path))
        c_root = self.drive_root("c")
        try:
            rest = real.relative_to(c_root)
            return "C:\\" + str(rest).replace("/", "\\") if str(rest) != "." else "C:\\"
        except ValueError:
            return "Z:" + str(real).replace("/", "\\")

    def to_linux(self, windows_path):
        """A Windows path of the prefix as a Linux path. Each part is
        matched without regard to case, as Windows would."""
        text = str(windows_path).replace("/", "\\")
        if len(text) < 2 or text[1] != ":":
            raise HarnessError(f"not an absolute Windows path: {windows_path}")
        path = self.drive_root(text[0])
        for part in [p for p in text[2:].split("\\") if p]:
            exact = path / part
            if not exact.exists() and path.is_dir():
                match = [c for c in os.listdir(path) if c.lower() == part.lower()]
                if match:
                    exact = path / match[0]
            path = exact
        return path

    # ---- registry

    def reg_export(self, key, view=None):
        """Every key and value under `key` ("HKEY_LOCAL_MACHINE\\Software\\..."
        or "HKLM\\..."), as parse_reg_export gives them; None when the key
        doesn't exist. Goes through reg's own export (UTF-16) in the product's
        registry view, so Chinese names and values arrive whole."""
        key = _full_root(key)
        with tempfile.TemporaryDirectory(dir=self.prefix / "drive_c") as folder:
            target = Path(folder) / "export.reg"
            self.run("reg", "export", key, self.to_windows(target), "/y", timeout=120, view=view)
            if not target.exists():
                return None
            data = target.read_bytes()
        text = data.decode("utf-16") if data[:2] in (b"\xff\xfe", b"\xfe\xff") else \
            data.decode("utf-8", errors="replace")
        return parse_reg_export(text)

    def reg_query(self, key, name="", view=None):
        """One value (name "" is the default value), or None."""
        keys = self.reg_export(key, view)
        if not keys:
            return None
        values = keys.get(_full_root(key))
        if values is None:   # the export spells the key as stored
            wanted = _full_root(key).lower()
            values = next((v for k, v in keys.items() if k.lower() == wanted), {})
        return values.get(name)


_ROOTS = {
    "HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER", "HKCR": "HKEY_CLASSES_ROOT",
    "HKU": "HKEY_USERS", "HKCC": "HKEY_CURRENT_CONFIG",
}


def _full_root(key):
    root, sep, rest = key.replace("/", "\\").partition("\\")
    return _ROOTS.get(root.upper(), root) + sep + rest.rstrip("\\")
