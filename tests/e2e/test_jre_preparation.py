"""Preparing a packed private runtime under Wine: its .pack archives are
unpacked once, in the listed order, by hidden unpack200 runs before the probe;
a runtime not packed, already prepared, or found through a variable, the
search path or the registry is left alone; a failing unpacker goes
unnoticed, and a missing one ends the launch."""

from pathlib import Path

import pytest

from runtimes import (CONSOLE, FOUND, SOURCES, clean_registry, found_through, launch, make_runtime,  # noqa: F401
                      normalised, outcome, runtime_doubles, vm_log, win)

# Written to standard output in text mode, so the line ends in CR LF.
PREPARING = b"Preparing JRE ...\r\n"
PACKED_ARCHIVES = ["lib\\rt.jar", "lib\\charsets.jar", "lib\\plugin.jar", "lib\\deploy.jar",
                   "lib\\ext\\localedata.jar", "lib\\jsse.jar"]


# --- packed runtimes --------------------------------------------------------------------


def test_a_packed_runtime_is_unpacked_once_in_the_listed_order(make_app, tmp_path, launch, vm_log):
    archives = ["lib\\jsse.jar", "lib\\ext\\localedata.jar", "lib\\rt.jar", "lib\\charsets.jar"]
    home = make_runtime(tmp_path / "private jre", packed=archives)
    exe = make_app({**CONSOLE, "jvm-search-sequence": f"A{win(home)};"})

    result = launch(exe)

    assert outcome(result) == FOUND
    assert result.stdout == PREPARING
    unpacked = vm_log.records("unpacked")
    expected = [a for a in PACKED_ARCHIVES if a in archives]
    assert [(normalised(r["pack"]), normalised(r["jar"])) for r in unpacked] == [
        (normalised(win(home) + "\\" + a + ".pack"), normalised(win(home) + "\\" + a)) for a in expected]
    for archive in expected:
        jar = home / archive.replace("\\", "/")
        assert jar.read_bytes() == f"packed {archive}".encode()
        assert not Path(str(jar) + ".pack").exists()
    # Each unpacker is hidden and ends before the next starts; the runtime is probed after all of them.
    execs = vm_log.records("exec")
    assert [r["src"] for r in execs] == ["unpack200"] * len(expected) + ["java"]
    assert all((r["startupFlags"], r["showWindow"]) == (1, 0) for r in execs[:-1])
    assert [r["call"] for r in vm_log.records(src="unpack200")] == ["exec", "unpacked", "exit"] * len(expected)

    vm_log.clear()
    result = launch(exe)
    assert outcome(result) == FOUND
    assert result.stdout == b""
    assert vm_log.records("exec", src="unpack200") == []


@pytest.mark.parametrize("case", ["not-packed", "already-prepared", "item-variable", "search-path", "registry"])
def test_a_runtime_is_not_prepared(wine, make_app, tmp_path, launch, vm_log, case):
    archives = ["lib\\charsets.jar", "lib\\jsse.jar"] if case == "not-packed" else ["lib\\rt.jar", "lib\\charsets.jar"]
    home = make_runtime(tmp_path / "rt", packed=archives)
    if case == "already-prepared":
        (home / "lib" / "jsse.jar").write_bytes(b"unpacked")
    config, env = found_through(wine, tmp_path, case if case in SOURCES else "item-directory", home)
    exe = make_app({**CONSOLE, **config})

    result = launch(exe, env=env)

    assert outcome(result) == FOUND
    assert result.stdout == b""
    assert vm_log.records("exec", src="unpack200") == []
    assert all((home / (a.replace("\\", "/") + ".pack")).exists() for a in archives)


def test_a_failing_unpacker_goes_unnoticed_and_the_next_launch_unpacks_again(make_app, tmp_path, launch, vm_log):
    home = make_runtime(tmp_path / "rt", packed=["lib\\rt.jar", "lib\\jsse.jar"])
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Rrt;"})

    result = launch(exe, env={"ZORVO_TESTVM_UNPACK200_BEHAVIOUR": "exit 1"})
    assert outcome(result) == FOUND
    assert result.stdout == PREPARING
    assert [r["code"] for r in vm_log.records("exit", src="unpack200")] == [1, 1]

    vm_log.clear()
    result = launch(exe)
    assert outcome(result) == FOUND
    assert result.stdout == PREPARING
    assert len(vm_log.records("unpacked")) == 2
    assert (home / "lib" / "jsse.jar").exists() and not (home / "lib" / "rt.jar.pack").exists()


def test_a_packed_runtime_without_unpacker_ends_with_error_20(make_app, tmp_path, launch, vm_log):
    make_runtime(tmp_path / "rt", packed=["lib\\rt.jar"], unpacker=False)
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Rrt;"})

    result = launch(exe)

    assert result.returncode == 1
    assert result.stdout == PREPARING
    assert result.stderr == b"An internal error occurred (error code 20).\n"
    assert vm_log.probes() == []
