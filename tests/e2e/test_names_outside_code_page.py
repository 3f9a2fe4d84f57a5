"""Names outside the code page (1252 here): a launcher installed below a folder
named in Greek, a temporary directory named so, and arguments in any script.
The launcher takes such paths wide and hands them on in their short form
(Wine makes short names for them too); arguments reach main as they are."""

import re

import pytest

from conftest import BOTH_ARCHES, to_windows_path
from test_embedded_files import TEMP_KEY, record, user_temp, write_files  # noqa: F401 (fixture)
from test_launch import launcher  # noqa: F401 (fixture)

GREEK = "\u0394\u03bf\u03ba\u03b9\u03bc\u03ae"  # a folder name no Western code page holds
ASCII_PATH = re.compile(r"[\x20-\x7e]*")


def option(run, name):
    found = [o[len(name) + 3:] for o in run.options if o.startswith(f"-D{name}=")]
    assert len(found) == 1, run.options
    return found[0]


@BOTH_ARCHES
def test_a_launcher_below_a_greek_folder_finds_its_runtime_jars_and_options(launcher, wine):
    app = launcher({"jvm-search-sequence": "R.\\jre", "class-path": "A1lib\\app.jar", "single-instance": 1},
                   subdir=f"{GREEK} app")
    (app.dir / "lib").mkdir()
    (app.dir / "lib" / "app.jar").write_bytes(b"PK")
    (app.dir / "app.exe.vmoptions").write_bytes(b"-Dfrom.options=1\r\n")
    runs = [app.run(), app.run()]
    for run in runs:
        assert (run.returncode, run.stderr) == (0, b""), run.stderr
        # Every path handed on is the short form: plain ASCII, and it names the file.
        module = option(run, "zorvo.moduleName")
        assert ASCII_PATH.fullmatch(module) and module.lower().endswith("\\app.exe"), module
        assert wine.run("cmd", ["/c", "if", "exist", module, "echo", "yes"], cwd="/").stdout.strip() == b"yes"
        class_path = run.class_path
        assert ASCII_PATH.fullmatch(class_path) and class_path.endswith("\\lib\\app.jar;\""), class_path
        assert "-Dfrom.options=1" in run.options
        assert run.main_args[:2] == ["false", "com.example.Main"]
    # The instance semaphore is named after the same path at every start.
    assert option(runs[0], "zorvo.semaphoreName") == option(runs[1], "zorvo.semaphoreName")


@BOTH_ARCHES
def test_extraction_into_a_greek_temporary_folder_and_its_clean_up(launcher, wine, tmp_path, user_temp):
    temp = tmp_path / f"{GREEK} temp"
    temp.mkdir()
    user_temp(to_windows_path(temp))
    wine.reg_delete(TEMP_KEY)
    payloads = write_files(tmp_path, [10, 9000])
    app = launcher({"embed": [str(f) for f in payloads]})
    run = app.run()
    assert (run.returncode, run.stderr) == (0, b""), run.stderr
    temp_dir = option(run, "zorvo.tempDir")
    assert ASCII_PATH.fullmatch(temp_dir), temp_dir
    [extracted] = [d for d in temp.iterdir() if d.name.startswith("zrv")]
    assert temp_dir.endswith("\\" + extracted.name)
    assert [(extracted / f.name).read_bytes() for f in payloads] == [f.read_bytes() for f in payloads]
    files, dirs = record(wine)
    assert dirs == [temp_dir] and files == [f"{temp_dir}\\{f.name}" for f in payloads]
    # The next start removes them through the recorded short paths.
    assert app.run().returncode == 0
    assert not extracted.exists()


@BOTH_ARCHES
def test_arguments_beyond_the_code_page_reach_main_exactly(launcher):
    app = launcher({"allow-j-options": 1, "app-arguments": "caf\xe9 \x80"})
    run = app.run('-J-Dname=caf\xe9\u20ac "\u0394\u03bf\u03ba\u03b9\u03bc\u03ae \u20ac.txt" \u4e2d\u6587 \U0001F600 '
                  "\xe9\u0080")
    assert (run.returncode, run.stderr) == (0, b""), run.stderr
    # Options stay in the code page (the euro sign is 0x80 there); configured
    # arguments are read in it; the command line arrives as typed.
    assert "-Dname=caf\xe9\x80" in run.options
    assert run.app_args == ["caf\xe9", "\u20ac", "\u0394\u03bf\u03ba\u03b9\u03bc\u03ae \u20ac.txt", "\u4e2d\u6587",
                            "\U0001F600", "\xe9\u0080"]
