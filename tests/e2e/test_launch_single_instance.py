"""Single-instance mode under Wine: the first start of an executable records
its process id per user and runs; a second start of the same executable while
the first runs brings the first's windows to the front, appends its argument
string to the first's process-communication file, signals it and ends with
exit code 0 without loading a VM; one that finds no running first instance
runs on its own.

A first instance is kept running by the VM double: its main blocks until a
release file exists (and shows a window when the test asks for one)."""

import re
import subprocess
import time

import pytest

from conftest import BOTH_ARCHES, TESTVM, to_windows_path
from test_launch import FIXED, Running, launcher, short_dir, user_temp  # noqa: F401 (fixtures)

PIDS_KEY = r"HKCU\SOFTWARE\tallgrass-works\zorvo\pids"
SINGLE = {"single-instance": 1}


@pytest.fixture
def running(tmp_path):
    """running(app, tail=, env=) -> Running, waiting in main; every instance
    started here is released (and waited for) when the test ends."""
    started = []

    def start(app, tail="", env=None):
        instance = Running(app, tmp_path / f"release-{len(started)}", tail, env)
        started.append(instance)
        instance.wait_for("main")
        return instance

    yield start
    for instance in started:
        if instance.proc.poll() is None:
            instance.stop()


def value_name(wine, app) -> str:
    """The executable's short, lower-case path (the executables here have 8.3 names)."""
    assert re.fullmatch(r"[a-z0-9]{1,8}\.exe", app.exe.name), app.exe.name
    return short_dir(wine, app.dir) + app.exe.name


def registered(wine):
    """The values of the instance key as {executable path: data}."""
    return {name.replace("\\\\", "\\"): data for name, data in (wine.reg_values(PIDS_KEY) or {}).items()}


def start_helper(wine, program, args, out, ready: bytes):
    """Starts a helper program with its output going to the file `out` and
    waits until that output holds `ready`; gives the process."""
    with open(out, "wb") as stdout:
        helper = subprocess.Popen(wine.command(program, args), env=wine.environment(), stdin=subprocess.DEVNULL,
                                  stdout=stdout, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while ready not in out.read_bytes():
        if helper.poll() is not None or time.monotonic() > deadline:
            helper.kill()
            raise AssertionError(f"{program.name} did not get ready: {out.read_bytes()!r}")
        time.sleep(0.05)
    return helper


def semaphore_option(name) -> str:
    return "-Dzorvo.semaphoreName=" + name.replace("\\", "_")


def comm_file(wine, user_temp, pid):
    return wine.unix_path(f"{user_temp}zrv_p{pid}.tmp")


@BOTH_ARCHES
def test_a_first_start_registers_its_pid_and_names_its_semaphore(launcher, wine):
    app = launcher(SINGLE, subdir="Single Instance Dir")
    name = value_name(wine, app)
    wine.reg_delete(PIDS_KEY, name)
    first = app.run("w1")
    assert (first.returncode, first.stderr) == (0, b"")
    assert first.options[0] == semaphore_option(name)
    assert first.options[1].startswith("-Dzorvo.moduleName=")
    assert first.app_args == ["w1"]
    assert registered(wine)[name] == f"dword:{first.pid:08x}"
    # Once the first instance has ended, the next start is a first instance again.
    again = app.run()
    assert (again.returncode, again.main_args) == (0, FIXED)
    assert again.pid != first.pid
    assert registered(wine)[name] == f"dword:{again.pid:08x}"


@BOTH_ARCHES
@pytest.mark.parametrize("tail, through_short_path", [
    ('alpha "beta gamma"  caf\xe9 %ZORVO_EXEDIR% -J-Dx', False),
    ('"\u0394\u03bf\u03ba\u03b9\u03bc\u03ae \u20ac.txt" \u4e2d\u6587 \U0001F600', False),
    ("", False),
    ("from the short path", True),
], ids=["arguments", "beyond-the-code-page", "no-arguments", "short-path"])
def test_a_second_start_leaves_its_arguments_to_the_running_instance(launcher, wine, running, user_temp, tail,
                                                                     through_short_path):
    app = launcher({**SINGLE, "allow-j-options": 1}, subdir="Two Starts")
    first = running(app, "first")
    pid = first.wait_for("JNI_CreateJavaVM")["pid"]
    target = comm_file(wine, user_temp, pid)
    assert first.wait_for("JNI_CreateJavaVM")["options"][2] == f"-Dzorvo.processCommFile={user_temp}zrv_p{pid}.tmp"
    # The first instance made its file, empty, and bound the listener's wait.
    assert target.read_bytes() == b""
    assert first.wait_for("RegisterNatives", **{"class": "com/zorvo/runtime/HandOvers"})["result"] == 0
    second = app.run(tail, exe_path=value_name(wine, app) if through_short_path else None)
    assert (second.returncode, second.stderr, second.stdout) == (0, b"", b"")
    # The second start neither probed a runtime nor loaded a VM.
    assert second.records == []
    # The command line as the user gave it, in UTF-8.
    assert target.read_bytes() == tail.encode("utf-8") + b"\r\n"
    done = first.finish()
    assert (done.returncode, done.stderr) == (0, b"")
    assert done.app_args == ["first"]
    assert done.sequence[-1] == "DestroyJavaVM"


@pytest.mark.parametrize("registered_id", ["12345", "a longer text", "another application's"],
                         ids=["id-of-no-running-instance", "not-an-id", "id-of-another-application"])
def test_a_registered_id_of_no_running_instance_is_never_handed_to(launcher, wine, running, user_temp, tmp_path,
                                                                    registered_id):
    """The semaphore is held, but the registered id names no first instance of
    this executable ready for hand-overs (an id no process has, no id at all,
    or the first instance of another application): the second start waits a
    few seconds for a registration, then runs as an instance of its own
    (unguarded) rather than hand its arguments to no one, or to the wrong one."""
    app = launcher(SINGLE)
    first = running(app)
    kind, data, other = "REG_DWORD", registered_id, None
    if registered_id == "a longer text":
        kind = "REG_SZ"
    elif registered_id == "another application's":
        other = running(launcher(SINGLE, subdir="other"))
        data = str(other.wait_for("JNI_CreateJavaVM")["pid"])
    wine.reg_add(PIDS_KEY, value_name(wine, app), data, kind=kind)
    trace = tmp_path / "trace.txt"
    second = app.run("handed over", env={"ZORVO_TRACE": to_windows_path(trace)})
    assert (second.returncode, second.app_args) == (0, ["handed", "over"])
    assert not any(o.startswith("-Dzorvo.semaphoreName=") for o in second.options)
    if other:
        assert comm_file(wine, user_temp, int(data)).read_bytes() == b""
        assert other.finish().returncode == 0
    else:
        assert not comm_file(wine, user_temp, 12345).exists() and not comm_file(wine, user_temp, 0).exists()
    assert ("no first instance registered within 5000 ms: running as an instance of its own"
            in trace.read_text(encoding="utf-8"))
    assert first.finish().returncode == 0


@BOTH_ARCHES
def test_a_later_start_waits_for_a_late_registration_and_then_hands_over(launcher, wine, arch, tmp_path):
    """The semaphore exists before the first instance has registered: the later
    start waits, and hands over as soon as the registration is there (the first
    instance is played by lateinstance, which registers once it sees the later
    start waiting)."""
    app = launcher(SINGLE)
    name = value_name(wine, app)
    trace, out = tmp_path / "trace.txt", tmp_path / "late.out"
    late = start_helper(wine, arch.testvm / "lateinstance.exe", [name.replace("\\", "_"), name,
                                                                  to_windows_path(trace)], out, b"semaphore")
    try:
        second = app.run("late document", env={"ZORVO_TRACE": to_windows_path(trace)})
        assert (second.returncode, second.records) == (0, [])
        assert late.wait(timeout=60) == 0, out.read_bytes()
    finally:
        if late.poll() is None:
            late.kill()
    assert out.read_bytes().endswith(b"handed over: late document\r\n")
    text = trace.read_text(encoding="utf-8")
    assert "no first instance registered yet: waiting" in text and "the arguments handed over" in text


@BOTH_ARCHES
def test_a_later_start_while_the_first_instance_closes_starts_the_application_anew(launcher, wine, running,
                                                                                  user_temp, tmp_path):
    """The first instance's VM has run its shutdown hooks and lingers: it takes
    no more hand-overs. A later start then neither hands its document to it nor
    gets lost: it waits for it to end and runs as the first instance itself."""
    app = launcher(SINGLE)
    linger = tmp_path / "linger"
    first = running(app, "first", env={"ZORVO_TESTVM_SHUTDOWN_WAIT_FILE": str(linger)})
    target = comm_file(wine, user_temp, first.wait_for("JNI_CreateJavaVM")["pid"])
    first.release.touch()
    assert first.wait_for("shutdown_hook", **{"class": "com/zorvo/runtime/HandOvers"})["calledNative"] is True
    assert target.read_bytes() == b"\xc0\x80\r\n"
    trace = tmp_path / "trace.txt"
    later = Running(app, tmp_path / "later-release", "opened.txt", env={"ZORVO_TRACE": to_windows_path(trace)})
    try:
        later.wait_until("the wait for the closing instance", lambda: trace.exists() and "is closing and takes no "
                         "more hand-overs: waiting for it to end" in trace.read_text(encoding="utf-8"))
        assert later.launch().calls("main") == []
        linger.touch()
        assert first.proc.wait(timeout=60) == 0
        assert later.wait_for("main")
        done = later.finish()
    finally:
        later.stop()
    assert (done.returncode, done.app_args) == (0, ["opened.txt"])
    assert done.options[0] == semaphore_option(value_name(wine, app))
    # The ended instance's file was never written to again (and the new one cleaned it up).
    assert not target.exists() or target.read_bytes() == b"\xc0\x80\r\n"


@BOTH_ARCHES
def test_eight_later_starts_at_once_each_hand_over_arrives_whole_and_once(launcher, wine, running, user_temp,
                                                                         tmp_path):
    """Documents opened together: each later start appends its line under the
    file's lock, so none overwrites another, and the first instance is woken."""
    app = launcher(SINGLE)
    first = running(app, "first", env={"ZORVO_TESTVM_MAIN_AWAIT_HAND_OVER": "60000"})
    target = comm_file(wine, user_temp, first.wait_for("JNI_CreateJavaVM")["pid"])
    tails = [f'"document {i}.txt" --opened-with "\u0394 {i}"' for i in range(8)]
    # Started in the background, with a release file that exists: one that ran on its own would not block.
    (tmp_path / "released").touch()
    later = [Running(app, tmp_path / "released", tail) for tail in tails]
    assert [instance.proc.wait(timeout=120) for instance in later] == [0] * 8
    assert all(instance.launch().records == [] for instance in later)
    lines = target.read_bytes().split(b"\r\n")
    assert lines[-1] == b"" and sorted(lines[:-1]) == sorted(t.encode("utf-8") for t in tails)
    woken = first.wait_for("hand_over_wait")
    assert (woken["bound"], woken["signalled"]) == (True, True)
    assert first.finish().returncode == 0


@BOTH_ARCHES
def test_two_starts_at_the_same_moment_never_hand_over_to_no_one(launcher, wine, user_temp, tmp_path):
    """With no instance running, two starts at once, again and again: one runs,
    and the other either hands over to it (its line is in that one's file) or
    runs on its own; neither ends having handed over to no one. The id
    registered by the previous round's instance, ended by now, is met too."""
    app = launcher(SINGLE)
    for round_number in range(12):
        release = tmp_path / f"release-{round_number}"
        tails = [f"round-{round_number}-{i}" for i in range(2)]
        pair = [Running(app, release, tail) for tail in tails]
        try:
            for instance in pair:
                instance.wait_until("main or the end", lambda: instance.launch().calls("main")
                                    or instance.proc.poll() is not None)
            ran = [i for i in pair if i.launch().calls("main")]
            assert ran, "neither start ran"
            files = [comm_file(wine, user_temp, i.launch().one("JNI_CreateJavaVM")["pid"]) for i in ran]
            for instance, tail in zip(pair, tails):
                if instance not in ran:
                    assert instance.proc.returncode == 0
                    assert any(f.read_bytes() == tail.encode() + b"\r\n" for f in files), round_number
        finally:
            for instance in pair:
                instance.stop()


def test_a_later_start_with_an_unbalanced_quote_is_refused_as_a_first_start_is(launcher, wine, running, user_temp):
    app = launcher(SINGLE)
    first = running(app)
    target = comm_file(wine, user_temp, first.wait_for("JNI_CreateJavaVM")["pid"])
    second = app.run('"an open quote')
    assert (second.returncode, second.stderr, second.records) == (1, b"WRONG-PARAMETER\n", [])
    assert target.read_bytes() == b""
    assert first.finish().returncode == 0


def test_without_single_instance_mode_both_starts_run(launcher, wine, running):
    app = launcher({"single-instance": 0})
    name = value_name(wine, app)
    wine.reg_delete(PIDS_KEY, name)
    first = running(app, "first")
    second = app.run("second")
    assert (second.returncode, second.stderr) == (0, b"")
    assert second.app_args == ["second"]
    done = first.finish()
    assert (done.returncode, done.app_args) == (0, ["first"])
    for run in (done, second):
        assert run.options[0].startswith("-Dzorvo.moduleName="), run.options
        assert not any(o.startswith("-Dzorvo.semaphoreName=") for o in run.options)
    assert name not in registered(wine)


def test_without_its_semaphore_a_first_instance_runs_unguarded(launcher, wine, tmp_path):
    """A named object of another kind takes the semaphore's name, so creating
    the semaphore fails: the start runs, but names no semaphore to Java and
    does not register as the first instance."""
    app = launcher(SINGLE)
    name = value_name(wine, app)
    wine.reg_delete(PIDS_KEY, name)
    holder = start_helper(wine, TESTVM / "holdname.exe", [name.replace("\\", "_"), "30000"],
                          tmp_path / "held.out", b"held")
    try:
        run = app.run("w1")
    finally:
        holder.kill()
        holder.wait(timeout=30)
    assert (run.returncode, run.stderr, run.app_args) == (0, b"", ["w1"])
    assert run.options[0].startswith("-Dzorvo.moduleName="), run.options
    assert not any(o.startswith("-Dzorvo.semaphoreName=") for o in run.options)
    assert name not in registered(wine)


def test_copies_in_different_directories_are_different_executables(launcher, wine, running):
    one = launcher(SINGLE, subdir="one")
    two = launcher(SINGLE, subdir="two")
    first = running(one, "one")
    other = two.run("two")
    assert (other.returncode, other.app_args) == (0, ["two"])
    assert other.options[0] == semaphore_option(value_name(wine, two))
    # The first copy is still the running instance of its own executable.
    again = one.run("again")
    assert (again.returncode, again.records) == (0, [])
    done = first.finish()
    assert done.options[0] == semaphore_option(value_name(wine, one))
    values = registered(wine)
    assert values[value_name(wine, one)] == f"dword:{done.pid:08x}"
    assert values[value_name(wine, two)] == f"dword:{other.pid:08x}"


def window_state(prefix, title, *action):
    """The window's state as Windows sees it: hwnd, pid, visible, iconic, foreground."""
    result = prefix.run(TESTVM / "winstate.exe", [title, *action])
    assert result.returncode == 0, (title, result.stdout, result.stderr)
    return {k: int(v) for k, v in (field.split("=") for field in result.out.split())}


def hand_over(app, prefix, user_temp, pid, tail):
    """A second start: it ends at once with exit code 0, leaving its arguments."""
    target = comm_file(prefix, user_temp, pid)
    before = target.read_bytes()
    second = app.run(tail)
    assert (second.returncode, second.records) == (0, [])
    # The command line as the user gave it, in UTF-8, behind what was there.
    assert target.read_bytes() == before + tail.encode("utf-8") + b"\r\n"


def test_a_second_start_brings_the_first_instances_window_to_the_front(launcher, wine_x, running, user_temp):
    """Without a window manager the virtual display shows neither minimising nor
    activation, so both are read through Windows' own view of the windows."""
    app = launcher(SINGLE, prefix=wine_x, subdir="windowed")
    other_app = launcher({}, prefix=wine_x, subdir="other")
    first = running(app, env={"ZORVO_TESTVM_MAIN_WINDOW": "Zorvo First Instance"})
    window = first.wait_for("main_window")
    assert window["visible"] is True
    other = running(other_app, env={"ZORVO_TESTVM_MAIN_WINDOW": "Zorvo Other Window"})
    assert other.wait_for("main_window")["visible"] is True
    pid = first.wait_for("JNI_CreateJavaVM")["pid"]

    # Minimised behind another window: restored and made the foreground window.
    minimised = window_state(wine_x, "Zorvo First Instance", "minimize")
    assert (minimised["hwnd"], minimised["pid"], minimised["iconic"]) == (window["hwnd"], pid, 1)
    assert window_state(wine_x, "Zorvo Other Window")["foreground"] == 1
    hand_over(app, wine_x, user_temp, pid, "bring me back")
    restored = window_state(wine_x, "Zorvo First Instance")
    assert (restored["visible"], restored["iconic"], restored["foreground"]) == (1, 0, 1)
    assert window_state(wine_x, "Zorvo Other Window")["foreground"] == 0

    # Merely behind another window: made the foreground window.
    assert window_state(wine_x, "Zorvo Other Window", "activate")["foreground"] == 1
    assert window_state(wine_x, "Zorvo First Instance")["foreground"] == 0
    hand_over(app, wine_x, user_temp, pid, "to the front")
    front = window_state(wine_x, "Zorvo First Instance")
    assert (front["iconic"], front["foreground"]) == (0, 1)

    assert wine_x.display.find_windows("^Zorvo First Instance$", timeout=5)
    assert first.finish().returncode == 0
    assert other.finish().returncode == 0
