"""A launcher stamped from a configuration that sets little: the build tool's
defaults report in a message box and search the usual places (a runtime
beside the executable, JAVA_HOME, the registry, PATH); a message written in
UTF-8 shows as written; the user's command line keeps an apostrophe inside a
word; a console launcher reports on standard error and ends with the
application's exit code."""

import re
import struct

import pytest

from conftest import BOTH_ARCHES, Utf8, run_windowed, to_windows_path
from runtimes import (JRE_KEY, assert_loaded, clean_registry, javasoft_lines, launch, make_runtime,  # noqa: F401
                      reg_import, runtime_doubles, vm_log, win)
from test_launch import launcher  # noqa: F401 (fixture)
from test_trace import read_trace

MINIMAL = {"main-class": "com.example.Main", "class-path": "A1app.jar"}
NO_RUNTIME = ("No suitable Java runtime was found on this computer.\r\n"
              "Please install Java, then start this application again.")
NOT_FOUND_CODE = 83
# The search items the build tool writes by default, as the trace names them.
DEFAULT_SEARCH = [r"search: item R, the directory jre", r"search: environment variable JAVA_HOME: .*\\none",
                  r"search: item Y, the registry", r"search: java\.exe on the search path: none"]


def minimal_app(make_app, extra=None, subdir=None):
    """A launcher stamped from MINIMAL (and `extra`), with its app.jar beside it."""
    exe = make_app({**MINIMAL, **(extra or {})}, subdir=subdir)
    (exe.parent / "app.jar").write_bytes(b"PK\x05\x06" + bytes(18))
    return exe


def in_order(events, patterns):
    """True when the events hold a line matching each pattern, in this order."""
    at = 0
    for pattern in patterns:
        while at < len(events) and not re.fullmatch(pattern, events[at]):
            at += 1
        if at == len(events):
            return False
        at += 1
    return True


@BOTH_ARCHES
@pytest.mark.parametrize("messages, caption, text", [
    ({}, "Error", NO_RUNTIME),
    ({"msg-caption": Utf8("Fehler – Grüße"), "msg-no-jvm": Utf8("Java fehlt: Grüße aus 日本\r\n¡Ojo!")},
     "Fehler – Grüße", "Java fehlt: Grüße aus 日本\r\n¡Ojo!"),
], ids=["defaults", "utf8-messages"])
def test_a_minimal_configuration_reports_in_a_box_after_searching_the_usual_places(wine_x, make_app, tmp_path,
                                                                                   messages, caption, text):
    exe = minimal_app(make_app, messages)
    trace = tmp_path / "trace.txt"
    run = run_windowed(wine_x, exe, env={"ZORVO_TRACE": to_windows_path(trace),
                                         "JAVA_HOME": to_windows_path(tmp_path / "none")})
    assert (run.returncode, run.captions, run.texts) == (NOT_FOUND_CODE, [caption], [text])
    assert text.encode("utf-8") not in run.stderr and b"Java" not in run.stdout
    events = read_trace(trace)
    assert in_order(events, DEFAULT_SEARCH), events
    # The trace names the message as shown, one line.
    assert "message (message box): " + text.replace("\r", "\\r").replace("\n", "\\n") in events


@BOTH_ARCHES
@pytest.mark.parametrize("place", ["beside", "JAVA_HOME", "registry", "PATH"])
def test_the_default_search_finds_a_runtime_in_each_usual_place(wine, make_app, tmp_path, launch, vm_log, place):
    exe = minimal_app(make_app, subdir="app")
    home = exe.parent / "jre" if place == "beside" else tmp_path / "rt"
    make_runtime(home)
    env = {"JAVA_HOME": win(home) if place == "JAVA_HOME" else None}
    if place == "registry":
        reg_import(wine, javasoft_lines(tmp_path, JRE_KEY, "1.6", {"1.6": "rt"}))
    if place == "PATH":
        env["WINEPATH"] = win(home / "bin")

    result = launch(exe, env=env)
    assert (result.returncode, result.stderr) == (0, b"")
    assert_loaded(vm_log, f"{home.name}\\bin\\client\\jvm.dll")


@BOTH_ARCHES
def test_an_apostrophe_inside_a_word_of_the_command_line_reaches_main(launcher):
    run = launcher({"app-arguments": "'fixed one'"}).run("O'Brien.docx \"Mary's notes.txt\" 'quoted two' l'eau")
    assert run.returncode == 0
    assert run.app_args == ["fixed one", "O'Brien.docx", "Mary's notes.txt", "quoted two", "l'eau"]


@BOTH_ARCHES
def test_a_console_launcher_reports_on_standard_error_and_ends_with_the_applications_code(make_app, launch):
    message = "Java fehlt: Grüße aus 日本"
    exe = minimal_app(make_app, {"subsystem": "console", "msg-no-jvm": Utf8(message)})
    subsystem = struct.unpack_from("<H", exe.read_bytes(), 128 + 24 + 68)[0]
    assert subsystem == 3  # a console program

    # A message written in UTF-8 reaches standard error as UTF-8.
    result = launch(exe)
    assert (result.returncode, result.stderr) == (NOT_FOUND_CODE, message.encode("utf-8") + b"\n")

    make_runtime(exe.parent / "jre")
    assert launch(exe).returncode == 0
    assert launch(exe, env={"ZORVO_TESTVM_MAIN_EXIT": "7"}).returncode == 7
