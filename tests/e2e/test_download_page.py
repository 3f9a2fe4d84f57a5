"""The download page offered when no runtime is found (download-url): a
message box asks whether to open it, Yes opens it through the shell and No
opens nothing; a console application prints it after the message. The exit
code stays 83, and the trace says what became of the page."""

import re
import time

import pytest

from conftest import BOTH_ARCHES, TESTVM, run_windowed, to_windows_path
from test_trace import read_trace

MESSAGE = "No Java was found."
ADDRESS = "https://example.com/get-java?v=17&os=windows"


@pytest.fixture
def browser(tmp_path):
    """browser(prefix) makes urlsink.exe the prefix's handler of http and https
    addresses (the key the shell reads) and returns the file it writes each
    address it gets to; the prefix's own handler comes back afterwards."""
    replaced = []

    def install(wine):
        sink = tmp_path / "opened.txt"
        for scheme in ("http", "https"):
            key = f"HKLM\\Software\\Classes\\{scheme}\\shell\\open\\command"
            before = re.search(r"REG_SZ\s+(.*\S)", wine.reg("query", key, "/ve").out)
            replaced.append((wine, key, before.group(1)))
            command = f'"{to_windows_path(TESTVM / "urlsink.exe")}" "{to_windows_path(sink)}" "%1"'
            wine.reg("add", key, "/ve", "/d", command, "/f")
        return sink

    yield install
    for wine, key, command in replaced:
        wine.reg("add", key, "/ve", "/d", command, "/f")


def addresses_opened(sink, expect_one):
    """What the browser double was given: waits for the one address expected,
    or a while for one that must not come."""
    deadline = time.monotonic() + (15 if expect_one else 2)
    while time.monotonic() < deadline and not (expect_one and sink.exists()):
        time.sleep(0.1)
    return sink.read_text().splitlines() if sink.exists() else []


def trace_after_search(trace):
    events = read_trace(trace)
    return events[events.index("runtime search: no acceptable runtime") + 1:]


@BOTH_ARCHES
@pytest.mark.parametrize("key, outcome", [("Return", "opened"), ("n", "not opened (the user said No)")],
                         ids=["yes", "no"])
def test_the_box_asks_whether_to_open_the_page_and_yes_opens_it(wine_x, make_app, browser, tmp_path, key, outcome):
    sink = browser(wine_x)
    exe = make_app({"app-type": 1, "msg-caption": "Get Java", "msg-no-jvm": MESSAGE, "download-url": ADDRESS})
    buttons = []

    def answer(window, caption):
        buttons.append(wine_x.run(TESTVM / "winstate.exe", [caption, "buttons"]).out.strip())
        wine_x.display.xdotool("key", "--window", window, key)

    trace = tmp_path / "trace.txt"
    run = run_windowed(wine_x, exe, env={"ZORVO_TRACE": to_windows_path(trace)}, dismiss=answer)
    assert (run.returncode, run.captions) == (83, ["Get Java"])
    assert run.texts == [f"{MESSAGE}\r\n\r\nOpen the download page?\r\n{ADDRESS}"]
    assert buttons == ["buttons=&Yes|&No"]
    assert addresses_opened(sink, key == "Return") == ([ADDRESS] if key == "Return" else [])
    assert trace_after_search(trace) == [f"message (message box): {MESSAGE}", f"download page {ADDRESS}: {outcome}",
                                         "exit code 83"]


@BOTH_ARCHES
@pytest.mark.parametrize("entry, address, stderr, fate", [
    ("download-url", ADDRESS, f"{MESSAGE}\n{ADDRESS}\n", "shown on standard error"),
    # A value the build tool refuses under the name, written under the id.
    ("129", "ftp://example.com/java", f"{MESSAGE}\n",
     "not offered, the address does not begin with http:// or https://"),
], ids=["printed", "not-http"])
def test_a_console_application_prints_the_page_after_the_message(wine, make_app, browser, tmp_path, entry, address,
                                                                 stderr, fate):
    sink = browser(wine)
    exe = make_app({"app-type": 0, "msg-no-jvm": MESSAGE, entry: address})
    trace = tmp_path / "trace.txt"
    result = wine.run(exe, env={"ZORVO_TRACE": to_windows_path(trace)})
    assert (result.returncode, result.stderr, result.stdout) == (83, stderr.encode(), b"")
    events = trace_after_search(trace)
    assert f"download page {address}: {fate}" in events and events[-1] == "exit code 83"
    assert addresses_opened(sink, False) == []
