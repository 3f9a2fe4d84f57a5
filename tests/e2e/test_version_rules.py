"""The rules a runtime found must meet and how its version is learnt, under
Wine: the version range, the probe (java.exe -version) and its output, the
per-user version cache, the beta rule, the windowed executable, and what real
runtimes show: a release file, lines printed before the version line, a link
to java.exe on the search path."""

import os
import time

import pytest

from conftest import BOTH_ARCHES
from runtimes import (CACHE_KEY, CONSOLE, FOUND, MESSAGES, NOT_FOUND, assert_loaded, assert_probed,  # noqa: F401
                      cache_entries, cache_key_of, clean_registry, ends_with, filetime, found_through, launch,
                      make_runtime, outcome, reg_import, reg_string, runtime_doubles, temp_probe_files, vm_log, win)

INTERNAL = "-q_qbk_internal"


# --- the version range ------------------------------------------------------------------


OLD_RANGE = {"min-java-version": "1.5", "max-java-version": "1.6"}


@BOTH_ARCHES
@pytest.mark.parametrize("bounds, runtimes, winner", [
    (OLD_RANGE, [("first", "1.4.2_05"), ("second", "1.5.0_22")], "second"),
    (OLD_RANGE, [("first", "1.7.0"), ("second", "1.5.0_22")], "second"),
    (OLD_RANGE, [("first", "1.10.0"), ("second", "1.5.0_22")], "second"),
    (OLD_RANGE, [("first", "1.6.0_45"), ("second", "1.5.0_22")], "first"),
    (OLD_RANGE, [("first", "1.5"), ("second", "1.5.0_22")], "first"),
    # Bounds compare part by part as numbers: 17 is above 8, 21 above 17.
    ({"min-java-version": "8"}, [("jdk17", "17.0.9")], "jdk17"),
    ({"min-java-version": "11", "max-java-version": "17"}, [("jdk21", "21.0.1"), ("jdk17", "17.0.9")], "jdk17"),
], ids=["below-minimum", "above-maximum", "1.10-is-above-1.6", "maximum-is-a-prefix", "minimum-itself",
        "minimum-8-finds-17", "11-to-17-passes-over-21"])
def test_a_runtime_outside_the_range_is_passed_over(make_app, tmp_path, launch, vm_log, bounds, runtimes, winner):
    """The first runtime is named by the preferred-runtime file, the others by
    directory items, in order."""
    for name, version in runtimes:
        make_runtime(tmp_path / name, version)
    (tmp_path / ".quenbrook").mkdir()
    (tmp_path / ".quenbrook" / "pref_jre.cfg").write_text(runtimes[0][0] + "\n")
    exe = make_app({**CONSOLE, **bounds, "jvm-search-sequence": "".join(f"R{name};" for name, _ in runtimes[1:])})

    assert outcome(launch(exe)) == FOUND
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")


# --- probing and the version cache ------------------------------------------------------


@BOTH_ARCHES
def test_version_cache_spares_the_probe_until_the_executable_changes(wine, make_app, tmp_path, launch, vm_log):
    home = make_runtime(tmp_path / "rt", "1.6.0_45")
    java = home / "bin" / "java.exe"
    exe = make_app({**CONSOLE, "min-java-version": "1.6", "jvm-search-sequence": f"A{win(home)};"})

    assert outcome(launch(exe)) == FOUND
    assert len(vm_log.probes()) == 1
    entry = cache_entries(wine)[cache_key_of(java)]
    assert entry == {"LastWriteTime": filetime(java), "Version": "1.6.0_45"}

    vm_log.clear()
    assert outcome(launch(exe)) == FOUND
    assert vm_log.probes() == []
    assert_loaded(vm_log, "rt\\bin\\client\\jvm.dll")

    # A new answer alone is not seen: the executable is unchanged.
    (home / "bin" / "version.txt").write_text('java version "1.5.0_22"\r\n')
    vm_log.clear()
    assert outcome(launch(exe)) == FOUND
    assert vm_log.probes() == []

    # Touching the executable makes the next launch probe again, and the cache learns the new version.
    stat = os.stat(java)
    os.utime(java, ns=(stat.st_atime_ns, stat.st_mtime_ns + 10_000_000_000))
    vm_log.clear()
    assert outcome(launch(exe)) == NOT_FOUND
    assert len(vm_log.probes()) == 1
    assert cache_entries(wine)[cache_key_of(java)] == {"LastWriteTime": filetime(java), "Version": "1.5.0_22"}

    # A rejected version is cached too.
    vm_log.clear()
    assert outcome(launch(exe)) == NOT_FOUND
    assert vm_log.probes() == []


@pytest.mark.parametrize(
    "stamp, version_data, probes",
    [
        ("same", "string", 0),
        ("same", "unterminated", 0),
        ("older", "string", 1),
        ("seven-bytes", "string", 1),
    ],
)
def test_cache_entries_written_by_another_program_are_read(wine, make_app, tmp_path, launch, vm_log,
                                                           stamp, version_data, probes):
    """The cached version is taken only when the stored 8 bytes equal the
    executable's last-write time; the Version string may come with or without
    its terminating NUL."""
    home = make_runtime(tmp_path / "rt", "1.4.2_05")  # its own answer is out of range
    java = home / "bin" / "java.exe"
    stored = filetime(java)
    if stamp == "older":
        stored = (int.from_bytes(stored, "little") - 1).to_bytes(8, "little")
    elif stamp == "seven-bytes":
        stored = stored[:7]
    version = "1.6.0_99"
    data = (reg_string(version) if version_data == "string"
            else "hex(1):" + ",".join(f"{b:02x}" for b in version.encode()))
    reg_import(wine, [f"[{CACHE_KEY}\\{cache_key_of(java)}]",
                      '"LastWriteTime"=hex:' + ",".join(f"{b:02x}" for b in stored),
                      f'"Version"={data}'])
    exe = make_app({**CONSOLE, "min-java-version": "1.6", "jvm-search-sequence": f"A{win(home)};"})

    result = launch(exe)

    assert len(vm_log.probes()) == probes
    assert outcome(result) == (FOUND if probes == 0 else NOT_FOUND)
    if probes:
        assert cache_entries(wine)[cache_key_of(java)] == {"LastWriteTime": filetime(java), "Version": "1.4.2_05"}


# What a runtime prints before its version line when an options variable is set.
PICKED_UP = [
    "Picked up JAVA_TOOL_OPTIONS: -Dhttps.proxyHost=proxy.example -Djavax.net.ssl.trustStore=C:\\ca.jks",
    "Picked up _JAVA_OPTIONS: -Djava.net.preferIPv4Stack=true",
    "NOTE: Picked up JDK_JAVA_OPTIONS: --add-opens=java.base/java.lang=ALL-UNNAMED",
]


@pytest.mark.parametrize(
    "line, behaviour, version",
    [
        ('java version "1.4.2_05"', None, "1.4.2_05"),
        ('openjdk version "17.0.2" 2022-01-18', None, "17.0.2"),
        ('java version "11.0.2" 2019-01-15 LTS', None, "11.0.2"),
        ('openjdk version "1.8.0_302"', None, "1.8.0_302"),
        ('java version "1.6.0_45"', "exit 1", None),
        ('java version "1.6.0_45"', "silent", None),
        ('java version "1.6.0_45"', "stdout", None),
        ("Error occurred during initialization of VM", None, None),
        ('Java version "1.6.0_45"', None, None),
        ('java version 1.6.0_45', None, None),
        ('openjdk  version "17.0.2"', None, None),
    ] + [(f'{picked_up}\r\nopenjdk version "17.0.9" 2023-10-17\r\nOpenJDK Runtime Environment (build 17.0.9+9)',
          "raw", "17.0.9") for picked_up in PICKED_UP],
    ids=["classic", "openjdk-with-date", "lts", "openjdk-classic", "exit-code-1", "no-answer",
         "answer-on-stdout", "garbage", "capital-j", "no-quotes", "two-blanks", "picked-up-JAVA_TOOL_OPTIONS",
         "picked-up-_JAVA_OPTIONS", "picked-up-JDK_JAVA_OPTIONS"],
)
def test_the_probe_takes_the_version_between_the_quotes(wine, make_app, tmp_path, launch, vm_log,
                                                        line, behaviour, version):
    """Lines before the version line are passed over; whatever the answer, the
    probe leaves no temporary file behind."""
    home = make_runtime(tmp_path / "rt", line=line, behaviour=behaviour)
    exe = make_app({**CONSOLE, "jvm-search-sequence": f"A{win(home)};"})
    before = temp_probe_files(wine)

    result = launch(exe)

    assert len(vm_log.probes()) == 1
    entries = cache_entries(wine)
    if version is None:
        assert outcome(result) == NOT_FOUND
        assert entries == {}, "a failed probe leaves no cache entry"
    else:
        assert outcome(result) == FOUND
        assert entries[cache_key_of(home / "bin" / "java.exe")]["Version"] == version
    # The file is gone once the probed program's handle to it is closed too,
    # which Wine's server does a moment after that program has ended.
    deadline = time.monotonic() + 10
    while temp_probe_files(wine) != before and time.monotonic() < deadline:
        time.sleep(0.2)
    assert temp_probe_files(wine) == before


def test_a_runtime_below_a_directory_with_blanks_is_probed(wine, make_app, tmp_path, launch, vm_log):
    home = make_runtime(tmp_path / "program files" / "java runtime")
    exe = make_app({**CONSOLE, "jvm-search-sequence": f"A{win(home)};"})

    assert outcome(launch(exe)) == FOUND
    [probe] = vm_log.records("exec", src="java")
    assert probe["argv"][1:] == ["-version"]
    # Hidden, with standard handles given: standard error is the probe's file.
    assert (probe["startupFlags"], probe["showWindow"], probe["stdHandles"][2]) == (0x101, 0, "disk")
    # The executable's path is quoted, so it survives blanks even where no short form exists.
    assert probe["cmdline"] == f'"{probe["argv"][0]}" -version'
    assert ends_with(probe["exe"], "program files\\java runtime\\bin\\java.exe")
    assert_loaded(vm_log, "program files\\java runtime\\bin\\client\\jvm.dll")
    assert cache_key_of(home / "bin" / "java.exe") in cache_entries(wine)


@pytest.mark.slow
def test_a_hanging_runtime_is_ended_after_ten_seconds_and_passed_over(wine, make_app, tmp_path, launch, vm_log):
    hanging = make_runtime(tmp_path / "hanging", behaviour="hang")
    make_runtime(tmp_path / "next")
    exe = make_app({**CONSOLE, "jvm-search-sequence": f"A{win(hanging)};Rnext;"})
    temp_before = temp_probe_files(wine)
    started = time.monotonic()
    trace = tmp_path / "trace.txt"

    result = launch(exe, env={"ZORVO_TRACE": win(trace)})

    waited = time.monotonic() - started
    assert outcome(result) == FOUND
    assert_loaded(vm_log, "next\\bin\\client\\jvm.dll")
    assert_probed(vm_log, "hanging\\bin\\java.exe", "next\\bin\\java.exe")
    # The hanging probe wrote a valid answer but never ended on its own.
    hang_pid = vm_log.records("exec", src="java")[0]["pid"]
    assert [r for r in vm_log.records("exit") if r["pid"] == hang_pid] == []
    assert waited >= 9.5, f"the probe gave up after {waited:.1f} s"
    assert "\\hanging\\bin\\java.exe: no version: the probe failed: it was stopped after 10 s\n" in \
        trace.read_text(encoding="utf-8")
    entries = cache_entries(wine)
    assert cache_key_of(hanging / "bin" / "java.exe") not in entries
    assert len(entries) == 1
    assert temp_probe_files(wine) == temp_before


# --- the beta rule and the windowed executable ------------------------------------------


@pytest.mark.parametrize("accept_beta", [0, 1])
@pytest.mark.parametrize("source, accepted", [("item-directory", True), ("item-variable", False),
                                              ("search-path", False), ("registry", False), ("located", True)])
def test_beta_versions_only_from_defined_directories_and_located_runtimes(wine, make_app, tmp_path, launch,
                                                                          vm_log, source, accepted, accept_beta):
    home = make_runtime(tmp_path / "beta", "1.5.0-beta")
    config, env = found_through(wine, tmp_path, source, home)
    exe = make_app({**CONSOLE, **config, "accept-beta": accept_beta})

    assert outcome(launch(exe, env=env)) == (FOUND if accepted or accept_beta else NOT_FOUND)
    assert len(vm_log.probes()) == 1


@pytest.mark.parametrize(
    "app_type, javaw, winner",
    [(1, True, "first"), (1, False, "second"), (0, False, "first")],
    ids=["windowed-with-javaw", "windowed-without-javaw", "console-without-javaw"],
)
def test_a_windowed_application_needs_javaw(make_app, tmp_path, launch, vm_log, app_type, javaw, winner):
    make_runtime(tmp_path / "first", javaw=javaw)
    make_runtime(tmp_path / "second")
    exe = make_app({**MESSAGES, "app-type": app_type, "jvm-search-sequence": "Rfirst;Rsecond;"})

    assert outcome(launch(exe, [INTERNAL])) == FOUND
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")
    # The version is always asked of java.exe.
    assert {r["src"] for r in vm_log.records("exec")} == {"java"}


# --- what real runtimes show: release files, extra output lines, links on PATH -----------------


@pytest.mark.parametrize("release, probes, version", [
    ('IMPLEMENTOR="Eclipse Adoptium"\nJAVA_VERSION="17.0.9"\nOS_NAME="Windows"\n', 0, "17.0.9"),
    (None, 1, "1.6.0_45"),
    ('IMPLEMENTOR="Eclipse Adoptium"\nOS_NAME="Windows"\n', 1, "1.6.0_45"),
], ids=["release-file", "no-release-file", "no-version-line"])
def test_a_release_file_gives_the_version_without_starting_the_runtime(wine, make_app, tmp_path, launch, vm_log,
                                                                        release, probes, version):
    home = make_runtime(tmp_path / "rt", "1.6.0_45")
    if release is not None:
        (home / "release").write_text(release)
    exe = make_app({**CONSOLE, "jvm-search-sequence": f"A{win(home)};"})

    assert outcome(launch(exe)) == FOUND
    assert len(vm_log.probes()) == probes
    java = home / "bin" / "java.exe"
    assert cache_entries(wine)[cache_key_of(java)] == {"LastWriteTime": filetime(java), "Version": version}


def test_a_runtime_reached_through_a_link_on_the_search_path_is_its_own(wine, make_app, tmp_path, launch, vm_log):
    """Installers put a folder of links to java.exe first on PATH: the runtime
    is found through the link, and its home, VM library and cache entry are
    those of the file the link names."""
    home = make_runtime(tmp_path / "rt")
    links = tmp_path / "javapath"
    links.mkdir()
    for name in ("java.exe", "javaw.exe"):
        (links / name).symlink_to(home / "bin" / name)
    exe = make_app({**CONSOLE, "path-prefix": "javapath", "jvm-search-sequence": "S;"})

    assert outcome(launch(exe)) == FOUND
    assert_loaded(vm_log, "rt\\bin\\client\\jvm.dll")
    assert list(cache_entries(wine)) == [cache_key_of(home / "bin" / "java.exe")]
