"""Single-instance mode under Wine: the first start of an executable records
its process id per user and runs; a second start of the same executable while
the first runs brings the first's windows to the front, leaves its argument
string in the first's process-communication file and ends with exit code 0
without loading a VM.

A first instance is kept running by the VM double: its main blocks until a
release file exists (and shows a window when the test asks for one)."""

import re
import subprocess
import time

import pytest

from conftest import BOTH_ARCHES, TESTVM
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
    # An older file of that name is overwritten.
    target.write_bytes(b"left over from an earlier process with the same id\r\n")
    try:
        second = app.run(tail, exe_path=value_name(wine, app) if through_short_path else None)
        assert (second.returncode, second.stderr, second.stdout) == (0, b"", b"")
        # The second start neither probed a runtime nor loaded a VM.
        assert second.records == []
        # The command line as the user gave it, in UTF-8.
        assert target.read_bytes() == tail.encode("utf-8") + b"\r\n"
    finally:
        target.unlink(missing_ok=True)
    done = first.finish()
    assert (done.returncode, done.stderr) == (0, b"")
    assert done.app_args == ["first"]
    assert done.sequence[-1] == "DestroyJavaVM"


@pytest.mark.parametrize("kind, data, target_pid", [
    ("REG_DWORD", "12345", 12345),
    ("REG_BINARY", "39300000", 12345),
    ("REG_SZ", "a longer text", 0),
    ("REG_BINARY", "3930000000", 0),
], ids=["dword", "four-bytes-of-another-type", "string", "five-bytes"])
def test_a_second_start_trusts_the_registered_pid(launcher, wine, running, user_temp, kind, data, target_pid):
    """The registry value, not the semaphore, names the instance to hand over to;
    a value that is not 4 bytes long counts as absent (process id 0)."""
    app = launcher(SINGLE)
    first = running(app)
    name = value_name(wine, app)
    wine.reg_add(PIDS_KEY, name, data, kind=kind)
    target = comm_file(wine, user_temp, target_pid)
    target.unlink(missing_ok=True)
    try:
        second = app.run("handed over")
        assert (second.returncode, second.records) == (0, [])
        assert target.read_bytes() == b"handed over\r\n"
    finally:
        target.unlink(missing_ok=True)
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
    held = tmp_path / "held.out"
    with open(held, "wb") as out:
        holder = subprocess.Popen(wine.command(TESTVM / "holdname.exe", [name.replace("\\", "_"), "30000"]),
                                  env=wine.environment(), stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 30
        while b"held" not in held.read_bytes():
            assert holder.poll() is None and time.monotonic() < deadline, "holdname did not take the name"
            time.sleep(0.05)
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
    try:
        second = app.run(tail)
        assert (second.returncode, second.records) == (0, [])
        # The command line as the user gave it, in UTF-8.
        assert target.read_bytes() == tail.encode("utf-8") + b"\r\n"
    finally:
        target.unlink(missing_ok=True)


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
