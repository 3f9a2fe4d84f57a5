"""The clean-up of earlier runs: what a start deletes from the per-user record,
and what it keeps for a later attempt."""

import os
import subprocess
import time

import pytest

from conftest import BOTH_ARCHES, to_windows_path
from test_embedded_files import TEMP_KEY, raw_record, record, write_files
from test_launch import Running, launcher  # noqa: F401 (fixture)

# A launcher that finds no runtime: it only cleans up and ends (83).
CONSOLE = {"app-type": 0, "jvm-search-sequence": ""}


@pytest.fixture(autouse=True)
def fresh_record(wine):
    wine.reg_delete(TEMP_KEY)
    yield
    wine.reg_delete(TEMP_KEY)


def set_record(wine, files=(), dirs=()):
    wine.reg_add(TEMP_KEY, "delete_file", "".join(f"{to_windows_path(p)};" for p in files))
    wine.reg_add(TEMP_KEY, "delete_dir", "".join(f"{to_windows_path(p)};" for p in dirs))


@pytest.fixture
def start_clean_up(wine, make_app):
    """Runs a launcher without embedded files: it only cleans up and ends (83)."""
    exe = make_app(CONSOLE, name="cleaner.exe")

    def run():
        result = wine.run(exe)
        assert result.returncode == 83, result.stderr

    return run


@BOTH_ARCHES
def test_a_running_launchers_files_outlive_other_starts_and_go_after_it_ended(launcher, wine, tmp_path,
                                                                              start_clean_up):
    # The VM opens a jar only when it needs a class from it; meanwhile other
    # starts clean up. Here the VM opens none at all.
    app = launcher({"embed": [str(f) for f in write_files(tmp_path, [10, 20])]})
    first = Running(app, tmp_path / "release")
    try:
        first.wait_for("main")
        files, dirs = record(wine)
        assert len(files) == 2 and len(dirs) == 1
        start_clean_up()
        assert all(wine.unix_path(p).exists() for p in files + dirs)
        assert record(wine) == (files, dirs)
    finally:
        first.stop()
    start_clean_up()
    assert not any(wine.unix_path(p).exists() for p in files + dirs)
    assert record(wine) == ([], [])


def test_first_start_creates_no_key(wine, start_clean_up):
    start_clean_up()
    assert wine.reg_values(TEMP_KEY) is None


def test_deletable_files_and_empty_directories_go_and_leave_empty_values(wine, tmp_path, start_clean_up):
    run_dir = tmp_path / "run"
    run_dir.mkdir()
    a, b = run_dir / "a.jar", run_dir / "b.jar"
    a.write_bytes(b"a")
    b.write_bytes(b"b")
    # The same path twice is handled twice: deleted once, dropped at both.
    set_record(wine, files=[a, b, a], dirs=[run_dir])
    start_clean_up()
    assert not run_dir.exists()
    assert raw_record(wine) == ([], [])
    assert wine.reg_values(TEMP_KEY) == {"delete_file": "", "delete_dir": ""}


def test_a_missing_value_exists_and_is_empty_after_a_clean_up(wine, tmp_path, start_clean_up):
    wine.reg_add(TEMP_KEY, "unrelated", "kept")
    start_clean_up()
    assert wine.reg_values(TEMP_KEY) == {"unrelated": "kept", "delete_file": "", "delete_dir": ""}


def test_files_that_cannot_be_deleted_stay_recorded_with_their_directory(wine, tmp_path, start_clean_up):
    run_dir = tmp_path / "run"
    run_dir.mkdir()
    held, read_only, vanished = run_dir / "held.jar", run_dir / "ro.jar", run_dir / "gone.jar"
    held.write_bytes(b"held")
    read_only.write_bytes(b"ro")
    os.chmod(read_only, 0o444)
    set_record(wine, files=[held, read_only, vanished], dirs=[run_dir, tmp_path / "gone-dir"])
    # Another Windows process keeps held.jar open while the clean-up runs.
    holder = subprocess.Popen(
        wine.command("cmd", ["/c", f"set /p line= >> {to_windows_path(held)}"]),
        env=wine.env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(1.5)
        assert holder.poll() is None
        start_clean_up()
    finally:
        holder.communicate(b"\r\n", timeout=30)
    assert held.exists() and read_only.exists() and run_dir.exists()
    files, dirs = raw_record(wine)
    assert files == [to_windows_path(held), to_windows_path(read_only)]
    assert dirs == [to_windows_path(run_dir)]
    # Once nothing holds it any more and it is writable again, a later start removes all.
    os.chmod(read_only, 0o644)
    start_clean_up()
    assert not run_dir.exists()
    assert raw_record(wine) == ([], [])


def test_registration_appends_to_what_other_launchers_recorded(wine, make_app, tmp_path):
    other = tmp_path / "other-launcher-file.jar"
    other.write_bytes(b"x")
    # A file some other launcher of the product still uses is kept, and this
    # run's paths are appended behind it.
    holder = subprocess.Popen(
        wine.command("cmd", ["/c", f"set /p line= >> {to_windows_path(other)}"]),
        env=wine.env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(1.5)
        set_record(wine, files=[other])
        payload = tmp_path / "p.bin"
        payload.write_bytes(b"payload")
        exe = make_app({**CONSOLE, "embed": [str(payload)]})
        assert wine.run(exe).returncode == 83
    finally:
        holder.communicate(b"\r\n", timeout=30)
    files, dirs = record(wine)
    assert files[0] == to_windows_path(other)
    assert len(files) == 2 and files[1].endswith("\\p.bin")
    assert len(dirs) == 1


def test_a_full_record_never_holds_a_cut_path(wine, make_app, tmp_path):
    # A record close to its 8191 characters, of a path that the clean-up keeps
    # (a directory is never opened as a file): this run's paths cannot be
    # added whole, so they are left out rather than cut.
    # Distinct directories: a path is recorded once.
    entry_length = len(to_windows_path(tmp_path / "k0000")) + 1
    filler = ""
    for i in range((8191 - 200) // entry_length):
        (tmp_path / f"k{i:04}").mkdir()
        filler += to_windows_path(tmp_path / f"k{i:04}") + ";"
    # One more kept directory whose name pads the record to 8186 characters.
    pad = tmp_path / ("d" * (8186 - len(filler) - len(to_windows_path(tmp_path)) - 2))
    pad.mkdir()
    filler += to_windows_path(pad) + ";"
    assert len(filler) == 8186
    wine.reg_add(TEMP_KEY, "delete_file", filler)
    payload = tmp_path / "p.bin"
    payload.write_bytes(b"payload")
    exe = make_app({**CONSOLE, "embed": [str(payload)]})
    assert wine.run(exe).returncode == 83
    assert wine.reg_query(TEMP_KEY, "delete_file") == filler
    files, dirs = record(wine)
    assert len(dirs) == 1 and dirs[0].rsplit("\\", 1)[1].startswith("zrv")
