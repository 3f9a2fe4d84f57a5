"""The splash screen under Wine on the virtual display (1024 x 768, no window
manager): where the window is, what it shows, how the status line follows the
Java side's controller, and every way it ends.

Screenshots are compared with the splash image itself (tests/data/splash.bmp,
stamped as the application's picture): every pixel of the window that differs
from the image belongs to one of the two text lines, drawn in colours the
image does not use. Status texts are compared as rendered pixels with a
reference run whose configured first line is the same text. Wine's own traces
(+win, +msgbox, with thread ids) tell the order of window creation, showing,
hiding and message boxes, and the owner of a message box."""

import re
import struct
import subprocess
import time
from pathlib import Path

import pytest

from conftest import (BOTH_ARCHES, REPO, TESTVM, config_text, message_box_texts, run_tool, run_windowed, to_windows_path,
                      watch_windows)
from test_launch import BASE_CONFIG, App, Running, launcher, lay_out_runtime  # noqa: F401 (fixture)

SPLASH_BMP = REPO / "tests" / "data" / "splash.bmp"
TITLE = "Zorvo Splash Test"
STATUS_RGB = (255, 0, 0)
FIXED_RGB = (0, 255, 0)
STATUS_AT = (20, 300)
FIXED_AT = (30, 350)
# The text bands: each line's pixels stay inside its band.
STATUS_BAND = (STATUS_AT[1], 330)
FIXED_BAND = (FIXED_AT[1], 375)
REFERENCE_TEXT = "Ready \u00e9t\u00e9"
WINDOW_TRACE = "-all,+tid,trace+win,trace+msgbox"

SPLASH = {
    "app-type": 1,
    "app-name": TITLE,
    "show-splash": 1,
    "splash-image": str(SPLASH_BMP),
    "splash-width": 540,
    "splash-height": 399,
    "splash-status-x": STATUS_AT[0],
    "splash-status-y": STATUS_AT[1],
    "splash-status-text": "Starting ...",
    "splash-status-font": "Tahoma",
    "splash-status-font-size": 12,
    "splash-status-color": "255,0,0",
    "splash-status-font-weight": 700,
    "splash-fixed-x": FIXED_AT[0],
    "splash-fixed-y": FIXED_AT[1],
    "splash-fixed-text": "Version 1.0",
    "splash-fixed-font": "Tahoma",
    "splash-fixed-font-size": 10,
    "splash-fixed-color": "0,255,0",
    "splash-fixed-font-weight": 400,
}


# --- pictures -----------------------------------------------------------------------------


class Picture:
    """RGB pixels, row by row."""

    def __init__(self, width, height, rgb: bytes):
        self.width, self.height, self.rgb = width, height, rgb

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def crop(self, left, top, width, height) -> "Picture":
        rows = [self.rgb[((top + y) * self.width + left) * 3:((top + y) * self.width + left + width) * 3]
                for y in range(height)]
        return Picture(width, height, b"".join(rows))


def read_bmp(path: Path) -> Picture:
    data = path.read_bytes()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    assert bits == 24 and height > 0, "the splash image is a bottom-up 24-bit bitmap"
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height):
        row = data[offset + (height - 1 - y) * stride:][:width * 3]
        rows.append(bytes(b for px in range(width) for b in (row[px * 3 + 2], row[px * 3 + 1], row[px * 3])))
    return Picture(width, height, b"".join(rows))


def screenshot(display) -> Picture:
    data = subprocess.run(["import", "-display", display.name, "-window", "root", "-depth", "8", "ppm:-"],
                          check=True, capture_output=True, timeout=30).stdout
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    width, height = int(match.group(1)), int(match.group(2))
    return Picture(width, height, data[match.end():match.end() + width * height * 3])


IMAGE = read_bmp(SPLASH_BMP)


def differing(shot: Picture, top=0, bottom=None):
    """Pixels of a splash-sized picture that differ from the image, in rows top..bottom."""
    bottom = IMAGE.height if bottom is None else bottom
    return {(x, y): shot.at(x, y) for y in range(top, bottom) for x in range(IMAGE.width)
            if shot.at(x, y) != IMAGE.at(x, y)}


def band(shot: Picture, rows):
    """The rendered text of one line: its differing pixels and their colours."""
    return frozenset(differing(shot, *rows).items())


# --- runs -----------------------------------------------------------------------------------


class SplashRun(Running):
    """A launcher started on the virtual display, its main blocking until
    released, with Wine's window trace on its standard error."""

    def __init__(self, app, env=None, show=None):
        super().__init__(app, app.next_file("release", ""), env=env, show=show, debug=WINDOW_TRACE,
                         direct=show is None)
        self.display = app.wine.display

    def window(self):
        """The splash window as Windows sees it, or None when there is none."""
        result = self.app.wine.run(TESTVM / "winstate.exe", [TITLE])
        if result.returncode != 0:
            return None
        return {k: int(v) for k, v in (field.split("=") for field in result.out.split())}

    def shown_splash(self) -> Picture:
        """The splash window's pixels, once it is shown and painted."""
        def painted():
            state = self.window()
            if not state or not state["visible"]:
                return None
            shot = screenshot(self.display).crop(state["x"], state["y"], state["w"], state["h"])
            return shot if shot.at(STATUS_AT[0] - 5, STATUS_AT[1] - 5) == IMAGE.at(STATUS_AT[0] - 5, STATUS_AT[1] - 5) else None
        return self.wait_until("painted splash", painted)

    def splash_picture(self) -> Picture:
        state = self.window()
        assert state, "the splash window is gone"
        return screenshot(self.display).crop(state["x"], state["y"], IMAGE.width, IMAGE.height)

    def wait_for_band(self, expected, rows=STATUS_BAND, timeout=10.0):
        return self.wait_until("status line " + ("as expected" if expected else ""),
                               lambda: band(self.splash_picture(), rows) == expected, timeout)

    def splash_thread(self):
        return self.wait_for("AttachCurrentThreadAsDaemon")["tid"]

    def trace(self):
        return self.err.read_text("utf-8", "replace").splitlines()

    def finish_answering_boxes(self):
        """Releases main and answers every window shown until the process ends:
        (exit code, window captions, message box texts, window events)."""
        self.release.touch()
        captions = watch_windows(self.display, self.proc, self.app.exe, 60, True)
        trace = self.trace()
        return self.proc.returncode, captions, message_box_texts("\n".join(trace).encode()), window_events(trace)


@pytest.fixture
def splash_app(launcher, wine_x):
    def make(config=None, name="app.exe"):
        return launcher({**SPLASH, **(config or {})}, name=name, prefix=wine_x)
    return make


@pytest.fixture
def start(splash_app):
    """start(config, env, show) -> SplashRun; every run is released and ended
    when the test ends."""
    runs = []

    def run(config=None, env=None, show=None):
        r = SplashRun(splash_app(config, name=f"app{len(runs)}.exe"), env, show)
        runs.append(r)
        return r

    yield run
    for r in runs:
        if r.proc.poll() is None:
            r.stop()


REFERENCES = {}


@pytest.fixture
def reference(tmp_path_factory, wine_x, arch):
    """The splash with REFERENCE_TEXT configured as its first line: window
    state, picture and the two rendered lines, shared by the tests of one
    architecture that compare a status text with it (made once per session)."""
    if arch.name in REFERENCES:
        return REFERENCES[arch.name]
    work = tmp_path_factory.mktemp("splash-reference")
    conf = work / "ref.conf"
    conf.write_text(config_text({**BASE_CONFIG, **SPLASH, "splash-status-text": REFERENCE_TEXT}), encoding="latin-1")
    exe = work / "ref.exe"
    assert run_tool("--launcher", arch.launcher, "--config", conf, "--out", exe).returncode == 0
    lay_out_runtime(work, arch.testvm)
    run = SplashRun(App(wine_x, exe, work))
    try:
        picture = run.shown_splash()
        state = run.window()
        shot = screenshot(wine_x.display)
    finally:
        launch = run.finish()
    assert launch.returncode == 0
    REFERENCES[arch.name] = {"state": state, "picture": picture, "shot": shot,
                             "status": band(picture, STATUS_BAND), "fixed": band(picture, FIXED_BAND)}
    return REFERENCES[arch.name]


def colours(pixels):
    return {colour for _, colour in pixels}


def bounding_box(pixels):
    xs = [x for (x, _), _ in pixels]
    ys = [y for (_, y), _ in pixels]
    return min(xs), min(ys), max(xs), max(ys)


# --- the window and what it shows ---------------------------------------------------------


@BOTH_ARCHES
def test_the_splash_is_centred_and_shows_the_image_with_both_lines(reference):
    state = reference["state"]
    assert (state["x"], state["y"], state["w"], state["h"]) == (242, 184, 540, 399)
    assert state["topmost"] == 0 and state["owner"] == 0
    picture = reference["picture"]
    text_pixels = differing(picture)
    # Everything but the two lines is the image, pixel for pixel.
    assert text_pixels, "no text drawn"
    assert all(STATUS_BAND[0] <= y < STATUS_BAND[1] or FIXED_BAND[0] <= y < FIXED_BAND[1] for x, y in text_pixels)
    status, fixed = reference["status"], reference["fixed"]
    # Each line in its colour, starting at its position (the text cell's
    # top-left corner; glyphs begin a few pixels inside it).
    assert STATUS_RGB in colours(status) and FIXED_RGB not in colours(status)
    assert FIXED_RGB in colours(fixed) and STATUS_RGB not in colours(fixed)
    left, top, right, bottom = bounding_box(status)
    assert STATUS_AT[0] <= left <= STATUS_AT[0] + 4 and STATUS_AT[1] <= top <= STATUS_AT[1] + 8
    assert 40 <= right - left <= 200 and 8 <= bottom - top <= 20
    left, top, right, bottom = bounding_box(fixed)
    assert FIXED_AT[0] <= left <= FIXED_AT[0] + 4 and FIXED_AT[1] <= top <= FIXED_AT[1] + 8
    # Outside the window the virtual screen stays black.
    shot = reference["shot"]
    for x, y in ((241, 300), (782, 300), (500, 183), (500, 583)):
        assert shot.at(x, y) == (0, 0, 0), (x, y)


def test_an_odd_difference_drops_the_half_pixel_and_an_empty_first_line_draws_nothing(start):
    run = start({"splash-width": 541, "splash-status-text": "", "splash-topmost": 1})
    picture = run.shown_splash()
    state = run.window()
    assert (state["x"], state["y"], state["w"], state["h"]) == (241, 184, 541, 399)
    assert state["topmost"] == 1
    assert band(picture.crop(0, 0, IMAGE.width, IMAGE.height), STATUS_BAND) == frozenset()
    assert FIXED_RGB in colours(band(picture.crop(0, 0, IMAGE.width, IMAGE.height), FIXED_BAND))
    assert run.finish().returncode == 0


@pytest.mark.parametrize("case", ["started-hidden", "no-picture"])
def test_no_splash_for_a_process_started_hidden_or_a_launcher_without_its_picture(start, tmp_path, case):
    """A launcher whose block asks for a splash (written under its number: the
    build tool refuses show-splash without splash-image) but that carries no
    picture shows no window at all, never an empty one, and starts the
    application."""
    trace = tmp_path / f"{case}.trace"
    env = {"ZORVO_TESTVM_MAIN_WINDOW": "Zorvo Hidden Start", "ZORVO_TRACE": to_windows_path(trace)}
    if case == "started-hidden":
        run = start(env=env, show=0)
    else:
        run = start({"show-splash": None, "108": 1, "splash-image": None}, env=env)
    run.wait_for("main_window")
    time.sleep(0.5)
    assert run.window() is None
    assert not [line for line in run.trace() if "ZorvoSplashScreen" in line]
    launch = run.finish()
    assert launch.returncode == 0 and not launch.calls("AttachCurrentThreadAsDaemon")
    reason = "the process was started hidden" if case == "started-hidden" else "the launcher carries no splash image"
    assert f"splash: none ({reason})" in trace.read_text(encoding="utf-8")


# --- the status line and the controller ------------------------------------------------------


@BOTH_ARCHES
def test_status_texts_from_the_controller_replace_the_first_line(start, reference):
    script = ";".join([
        "3*0", "2:", "2", "20*0",                    # two answers 2 without a text
        "2:Ready \\u00e9t\\u00e9\\u20acXYZ", "20*0",  # a unit above U+00FF ends the text
        "2:Something else", "20*0",
        "2:Ready \\u00e9t\\u00e9", "20*0",           # handed out without a terminating zero
        "1",
    ])
    run = start(env={"ZORVO_TESTVM_CONTROLLER": script, "ZORVO_TESTVM_STRING_CHARS": "unterminated"})
    initial = band(run.shown_splash(), STATUS_BAND)
    assert initial and initial != reference["status"]
    run.wait_for_all("CallStaticObjectMethod", count=2, method="getText")
    assert band(run.splash_picture(), STATUS_BAND) == initial
    run.wait_for_band(reference["status"])
    run.wait_for_all("CallStaticObjectMethod", count=4, method="getText")
    assert band(run.splash_picture(), STATUS_BAND) not in (initial, reference["status"])
    run.wait_for_all("CallStaticObjectMethod", count=5, method="getText")
    run.wait_for_band(reference["status"])
    # Answer 1: the splash goes, and its thread detaches from the VM.
    tid = run.splash_thread()
    run.wait_for("DetachCurrentThread", tid=tid)
    state = run.window()
    assert state is None or state["visible"] == 0
    launch = run.finish()
    assert launch.returncode == 0
    assert [r["wasAttached"] for r in launch.calls("DetachCurrentThread") if r["tid"] == tid] == [True]
    assert launch.one("DestroyJavaVM")["daemonsAttached"] == []
    # Every string's characters were given back, and every text's reference.
    texts = [r["result"] for r in launch.calls("CallStaticObjectMethod") if r["result"]]
    assert sorted(r["ref"] for r in launch.calls("ReleaseStringChars")) == sorted(texts)
    assert sorted(r["ref"] for r in launch.calls("DeleteLocalRef") if r["tid"] == tid) == sorted(texts)


def test_exceptions_and_an_oversized_text_leave_the_poller_working(start, reference):
    oversized = "x" * 9000
    script = ";".join(["3*0", "!", "2:!", f"2:{oversized}", "10*0", "2:Ready \\u00e9t\\u00e9", "30*0", "1"])
    run = start(env={"ZORVO_TESTVM_CONTROLLER": script})
    run.shown_splash()
    run.wait_for_band(reference["status"])
    # The cut text never reached past its buffer into the fixed line.
    assert band(run.splash_picture(), FIXED_BAND) == reference["fixed"]
    tid = run.splash_thread()
    run.wait_for("DetachCurrentThread", tid=tid)
    launch = run.finish()
    assert launch.returncode == 0
    described = [r["exception"] for r in launch.calls("ExceptionDescribe") if r["tid"] == tid]
    assert described == ["java.lang.IllegalStateException"] * 2
    # No JNI call was made while an exception was pending, apart from the
    # ones that deal with it.
    careless = [r for r in launch.jvm if r.get("exceptionPending") and r["call"] not in
                ("ExceptionCheck", "ExceptionDescribe", "ExceptionClear", "ExceptionOccurred")]
    assert careless == []
    lengths = [r["length"] for r in launch.calls("GetStringChars")]
    assert 9000 in lengths


def test_without_the_controller_class_the_poller_detaches_and_stays_idle(start):
    run = start(env={"ZORVO_TESTVM_MISSING": "com/zorvo/runtime/ZorvoController"})
    run.shown_splash()
    tid = run.splash_thread()
    run.wait_for("DetachCurrentThread", tid=tid)
    time.sleep(1.0)  # ten more ticks
    assert run.window()["visible"] == 1
    launch = run.finish()
    assert launch.returncode == 0
    on_splash_thread = [r["call"] for r in launch.jvm if r["tid"] == tid]
    assert on_splash_thread == ["AttachCurrentThreadAsDaemon", "FindClass", "ExceptionCheck", "ExceptionDescribe",
                                "ExceptionClear", "DetachCurrentThread"]


# --- how the splash ends ---------------------------------------------------------------------


def test_the_applications_first_window_closes_the_splash_when_configured(start):
    run = start({"splash-close-on-window": 1}, {"ZORVO_TESTVM_MAIN_WINDOW": "Zorvo App Window"})
    run.wait_for("main_window")
    # The splash goes at the next tick; hiding itself takes about two seconds
    # on a display without a window manager.
    run.wait_until("the splash hidden", lambda: (run.window() or {"visible": 0})["visible"] == 0, timeout=10)
    launch = run.finish()
    assert launch.returncode == 0
    # Its thread detached, if it had attached at all before the window came.
    attached = [r["tid"] for r in launch.calls("AttachCurrentThreadAsDaemon")]
    assert [r["tid"] for r in launch.calls("DetachCurrentThread")] == attached


def test_without_the_setting_the_splash_stays_over_the_applications_window(start):
    run = start(env={"ZORVO_TESTVM_MAIN_WINDOW": "Zorvo App Window"})
    run.shown_splash()
    run.wait_for("main_window")
    time.sleep(1.0)
    assert run.window()["visible"] == 1
    assert run.launch().calls("DetachCurrentThread") == []
    assert run.finish().returncode == 0


@BOTH_ARCHES
@pytest.mark.parametrize("case", ["controller missing", "never closed", "never closed, closes on a window"])
def test_a_splash_still_up_never_keeps_the_process_alive(start, case):
    """main returns, the application's last thread ends a second later, and the
    splash is still polling (or attached and idle): the process ends, and the
    splash thread makes no VM call once the VM shuts down (the double would
    end the process with 98)."""
    config = {"splash-close-on-window": 1} if "window" in case else None
    env = {"ZORVO_TESTVM_MAIN_THREAD_MS": "1000"}
    if case == "controller missing":
        env["ZORVO_TESTVM_MISSING"] = "com/zorvo/runtime/ZorvoController"
    run = start(config, env)
    run.shown_splash()
    run.splash_thread()
    launch = run.finish()
    assert launch.returncode == 0
    assert launch.sequence.index("app_thread_end") < launch.sequence.index("DestroyJavaVM")
    if case == "controller missing":
        assert launch.calls("shutdown_hook") == []
    else:
        assert launch.one("shutdown_hook")["calledNative"] is True


def test_a_splash_closed_from_outside_detaches_and_leaves_later_boxes_unowned(start):
    run = start(env={"ZORVO_TESTVM_MAIN_THROW": "failure after the splash was closed"})
    run.shown_splash()
    tid = run.splash_thread()
    closed = run.app.wine.run(TESTVM / "winstate.exe", [TITLE, "close"])
    assert closed.out.strip() == "closed"
    run.wait_for("DetachCurrentThread", tid=tid)
    returncode, captions, texts, events = run.finish_answering_boxes()
    assert (returncode, texts) == (1, ["START-FAILED"])
    splash, shows, box_owner = splash_history(events)
    assert splash is not None and box_owner == 0


# --- errors ------------------------------------------------------------------------------


def window_events(trace):
    """Events from Wine's +tid,+win,+msgbox trace, in order, as tuples:
    ("create", thread, class, parent, hwnd), ("show", thread, hwnd, command),
    ("box", thread)."""
    events, pending = [], {}
    for line in trace:
        thread = line[:4]
        m = re.match(r"[0-9a-f]{4}:trace:win:WIN_CreateWindowEx .*? L?\"?([^\" ]*)\"? ex=\S+ style=\S+ \S+ \S+ "
                     r"parent=([0-9a-fA-F]+)", line)
        if m:
            pending[thread] = (m.group(1), int(m.group(2), 16))
            continue
        # The handle comes with the first window the system makes for that
        # call; windows it makes on the side (the IME window) come later.
        m = re.match(r"[0-9a-f]{4}:trace:win:NtUserCreateWindowEx hwnd (0x[0-9a-f]+) cs", line)
        if m and thread in pending:
            cls, parent = pending.pop(thread)
            events.append(("create", thread, cls, parent, int(m.group(1), 16)))
            continue
        m = re.match(r"[0-9a-f]{4}:trace:win:show_window hwnd=(0x[0-9a-f]+), cmd=(\d+)", line)
        if m:
            events.append(("show", thread, int(m.group(1), 16), int(m.group(2))))
            continue
        if ":trace:msgbox:MSGBOX_OnInit" in line:
            events.append(("box", thread))
    return events


def splash_history(events):
    """The splash window's handle (None when none was created), its show
    commands up to the first message box, and the owner of that box."""
    splash = next((e[4] for e in events if e[0] == "create" and e[2] == "ZorvoSplashScreen"), None)
    shows, box_owner = [], None
    for i, event in enumerate(events):
        if event[0] == "box":
            # The dialog created last on the box's thread is the box.
            box_owner = next(e[3] for e in reversed(events[:i])
                             if e[0] == "create" and e[1] == event[1] and e[2] == "#8002")
            break
        if event[0] == "show" and event[2] == splash:
            shows.append(event[3])
    return splash, shows, box_owner


def trace_of(run):
    return window_events(run.stderr.decode("utf-8", "replace").splitlines())


@BOTH_ARCHES
def test_an_error_hides_the_splash_and_its_message_box_is_owned_by_it(start):
    run = start(env={"ZORVO_TESTVM_MAIN_THROW": "failure while the splash shows"})
    run.shown_splash()
    returncode, captions, texts, events = run.finish_answering_boxes()
    assert (returncode, texts) == (1, ["START-FAILED"])
    splash, shows, box_owner = splash_history(events)
    # Shown (the default show command), then hidden before the box appeared,
    # and the box is owned by the (hidden) splash window.
    assert splash is not None and shows == [10, 0], shows
    assert box_owner == splash


def test_an_error_after_the_splash_has_ended_shows_an_unowned_box(start):
    run = start(env={"ZORVO_TESTVM_CONTROLLER": "3*0;1", "ZORVO_TESTVM_MAIN_THROW": "failure after the splash"})
    run.shown_splash()
    run.wait_for("DetachCurrentThread")
    # The thread detaches, hides the window (slow without a window manager) and ends.
    run.wait_until("the splash window gone", lambda: run.window() is None, timeout=20)
    returncode, captions, texts, events = run.finish_answering_boxes()
    assert (returncode, texts) == (1, ["START-FAILED"])
    splash, shows, box_owner = splash_history(events)
    assert splash is not None and shows == [10, 0]
    # The splash window is gone with its thread: a box owned by it would not show.
    assert box_owner == 0


@pytest.mark.parametrize("attempt", range(3))
def test_an_error_right_at_the_start_never_leaves_a_splash_on_screen(splash_app, wine_x, attempt):
    """The runtime search fails at once, often before the splash thread has its
    window: then no splash may appear at all, and in no case after the box."""
    exe = splash_app({"jvm-search-sequence": "Rnowhere"}).exe
    run = run_windowed(wine_x, exe, debug=WINDOW_TRACE)
    assert run.returncode == 83
    assert run.texts == ["NO-JVM"]
    events = trace_of(run)
    splash, shows, box_owner = splash_history(events)
    if splash is None:
        return  # the hide request came before the thread's first step: nothing was created
    # Whatever the order, the splash is not visible when the box appears, and
    # it is never shown after it.
    assert shows == [] or shows[-1] == 0, shows
    box_at = next(i for i, e in enumerate(events) if e[0] == "box")
    assert [e for e in events[box_at:] if e[0] == "show" and e[2] == splash and e[3] != 0] == []


# --- resources ---------------------------------------------------------------------------


def test_a_hundred_status_changes_do_not_grow_the_gdi_objects(start):
    script = ";".join(f"2:Step {i}" for i in range(100)) + ";1"
    run = start(env={"ZORVO_TESTVM_CONTROLLER": script, "ZORVO_TESTVM_MAIN_GDI": "1"})
    run.shown_splash()
    tid = run.splash_thread()
    run.wait_for("DetachCurrentThread", tid=tid, timeout=40)
    launch = run.finish()
    assert len([r for r in launch.calls("GetStringChars")]) == 100
    start_count, end_count = (r["gdiTableObjects"] for r in launch.calls("gui_resources"))
    assert start_count > 0
    # Each paint loads the image and a back buffer; a leak of either would add
    # a hundred objects.
    assert end_count - start_count < 30, (start_count, end_count)
