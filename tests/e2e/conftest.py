"""End-to-end harness: launchers stamped with zorvo-build, run under Wine.

The host may run no 32-bit programs (tools/wine_host.py): there every
program is started through Wine's 64-bit loader, the helper programs are the
64-bit ones, a test of the 32-bit launcher is skipped ("this host runs no
32-bit programs") and every other test runs with the 64-bit launcher.

Fixtures:
  arch       the launcher under test: ARCHES["win32"] (build/win32, the
             default where the host runs 32-bit programs) or ARCHES["win64"]
             (build/win64); a test runs for both with @BOTH_ARCHES. Each
             brings its launcher and its test doubles.
  wine       headless Wine prefix of the test's architecture (32-bit, or a
             64-bit one, which runs 32-bit programs too), fresh for each test
             session under build/e2e/ with a persistent wineserver, booted on
             first use; `wine.run(exe, args)` runs a Windows program.
  display    session-wide Xvfb display for windows that must be seen; a test
             that asks for it and finds no Xvfb fails (never skips).
  wine_x     a prefix of the test's architecture bound to that display
             (run_windowed uses it).
  make_app   stamps the test's launcher from a config (dict or text) into the
             test's own temporary directory and returns its path.
  stamp_raw  copies the test's generic launcher and appends raw bytes (for
             blocks the build tool would never write).
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tools"))
import wine_host  # noqa: E402

# ZORVO_BUILD points the tests at another build tree (default: build/).
BUILD = Path(os.environ.get("ZORVO_BUILD", REPO / "build"))
TOOL = BUILD / "host" / "zorvo-build"
E2E_DIR = BUILD / "e2e"


@dataclass(frozen=True)
class Arch:
    """One of the two generic launchers and what runs beside it."""
    name: str          # "win32", "win64": also the Wine prefix's architecture
    launcher: Path
    testvm: Path       # test doubles of a runtime of this architecture
    machine: int       # PE machine type

    def __str__(self):
        return self.name


ARCHES = {
    "win32": Arch("win32", BUILD / "win32" / "launcher.exe", BUILD / "win32" / "testvm", 0x014C),
    "win64": Arch("win64", BUILD / "win64" / "launcher.exe", BUILD / "win64" / "testvm", 0x8664),
}
# Found out once per session (or handed down by the test runner).
HOST_32BIT, _ = wine_host.settle()
# The launcher of tests that name none.
DEFAULT_ARCH = "win32" if HOST_32BIT else "win64"
# Runs a test once for each launcher, in a prefix of its architecture.
BOTH_ARCHES = pytest.mark.parametrize("arch", ["win32", "win64"], indirect=True)
# A test that needs a 32-bit program whatever its launcher.
NEEDS_32BIT = pytest.mark.skipif(not HOST_32BIT, reason=wine_host.NO_32BIT)
# The helper programs: 32-bit ones run in either prefix where the host runs
# them; elsewhere the 64-bit ones, in the 64-bit prefix.
TESTVM = ARCHES[DEFAULT_ARCH].testvm

BLOCK_MAGIC = 0xE8E413D5
WINE64 = wine_host.WINE64


@dataclass
class RunResult:
    returncode: int
    stdout: bytes
    stderr: bytes

    @property
    def out(self) -> str:
        return self.stdout.decode("cp1252", "replace")

    @property
    def err(self) -> str:
        return self.stderr.decode("cp1252", "replace")


def to_windows_path(path) -> str:
    """The Z: drive path under which Wine sees a Linux path."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def run_to_end(command, env, cwd, timeout, wait=None) -> RunResult:
    """Runs a command until the process ends and returns what it wrote;
    `wait(proc)`, when given, waits for the end instead of a plain wait. The
    output goes through files, not pipes: a Wine system process started on
    demand inherits the handles of the program that caused it, and would hold
    a pipe open long after that program has ended (and a long trace would
    fill a pipe that is read only at the end)."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.Popen(command, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        try:
            if wait:
                wait(proc)
            else:
                proc.wait(timeout=timeout)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait(timeout=30)
        out.seek(0)
        err.seek(0)
        return RunResult(proc.returncode, out.read(), err.read())


class Wine:
    """A Wine prefix of its own. Wine's desktop process, started once per
    prefix, decides whether windows can be shown at all, so a prefix is either
    headless (message boxes return at once) or bound to a display."""

    def __init__(self, prefix: Path, display=None, arch="win32"):
        self.prefix = prefix
        self.display = display
        self.arch = arch
        # The host's JAVA_HOME would be a place the launchers' default search looks.
        self.env = {
            k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "JAVA_HOME")
        }
        self.env.update(
            WINEPREFIX=str(prefix),
            WINEARCH=arch,
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml=",
            LANG="C.UTF-8",
        )
        if display is not None:
            self.env["DISPLAY"] = display.name

    def environment(self, extra=None, debug=None):
        env = dict(self.env)
        if debug:
            env["WINEDEBUG"] = debug
        for k, v in (extra or {}).items():
            if v is None:
                env.pop(k, None)
            else:
                env[k] = v
        return env

    def loader(self, exe) -> str:
        """The Wine loader for a program: `wine64` for a 64-bit program (and
        the prefix's own tools in a 64-bit prefix), so that the process is the
        one started (the 32-bit `wine` would start a second process for a
        64-bit program, whose windows then carry another process id)."""
        path = Path(str(exe))
        is64 = wine_host.is_64bit_program(path) if path.is_file() else self.arch == "win64"
        if not is64 and not HOST_32BIT:
            raise AssertionError(f"{exe} is a 32-bit program and {wine_host.NO_32BIT}")
        return wine_host.loader(is64)

    def command(self, exe, args=()):
        return wine_host.NO_RANDOMIZE + [self.loader(exe), str(exe), *[str(a) for a in args]]

    def run(self, exe, args=(), env=None, timeout=60, cwd=None, debug=None) -> RunResult:
        """Runs a Windows program to its end; its exit code comes back as wine's."""
        return run_to_end(self.command(exe, args), self.environment(env, debug), cwd or Path(exe).parent, timeout)

    def start(self, exe, args=(), env=None, cwd=None, debug=None) -> subprocess.Popen:
        """Starts a Windows program in the background (for window tests)."""
        return subprocess.Popen(
            self.command(exe, args),
            env=self.environment(env, debug),
            cwd=cwd or Path(exe).parent,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
        )

    def unix_path(self, windows_path: str) -> Path:
        """The Linux path of a C: or Z: path of this prefix."""
        drive, rest = windows_path[0].lower(), windows_path[2:].replace("\\", "/").lstrip("/")
        if drive == "z":
            return Path("/") / rest
        if drive == "c":
            return self.prefix / "drive_c" / rest
        raise AssertionError(f"no Linux path for {windows_path}")

    def reg(self, *args, check=True) -> RunResult:
        """`reg` of the prefix; in a 64-bit prefix the 64-bit one, which sees
        the native view of the registry."""
        proc = run_to_end(self.command("reg", args), self.env, None, 60)
        if check and proc.returncode != 0:
            raise AssertionError(f"wine reg {' '.join(args)} failed (exit {proc.returncode}): {proc.stdout!r} {proc.stderr!r}")
        return proc

    def reg_values(self, key):
        """The values of a registry key as {name: data}, None when the key is
        missing. String data is unescaped; other kinds keep their exported text
        (dword:..., hex:...). Read through `reg export`, which, unlike
        `reg query`, also shows empty strings faithfully."""
        out = self.prefix / f"export-{os.getpid()}.reg"
        proc = self.reg("export", key, to_windows_path(out), "/y", check=False)
        if proc.returncode != 0 or not out.exists():
            return None
        text = out.read_bytes().decode("utf-16")
        out.unlink()
        values = {}
        for line in text.splitlines():
            if not line.startswith('"'):
                continue
            name_end = line.index('"=', 1)
            name, data = line[1:name_end], line[name_end + 2:]
            if data.startswith('"') and data.endswith('"'):
                data = data[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            values[name] = data
        return values

    def reg_query(self, key, value):
        """The data of one registry value, or None when it does not exist."""
        values = self.reg_values(key)
        return None if values is None else values.get(value)

    def reg_add(self, key, value, data, kind="REG_SZ"):
        self.reg("add", key, "/v", value, "/t", kind, "/d", data, "/f")

    def reg_delete(self, key, value=None):
        args = ["delete", key] + (["/v", value] if value is not None else []) + ["/f"]
        self.reg(*args, check=False)


def boot_prefix(name: str, display=None, arch="win32"):
    """A fresh prefix (one per test session, so two sessions never share one)."""
    prefix = E2E_DIR / f"{name}-{os.getpid()}"
    shutil.rmtree(prefix, ignore_errors=True)
    prefix.parent.mkdir(parents=True, exist_ok=True)
    w = Wine(prefix, display, arch)
    quiet = dict(env=w.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The persistent server is started first, so that it is the one every
    # program of the session uses: a server started by wineboot would end a few
    # seconds after its last program, and each later start would pay for a new one.
    prefix.mkdir()
    wine_host.run_checked(["wineserver", "-p"], w.env, "starting the wineserver", timeout=60)
    wine_host.run_checked(w.command("wineboot", ["-i"]), w.env, f"creating the Wine prefix {prefix}")
    # Wine starts its system processes on demand, and they inherit the standard
    # handles of the program that caused it. Start them now, with no pipe to
    # hold open, so that a test's captured output ends when its program does.
    subprocess.run(w.command("cmd", ["/c", "exit"]), timeout=120, **quiet)
    return w


def shut_down_prefix(w: Wine):
    subprocess.run(["wineserver", "-k"], env=w.env, capture_output=True, timeout=60)
    subprocess.run(["wineserver", "-w"], env=w.env, capture_output=True, timeout=60)
    shutil.rmtree(w.prefix, ignore_errors=True)


def pytest_configure(config):
    """The tests' directories live below build/e2e/tmp (see tmp_path)."""
    if not config.option.basetemp:
        config.option.basetemp = str(E2E_DIR / "tmp")
        # pytest makes the base directory itself, not its parents: on a fresh
        # clone a test that needs no Wine prefix may come first.
        E2E_DIR.mkdir(parents=True, exist_ok=True)


@pytest.fixture
def tmp_path(tmp_path_factory):
    """The test's own directory: build/e2e/tmp/tN. Every name on that path is a
    valid short (8.3) name of its own. Wine makes the short name of a longer
    name from a hash, and two such names in one directory may get the same
    one, which then names the first of them (Windows keeps them apart): with
    hundreds of test directories side by side, a launcher that uses short
    paths would now and then reach into another test's directory."""
    return tmp_path_factory.mktemp("t", numbered=True)


@pytest.fixture
def arch(request) -> Arch:
    """The launcher under test: DEFAULT_ARCH unless parametrized; the 32-bit
    one is skipped where the host runs no 32-bit programs."""
    name = getattr(request, "param", DEFAULT_ARCH)
    if name == "win32" and not HOST_32BIT:
        pytest.skip(wine_host.NO_32BIT)
    return ARCHES[name]


class Prefixes:
    """The session's prefixes, each booted when a test first needs it: headless
    or bound to the display, 32-bit or 64-bit."""

    def __init__(self):
        self.booted = {}

    def get(self, arch: Arch, display=None) -> Wine:
        key = (arch.name, display is not None)
        if key not in self.booted:
            name = ("prefix" if arch.name == "win32" else "prefix64") + ("-x" if display else "")
            self.booted[key] = boot_prefix(name, display, arch.name)
        return self.booted[key]

    def shut_down(self):
        for w in self.booted.values():
            shut_down_prefix(w)


@pytest.fixture(scope="session")
def prefixes():
    pool = Prefixes()
    yield pool
    pool.shut_down()


@pytest.fixture
def wine(prefixes, arch):
    """Headless prefix: no window is ever shown, a message box returns at once."""
    return prefixes.get(arch)


@pytest.fixture
def wine_x(prefixes, arch, display):
    """Prefix bound to the virtual display: windows and message boxes are real."""
    return prefixes.get(arch, display)


class Display:
    def __init__(self, name: str):
        self.name = name

    def xdotool(self, *args, check=False) -> subprocess.CompletedProcess:
        return subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": self.name},
                              capture_output=True, text=True, timeout=30)

    def find_windows(self, name_regex: str, timeout=20.0):
        """Ids of visible windows whose title matches, waiting until one exists."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            proc = self.xdotool("search", "--onlyvisible", "--name", name_regex)
            ids = proc.stdout.split()
            if ids:
                return ids
            time.sleep(0.1)
        return []

    def window_name(self, window_id: str):
        """The window's title; None when the window is gone (Wine withdraws a
        closed window only after a while, so a search may still list it)."""
        result = self.xdotool("getwindowname", window_id)
        return result.stdout.rstrip("\n") if result.returncode == 0 else None

    def press_return(self, window_id: str):
        self.xdotool("windowfocus", "--sync", window_id)
        self.xdotool("key", "--window", window_id, "Return")

    def screenshot(self, path: Path):
        subprocess.run(["import", "-display", self.name, "-window", "root", str(path)],
                       check=True, timeout=30, capture_output=True)


@pytest.fixture(scope="session")
def display():
    if not shutil.which("Xvfb"):
        pytest.fail("Xvfb is not installed: window tests need a virtual display")
    number = 91
    while Path(f"/tmp/.X{number}-lock").exists():
        number += 1
    name = f":{number}"
    proc = subprocess.Popen(["Xvfb", name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 15
    while not Path(f"/tmp/.X11-unix/X{number}").exists():
        if proc.poll() is not None or time.monotonic() > deadline:
            pytest.fail(f"Xvfb did not start on {name}")
        time.sleep(0.05)
    yield Display(name)
    proc.send_signal(signal.SIGTERM)
    proc.wait(timeout=10)


class Utf8(str):
    """A configuration value written as UTF-8 text (a message, a version
    text); other values are code-page bytes, one character each."""


def conf_escape(value) -> str:
    """A value written the way zorvo-build reads it (C-style escapes); a
    character from 0x80 to 0xFF is that code-page byte, except in a Utf8
    value, whose text stands in the file (written in Latin-1) as UTF-8."""
    if isinstance(value, int):
        return str(value)
    utf8 = isinstance(value, Utf8)
    out = []
    for ch in value.encode("utf-8").decode("latin-1") if utf8 else value:
        if ch == "\\":
            out.append("\\\\")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\t":
            out.append("\\t")
        elif ord(ch) < 0x20 or ch == "#" or (ord(ch) >= 0x80 and not utf8):
            out.append(f"\\x{ord(ch):02X}")
        else:
            out.append(ch)
    text = "".join(out)
    # Leading and trailing blanks would be taken for layout.
    if text[:1] == " ":
        text = "\\x20" + text[1:]
    if text[-1:] == " ":
        text = text[:-1] + "\\x20"
    return text


def config_text(config) -> str:
    if isinstance(config, str):
        return config
    lines = []
    for key, value in config.items():
        values = value if isinstance(value, list) else [value]
        for v in values:
            lines.append(f"{key} = {conf_escape(v)}")
    return "\n".join(lines) + "\n"


def run_tool(*args) -> subprocess.CompletedProcess:
    return subprocess.run([str(TOOL), *[str(a) for a in args]], capture_output=True, timeout=120,
                          stdin=subprocess.DEVNULL)


@pytest.fixture
def make_app(tmp_path, arch):
    """make_app(config, name="app.exe", subdir=None, raw=None) -> path of the stamped
    launcher; `raw` bytes are appended behind the block as they stand."""

    def make(config, name="app.exe", subdir=None, raw=None):
        target_dir = tmp_path / subdir if subdir else tmp_path
        target_dir.mkdir(parents=True, exist_ok=True)
        conf = tmp_path / (Path(name).stem + ".conf")
        conf.write_text(config_text(config), encoding="latin-1")
        out = target_dir / name
        extra = []
        if raw is not None:
            raw_file = tmp_path / (Path(name).stem + ".raw")
            raw_file.write_bytes(raw)
            extra = ["--append-raw", raw_file]
        proc = run_tool("--launcher", arch.launcher, "--config", conf, "--out", out, *extra)
        assert proc.returncode == 0, proc.stderr.decode()
        return out

    return make


@pytest.fixture
def stamp_raw(tmp_path, arch):
    """stamp_raw(block_bytes, name="raw.exe") -> generic launcher with raw bytes appended."""

    def stamp(block: bytes, name="raw.exe"):
        out = tmp_path / name
        out.write_bytes(arch.launcher.read_bytes() + block)
        return out

    return stamp


def decode_wine_debugstr(body: str) -> str:
    """The text of a Wine trace string L"..." (escapes \\r \\n \\t \\\\ \\" and \\HHHH)."""
    out, i = [], 0
    simple = {"r": "\r", "n": "\n", "t": "\t", "\\": "\\", '"': '"'}
    while i < len(body):
        ch = body[i]
        if ch == "\\" and i + 1 < len(body):
            nxt = body[i + 1]
            if nxt in simple:
                out.append(simple[nxt])
                i += 2
                continue
            hexpart = body[i + 1:i + 5]
            if len(hexpart) == 4 and all(c in "0123456789abcdefABCDEF" for c in hexpart):
                out.append(chr(int(hexpart, 16)))
                i += 5
                continue
        out.append(ch)
        i += 1
    return "".join(out)


def message_box_texts(stderr: bytes):
    """Texts of the message boxes traced by WINEDEBUG=trace+msgbox, in order.
    A text Wine shortened in its trace ends with '...'."""
    texts = []
    for line in stderr.decode("utf-8", "replace").splitlines():
        marker = "trace:msgbox:MSGBOX_OnInit L\""
        at = line.find(marker)
        if at < 0:
            continue
        body = line[at + len(marker):]
        cut = body.endswith('"...')
        body = body[:-4] if cut else body[:-1] if body.endswith('"') else body
        texts.append(decode_wine_debugstr(body) + ("..." if cut else ""))
    return texts


@dataclass
class WindowedRun:
    returncode: int
    captions: list  # window titles of the message boxes, in the order they appeared
    texts: list     # their texts, from Wine's message-box trace
    stderr: bytes
    stdout: bytes


def watch_windows(display, proc, exe, timeout, dismiss):
    """Captions of the windows the process shows until it ends, each answered
    with Return when `dismiss` is true; a callable `dismiss(window_id, caption)`
    answers each window itself, once it shows its title."""
    captions, seen = [], set()
    # A window seen before Wine has set its title shows an empty one at first:
    # its caption is taken for empty until the same window shows a title.
    untitled = {}
    deadline = time.monotonic() + timeout
    try:
        while proc.poll() is None and time.monotonic() < deadline:
            ids = display.xdotool("search", "--onlyvisible", "--pid", str(proc.pid)).stdout.split()
            for wid in ids:
                # Wine may give a later window the X window of an earlier one.
                name = display.window_name(wid)
                if name is None or (wid, name) in seen:
                    continue
                seen.add((wid, name))
                if name and wid in untitled:
                    captions[untitled.pop(wid)] = name
                else:
                    if not name:
                        untitled[wid] = len(captions)
                    captions.append(name)
                if callable(dismiss):
                    if name:
                        dismiss(wid, name)
                elif dismiss:
                    display.xdotool("key", "--window", wid, "Return")
            time.sleep(0.1)
        if proc.poll() is None:
            raise AssertionError(f"{exe} did not end within {timeout} s (windows seen: {captions})")
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait(timeout=30)
    return captions


def run_windowed(wine_x, exe, args=(), env=None, timeout=60, dismiss=True, debug="-all,trace+msgbox") -> WindowedRun:
    """Runs a launcher on the virtual display, answers each window it shows with
    Return (message boxes end that way) or through `dismiss` (see watch_windows),
    and returns the captions of the windows
    and the texts of the boxes (`debug` must keep trace+msgbox) and the exit code."""
    captions = []
    result = run_to_end(wine_x.command(exe, args), wine_x.environment(env, debug), Path(exe).parent, timeout,
                        wait=lambda proc: captions.extend(watch_windows(wine_x.display, proc, exe, timeout, dismiss)))
    return WindowedRun(result.returncode, captions, message_box_texts(result.stderr), result.stderr, result.stdout)
