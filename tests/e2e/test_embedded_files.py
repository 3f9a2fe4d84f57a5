"""Embedded files: extraction into a fresh temporary directory, and the per-user
registry record through which later starts delete what earlier runs left."""

import os
import struct
import subprocess
import time
from pathlib import Path

import pytest

from conftest import BOTH_ARCHES, TESTVM, to_windows_path
from test_launch import Running, launcher  # noqa: F401 (fixture)

TEMP_KEY = r"HKCU\SOFTWARE\tallgrass-works\zorvo\temp"
CONSOLE = {"app-type": 0}


def internal_error(code: str) -> bytes:
    return f"An internal error occurred (error code {code}).\n".encode()


def scrambled_stream(*contents: bytes, declared=None) -> bytes:
    out = b""
    for i, data in enumerate(contents):
        length = len(data) if declared is None else declared[i]
        out += struct.pack("<i", length) + bytes(b ^ 0xB6 for b in data)
    return out


def raw_record(wine):
    """(files, dirs) of the deletion record as stored, in order; None for a missing value."""
    def split(value):
        return None if value is None else [p for p in value.split(";") if p]
    return split(wine.reg_query(TEMP_KEY, "delete_file")), split(wine.reg_query(TEMP_KEY, "delete_dir"))


def record(wine):
    """The record without repetitions (a record written by an older launcher
    may hold a path more than once)."""
    return tuple(None if v is None else list(dict.fromkeys(v)) for v in raw_record(wine))


@pytest.fixture(autouse=True)
def fresh_record(wine):
    """Every test starts without a deletion record and without leftover directories."""
    wine.reg_delete(TEMP_KEY)
    yield
    wine.reg_delete(TEMP_KEY)


def temp_dirs(wine):
    """The extraction directories currently in the prefix's temporary directory."""
    found = []
    users = wine.prefix / "drive_c" / "users"
    for d in users.glob("*/**/zrv*.tmp_dir*"):
        if d.is_dir():
            found.append(d)
    return sorted(found)


def write_files(tmp_path, sizes):
    files = []
    for size in sizes:
        f = tmp_path / f"file{size}.bin"
        f.write_bytes(os.urandom(size))
        files.append(f)
    return files


@BOTH_ARCHES
def test_embedded_files_are_extracted_byte_identical(wine, make_app, tmp_path):
    sizes = [0, 1, 8192, 20000, 3 * 1024 * 1024 + 17]
    files = write_files(tmp_path, sizes)
    exe = make_app({**CONSOLE, "embed": [str(f) for f in files]})
    result = wine.run(exe)
    assert result.returncode == 83
    # The no-runtime message and the exit code 83 each register the paths;
    # the record holds each of them once.
    recorded_files, recorded_dirs = raw_record(wine)
    assert (recorded_files, recorded_dirs) == record(wine)
    assert len(recorded_dirs) == 1
    temp_dir = recorded_dirs[0]
    name = temp_dir.rsplit("\\", 1)[1]
    assert name.startswith("zrv") and ".tmp_dir" in name and name.split("_dir")[1].isdigit()
    assert recorded_files == [f"{temp_dir}\\{f.name}" for f in files]
    extracted = wine.unix_path(temp_dir)
    # An empty file is recorded but never created.
    assert not (extracted / files[0].name).exists()
    for f in files[1:]:
        assert (extracted / f.name).read_bytes() == f.read_bytes(), f.name
    assert sorted(p.name for p in extracted.iterdir()) == sorted(f.name for f in files[1:])


def test_no_embedded_files_creates_nothing_and_leaves_the_registry_alone(wine, make_app):
    before = temp_dirs(wine)
    exe = make_app(CONSOLE)
    assert wine.run(exe).returncode == 83
    assert temp_dirs(wine) == before
    assert record(wine) == (None, None)


def test_names_beyond_the_count_are_ignored_and_missing_names_end_extraction(wine, make_app):
    stream = scrambled_stream(b"first", b"second", b"third")
    exe = make_app({**CONSOLE, "2002": "2", "2003": "a.jar;b.jar;c.jar;"}, raw=stream)
    assert wine.run(exe).returncode == 83
    files, dirs = record(wine)
    assert [f.rsplit("\\", 1)[1] for f in files] == ["a.jar", "b.jar"]
    assert (wine.unix_path(files[1])).read_bytes() == b"second"
    exe = make_app({**CONSOLE, "2002": "3", "2003": "only.jar;"}, raw=stream, name="fewer.exe")
    wine.reg_delete(TEMP_KEY)
    assert wine.run(exe).returncode == 83
    files, dirs = record(wine)
    assert [f.rsplit("\\", 1)[1] for f in files] == ["only.jar"]


@BOTH_ARCHES
@pytest.mark.parametrize("bad_name", ["..\\evil.jar", "sub/evil.jar", "c:evil.jar", "..", ".", "NUL", "nul.txt",
                                      "Com1.jar", "lpt9"])
def test_a_name_that_leaves_the_directory_is_refused_before_anything_is_written(wine, make_app, bad_name):
    before = temp_dirs(wine)
    stream = scrambled_stream(b"harmless", b"payload")
    exe = make_app({**CONSOLE, "2002": "2", "2003": f"ok.jar;{bad_name};"}, raw=stream)
    result = wine.run(exe)
    assert (result.returncode, result.stderr) == (1, internal_error("11"))
    assert temp_dirs(wine) == before
    assert record(wine) == (None, None)
    assert not (wine.prefix / "drive_c" / "users" / "evil.jar").exists()


def test_a_file_that_cannot_be_created_ends_with_code_11(wine, make_app):
    stream = scrambled_stream(b"x", b"y")
    exe = make_app({**CONSOLE, "2002": "2", "2003": "ok.jar;bad*name?.jar;"}, raw=stream)
    result = wine.run(exe)
    assert (result.returncode, result.stderr) == (1, internal_error("11"))
    files, dirs = record(wine)
    # Everything written so far, and the directory, is left for a later start.
    assert [f.rsplit("\\", 1)[1] for f in files] == ["ok.jar", "bad*name?.jar"]
    assert len(dirs) == 1


def test_a_stream_that_ends_early_gives_code_16_and_is_cleaned_up_later(wine, make_app):
    stream = scrambled_stream(b"complete", b"short", declared=[8, 100])
    exe = make_app({**CONSOLE, "2002": "2", "2003": "a.jar;b.jar;"}, raw=stream)
    result = wine.run(exe)
    assert (result.returncode, result.stderr) == (1, internal_error("16"))
    files, dirs = record(wine)
    assert [f.rsplit("\\", 1)[1] for f in files] == ["a.jar", "b.jar"]
    assert len(dirs) == 1
    leftover = wine.unix_path(dirs[0])
    assert leftover.is_dir()
    # The next start of any launcher removes all of it.
    assert wine.run(make_app(CONSOLE, name="other.exe")).returncode == 83
    assert not leftover.exists()
    assert record(wine) == ([], [])


def test_a_missing_record_length_is_an_internal_read_error(wine, make_app):
    exe = make_app({**CONSOLE, "2002": "1", "2003": "a.jar;"}, raw=b"\x01\x00")
    result = wine.run(exe)
    assert (result.returncode, result.stderr) == (1, b"Internal Error: readInt\n")


@pytest.fixture
def user_temp(wine):
    """Points the user's temporary directory elsewhere. Wine takes TEMP and TMP
    from the user's registry environment, not from the Linux environment."""
    env_key = r"HKCU\Environment"
    saved = wine.reg_values(env_key) or {}

    def point_to(windows_path):
        for name in ("TEMP", "TMP"):
            wine.reg_add(env_key, name, windows_path)

    yield point_to
    for name in ("TEMP", "TMP"):
        if name in saved:
            wine.reg_add(env_key, name, saved[name])
        else:
            wine.reg_delete(env_key, name)


def test_an_unusable_temporary_directory_gives_code_7(wine, make_app, tmp_path, user_temp):
    exe = make_app({**CONSOLE, "embed": [str(write_files(tmp_path, [10])[0])]})
    user_temp(to_windows_path(tmp_path / "no such dir"))
    result = wine.run(exe)
    assert (result.returncode, result.stderr) == (1, internal_error("7"))
    assert not (tmp_path / "no such dir").exists()


@pytest.fixture
def tiny_filesystem(tmp_path):
    """A 64 KiB file system, to make writing fail for want of room."""
    mount_point = tmp_path / "tiny"
    mount_point.mkdir()
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", str(mount_point)], check=True)
    yield mount_point
    subprocess.run(["umount", "-l", str(mount_point)], check=False)


def test_a_full_target_gives_code_13(wine, make_app, tmp_path, tiny_filesystem, user_temp):
    exe = make_app({**CONSOLE, "embed": [str(write_files(tmp_path, [300 * 1024])[0])]})
    user_temp(to_windows_path(tiny_filesystem))
    result = wine.run(exe)
    assert (result.returncode, result.stderr) == (1, internal_error("13"))
    files, dirs = record(wine)
    assert len(files) == 1 and len(dirs) == 1


def test_registry_record_grows_with_every_report_and_shrinks_at_the_next_start(wine, make_app, tmp_path):
    payload = write_files(tmp_path, [100])[0]
    exe = make_app({**CONSOLE, "embed": [str(payload)]})
    assert wine.run(exe).returncode == 83
    files1, dirs1 = record(wine)
    assert len(files1) == 1 and len(dirs1) == 1
    assert wine.unix_path(files1[0]).read_bytes() == payload.read_bytes()
    # The second start deletes the first run's files and records its own.
    assert wine.run(exe).returncode == 83
    files2, dirs2 = record(wine)
    assert len(files2) == 1 and len(dirs2) == 1
    assert dirs2 != dirs1
    assert not wine.unix_path(dirs1[0]).exists()
    assert wine.unix_path(files2[0]).exists()


def test_ten_runs_leave_at_most_the_last_runs_files(wine, make_app, tmp_path):
    before = set(temp_dirs(wine))
    exe = make_app({**CONSOLE, "embed": [str(f) for f in write_files(tmp_path, [10, 5000])]})
    for _ in range(10):
        assert wine.run(exe).returncode == 83
    left = set(temp_dirs(wine)) - before
    files, dirs = record(wine)
    assert len(left) == 1
    assert len(dirs) == 1 and wine.unix_path(dirs[0]) in left


def test_eight_starts_at_the_same_moment_get_their_own_directories_and_lose_no_record_entry(launcher, wine, tmp_path):
    # All eight run at once (main waits for the release file), so each one's
    # files are in use while the others clean up and register theirs.
    # Four files: each start changes the record five times.
    payloads = write_files(tmp_path, [10, 11, 12, 13])
    app = launcher({"embed": [str(f) for f in payloads]})
    release = tmp_path / "release"
    runs = [Running(app, release) for _ in range(8)]
    try:
        temp_dirs = [option_value(r.wait_for("JNI_CreateJavaVM")["options"], "-Dzorvo.tempDir=") for r in runs]
        for r in runs:
            r.wait_for("main")
        # The same second seeds the same random suffix; the system-made part differs.
        assert len(set(temp_dirs)) == 8
        files, dirs = record(wine)
        assert sorted(dirs) == sorted(temp_dirs)
        assert sorted(files) == sorted(f"{d}\\{f.name}" for d in temp_dirs for f in payloads)
    finally:
        for r in runs:
            r.stop()


def option_value(options, prefix):
    [value] = [o[len(prefix):] for o in options if o.startswith(prefix)]
    return value
