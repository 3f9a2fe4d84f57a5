"""A whole launch under Wine: a stamped launcher finds the test runtime laid
out beside it, creates the Java VM in its own process and calls the launcher
class. The jvm.dll double logs every JNI call byte for byte, so the tests
assert the exact VM options, the exact arguments of main and the calls made,
together with the exit code and the message on standard error.

Every launcher is started through the starter with an exact command line
(Wine's own argument passing would re-quote it and mangle bytes above 127).
Console application type throughout: messages arrive on standard error as
"text\\n", with short message texts so that they can be compared exactly."""

import itertools
import json
import re
import shutil
import subprocess
import time
from pathlib import Path

import pytest

from conftest import BOTH_ARCHES, TESTVM, RunResult, run_windowed, to_windows_path

LAUNCHER_CLASS = "com/zorvo/runtime/WinLauncher"
FIRST_RUN_CLASS = "com/quenbrook/runtime/FirstRun"
MAIN_SIG = "([Ljava/lang/String;)V"
JNI_VERSION_1_2 = 0x00010002

MESSAGES = {
    "msg-no-jvm": "NO-JVM",
    "msg-jvm-start-failed": "START-FAILED",
    "msg-file-not-found": "NOT-FOUND %FILE_NAME%",
    "msg-wrong-parameter": "WRONG-PARAMETER",
    "msg-env-var-undefined": "UNDEFINED %ENV_VAR_NAME%",
    "msg-internal-error": "INTERNAL %ERROR_CODE%",
    "msg-main-class-not-found": "NO-CLASS %CLASS_NAME%",
    "msg-main-method-not-found": "NO-MAIN %CLASS_NAME%",
}
BASE_CONFIG = {"app-type": 0, "main-class": "com.example.Main", "jvm-search-sequence": "Rjre", **MESSAGES}
# The fixed arguments of main for BASE_CONFIG.
FIXED = ["false", "com.example.Main", "", "", "false"]

# Numbers the command-line files and logs of all runs of a test apart.
RUN_NUMBERS = itertools.count()

# Records of the double that mean the launcher misused JNI or the script.
MISUSE = ("violation", "unimplemented", "script_error")


def lay_out_runtime(directory: Path, testvm: Path = TESTVM):
    """The test runtime that the search item "Rjre" finds beside a launcher,
    made of the test doubles in `testvm` (its architecture)."""
    bin_dir = directory / "jre" / "bin"
    (bin_dir / "client").mkdir(parents=True, exist_ok=True)
    for name in ("java.exe", "javaw.exe"):
        shutil.copy(testvm / name, bin_dir / name)
    (bin_dir / "version.txt").write_bytes(b'java version "1.8.0_202"\r\n')
    shutil.copy(testvm / "jvm.dll", bin_dir / "client" / "jvm.dll")


def latin1(text) -> bytes:
    return text if isinstance(text, bytes) else text.encode("latin-1")


class Launch:
    """One run of a launcher: exit code, output, and what the doubles logged."""

    def __init__(self, result, log_path: Path):
        self.returncode = result.returncode
        self.stdout = result.stdout
        self.stderr = result.stderr
        lines = log_path.read_text(encoding="ascii").splitlines() if log_path.exists() else []
        self.records = [json.loads(line) for line in lines]
        self.jvm = [r for r in self.records if r["src"] == "jvm"]
        misuse = [r for r in self.jvm if r["call"] in MISUSE]
        assert not misuse, f"the launcher misused the VM: {misuse}"

    def calls(self, call):
        return [r for r in self.jvm if r["call"] == call]

    def one(self, call):
        found = self.calls(call)
        assert len(found) == 1, f"expected one {call!r} record, got {found}"
        return found[0]

    @property
    def sequence(self):
        return [r["call"] for r in self.jvm]

    @property
    def pid(self) -> int:
        return self.one("JNI_CreateJavaVM")["pid"]

    @property
    def options(self):
        return self.one("JNI_CreateJavaVM")["options"]

    def options_after_class_path(self):
        at = [i for i, o in enumerate(self.options) if o.startswith("-Djava.class.path=")]
        assert len(at) == 1, self.options
        return self.options[at[0] + 1:]

    @property
    def class_path(self) -> str:
        found = [o for o in self.options if o.startswith("-Djava.class.path=")]
        assert len(found) == 1, self.options
        return found[0]

    @property
    def main_args(self):
        """The arguments main received, or None when it was not called."""
        found = self.calls("main")
        assert len(found) <= 1
        return found[0]["args"] if found else None

    @property
    def app_args(self):
        """The arguments behind the five fixed ones."""
        assert self.main_args is not None, self.sequence
        return self.main_args[5:]

    def found_classes(self):
        return [r["name"] for r in self.calls("FindClass")]


class App:
    """A stamped launcher with a test runtime beside it."""

    def __init__(self, wine, exe: Path, work: Path):
        self.wine = wine
        self.exe = exe
        self.dir = exe.parent
        self.work = work

    def next_file(self, stem, suffix):
        return self.work / f"{stem}-{next(RUN_NUMBERS)}{suffix}"

    def command_line(self, tail, exe_path=None) -> bytes:
        line = b'"' + latin1(exe_path or to_windows_path(self.exe)) + b'"'
        tail = latin1(tail)
        return line + (b" " + tail if tail else b"")

    def starter_args(self, tail, exe_path=None):
        """The starter's arguments for this command line: its bytes as given
        (Latin-1 for a str), or, when a text holds characters beyond Latin-1,
        its UTF-8 started wide."""
        cmd_file = self.next_file("cmdline", ".txt")
        texts = [t for t in (tail, exe_path or to_windows_path(self.exe)) if isinstance(t, str)]
        if all(t.isascii() or max(map(ord, t)) < 0x100 for t in texts):
            cmd_file.write_bytes(self.command_line(tail, exe_path))
            return ["--cmdline-file", to_windows_path(cmd_file)]
        line = f'"{exe_path or to_windows_path(self.exe)}"' + (f" {tail}" if tail else "")
        cmd_file.write_bytes(line.encode("utf-8", "surrogatepass"))
        return ["--utf8", "--cmdline-file", to_windows_path(cmd_file)]

    def log_env(self, env):
        log = self.next_file("vm", ".jsonl")
        return log, {"ZORVO_TESTVM_LOG": str(log), **(env or {})}

    def run(self, tail="", env=None, exe_path=None, timeout=60) -> Launch:
        """Runs the launcher with exactly this text behind the program name."""
        log, env = self.log_env(env)
        result = self.wine.run(TESTVM / "starter.exe", self.starter_args(tail, exe_path), env=env,
                               cwd=self.dir, timeout=timeout)
        return Launch(result, log)


class Running:
    """A launcher started in the background whose main blocks until a release
    file exists. Its output goes to files: a Wine system process that the
    launcher's first window starts inherits its handles, and would hold a pipe
    open. Started through the starter (with `show`: that show command), or by
    Wine directly with `direct`, so that the process is the one whose windows
    the display knows."""

    def __init__(self, app, release, tail="", env=None, show=None, debug=None, direct=False):
        self.app = app
        self.release = release
        self.log, env = app.log_env({"ZORVO_TESTVM_MAIN_WAIT_FILE": str(release), **(env or {})})
        self.out = self.log.with_suffix(".out")
        self.err = self.log.with_suffix(".err")
        if direct:
            assert not tail and show is None, "a direct start has no exact command line or show command"
            command = app.wine.command(app.exe)
        else:
            show_args = ["--show", str(show)] if show is not None else []
            command = app.wine.command(TESTVM / "starter.exe", show_args + app.starter_args(tail))
        with open(self.out, "wb") as out, open(self.err, "wb") as err:
            self.proc = subprocess.Popen(command, env=app.wine.environment(env, debug), cwd=app.dir,
                                         stdin=subprocess.DEVNULL, stdout=out, stderr=err)

    def launch(self) -> Launch:
        """What the VM double has logged so far."""
        return Launch(RunResult(0, b"", b""), self.log)

    def wait_until(self, what, check, timeout=60.0):
        """Waits until check() gives something true, and gives that."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                value = check()
            except ValueError:  # a log record being written
                value = None
            if value:
                return value
            if self.proc.poll() is not None:
                raise AssertionError(f"ended with {self.proc.returncode} before {what}: {self.err.read_bytes()[-2000:]!r}")
            time.sleep(0.05)
        raise AssertionError(f"no {what} within {timeout} s")

    def wait_for_all(self, call, count=1, timeout=60.0, **fields):
        """Waits until the VM double logged `count` such calls (with these field
        values); gives their records."""
        def found():
            records = [r for r in self.launch().calls(call) if all(r.get(k) == v for k, v in fields.items())]
            return records if len(records) >= count else None
        return self.wait_until(f"{count} {call} {fields}", found, timeout)

    def wait_for(self, call, timeout=60.0, **fields):
        """Waits until the VM double logged this call; gives its first record."""
        return self.wait_for_all(call, 1, timeout, **fields)[0]

    def finish(self) -> Launch:
        self.release.touch()
        self.proc.wait(timeout=60)
        return Launch(RunResult(self.proc.returncode, self.out.read_bytes(), self.err.read_bytes()), self.log)

    def stop(self):
        self.release.touch()
        try:
            self.proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise


@pytest.fixture
def launcher(wine, make_app, tmp_path, arch):
    """launcher(config, name=, subdir=, prefix=) -> App: BASE_CONFIG with `config`
    over it (a None value removes a key), stamped and given a test runtime of
    the test's architecture; run in the headless prefix unless another is given."""

    def make(config=None, name="app.exe", subdir=None, prefix=None):
        merged = {**BASE_CONFIG, **(config or {})}
        exe = make_app({k: v for k, v in merged.items() if v is not None}, name=name, subdir=subdir)
        lay_out_runtime(exe.parent, arch.testvm)
        return App(prefix or wine, exe, tmp_path)

    return make


def short_dir(wine, directory: Path) -> str:
    """The directory as the launcher names its own: short form (as cmd reports
    it), lower case, with a trailing backslash. cmd shortens every component
    but the last, so it is asked about an entry inside the directory."""
    entries = sorted(directory.iterdir())
    assert entries, directory
    batch = wine.prefix / "drive_c" / "shortdir.bat"
    batch.write_bytes(b'@for %%I in ("' + latin1(to_windows_path(entries[0])) + b'") do @echo %%~sI\r\n')
    result = wine.run("cmd", ["/c", "C:\\shortdir.bat"], cwd=directory)
    lines = result.stdout.decode("latin-1").splitlines()
    assert result.returncode == 0 and len(lines) == 1, result
    return lines[0].strip().rsplit("\\", 1)[0].lower() + "\\"


@pytest.fixture
def user_temp(wine):
    """The user's temporary directory with its trailing backslash (asked once per prefix)."""
    if not hasattr(wine, "user_temp"):
        result = wine.run("cmd", ["/c", "echo", "%TEMP%"], cwd="/")
        temp = result.stdout.decode("latin-1").strip()
        assert re.fullmatch(r"C:\\users\\[^\\]+\\Temp", temp, re.IGNORECASE), temp
        wine.user_temp = temp + "\\"
    return wine.user_temp


# --- the whole launch -------------------------------------------------------------


@BOTH_ARCHES
def test_a_launch_without_arguments_calls_main_with_the_five_fixed_arguments(launcher, user_temp):
    app = launcher()
    run = app.run()
    assert (run.returncode, run.stderr, run.stdout) == (0, b"", b"")
    create = run.one("JNI_CreateJavaVM")
    assert create["version"] == JNI_VERSION_1_2
    assert create["ignoreUnrecognized"] is True
    assert create["result"] == 0
    assert create["nOptions"] == len(create["options"]) == 4
    assert create["extraInfo"] == [0, 0, 0, 0]
    # Without single-instance mode the module name comes first; no embedded
    # files: an empty temporary directory; nothing configured: an empty class path.
    assert run.options == [
        f"-Dzorvo.moduleName={to_windows_path(app.exe)}",
        f"-Dzorvo.processCommFile={user_temp}zrv_p{run.pid}.tmp",
        "-Dzorvo.tempDir=",
        '-Djava.class.path=";"',
    ]
    assert run.found_classes() == [LAUNCHER_CLASS, "java/lang/String"]
    # main, and after it returned the question whether the application could start.
    methods = [(m["class"], m["name"], m["sig"], m["found"]) for m in run.calls("GetStaticMethodID")]
    assert methods == [(LAUNCHER_CLASS, "main", MAIN_SIG, True), (LAUNCHER_CLASS, "startFailure", "()I", True)]
    array = run.one("NewObjectArray")
    assert (array["length"], array["elementClass"], array["init"]) == (5, "java/lang/String", None)
    assert run.main_args == FIXED
    call = run.one("CallStaticVoidMethod")
    assert (call["class"], call["method"], call["exception"]) == (LAUNCHER_CLASS, "main", None)
    assert "classMismatch" not in call
    assert run.one("CallStaticIntMethod")["result"] == 0
    # The VM is destroyed last, on the creating thread, after main returned.
    assert run.one("DestroyJavaVM")["onCreatorThread"] is True
    assert run.sequence[-1] == "DestroyJavaVM"


@BOTH_ARCHES
def test_the_vm_is_destroyed_only_after_the_applications_last_thread(launcher):
    run = launcher().run(env={"ZORVO_TESTVM_MAIN_THREAD_MS": "1500"})
    assert (run.returncode, run.stderr) == (0, b"")
    assert run.sequence[-2:] == ["app_thread_end", "DestroyJavaVM"]
    assert run.one("DestroyJavaVM")["waitedMs"] >= 1000


@pytest.mark.parametrize("arch", ["win64"], indirect=True)
def test_an_exception_raised_in_the_vm_walks_through_the_launchers_frames(launcher):
    """Code of the VM on the launcher's main thread raises an exception that
    only the thread's top-level filter handles: the system's dispatch unwinds
    through the launcher's own frames, which needs their unwind information.
    A stack walk from the same place reaches the thread's start through known
    code only (without the information it strays into stack garbage)."""
    app = launcher()
    run = app.run(env={"ZORVO_TESTVM_MAIN_RAISE": "1"})
    assert (run.returncode, run.stderr) == (0, b"")
    raised = run.one("main_raised")
    assert raised["filterCalls"] == 1
    walked = raised["walkedModules"]
    assert "kernel32.dll" in walked, walked
    to_start = walked[:walked.index("kernel32.dll")]
    assert "?" not in to_start, walked
    assert app.exe.name in to_start and to_start[0] == "jvm.dll", walked


# --- the VM option list -------------------------------------------------------------

VMOPTIONS_FILE = (b"-Dfile.first=1\r\n"
                  b"\r\n"
                  b"  -Dblanks=kept  \r\n"
                  b"-Dexe=%ZORVO_EXEDIR%\r\n"
                  b"\"-Dquoted=verbatim\" 'x y'\r\n"
                  b"-Dtab\tinside\n"
                  b"-Dcaf\xe9\r\n"
                  b"last-without-line-end")
VMOPTIONS_LINES = ["-Dfile.first=1", "", "  -Dblanks=kept  ", "-Dexe=%ZORVO_EXEDIR%", "\"-Dquoted=verbatim\" 'x y'",
                   "-Dtab\tinside", "-Dcaf\xe9", "last-without-line-end"]


@BOTH_ARCHES
def test_the_option_list_in_its_fixed_order(launcher, tmp_path, wine, user_temp):
    bundle = tmp_path / "bundle.jar"
    bundle.write_bytes(b"PK\x03\x04 embedded archive")
    # A long executable name: its short alias must not name the options file.
    app = launcher({
        "vm-options": '-Xmx64m "-Dquoted=a b" -Dlast',
        "allow-j-options": 1,
        "class-path": "A0lib\\app.jar;D0classes",
        "embed": [str(bundle)],
    }, name="My Application.exe", subdir="dir with blanks")
    (app.dir / "My Application.exe.vmoptions").write_bytes(VMOPTIONS_FILE)
    run = app.run('-J-Xss2m -J"-Dj.opt=x y" app1 -J-Dlate')
    assert (run.returncode, run.stderr) == (0, b"")

    temp_dir = run.options[2][len("-Dzorvo.tempDir="):]
    assert re.fullmatch(re.escape(user_temp) + r"zrv[^\\]+\.tmp_dir\d+", temp_dir), temp_dir
    assert (wine.unix_path(temp_dir) / "bundle.jar").read_bytes() == bundle.read_bytes()
    exe_dir = short_dir(wine, app.dir)
    assert run.options == [
        f"-Dzorvo.moduleName={to_windows_path(app.exe)}",
        f"-Dzorvo.processCommFile={user_temp}zrv_p{run.pid}.tmp",
        f"-Dzorvo.tempDir={temp_dir}",
        *VMOPTIONS_LINES,
        f'-Djava.class.path=";{temp_dir}\\bundle.jar;{exe_dir}lib\\app.jar;{exe_dir}classes;"',
        "-Xmx64m", "-Dquoted=a b", "-Dlast",
        "-Xss2m", "-Dj.opt=x y",
    ]
    assert run.one("JNI_CreateJavaVM")["nOptions"] == len(run.options)
    assert run.app_args == ["app1", "-J-Dlate"]


@pytest.mark.parametrize("content, expected", [
    (b"", []),
    (b"\r\n", [""]),
    (b"\n\n", ["", ""]),
    (b"-Da\r\r\n-Db\n", ["-Da", "-Db"]),
    (b"mid\rdle\r\n", ["mid\rdle"]),
    (b"x" * 9000 + b"\r\n-Dnext", ["x" * 8191, "x" * 809, "-Dnext"]),
], ids=["empty-file", "one-empty-line", "two-empty-lines", "trailing-returns", "inner-return", "long-line"])
def test_options_file_lines_become_options_verbatim(launcher, content, expected):
    app = launcher()
    (app.dir / "app.exe.vmoptions").write_bytes(content)
    run = app.run()
    assert run.returncode == 0
    assert run.options[3:-1] == expected
    assert run.options[-1] == '-Djava.class.path=";"'


@pytest.mark.parametrize("vm_options, expected", [
    ("", []),
    ('"-Dfirst=1" "-Dsecond=2"', ["-Dfirst=1", "-Dsecond=2"]),
    ("-Xmx1g  -Dx=y ", ["-Xmx1g", "-Dx=y"]),
    ("'-Dsingle=a \"b\"' -Dz", ['-Dsingle=a "b"', "-Dz"]),
    ('"-Dq=1"-Dnext', ["-Dq=1", "-Dnext"]),
    ("-Da\t-Db", ["-Da\t-Db"]),
    ("-Dcaf\xe9=\xff", ["-Dcaf\xe9=\xff"]),
], ids=["empty", "two-quoted", "blanks", "single-quoted", "quote-then-text", "tab-is-no-separator", "high-bytes"])
def test_configured_vm_options_are_split_behind_the_class_path(launcher, vm_options, expected):
    run = launcher({"vm-options": vm_options}).run("-J-Dnot=taken")
    assert run.returncode == 0
    assert run.options_after_class_path() == expected
    assert run.app_args == ["-J-Dnot=taken"]


@pytest.mark.parametrize("tail, options, arguments", [
    ("-J-Xmx64m -J-Dp=1 w1 w2", ["-Xmx64m", "-Dp=1"], ["w1", "w2"]),
    ("-J-Xmx64m  -J-Dp=1 w1", ["-Xmx64m"], ["-J-Dp=1", "w1"]),
    ("w1 -J-Dp=1", [], ["w1", "-J-Dp=1"]),
    ("-J -J-Da w1", ["-Da"], ["w1"]),
    ("-J w1", [], ["w1"]),
    ("-J-Da -J", ["-Da", ""], []),
    ('-J"-Dq=a b" w1', ["-Dq=a b"], ["w1"]),
    ("-J'-Dq=a b' w1", ["-Dq=a b"], ["w1"]),
    ('-J"-Da" -J-Db w1', ["-Da", "-Db"], ["w1"]),
    ('-J"-Da"  -J-Db w1', ["-Da"], ["-J-Db", "w1"]),
    ("-j-Dlower", [], ["-j-Dlower"]),
], ids=["two-then-words", "two-blanks-end-the-run", "word-first", "bare-J-then-J", "bare-J-then-word",
        "J-at-the-end", "double-quoted", "single-quoted", "quoted-then-J", "quoted-then-two-blanks", "lower-case-j"])
def test_leading_j_arguments_become_vm_options(launcher, tail, options, arguments):
    run = launcher({"vm-options": "-Dconfigured", "allow-j-options": 1}).run(tail)
    assert run.returncode == 0
    assert run.options_after_class_path() == ["-Dconfigured"] + options
    assert run.app_args == arguments


def test_j_arguments_belong_to_the_application_unless_allowed(launcher):
    run = launcher({"allow-j-options": 0}).run("-J-Xmx64m w1")
    assert run.options_after_class_path() == []
    assert run.app_args == ["-J-Xmx64m", "w1"]


# --- variable substitution ---------------------------------------------------------

PLACEHOLDERS = ("%ZORVO_EXEDIR%lib ${QUENBROOK_EXEDIR} %QUENBROOK_EXEDIR%x ${ZORVO_EXEDIR}y "
                "a%ZORVO_PATHLIST_SEPARATOR%b%QUENBROOK_PATHLIST_SEPARATOR%c${ZORVO_PATHLIST_SEPARATOR}"
                "d${QUENBROOK_PATHLIST_SEPARATOR}e "
                "t1%ZORVO_TEMPDIR%t2${ZORVO_TEMPDIR}t3%QUENBROOK_TEMPDIR%t4${QUENBROOK_TEMPDIR}t5 "
                "${ZV_Mixed} ${ZV_MIXED} ${zv_mixed} %ZV_Mixed% ${ZV_UNDEFINED} ${ZV_Mixed %ZORVO_exedir% "
                "${ZV_TWO}")
SUBSTITUTED = ["{exe}lib", "{exe}", "{exe}x", "{exe}y", "a;b;c;d;e", "t1t2t3t4t5",
               "v\xe9", "v\xe9", "${zv_mixed}", "%ZV_Mixed%", "${ZV_UNDEFINED}", "${ZV_Mixed", "%ZORVO_exedir%",
               "two", "words"]
SUBSTITUTION_ENV = {"ZV_Mixed": "v\xe9", "ZV_TWO": "two words"}


@pytest.mark.parametrize("entry", ["vm-options", "app-arguments"])
def test_configured_options_and_arguments_are_substituted_then_split(launcher, wine, entry):
    app = launcher({entry: PLACEHOLDERS}, subdir="substitution dir")
    run = app.run(env=SUBSTITUTION_ENV)
    assert (run.returncode, run.stderr) == (0, b"")
    exe_dir = short_dir(wine, app.dir)
    expected = [s.replace("{exe}", exe_dir) for s in SUBSTITUTED]
    got = run.options_after_class_path() if entry == "vm-options" else run.app_args
    assert got == expected


def test_temporary_directory_placeholders_name_the_extraction_directory(launcher, tmp_path):
    bundle = tmp_path / "bundle.jar"
    bundle.write_bytes(b"PK")
    app = launcher({"app-arguments": "%ZORVO_TEMPDIR%\\bundle.jar ${QUENBROOK_TEMPDIR}",
                    "vm-options": "-Dtemp=${ZORVO_TEMPDIR}", "embed": [str(bundle)]})
    run = app.run()
    temp_dir = run.options[2][len("-Dzorvo.tempDir="):]
    assert temp_dir
    assert run.options_after_class_path() == [f"-Dtemp={temp_dir}"]
    assert run.app_args == [f"{temp_dir}\\bundle.jar", temp_dir]


@pytest.mark.parametrize("filler, substituted", [(4190, True), (4191, False)], ids=["fits", "one-too-long"])
def test_a_substitution_that_would_not_fit_leaves_the_text_unchanged(launcher, filler, substituted):
    # The separator placeholder shrinks the text first; the variable would then
    # make it exactly 8191 characters long, or one longer than fits.
    value = "v" * 4000
    text = "%ZORVO_PATHLIST_SEPARATOR%" + "x" * filler + "${ZV_BIG}"
    run = launcher({"app-arguments": text}).run("after", env={"ZV_BIG": value})
    assert (run.returncode, run.stderr) == (0, b"")
    if substituted:
        assert run.app_args == [";" + "x" * filler + value, "after"]
        assert len(run.app_args[0]) == 8191
    else:
        assert run.app_args == [";" + "x" * filler + "${ZV_BIG}", "after"]


# --- the class path -----------------------------------------------------------------


def scanned_dir(app, name="libs"):
    libs = app.dir / name
    libs.mkdir()
    for file in ("a.zip", "z.jar", "notes.txt", "jar"):
        (libs / file).write_bytes(b"PK")
    return libs


@pytest.mark.parametrize("entries, env, elements", [
    ("", {}, []),
    (";;A0lib\\a.jar;;D0classes;", {}, ["{exe}lib\\a.jar", "{exe}classes"]),
    ("A0Lib\\Mixed.JAR;A0..\\up\\.\\x.jar;A0lib\\\\\\double.jar", {},
     ["{exe}Lib\\Mixed.JAR", "{exe}..\\up\\.\\x.jar", "{exe}lib\\double.jar"]),
    ("A0C:\\Abs\\Where.jar;D0\\\\server\\share\\dir", {}, ["C:\\Abs\\Where.jar", "\\\\server\\share\\dir"]),
    ("S0libs;A0after.jar", {}, ["{exe}libs\\z.jar", "{exe}libs\\a.zip", "{exe}after.jar"]),
    ("S0missing;S1empty", {}, []),
    ("E0ZV_CP;E0ZV_QUOTED;E0ZV_ENDS;E0ZV_UNDEFINED;E1ZV_CP", {
        "ZV_CP": "C:\\one.jar", "ZV_QUOTED": '"C:\\two words.jar;C:\\three.jar"', "ZV_ENDS": "rel\\four.jar;"},
     ["C:\\one.jar", "C:\\two words.jar", "C:\\three.jar", "rel\\four.jar", "C:\\one.jar"]),
    ("A0%ZORVO_EXEDIR%sub\\x.jar;A0${ZV_LONGER}\\y.jar;A0after.jar", {"ZV_LONGER": "a-much-longer-directory-name"},
     ["{exe}sub\\x.jar", "{exe}a-much-longer-directory-name\\y.jar", "{exe}after.jar"]),
    ("X0unknown.jar;A0;A0kept.jar", {}, ["{exe}", "{exe}kept.jar"]),
], ids=["empty", "empty-pieces", "case-and-dots-kept", "absolute", "scanned-jar-then-zip",
        "optional-missing-and-empty-dir", "environment", "substituted", "unknown-letter-and-empty-path"])
def test_class_path_elements(launcher, wine, entries, env, elements):
    # Under its id: how the launcher reads items, those the build tool refuses included.
    app = launcher({"121": entries}, subdir="class path")
    scanned_dir(app)
    (app.dir / "empty").mkdir()
    run = app.run(env=env)
    assert (run.returncode, run.stderr) == (0, b"")
    exe_dir = short_dir(wine, app.dir)
    expected = "".join(e.format(exe=exe_dir) + ";" for e in elements)
    assert run.class_path == f'-Djava.class.path=";{expected}"'


def test_class_path_keeps_growing_beyond_the_text_bound(launcher):
    env = {f"ZV_PART{i}": f"C:\\part{i}\\" + chr(ord("a") + i) * 3000 + ".jar" for i in range(4)}
    run = launcher({"class-path": ";".join(f"E1ZV_PART{i}" for i in range(4))}).run(env=env)
    assert (run.returncode, run.stderr) == (0, b"")
    expected = '-Djava.class.path=";' + "".join(v + ";" for v in env.values()) + '"'
    assert len(expected) > 12000
    assert run.class_path == expected


def test_archives_of_the_extraction_directory_come_first(launcher, wine, tmp_path):
    embedded = []
    for name in ("first.zip", "second.jar", "readme.txt"):
        embedded.append(tmp_path / name)
        embedded[-1].write_bytes(b"PK")
    app = launcher({"class-path": "A0own.jar", "product-flavour": "i", "installer-dir": "Setup Dir",
                    "embed": [str(f) for f in embedded]}, subdir="installer")
    run = app.run()
    assert (run.returncode, run.stderr) == (0, b"")
    temp_dir = run.options[2][len("-Dzorvo.tempDir="):]
    exe_dir = short_dir(wine, app.dir)
    # The runtime archive of the installer flavour: full path, lower case,
    # whether or not it exists.
    assert run.class_path == (f'-Djava.class.path=";{temp_dir}\\second.jar;{temp_dir}\\first.zip;'
                              f'{exe_dir}setup dir\\.quenbrook\\qbkruntime.jar;{exe_dir}own.jar;"')


@pytest.mark.parametrize("flavour, installer_dir, runtime_jar", [
    ("e", None, None),
    ("x", None, None),
    ("i", None, "{exe_no_slash}\\.quenbrook\\qbkruntime.jar"),
    ("i", ".", "{exe_no_slash}\\.quenbrook\\qbkruntime.jar"),
    ("i", "Setup\\..\\Other Dir", "{exe}other dir\\.quenbrook\\qbkruntime.jar"),
    ("i", "C:\\Program Files\\Quenbrook", "c:\\program files\\quenbrook\\.quenbrook\\qbkruntime.jar"),
], ids=["launcher-flavour", "other-letter", "installer-default-dir", "installer-dot", "installer-relative",
        "installer-absolute"])
def test_the_runtime_archive_only_in_the_installer_flavour(launcher, wine, flavour, installer_dir, runtime_jar):
    # Under its id: the build tool refuses letters other than e and i.
    app = launcher({"2001": flavour, "installer-dir": installer_dir})
    run = app.run()
    assert run.returncode == 0
    exe_dir = short_dir(wine, app.dir)
    element = "" if runtime_jar is None else (
        runtime_jar.format(exe=exe_dir, exe_no_slash=exe_dir.rstrip("\\")) + ";")
    assert run.class_path == f'-Djava.class.path=";{element}"'


@pytest.mark.parametrize("entries, env, message", [
    ("A0present.jar;A1missing\\x.jar;A0never.jar", {}, "NOT-FOUND missing\\x.jar"),
    ("D1${ZV_SUB}\\gone", {"ZV_SUB": "sub"}, "NOT-FOUND sub\\gone"),
    ("A1%ZORVO_PATHLIST_SEPARATOR%C:\\nowhere.jar", {}, "NOT-FOUND ;C:\\nowhere.jar"),
    ("S1no-such-dir", {}, "NOT-FOUND no-such-dir"),
    ("E1ZV_NOT_DEFINED", {}, "UNDEFINED ZV_NOT_DEFINED"),
    ("E1${ZV_NAME}", {"ZV_NAME": "ZV_NAMED_BY_A_VARIABLE"}, "UNDEFINED ZV_NAMED_BY_A_VARIABLE"),
], ids=["archive", "directory-named-after-substitution", "substituted-separator", "scanned", "variable",
        "variable-name-substituted"])
def test_a_missing_mandatory_class_path_entry_ends_the_launch(launcher, entries, env, message):
    app = launcher({"class-path": entries})
    (app.dir / "present.jar").write_bytes(b"PK")
    run = app.run(env=env)
    assert (run.returncode, run.stderr) == (1, message.encode("latin-1") + b"\n")
    assert run.calls("JNI_CreateJavaVM") == []


def test_present_mandatory_entries_are_accepted(launcher, wine):
    app = launcher({"class-path": "A1lib\\a.jar;D1classes;S1empty;E1ZV_CP"})
    (app.dir / "lib").mkdir()
    (app.dir / "lib" / "a.jar").write_bytes(b"PK")
    (app.dir / "classes").mkdir()
    (app.dir / "empty").mkdir()
    run = app.run(env={"ZV_CP": "C:\\x.jar"})
    assert (run.returncode, run.stderr) == (0, b"")
    exe_dir = short_dir(wine, app.dir)
    assert run.class_path == f'-Djava.class.path=";{exe_dir}lib\\a.jar;{exe_dir}classes;C:\\x.jar;"'


# --- the arguments of main ------------------------------------------------------------


@BOTH_ARCHES
@pytest.mark.parametrize("config, fixed", [
    ({"app-type": ""}, ["false", "com.example.Main", "", "", "false"]),
    ({"app-type": 1}, ["true", "com.example.Main", "", "", "false"]),
    ({"app-type": 5}, ["false", "com.example.Main", "", "", "false"]),
    ({"main-class": "org.example.app.Main$Inner", "fifth-argument": 1},
     ["false", "org.example.app.Main$Inner", "", "", "true"]),
    ({"main-class": "", "fifth-argument": 7}, ["false", "", "", "", "true"]),
    ({"pass-file1": 0, "file1": "data\\one.txt", "pass-file2": 0, "file2": "C:\\two.txt"},
     ["false", "com.example.Main", "", "", "false"]),
    ({"pass-file1": 1, "file1": "Data\\My File.TXT", "pass-file2": 2, "file2": "C:\\Abs\\File.Cfg"},
     ["false", "com.example.Main", "{exe}Data\\My File.TXT", "C:\\Abs\\File.Cfg", "false"]),
    ({"pass-file1": 1, "file1": "..\\Up\\.\\X.txt", "pass-file2": 1, "file2": ""},
     ["false", "com.example.Main", "{parent}Up\\X.txt", "{exe}", "false"]),
], ids=["type-empty", "windowed", "type-5", "dotted-class-and-fifth", "empty-class-and-fifth", "files-not-passed",
        "files-passed-case-kept", "files-normalised"])
def test_the_five_fixed_arguments(launcher, wine, config, fixed):
    app = launcher(config, subdir="Fixed Args")
    run = app.run()
    assert (run.returncode, run.stderr) == (0, b"")
    exe_dir = short_dir(wine, app.dir)
    names = {"exe": exe_dir, "exe_no_slash": exe_dir.rstrip("\\"),
             "parent": exe_dir.rstrip("\\").rsplit("\\", 1)[0] + "\\"}
    assert run.main_args == [f.format(**names) for f in fixed]


def test_configured_arguments_are_substituted_the_command_line_is_not(launcher, wine):
    app = launcher({"app-arguments": "-exe=%ZORVO_EXEDIR% \"two words\" ${ZV_VALUE} %PATH% caf\xe9"})
    run = app.run("%ZORVO_EXEDIR% ${ZV_VALUE} 'single q' %ZORVO_PATHLIST_SEPARATOR%",
                  env={"ZV_VALUE": "value"})
    assert (run.returncode, run.stderr) == (0, b"")
    exe_dir = short_dir(wine, app.dir)
    assert run.main_args == FIXED + [f"-exe={exe_dir}", "two words", "value", "%PATH%", "caf\xe9",
                                     "%ZORVO_EXEDIR%", "${ZV_VALUE}", "single q", "%ZORVO_PATHLIST_SEPARATOR%"]


@BOTH_ARCHES
def test_bytes_above_127_arrive_as_the_code_pages_characters(launcher):
    # The command line and the fixed arguments are code-page bytes (cp1252 here): 0x80 is the
    # euro sign, the five bytes cp1252 leaves undefined stand for the control of the same value.
    def cp1252(text):
        return "".join(chr(b) if b in (0x81, 0x8D, 0x8F, 0x90, 0x9D) else bytes([b]).decode("cp1252")
                       for b in text.encode("latin-1"))
    high = bytes(range(0x80, 0x100)).decode("latin-1")
    run = launcher({"app-arguments": "fixed\x80\xe9"}).run(f'caf\xe9 "\xa0 {high[:40]}" {high[40:]}')
    assert (run.returncode, run.stderr) == (0, b"")
    main = run.one("main")
    expected = [cp1252(arg) for arg in ["fixed\x80\xe9", "caf\xe9", "\xa0 " + high[:40], high[40:]]]
    assert main["argsUnits"][5:] == [[ord(c) for c in arg] for arg in expected]


@BOTH_ARCHES
@pytest.mark.parametrize("length", [8192, 8193, 9000])
def test_an_argument_beyond_8192_characters_arrives_cut(launcher, length):
    long_arg = "".join(chr(ord("a") + i % 26) for i in range(length))
    run = launcher().run(f"first {long_arg} last")
    assert (run.returncode, run.stderr) == (0, b"")
    assert run.app_args == ["first", long_arg[:8192], "last"]


# --- failures -------------------------------------------------------------------------


@pytest.mark.parametrize("config, tail, created", [
    # The configured texts under their ids: the build tool refuses an unbalanced quote.
    ({"123": '-Dok "-Dopen'}, "", False),
    ({"123": "-Dok '-Dopen"}, "", False),
    ({"allow-j-options": 1}, '-J"-Dopen w1', False),
    ({"124": 'ok "open'}, "", True),
    ({}, "w1 'open", True),
    ({}, 'w1 "open\'', True),
], ids=["vm-options-double", "vm-options-single", "j-option", "app-arguments", "command-line-single",
        "command-line-other-quote"])
def test_an_unbalanced_quote_ends_with_wrong_parameter(launcher, config, tail, created):
    run = launcher(config).run(tail)
    assert (run.returncode, run.stderr) == (1, b"WRONG-PARAMETER\n")
    assert bool(run.calls("JNI_CreateJavaVM")) == created
    assert run.main_args is None


@BOTH_ARCHES
@pytest.mark.parametrize("env, stderr, found_classes, main_called", [
    ({"ZORVO_TESTVM_CREATE_RESULT": "-1"}, b"START-FAILED\n", [], False),
    ({"ZORVO_TESTVM_MISSING": LAUNCHER_CLASS}, b"NO-CLASS com.zorvo.runtime.WinLauncher\n", [LAUNCHER_CLASS], False),
    ({"ZORVO_TESTVM_MISSING": LAUNCHER_CLASS + ".main"}, b"NO-MAIN com.zorvo.runtime.WinLauncher\n", [LAUNCHER_CLASS],
     False),
    # The exception is printed, then the start failure is reported.
    ({"ZORVO_TESTVM_MAIN_THROW": "boom"},
     b'Exception in thread "main" java.lang.RuntimeException: boom\n'
     b"\tat com.zorvo.runtime.WinLauncher.main(WinLauncher.java)\n"
     b"START-FAILED\n", [LAUNCHER_CLASS, "java/lang/String"], True),
], ids=["creation-fails", "launcher-class-missing", "main-missing", "main-throws"])
def test_vm_failures_end_with_their_message(launcher, env, stderr, found_classes, main_called):
    run = launcher().run("w1", env=env)
    assert (run.returncode, run.stderr) == (1, stderr)
    assert run.found_classes() == found_classes
    assert (run.main_args is not None) == main_called
    # A VM whose main failed is not destroyed.
    assert run.calls("DestroyJavaVM") == []


@BOTH_ARCHES
@pytest.mark.parametrize("missing, reason, message", [
    ("com/example/Main", b"main class com.example.Main not found", b"NO-CLASS com.example.Main"),
    ("com/example/Main.main", b"class com.example.Main has no method public static void main(String[])",
     b"NO-MAIN com.example.Main"),
], ids=["class", "method"])
def test_an_application_main_class_that_cannot_start_is_reported_by_name(launcher, missing, reason, message):
    """The launcher class finds no usable main class: it says why on standard
    error and returns; the launcher reports it with its own message."""
    run = launcher().run(env={"ZORVO_TESTVM_MISSING": missing})
    assert (run.returncode, run.stderr) == (1, b"zorvo: " + reason + b"\n" + message + b"\n")
    assert run.one("CallStaticIntMethod")["method"] == "startFailure"
    assert run.calls("DestroyJavaVM") == []


def test_a_windowed_application_without_its_main_class_shows_a_box_naming_it(launcher, wine_x):
    app = launcher({"app-type": 1, "msg-caption": "Sample App"}, prefix=wine_x)
    run = run_windowed(wine_x, app.exe, env={"ZORVO_TESTVM_MISSING": "com/example/Main"})
    assert (run.returncode, run.captions, run.texts) == (1, ["Sample App"], ["NO-CLASS com.example.Main"])


# --- the first-run hook -----------------------------------------------------------


def make_marker(directory: Path, as_directory=False):
    folder = directory / ".quenbrook"
    folder.mkdir(parents=True, exist_ok=True)
    marker = folder / "firstrun"
    if as_directory:
        marker.mkdir()
    else:
        marker.write_bytes(b"")
    return marker


@BOTH_ARCHES
@pytest.mark.parametrize("answer, main_called, described", [
    ("true", True, False),
    ("false", False, False),
    ("throw", False, True),
], ids=["start", "do-not-start", "throws"])
def test_first_run_hook_decides_whether_main_runs(launcher, answer, main_called, described):
    app = launcher({"product-flavour": "i"})
    marker = make_marker(app.dir)
    run = app.run("w1", env={"ZORVO_TESTVM_FIRSTRUN": answer})
    assert run.returncode == 0
    hook = run.one("CallStaticBooleanMethod")
    assert (hook["class"], hook["method"], hook["sig"]) == (FIRST_RUN_CLASS, "firstRun", "()Z")
    # The hook runs before the launcher class is even looked up.
    assert run.found_classes()[0] == FIRST_RUN_CLASS
    assert (run.main_args is not None) == main_called
    if main_called:
        assert run.app_args == ["w1"]
    if described:
        assert run.stderr == (b'Exception in thread "main" java.lang.IllegalStateException: scripted firstRun failure\n'
                              b"\tat com.quenbrook.runtime.FirstRun.firstRun(FirstRun.java)\n")
        assert run.one("ExceptionDescribe")["exception"] == "java.lang.IllegalStateException"
    else:
        assert run.stderr == b""
        assert run.calls("ExceptionDescribe") == []
    # Whatever the hook says, a VM that ran is destroyed, and the marker stays.
    assert run.sequence[-1] == "DestroyJavaVM"
    assert marker.exists()


@pytest.mark.parametrize("missing, message", [
    (FIRST_RUN_CLASS, b"INTERNAL 14\n"),
    (FIRST_RUN_CLASS + ".firstRun", b"INTERNAL 15\n"),
], ids=["class-missing", "method-missing"])
def test_a_missing_first_run_hook_is_an_internal_error(launcher, missing, message):
    app = launcher({"product-flavour": "i"})
    make_marker(app.dir)
    run = app.run(env={"ZORVO_TESTVM_MISSING": missing})
    assert (run.returncode, run.stderr) == (1, message)
    assert run.main_args is None
    assert run.calls("DestroyJavaVM") == []


@pytest.mark.parametrize("flavour, installer_dir, marker_in, asked", [
    ("e", None, ".", False),
    ("i", None, None, False),
    ("i", "setup", ".", False),
    ("i", "setup", "setup", True),
    ("i", ".", "dir:.", True),
], ids=["launcher-flavour", "no-marker", "marker-beside-exe-but-dir-elsewhere", "marker-in-installer-dir",
        "marker-is-a-directory"])
def test_first_run_hook_only_with_the_installer_flavour_and_its_marker(launcher, flavour, installer_dir,
                                                                       marker_in, asked):
    app = launcher({"product-flavour": flavour, "installer-dir": installer_dir})
    if marker_in is not None:
        as_directory = marker_in.startswith("dir:")
        make_marker(app.dir / marker_in.removeprefix("dir:"), as_directory=as_directory)
    # Were the hook asked, it would keep main from running.
    run = app.run(env={"ZORVO_TESTVM_FIRSTRUN": "false"})
    assert (run.returncode, run.stderr) == (0, b"")
    assert (FIRST_RUN_CLASS in run.found_classes()) == asked
    assert (run.main_args is None) == asked
