"""Runtime candidates as installations leave them: the registry keys of
vendors that name Java 8 as 8, a java.exe left in the folder the application
is started from, homes and traces below folders named outside the code page,
a temporary folder without a usable name, and what the trace says about a
probe that gave no version."""

import pytest

from conftest import BOTH_ARCHES
from runtimes import (CONSOLE, FOUND, HIVES, NOT_FOUND, assert_loaded, assert_probed,  # noqa: F401
                      clean_registry, launch, make_runtime, outcome, reg_import, runtime_doubles,
                      vendor_lines, vm_log, win)
from test_embedded_files import user_temp  # noqa: F401 (fixture)
from test_trace import read_trace

GREEK = "\u0394\u03bf\u03ba\u03b9\u03bc\u03ae"  # a folder name no Western code page holds


def traced(launch, exe, tmp_path, env=None, cwd=None):
    """Runs the launcher with the trace on; gives (result, trace events)."""
    trace = tmp_path / "trace.txt"
    trace.unlink(missing_ok=True)
    result = launch(exe, env={"ZORVO_TRACE": win(trace), **(env or {})}, cwd=cwd)
    return result, read_trace(trace)


# --- vendors that name Java 8 as 8 ------------------------------------------------------

JAVA_8_KEYS = [
    ("SOFTWARE\\Eclipse Adoptium\\JDK", "8.0.392.8", "hotspot\\MSI", "Path"),
    ("SOFTWARE\\AdoptOpenJDK\\JRE", "8.0.292.10", "hotspot\\MSI", "Path"),
    ("SOFTWARE\\Semeru\\JDK", "8.0.382.0", "openj9\\MSI", "Path"),
    ("SOFTWARE\\Azul Systems\\Zulu", "zulu-8", "", "InstallationPath"),
    ("SOFTWARE\\BellSoft\\Liberica", "Liberica JDK 8 Full", "", "InstallationPath"),
]


@BOTH_ARCHES
@pytest.mark.parametrize("key, name, below, value", JAVA_8_KEYS,
                         ids=["adoptium", "adoptopenjdk", "semeru", "zulu", "liberica"])
@pytest.mark.parametrize("bounds, found", [({"max-java-version": "1.8"}, True), ({"min-java-version": "11"}, False)],
                         ids=["max-1.8", "min-11"])
def test_a_vendors_java_8_key_counts_as_1_8(wine, make_app, tmp_path, launch, vm_log, key, name, below, value,
                                            bounds, found):
    """The key names 8, the runtime says 1.8.0_392: a maximum of 1.8 admits
    it, a minimum of 11 drops it before anything is started."""
    home = make_runtime(tmp_path / "jdk8", "1.8.0_392")
    reg_import(wine, vendor_lines("HKLM", key, name, below, value, win(home)))
    exe = make_app({**CONSOLE, **bounds, "jvm-search-sequence": "Y;"})
    result, events = traced(launch, exe, tmp_path)
    if found:
        assert outcome(result) == FOUND
        assert_loaded(vm_log, "jdk8\\bin\\client\\jvm.dll")
    else:
        assert outcome(result) == NOT_FOUND and vm_log.probes() == []
        assert f"search: registry HKLM\\{key}\\{name}: outside the version range" in events


@BOTH_ARCHES
@pytest.mark.parametrize("bounds, winner", [({}, "zulu-17"), ({"max-java-version": "11"}, "zulu-11")],
                         ids=["no-bounds", "max-11"])
def test_the_names_of_one_vendor_are_tried_highest_version_first(wine, make_app, tmp_path, launch, vm_log, bounds,
                                                                 winner):
    lines = []
    for name, version in (("zulu-11", "11.0.21"), ("zulu-17", "17.0.9"), ("zulu-8", "1.8.0_392")):
        home = make_runtime(tmp_path / name, version)
        lines += vendor_lines("HKLM", "SOFTWARE\\Azul Systems\\Zulu", name, "", "InstallationPath", win(home))
    reg_import(wine, lines)
    exe = make_app({**CONSOLE, **bounds, "jvm-search-sequence": "Y;"})
    assert outcome(launch(exe)) == FOUND
    assert_probed(vm_log, f"{winner}\\bin\\java.exe")


@BOTH_ARCHES
@pytest.mark.parametrize("key, current, broken, good", [
    ("SOFTWARE\\JavaSoft\\JDK", "17", "17", "11"),
    ("SOFTWARE\\JavaSoft\\Java Runtime Environment", "1.6", "1.6", "1.5"),
    ("SOFTWARE\\JavaSoft\\Java Development Kit", "1.6", "1.6", "1.5"),
], ids=["jdk-key-of-current-runtimes", "old-jre-key", "old-jdk-key"])
def test_a_broken_current_version_is_probed_once(wine, make_app, tmp_path, launch, vm_log, key, current, broken,
                                                 good):
    """The key's CurrentVersion names a runtime whose probe fails: the search by
    names does not start it again, but goes on to the next one."""
    make_runtime(tmp_path / "broken", "1.6.0", behaviour="exit 1")
    make_runtime(tmp_path / "good", "1.5.0")
    lines = [f"[{HIVES['HKLM']}\\{key}]", f'"CurrentVersion"="{current}"']
    lines += vendor_lines("HKLM", key, broken, "", "JavaHome", win(tmp_path / "broken"))
    lines += vendor_lines("HKLM", key, good, "", "JavaHome", win(tmp_path / "good"))
    reg_import(wine, lines)
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Y;"})
    assert outcome(launch(exe)) == FOUND
    assert_probed(vm_log, "broken\\bin\\java.exe", "good\\bin\\java.exe")


# --- java.exe on the search path -------------------------------------------------------


@BOTH_ARCHES
@pytest.mark.parametrize("path_names_it", [False, True], ids=["path-names-other", "path-names-the-folder"])
def test_a_java_exe_in_the_working_directory_is_never_started_unless_path_names_it(make_app, tmp_path, launch,
                                                                                   vm_log, path_names_it):
    """A document opened from a downloads folder starts the application there;
    a java.exe planted in that folder is passed over, the one on PATH found."""
    make_runtime(tmp_path / "planted")
    downloads = (tmp_path / "planted" / "bin").rename(tmp_path / "downloads")
    make_runtime(tmp_path / "rt")
    if path_names_it:
        exe, env, expected = make_app({**CONSOLE, "jvm-search-sequence": "S;"}), {"WINEPATH": "."}, "downloads"
    else:
        exe, env = make_app({**CONSOLE, "path-prefix": "rt\\bin", "jvm-search-sequence": "S;"}), None
        expected = "rt\\bin"
    assert outcome(launch(exe, env=env, cwd=downloads)) == FOUND
    assert_probed(vm_log, f"{expected}\\java.exe")
    assert_loaded(vm_log, f"{expected}\\client\\jvm.dll")


@BOTH_ARCHES
def test_a_release_file_counts_only_above_a_bin_folder(make_app, tmp_path, launch, vm_log):
    """A java.exe in a folder not named bin: the release file above it belongs
    to something else, so the runtime is probed."""
    home = make_runtime(tmp_path / "rt", "1.8.0_202")
    (home / "bin").rename(home / "cmd")
    (home / "release").write_text('JAVA_VERSION="1.4.2"\n')
    exe = make_app({**CONSOLE, "min-java-version": "1.6", "path-prefix": "rt\\cmd", "jvm-search-sequence": "S;"})
    assert outcome(launch(exe)) == FOUND
    assert_probed(vm_log, "rt\\cmd\\java.exe")


# --- names outside the code page --------------------------------------------------------


@BOTH_ARCHES
def test_homes_and_the_trace_below_a_greek_folder(wine, make_app, tmp_path, launch, vm_log):
    """An E variable, a per-user vendor key and PATH naming a home below a
    folder outside the code page find it through its short form; ZORVO_TRACE
    naming a file there is written."""
    greek = tmp_path / f"{GREEK} profile"
    home = make_runtime(greek / "jdk", "17.0.9")
    reg_import(wine, vendor_lines("HKCU", "SOFTWARE\\Eclipse Adoptium\\JDK", "17.0.9.9", "hotspot\\MSI", "Path",
                                  win(home)), unicode=True)
    trace = greek / "trace.txt"
    for sequence in ("EGREEK_HOME;", "Y;", "S;"):
        vm_log.clear()
        trace.unlink(missing_ok=True)
        # A configured folder makes the launcher write PATH anew.
        exe = make_app({**CONSOLE, "jvm-search-sequence": sequence, "path-prefix": "lib"})
        result = launch(exe, env={"GREEK_HOME": win(home), "ZORVO_TRACE": win(trace), "WINEPATH": win(home / "bin")})
        assert outcome(result) == FOUND, sequence
        [(_, loaded)] = vm_log.loaded()
        assert loaded.isascii() and loaded.lower().endswith("\\jdk\\bin\\client\\jvm.dll"), loaded
        assert any(e.startswith("runtime chosen: ") for e in read_trace(trace)), sequence


@BOTH_ARCHES
@pytest.mark.parametrize("sequence, found", [("Rrt;", False), ("Rrt;Rrel;", True)],
                         ids=["nothing-else-found", "found-later-without-a-probe"])
def test_a_temporary_folder_without_a_usable_name_stops_only_the_probes(make_app, tmp_path, launch, vm_log,
                                                                        user_temp, sequence, found):
    """Without embedded files the temporary folder is first needed by the
    version probe; a folder outside the code page without a short name (here:
    one that does not exist, which has none either) keeps every runtime that
    needs a probe from being probed. The search goes on: a runtime whose
    version needs no probe (a release file) is found; when none is, the folder
    is reported by its own message."""
    make_runtime(tmp_path / "rt")
    (make_runtime(tmp_path / "rel") / "release").write_text('JAVA_VERSION="17.0.9"\n')
    user_temp(win(tmp_path / f"{GREEK} temp"))
    exe = make_app({**CONSOLE, "msg-folder-unusable": "FOLDER %FOLDER_NAME%", "jvm-search-sequence": sequence})
    result, events = traced(launch, exe, tmp_path)
    assert vm_log.probes() == []
    [passed_over] = [e for e in events if "no version" in e]
    assert "\\rt\\bin\\java.exe: no version: the probe failed: the temporary folder " in passed_over, passed_over
    assert passed_over.endswith(" has no name in the code page: passed over"), passed_over
    if found:
        assert outcome(result) == FOUND
        assert_loaded(vm_log, "rel\\bin\\client\\jvm.dll")
    else:
        assert result.returncode == 1
        assert result.stderr.startswith(b"FOLDER ") and win(tmp_path).encode() in result.stderr, result.stderr


# --- what the trace says about a probe without a version ------------------------------------


@BOTH_ARCHES
@pytest.mark.parametrize("layout, reason", [
    ({"behaviour": "exit 3"}, "it ended with exit code 3"),
    ({"line": "Error: could not open jvm.cfg"}, 'its output has no version line (its first line: '
                                                 '"Error: could not open jvm.cfg")'),
    ({"not_a_program": True}, "it could not be started (error "),
], ids=["exit-code", "no-version-line", "not-a-program"])
def test_the_trace_says_why_a_probe_gave_no_version(arch, make_app, tmp_path, launch, layout, reason):
    not_a_program = layout.get("not_a_program", False)
    home = make_runtime(tmp_path / "rt", **{k: v for k, v in layout.items() if k != "not_a_program"})
    if not_a_program:
        # A library of the launcher's own architecture: its header passes, it cannot be started.
        (home / "bin" / "java.exe").write_bytes((arch.testvm / "zrvcrt.dll").read_bytes())
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Rrt;"})
    result, events = traced(launch, exe, tmp_path)
    assert outcome(result) == NOT_FOUND
    [line] = [e for e in events if "no version" in e]
    assert f"\\rt\\bin\\java.exe: no version: the probe failed: {reason}" in line, line
