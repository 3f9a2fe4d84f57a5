"""The launcher's JNI launch code against a real Java VM: Debian's OpenJDK
libjvm.so, driven by build/host/tests/realvm/realvm_driver (the same sources
the launcher uses for VM creation, the first-run hook, the launcher class and
the splash poller's calls), with build/zorvo-runtime.jar and the small
applications of tests/realvm/apps.

Every run uses -Xcheck:jni, and any JNI warning fails it."""

import fcntl
import os
import random
import re
import shutil
import subprocess
import threading
import time
import zipfile
from dataclasses import dataclass
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("ZORVO_BUILD", REPO / "build"))
DRIVER = BUILD / "host" / "tests" / "realvm" / "realvm_driver"
RUNTIME_JAR = BUILD / "zorvo-runtime.jar"
HERE = Path(__file__).resolve().parent
# What -Xcheck:jni prints about a misuse (HotSpot writes these to standard output).
JNI_WARNING = re.compile(rb"WARNING in native method|WARNING: JNI|FATAL ERROR in native method")
# Generous: a hang shows as this running out, never as a measured time.
RUN_TIMEOUT = 60


def find_libjvm() -> Path:
    """The JDK's server libjvm.so: the default JDK, else the one javac belongs to."""
    homes = [Path("/usr/lib/jvm/default-java")]
    javac = shutil.which("javac")
    if javac:
        homes.append(Path(javac).resolve().parents[1])
    for home in homes:
        lib = home / "lib" / "server" / "libjvm.so"
        if lib.is_file():
            return lib
    raise AssertionError("no libjvm.so found; install default-jdk-headless (make deps does)")


def javac(sources, out: Path, classpath=None):
    out.mkdir(parents=True, exist_ok=True)
    command = ["javac", "-J-XX:TieredStopAtLevel=1", "--release", "8", "-nowarn", "-d", str(out)]
    if classpath:
        command += ["-cp", str(classpath)]
    subprocess.run(command + [str(s) for s in sources], check=True)
    return out


def jar_without(tmp: Path, *entries) -> Path:
    """A copy of the runtime library without the given class files."""
    out = tmp / ("runtime-without-" + "-".join(Path(e).stem for e in entries) + ".jar")
    with zipfile.ZipFile(RUNTIME_JAR) as src, zipfile.ZipFile(out, "w") as dst:
        for item in src.infolist():
            if item.filename not in entries:
                dst.writestr(item, src.read(item.filename))
    return out


@pytest.fixture(scope="session")
def java(tmp_path_factory):
    """Compiled test applications, stub classes and runtime-library variants."""
    assert DRIVER.exists() and RUNTIME_JAR.exists(), "build first: make"
    tmp = tmp_path_factory.mktemp("realvm")
    stubs = {d.name: javac(sorted(d.rglob("*.java")), tmp / "stubs" / d.name)
             for d in sorted((HERE / "stubs").iterdir())}
    return {
        "libjvm": find_libjvm(),
        "apps": javac(sorted((HERE / "apps").glob("*.java")), tmp / "apps", RUNTIME_JAR),
        "stubs": stubs,
        "no_controller": jar_without(tmp, "com/zorvo/runtime/ZorvoController.class"),
        "no_first_run": jar_without(tmp, "com/quenbrook/runtime/FirstRun.class",
                                    "com/quenbrook/runtime/FirstRun$Hook.class"),
    }


@dataclass
class Run:
    returncode: int
    out: bytes
    err: bytes

    @property
    def lines(self):
        return self.out.decode("latin-1").splitlines()

    def outcome(self):
        return next(line.split(" ", 1)[1] for line in self.lines if line.startswith("outcome "))

    def report(self):
        return next((line.split(" ", 1)[1] for line in self.lines if line.startswith("report ")), None)

    def splash(self):
        return [line for line in self.lines if line.startswith("splash ")]


def fixed(main_class, windowed="true"):
    return [windowed, main_class, "", "", "false"]


def launch(java, arguments, classpath=None, options=(), splash_ms=0, first_run=False, keep_vm=False,
           hand_over=None) -> Run:
    """Runs the driver: the launcher's properties, the class path (the runtime
    library and the test applications unless given), -Xcheck:jni, then
    `options`; fails on any JNI warning and on a run that does not end."""
    classpath = classpath or [RUNTIME_JAR, java["apps"]]
    command = [str(DRIVER), str(java["libjvm"]),
               "--opt", "-Xcheck:jni", "--opt", "-XX:TieredStopAtLevel=1", "--opt", "-Xshare:auto",
               "--opt", "-Djava.class.path=" + os.pathsep.join(str(p) for p in classpath),
               "--opt", "-Dzorvo.moduleName=C:\\apps\\app.exe", "--opt", "-Dzorvo.tempDir="]
    for option in options:
        command += ["--opt", option]
    for argument in arguments:
        command += ["--arg", argument]
    if splash_ms:
        command += ["--splash", str(splash_ms)]
    if first_run:
        command.append("--first-run")
    if keep_vm:
        command.append("--keep-vm")
    if hand_over:
        command += ["--hand-over", str(hand_over)]
    proc = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_TIMEOUT)
    run = Run(proc.returncode, proc.stdout, proc.stderr)
    assert not JNI_WARNING.search(run.out + run.err), (run.out + run.err).decode("latin-1")
    assert run.lines and run.lines[-1] == "end", run
    return run


def units(text):
    """The UTF-16 units an argument must arrive as: a str's own, or one per byte."""
    if isinstance(text, str):
        data = text.encode("utf-16-le", "surrogatepass")
        return ",".join(f"{data[i] | data[i + 1] << 8:04X}" for i in range(0, len(data), 2))
    return ",".join(f"{b:04X}" for b in text)


# --- arguments -------------------------------------------------------------------------------


def test_arguments_arrive_exact_without_a_reference_per_argument(java):
    # UTF-8 arguments arrive as their characters; bytes that are no UTF-8 as
    # the characters of their values.
    unicode = "\u0394\u03bf\u03ba\u03b9\u03bc\u03ae \u20ac.txt \U0001F600"
    high = bytes(range(0x80, 0x100))
    long_arg = b"L" * 9000
    many = [f"a{i}".encode() for i in range(40)]
    run = launch(java, [a.encode() for a in fixed("EchoArgs")] +
                 [unicode.encode(), high, b"", b"two words", long_arg] + many)
    assert run.returncode == 0 and run.outcome() == "Ran"
    args = [line[4:] for line in run.lines if line.startswith("arg ")]
    assert run.lines[0] == f"count {5 + 40}"
    assert args[:4] == [units(unicode), units(high), "", units(b"two words")]
    assert args[4] == units(b"L" * 8192)  # cut to the 8192 units of the conversion
    assert args[5:] == [units(a) for a in many]


# --- hand-overs in single-instance mode ------------------------------------------------------


def append_hand_over(comm: Path, arguments):
    """Appends one hand-over as a later start does: one line, under an exclusive
    lock on the whole file (the Java side locks the same range to read and empty it)."""
    line = " ".join(f'"{a}"' if " " in a else a for a in arguments).encode() + b"\r\n"
    with open(comm, "ab") as f:
        fcntl.lockf(f, fcntl.LOCK_EX)
        f.write(line)
        f.flush()
        fcntl.lockf(f, fcntl.LOCK_UN)


def test_the_listener_gets_each_hand_over_once_in_order_and_never_holds_the_vm(java, tmp_path):
    """Hand-overs written before the listener was set and while it runs, by
    another process that takes the file's lock as a later start does, arrive
    once each, in order, on the listener's daemon thread; once main returns,
    the VM ends although that thread is waiting in the launcher's native wait,
    and its shutdown ends the hand-overs through the launcher's native."""
    comm = tmp_path / "zrv_p1.tmp"
    early = [["early", str(i)] for i in range(3)]
    later = [["later", str(i), "two words"] for i in range(12)]
    comm.write_bytes(b"")
    for arguments in early:
        append_hand_over(comm, arguments)
    pace = random.Random(7)

    def write_later():
        for arguments in later:
            time.sleep(pace.uniform(0, 0.15))
            append_hand_over(comm, arguments)

    writer = threading.Thread(target=write_later)
    writer.start()
    try:
        run = launch(java, fixed("HandOverListener") + [str(len(early) + len(later))], hand_over=comm,
                     options=["-Dzorvo.semaphoreName=C:_apps_app.exe", f"-Dzorvo.processCommFile={comm}"])
    finally:
        writer.join()
    assert (run.returncode, run.outcome()) == (0, "Ran")
    received = [line for line in run.lines if line.startswith("hand-over ")]
    assert received == [f"hand-over [{', '.join(a)}] on zorvo-hand-over (daemon)" for a in early + later]
    assert "received all" in run.lines
    # The VM's shutdown ended the hand-overs: the file is empty but for the closing mark.
    assert "hand-overs stopped" in run.lines
    assert comm.read_bytes() == b"\xc0\x80\r\n"


# --- failures of the launch --------------------------------------------------------------------


@pytest.mark.parametrize("case, expected", [
    ("exception", ("ExceptionEscaped", "1005 =")),
    ("launcher class missing", ("LauncherClassMissing", "1010 %CLASS_NAME%=com.zorvo.runtime.WinLauncher")),
    ("launcher main missing", ("LauncherMainMissing", "1011 %CLASS_NAME%=com.zorvo.runtime.WinLauncher")),
    ("main class missing", ("MainClassMissing", "1010 %CLASS_NAME%=com.example.Missing")),
    ("main method missing", ("MainMethodMissing", "1011 %CLASS_NAME%=NoMain")),
])
def test_failed_launches_are_reported_with_their_message(java, case, expected):
    classpath = {
        "launcher class missing": [java["apps"]],
        "launcher main missing": [java["stubs"]["launcher_without_main"], RUNTIME_JAR, java["apps"]],
    }.get(case)
    main_class = {"exception": "Throwing", "main class missing": "com.example.Missing",
                  "main method missing": "NoMain"}.get(case, "EchoArgs")
    run = launch(java, fixed(main_class), classpath=classpath)
    assert run.returncode == 1
    assert (run.outcome(), run.report()) == expected
    if case == "exception":
        assert b"java.lang.IllegalStateException: thrown by main" in run.err
    if case.startswith("main"):
        # The runtime library says why on standard error, then leaves the report to the launcher.
        assert run.err.startswith(b"zorvo: ") and main_class.encode() in run.err


@pytest.mark.parametrize("answer, outcome, main_called", [
    ("true", "Ran", True),
    ("false", "Ran", False),
    ("throw", "Ran", False),
    ("class missing", "FirstRunClassMissing", False),
    ("method missing", "FirstRunMethodMissing", False),
])
def test_first_run_hook_outcomes(java, answer, outcome, main_called):
    classpath = {
        "class missing": [java["no_first_run"], java["apps"]],
        "method missing": [java["stubs"]["first_run_without_method"], RUNTIME_JAR, java["apps"]],
    }.get(answer)
    run = launch(java, fixed("EchoArgs"), classpath=classpath, first_run=True,
                 options=["-Dzorvo.firstRunHook=FirstRunAnswer", "-Dtest.firstRun=" + answer])
    assert run.outcome() == outcome
    assert ("count 0" in run.lines) == main_called
    if answer == "throw":
        assert b"first-run hook failed" in run.err
    if "missing" in answer:
        assert run.report() == ("1009 %ERROR_CODE%=14" if answer == "class missing" else "1009 %ERROR_CODE%=15")


# --- the end of the VM -------------------------------------------------------------------------


def test_destroying_the_vm_waits_for_the_applications_non_daemon_thread(java):
    run = launch(java, fixed("LateThread") + ["400"])
    assert run.returncode == 0
    assert run.lines.index("main returns") < run.lines.index("app thread ends") < run.lines.index("outcome Ran")


@pytest.mark.parametrize("case", ["controller missing", "splash never closed"])
def test_a_polling_splash_never_keeps_the_vm_alive(java, case):
    """The splash thread polls while the application's last thread runs on
    after main; once it ends, the process ends (before the fix: never)."""
    classpath = [java["no_controller"], java["apps"]] if case == "controller missing" else None
    run = launch(java, fixed("LateThread") + ["600"], classpath=classpath, splash_ms=20)
    assert run.returncode == 0
    assert run.lines.index("app thread ends") < run.lines.index("outcome Ran")
    assert run.splash() == []


# --- the splash poller -------------------------------------------------------------------------


def test_the_splash_shows_the_applications_texts_and_closes_when_told(java):
    run = launch(java, fixed("StatusTexts"), splash_ms=30)
    assert run.returncode == 0
    assert run.splash() == ["splash text " + units("Loading \u00e9t\u00e9".encode("latin-1")),
                            "splash text " + units(b"Ready"), "splash close", "splash detached"]


def test_the_splash_keeps_polling_after_main_returned_while_the_application_runs(java):
    run = launch(java, fixed("LateSplashTalk"), splash_ms=30)
    assert run.returncode == 0
    assert run.splash() == ["splash text " + units(b"Window up"), "splash close", "splash detached"]
    assert run.lines.index("splash detached") < run.lines.index("app thread ends") < run.lines.index("outcome Ran")


def test_a_throwing_controller_call_is_described_and_polling_goes_on(java):
    classpath = [java["stubs"]["throwing_controller"], RUNTIME_JAR, java["apps"]]
    run = launch(java, fixed("Sleeper") + ["900"], classpath=classpath, splash_ms=30)
    assert run.returncode == 0
    assert run.splash() == ["splash text " + units(b"after"), "splash close", "splash detached"]
    assert run.err.count(b"java.lang.IllegalStateException: getAction failed") == 1
    assert run.err.count(b"java.lang.IllegalStateException: getText failed") == 1
