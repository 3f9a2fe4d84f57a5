"""Path operations under Windows, and the PATH and working directory a launcher
sets up for the Java VM it will load."""

import re

import pytest

from conftest import TESTVM, to_windows_path

PATHPROBE = TESTVM / "pathprobe.exe"


@pytest.fixture
def probe(wine, tmp_path):
    """pathprobe copied into a directory with blanks in its name."""
    home = tmp_path / "app dir with blanks"
    home.mkdir()
    exe = home / "pathprobe.exe"
    exe.write_bytes(PATHPROBE.read_bytes())

    def run(*args):
        result = wine.run(exe, args)
        assert result.returncode == 0, result.stderr
        return result.out.splitlines()

    run.home = home
    return run


def test_executable_path_is_short_lower_case_and_relative_paths_resolve_against_it(probe):
    exe_path, exe_dir = probe("exe")
    assert exe_path == exe_path.lower() and " " not in exe_path and exe_path.endswith(".exe")
    assert exe_dir == exe_path[:exe_path.rindex("\\") + 1]
    assert probe("resolve", ".") == [exe_dir + "."]
    assert probe("resolve", "") == [exe_dir]
    assert probe("resolve", "Lib\\\\A.jar") == [exe_dir + "Lib\\A.jar"]
    assert probe("resolve", "D:\\Keep\\\\Case") == ["D:\\Keep\\Case"]
    assert probe("full", ".") == [exe_dir[:-1]]
    assert probe("full", "..\\Other\\.\\X") == [exe_dir[:exe_dir[:-1].rindex("\\") + 1] + "other\\x"]
    assert probe("full", "Sub\\File.TXT", "keep") == [exe_dir + "Sub\\File.TXT"]
    assert probe("list", "lib;;Bin;") == [f"{exe_dir}lib;{exe_dir}Bin"]


def test_existence_drive_roots_and_listings(probe):
    home = to_windows_path(probe.home)
    (probe.home / "a.jar").write_bytes(b"a")
    (probe.home / "b.jar").write_bytes(b"b")
    (probe.home / "c.zip").write_bytes(b"c")
    (probe.home / "dir.jar").mkdir()
    # A drive root exists without asking the file system, even on a missing drive.
    assert probe("exists", "q:\\") == ["1"]
    assert probe("exists", "q:\\.\\.") == ["1"]
    assert probe("exists", "q:\\x") == ["0"]
    assert probe("exists", home + "\\a.jar") == ["1"]
    assert probe("exists", home + "\\none.jar") == ["0"]
    found, stamp = probe("find", home + "\\*.jar")[0].split()
    assert found == "1" and int(stamp) > 116444736000000000  # after 1970 in FILETIME units
    listed = probe("listfiles", home, "jar")
    assert listed[0] == "3" and sorted(listed[1:]) == ["a.jar", "b.jar", "dir.jar"]
    assert sorted(probe("listfiles", home, ".jar")) == sorted(listed)
    assert probe("listfiles", home + "\\missing", "jar") == ["0"]


# --- PATH and working directory of a launcher --------------------------------

def peek_launcher(wine_x, exe, cwd=None, env=None):
    """Starts a windowed launcher, reads its environment and current directory
    while it shows its no-runtime message box, then lets it end."""
    display = wine_x.display
    proc = wine_x.start(exe, env=env, cwd=cwd)
    try:
        boxes = display.find_windows("^Peek$")
        assert boxes, "the launcher showed no message box"
        peek = wine_x.run(TESTVM / "procpeek.exe", [exe.name], env=env)
        assert peek.returncode == 0, peek.stderr
        display.xdotool("key", "--window", boxes[0], "Return")
        assert proc.wait(timeout=30) == 83
    finally:
        if proc.poll() is None:
            proc.kill()
    lines = peek.stdout.decode("utf-8").splitlines()
    cwd_line = next(line for line in lines if line.startswith("CWD="))[4:]
    environment = {}
    for line in lines:
        if line.startswith("ENV "):
            name, _, value = line[4:].partition("=")
            environment[name.upper()] = value
    return cwd_line, environment


WINDOWED = {"app-type": 1, "msg-caption": "Peek"}


def test_configured_directories_lead_path(wine_x, make_app):
    exe = make_app({**WINDOWED, "path-prefix": "lib;;D:\\abs\\\\x;\\\\\\\\srv\\\\share;"}, subdir="my app")
    _, before = peek_launcher(wine_x, make_app(WINDOWED, name="plain.exe", subdir="my app"))
    _, env = peek_launcher(wine_x, exe)
    exe_dir = re.sub(r"[^\\]*$", "", env["PATH"].split(";")[0])
    assert " " not in exe_dir and exe_dir == exe_dir.lower() and exe_dir.endswith("\\")
    assert env["PATH"] == f"{exe_dir}lib;D:\\abs\\x;\\\\srv\\share;" + before["PATH"]


def test_a_path_folder_named_outside_the_code_page_keeps_its_name(wine_x, make_app, tmp_path):
    """PATH is read and written wide: a folder whose name the code page cannot
    hold reaches the application as it stands, behind the configured ones."""
    greek = tmp_path / "\u0394\u03bf\u03ba\u03b9\u03bc\u03ae"
    greek.mkdir()
    _, env = peek_launcher(wine_x, make_app({**WINDOWED, "path-prefix": "lib"}), env={"WINEPATH": to_windows_path(greek)})
    assert to_windows_path(greek) in env["PATH"].split(";"), env["PATH"]
    assert env["PATH"].split(";")[0].endswith("\\lib")


def test_empty_prefix_keeps_path(wine_x, make_app):
    _, env = peek_launcher(wine_x, make_app(WINDOWED))
    _, again = peek_launcher(wine_x, make_app({**WINDOWED, "path-prefix": ""}, name="empty.exe"))
    assert env["PATH"] == again["PATH"] and env["PATH"]


@pytest.fixture
def no_system_path(wine_x):
    """Removes PATH from the machine's registry environment, which Wine uses
    to build every process's PATH, and puts it back afterwards."""
    key = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"
    saved = wine_x.reg_values(key)["PATH"]
    wine_x.reg_delete(key, "PATH")
    yield
    wine_x.reg("add", key, "/v", "PATH", "/t", "REG_EXPAND_SZ", "/d", saved, "/f")


def test_undefined_path_becomes_the_configured_list(wine_x, make_app, no_system_path):
    _, plain = peek_launcher(wine_x, make_app(WINDOWED, name="plain.exe"))
    if "PATH" in plain:
        pytest.fail(f"PATH could not be removed for the test: {plain['PATH']!r}")
    _, env = peek_launcher(wine_x, make_app({**WINDOWED, "path-prefix": "C:\\bin"}))
    assert env["PATH"] == "C:\\bin;"


def test_working_directory(wine_x, make_app, tmp_path):
    elsewhere = tmp_path / "started from here"
    elsewhere.mkdir()
    (tmp_path / "the app" / "Data Dir").mkdir(parents=True)

    def cwd_of(working_directory, name):
        config = {**WINDOWED, "working-directory": working_directory, "path-prefix": "marker"}
        cwd, env = peek_launcher(wine_x, make_app(config, name=name, subdir="the app"), cwd=elsewhere)
        exe_dir = env["PATH"].split(";")[0][:-len("marker")]
        # The system keeps a current directory with a trailing backslash.
        return cwd.rstrip("\\"), exe_dir

    cwd, exe_dir = cwd_of(".", "dot.exe")
    assert cwd == exe_dir.rstrip("\\") and " " not in cwd and cwd == cwd.lower()
    cwd, exe_dir = cwd_of("Data Dir", "sub.exe")
    assert cwd.lower().startswith(exe_dir.lower()) and cwd != exe_dir.rstrip("\\")
    # Short and lower case, like the executable's directory it was put behind.
    assert cwd[len(exe_dir):].startswith("data") and cwd == cwd.lower()
    # A missing directory leaves the inherited one, silently.
    cwd, _ = cwd_of("nowhere", "missing.exe")
    assert cwd.lower() == to_windows_path(elsewhere).lower()
