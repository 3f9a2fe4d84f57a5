"""Loading the VM library under Wine: the kinds of VM and the fall-back below
a JDK's jre, a library without the creation entry, the DLLs the library
imports (from its own bin, whatever the working directory; never one planted
there), a runtime of the other architecture, and the messages shown when a
runtime's library cannot be loaded or nothing is found."""

import shutil
from pathlib import Path

import pytest

from conftest import ARCHES, BOTH_ARCHES
from runtimes import (CONSOLE, FOUND, NOT_FOUND, SOURCES, assert_loaded, assert_probed, clean_registry,  # noqa: F401
                      ends_with, found_through, launch, make_runtime, outcome, runtime_doubles, vm_log, win)


# --- loading the VM library -------------------------------------------------------------


@pytest.mark.parametrize(
    "kinds, jdk_kinds, preferred, loaded",
    [
        (["client"], [], None, "bin\\client"),
        (["client", "hotspot"], [], None, "bin\\hotspot"),
        (["server", "classic"], [], None, "bin\\server"),
        (["classic"], [], None, "bin\\classic"),
        (["client", "server"], [], "server", "bin\\server"),
        (["client"], [], "server", "bin\\client"),
        (["custom", "hotspot"], [], "custom", "bin\\custom"),
        ([], ["client"], None, "jre\\bin\\client"),
        ([], ["server", "hotspot"], "server", "jre\\bin\\server"),
        (["classic"], ["hotspot"], None, "bin\\classic"),
        (["client"], ["server"], "server", "bin\\client"),
    ],
    ids=["client", "hotspot-before-client", "server-before-classic", "classic", "preferred-first",
         "preferred-missing", "preferred-own-name", "jdk-fall-back", "jdk-fall-back-preferred",
         "every-kind-below-bin-first", "preferred-below-jre-after-bin"],
)
def test_vm_library_kinds_and_the_jdk_fall_back(make_app, tmp_path, launch, vm_log, kinds, jdk_kinds,
                                                 preferred, loaded):
    home = make_runtime(tmp_path / "rt", kinds=kinds)
    make_runtime(home, kinds=jdk_kinds, jdk=True)
    config = {**CONSOLE, "jvm-search-sequence": "Rrt;"}
    if preferred:
        config["preferred-vm-kind"] = preferred
    exe = make_app(config)

    assert outcome(launch(exe)) == FOUND
    assert_loaded(vm_log, f"rt\\{loaded}\\jvm.dll")


def test_a_jdk_home_uses_the_executable_of_its_jre(make_app, tmp_path, launch, vm_log):
    home = make_runtime(tmp_path / "jdk", "1.4.2_05", kinds=())
    make_runtime(home / "jre", "1.6.0_45")
    exe = make_app({**CONSOLE, "min-java-version": "1.6", "jvm-search-sequence": "Rjdk;"})

    assert outcome(launch(exe)) == FOUND
    assert_probed(vm_log, "jdk\\jre\\bin\\java.exe")
    assert_loaded(vm_log, "jdk\\jre\\bin\\client\\jvm.dll")


def test_a_library_without_the_creation_entry_ends_the_launch(make_app, tmp_path, launch, vm_log):
    make_runtime(tmp_path / "rt", kinds=["client"], noentry=["hotspot"])
    make_runtime(tmp_path / "other")
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Rrt;Rother;"})

    result = launch(exe)

    assert outcome(result) == (83, b"DEFINED-DAMAGED rt\nSTART-FAILED\n")
    # Neither the client library of the same runtime nor a later runtime is tried.
    assert_loaded(vm_log, "rt\\bin\\hotspot\\jvm.dll", src="jvm-noentry")
    assert_probed(vm_log, "rt\\bin\\java.exe")


# --- the VM library's own DLLs ---------------------------------------------------------

def plant(directory: Path, arch) -> Path:
    """A working directory holding a stand-in of the C runtime double and a
    file named like a system DLL."""
    directory.mkdir()
    shutil.copy(arch.testvm / "zrvcrt.dll", directory / "zrvcrt.dll")
    (directory / "kernel32.dll").write_bytes(b"planted")
    return directory


@BOTH_ARCHES
@pytest.mark.parametrize("source", SOURCES[:-1])
def test_the_vm_librarys_dlls_come_from_its_bin_whatever_the_working_directory(wine, arch, make_app, tmp_path,
                                                                                 launch, vm_log, source):
    home = make_runtime(tmp_path / "rt", crt="bin")
    config, env = found_through(wine, tmp_path, source, home, ".\\rt" if source == "item-directory" else None)
    exe = make_app({**CONSOLE, **config})
    downloads = plant(tmp_path / "downloads", arch)

    for cwd in (None, downloads):
        vm_log.clear()
        assert outcome(launch(exe, env=env, cwd=cwd)) == FOUND
        loaded = vm_log.loaded()
        assert [src for src, _ in loaded] == ["crt", "jvm"], loaded
        assert ends_with(loaded[0][1], "rt\\bin\\zrvcrt.dll") and ends_with(loaded[1][1], "rt\\bin\\client\\jvm.dll")
        # A program that looks for a DLL with SearchPath finds the system's first.
        found = vm_log.records("dll_loaded", src="crt")[0]["kernel32Found"].lower()
        assert found.endswith("\\kernel32.dll") and "downloads" not in found, found


@BOTH_ARCHES
def test_a_dll_planted_in_the_working_directory_is_never_loaded(arch, make_app, tmp_path, launch, vm_log):
    make_runtime(tmp_path / "rt", crt="missing")
    exe = make_app({**CONSOLE, "jvm-search-sequence": "R.\\rt;"})
    downloads = plant(tmp_path / "downloads", arch)

    assert outcome(launch(exe, cwd=downloads)) == (83, b"DEFINED-DAMAGED .\\rt\nSTART-FAILED\n")
    assert vm_log.loaded() == []
    assert_probed(vm_log, "rt\\bin\\java.exe")


# --- a runtime of the other architecture ------------------------------------------------


@BOTH_ARCHES
def test_a_runtime_of_the_other_architecture_is_passed_over_never_called_damaged(prefixes, arch, make_app,
                                                                                   tmp_path, launch, vm_log):
    """In a 64-bit prefix, which runs both kinds of program: the launcher finds
    a runtime of the other architecture first (on the search path) and one of
    its own later (through entry 128), and starts its own; the other one is
    never even probed. With only the other one it finds none: 1001 and 83,
    never a "damaged" message."""
    wine64 = prefixes.get(ARCHES["win64"])
    other = ARCHES["win32" if arch.name == "win64" else "win64"]
    make_runtime(tmp_path / "other", "1.8.0_202", testvm=other.testvm)
    make_runtime(tmp_path / "own", "1.8.0_202")

    def run(sequence, name):
        return launch(make_app({**CONSOLE, "path-prefix": "other\\bin", "jvm-search-sequence": sequence}, name=name),
                      prefix=wine64)

    assert outcome(run(f"S;A{win(tmp_path / 'own')};", "both.exe")) == FOUND
    assert_probed(vm_log, "own\\bin\\java.exe")
    assert_loaded(vm_log, "own\\bin\\client\\jvm.dll")
    vm_log.clear()
    assert outcome(run("S;", "other.exe")) == NOT_FOUND
    assert vm_log.probes() == [] and vm_log.loaded() == []


# --- messages ---------------------------------------------------------------------------


@BOTH_ARCHES
@pytest.mark.parametrize("source, stderr", [
    ("search-path", b"PATH-DAMAGED\nSTART-FAILED\n"),
    ("item-variable", b"ENV-DAMAGED ZRV_TEST_HOME\nSTART-FAILED\n"),
    ("flavour-variable", b"ENV-DAMAGED ZORVO_JAVA_HOME\nSTART-FAILED\n"),
    ("item-directory", b"DEFINED-DAMAGED .\\Broken\nSTART-FAILED\n"),
    ("search-file", b"DEFINED-DAMAGED Broken\\..\\BROKEN\nSTART-FAILED\n"),
    ("registry", b"START-FAILED\n"),
])
def test_a_runtime_without_a_loadable_library_names_its_source(wine, make_app, tmp_path, launch, vm_log,
                                                                source, stderr):
    # The name as the configuration gives it comes back in the message.
    text = {"item-directory": ".\\Broken", "search-file": "Broken\\..\\BROKEN"}.get(source)
    home = make_runtime(tmp_path / "broken", kinds=())
    # A valid runtime named by the installed-runtime file, the last source, is never reached.
    make_runtime(tmp_path / "good")
    (tmp_path / ".quenbrook").mkdir()
    (tmp_path / ".quenbrook" / "inst_jre.cfg").write_text("good\r\n")
    config, env = found_through(wine, tmp_path, source, home, text)
    exe = make_app({**CONSOLE, **config})

    result = launch(exe, env=env)

    assert outcome(result) == (83, stderr)
    assert vm_log.loaded() == []
    assert_probed(vm_log, "broken\\bin\\java.exe")


def test_default_messages_when_nothing_is_found_and_when_the_library_fails(make_app, tmp_path, launch):
    make_runtime(tmp_path / "broken", kinds=())
    exe = make_app({"app-type": 0, "product-flavour": "e"}, name="default.exe")

    result = launch(exe)
    assert result.returncode == 83
    assert result.stderr == (b"No suitable Java runtime was found on this computer.\r\nPlease install Java, then "
                             b"start this application again.\n")

    result = launch(exe, env={"ZORVO_JAVA_HOME": win(tmp_path / "broken")})
    assert result.returncode == 83
    assert result.stderr == (b"The environment variable ZORVO_JAVA_HOME does not point to a working Java runtime.\n"
                             b"Java could not be started.\n")
