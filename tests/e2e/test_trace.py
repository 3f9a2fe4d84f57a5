"""The launch trace (ZORVO_TRACE): what a support case needs to see, in the
order the launcher did it, and nothing changes without it."""

import re
import shutil

import pytest

from conftest import ARCHES, BOTH_ARCHES, to_windows_path
from runtimes import (CONSOLE, JRE_KEY, NOT_FOUND, clean_registry, javasoft_lines,  # noqa: F401
                      make_runtime, outcome, reg_import, runtime_doubles, vendor_lines)
from test_launch import launcher, user_temp  # noqa: F401 (fixtures)

STAMP = re.compile(r"^ *\d+ ms  ")


def read_trace(path):
    """The events of a trace file: each line without its time stamp (every
    event line has one; list items do not)."""
    lines = path.read_bytes().decode("utf-8").split("\r\n")
    assert lines[-1] == ""
    events = []
    for line in lines[:-1]:
        if STAMP.match(line):
            events.append(STAMP.sub("", line))
        else:
            assert line.startswith("          ["), line
            events.append(line.strip())
    return events


def listed(events, title):
    """The quoted items under a title line."""
    start = events.index(title) + 1
    items = []
    for event in events[start:]:
        m = re.fullmatch(r'\[(\d+)\] "(.*)"', event, re.S)
        if not m:
            break
        assert int(m.group(1)) == len(items)
        items.append(m.group(2))
    return items


def test_the_trace_of_a_search_that_finds_nothing_names_every_candidate_and_its_reason(wine, arch, make_app,
                                                                                       tmp_path):
    bits = arch.name[3:]
    make_runtime(tmp_path / "old", "1.5.0_22")
    make_runtime(tmp_path / "beta", "1.8.0-beta")
    make_runtime(tmp_path / "other", "1.8.0_202", testvm=ARCHES["win64" if bits == "32" else "win32"].testvm)
    reg_import(wine, vendor_lines("HKLM", "SOFTWARE\\Eclipse Adoptium\\JDK", "17.0.9.9", "hotspot\\MSI", "Path",
                                  to_windows_path(tmp_path / "uninstalled")) +
               javasoft_lines(tmp_path, JRE_KEY, None, {"1.4": "old"}))
    exe = make_app({**CONSOLE, "min-java-version": "1.6",
                    "jvm-search-sequence": "Rgone;Rold;EBETA_HOME;Rother;S;Y;"})
    trace = tmp_path / "trace.txt"
    result = wine.run(exe, env={"ZORVO_TRACE": to_windows_path(trace), "BETA_HOME": to_windows_path(tmp_path / "beta"),
                                "ZORVO_JAVA_HOME": None})
    assert outcome(result) == NOT_FOUND

    events = read_trace(trace)
    assert events[0].startswith(f"zorvo launch trace: {to_windows_path(exe)}, process ")
    expected = [
        rf"configuration block \({bits}-bit launcher\): \d+ narrow and 0 wide entries, 0 embedded files",
        rf"runtime search: version range \[1\.6 \.\. \], {bits}-bit launcher",
        r"search: \.quenbrook\\pref_jre\.cfg: none",
        r"search: item R, the directory gone",
        r"  runtime .*\\gone\\bin\\java\.exe: missing",
        r"search: item R, the directory old",
        r"  runtime .*\\old\\bin\\java\.exe: version 1\.5\.0_22 \(probed\): outside the version range",
        r"search: environment variable BETA_HOME: .*\\beta",
        r"  runtime .*\\beta\\bin\\java\.exe: version 1\.8\.0-beta \(probed\): a beta version, not allowed from "
        r"this source",
        r"search: item R, the directory other",
        rf"  runtime .*\\other\\bin\\java\.exe: not a {bits}-bit runtime: passed over",
        r"search: java\.exe on the search path: none",
        r"search: item Y, the registry",
        r"search: registry HKLM\\SOFTWARE\\JavaSoft\\Java Runtime Environment\\1\.4: outside the version range",
        r"search: registry HKLM\\SOFTWARE\\Eclipse Adoptium\\JDK\\17\.0\.9\.9",
        r"search: registry: the home .*\\uninstalled",
        r"  runtime .*\\uninstalled\\bin\\java\.exe: missing",
        r"runtime search: no acceptable runtime",
        r"message \(standard error\): NO-JVM",
        r"exit code 83",
    ]
    # In this order, with other events (the product's variable, the last search file) between them.
    position = 0
    for pattern in expected:
        while position < len(events) and not re.fullmatch(pattern, events[position]):
            position += 1
        assert position < len(events), f"no event {pattern!r} after the ones before it: {events}"
    assert events[-1] == "exit code 83"


@BOTH_ARCHES
def test_the_trace_shows_the_options_and_arguments_exactly_as_java_got_them(launcher, tmp_path):
    app = launcher({"vm-options": '-Dblank="a b" -Dcaf\xe9=1', "app-arguments": '"two words" ""'})
    trace = tmp_path / "trace.txt"
    run = app.run('tail "with blank" caf\xe9 \u0394\u03bf\u03ba\u03b9\u03bc\u03ae', env={"ZORVO_TRACE": to_windows_path(trace)})
    assert (run.returncode, run.stderr) == (0, b"")

    events = read_trace(trace)
    assert listed(events, "VM options:") == run.options
    assert listed(events, "arguments of com.zorvo.runtime.WinLauncher.main:") == run.main_args
    # The byte 0xE9 of the code page and the Greek word of the wide command line, as UTF-8 in the file.
    assert {"caf\xe9", "\u0394\u03bf\u03ba\u03b9\u03bc\u03ae"} <= set(run.main_args)
    assert events[-1] == "exit code 0"


@pytest.mark.parametrize("setting", ["", "unwritable"])
def test_without_a_usable_trace_file_nothing_changes(launcher, tmp_path, setting):
    app = launcher()
    plain = app.run("x")
    value = "" if setting == "" else to_windows_path(tmp_path / "no such folder" / "trace.txt")
    traced = app.run("x", env={"ZORVO_TRACE": value})
    assert (traced.returncode, traced.stderr, traced.main_args) == (plain.returncode, plain.stderr, plain.main_args)
    assert not (tmp_path / "no such folder").exists()
