"""The generic launcher under Wine: its own configuration block, the launch
sequence as far as it goes today, and error reports in both modes."""

import struct
import subprocess

import pytest

from blocks import block, narrow, wide
from conftest import ARCHES, BOTH_ARCHES, run_windowed, to_windows_path, TESTVM

INTERNAL = "-q_qbk_internal"
NO_JVM = b"No suitable Java runtime was found on this computer.\r\nPlease install Java, then start this application again."


# --- the executable itself ---------------------------------------------------

def pe_layout(data: bytes):
    """(optional header size, section table offset, data directories offset)
    of a PE32 or PE32+ image with its PE header at 128."""
    optional = struct.unpack_from("<H", data, 148)[0]
    magic = struct.unpack_from("<H", data, 152)[0]
    return optional, 152 + optional, 152 + (112 if magic == 0x20B else 96)


def pe_sections(data: bytes):
    """(name, raw offset, raw size, rva, virtual size) of each section."""
    table = pe_layout(data)[1]
    sections = []
    for i in range(struct.unpack_from("<H", data, 134)[0]):
        hdr = table + 40 * i
        name = data[hdr:hdr + 8].rstrip(b"\0").decode()
        vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<IIII", data, hdr + 8)
        sections.append((name, raw_ptr, raw_size, vaddr, max(vsize, raw_size)))
    return sections


def file_offset(data: bytes, rva: int) -> int:
    for _, raw_ptr, _, vaddr, size in pe_sections(data):
        if vaddr <= rva < vaddr + size:
            return rva - vaddr + raw_ptr
    raise AssertionError(f"rva {rva:#x} outside every section")


def data_directory(data: bytes, index: int):
    return struct.unpack_from("<II", data, pe_layout(data)[2] + 8 * index)


def pe_imports(data: bytes):
    """Names of the DLLs the image imports, read from its import directory."""
    names, pos = [], file_offset(data, data_directory(data, 1)[0])
    while True:
        name_rva = struct.unpack_from("<I", data, pos + 12)[0]
        if name_rva == 0:
            return names
        start = file_offset(data, name_rva)
        names.append(data[start:data.index(b"\0", start)].decode().upper())
        pos += 20


@BOTH_ARCHES
def test_launcher_image_keeps_the_block_offsets_and_hardening(arch):
    data = arch.launcher.read_bytes()
    assert struct.unpack_from("<I", data, 60)[0] == 128
    assert data[128:132] == b"PE\0\0"
    assert struct.unpack_from("<H", data, 132)[0] == arch.machine
    optional, table, _ = pe_layout(data)
    assert (optional, table) == ((224, 376) if arch.name == "win32" else (240, 392))
    sections = pe_sections(data)
    assert [s[0] for s in sections] == [".text", ".data", ".idata", ".reloc", ".rsrc"]
    assert max(p + s for _, p, s, _, _ in sections) == sections[-1][1] + sections[-1][2]
    a, b = struct.unpack_from("<II", data, 552 if arch.name == "win32" else 568)
    assert a + b == len(data)
    subsystem, dll_characteristics = struct.unpack_from("<HH", data, 128 + 24 + 68)
    assert subsystem == 2  # GUI
    assert dll_characteristics & 0x40, "dynamic base (ASLR)"
    assert dll_characteristics & 0x100, "NX compatible (DEP)"
    allowed = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL", "SHELL32.DLL", "MSVCRT.DLL"}
    assert set(pe_imports(data)) <= allowed
    if arch.name == "win64":
        assert dll_characteristics & 0x20, "high-entropy ASLR"
        # The function table, referenced by the exception directory: sorted
        # and non-overlapping ranges of code, each with unwind information.
        rva, size = data_directory(data, 3)
        assert size >= 12 and size % 12 == 0
        start = file_offset(data, rva)
        entries = [struct.unpack_from("<III", data, start + i) for i in range(0, size, 12)]
        text = sections[0]
        assert all(text[3] <= begin < end <= text[3] + text[4] for begin, end, _ in entries)
        assert all(a[1] <= b[0] for a, b in zip(entries, entries[1:]))
        assert all(file_offset(data, unwind) for _, _, unwind in entries)


@pytest.mark.parametrize("name", ["win32", "win64"])
def test_each_generic_launcher_is_at_most_100_kb_and_stores_no_zero_data(name):
    """What every application ships: a property of the build, checked for both
    launchers on any host. The section of zero-initialised data is larger in
    memory than in the file."""
    data = ARCHES[name].launcher.read_bytes()
    assert len(data) <= 102400, f"the {name} generic launcher is {len(data):,} bytes"
    table = pe_layout(data)[1]
    virtual, _, raw = struct.unpack_from("<III", data, table + 40 + 8)
    assert data[table + 40:table + 45] == b".data" and raw < virtual and raw <= 4096, (raw, virtual)


# --- the configuration block ---------------------------------------------------

CONSOLE = narrow(107, b"0")


@BOTH_ARCHES
@pytest.mark.parametrize(
    "tail, expected",
    [
        (b"", "Internal Error: readInt"),
        (b"\x00\x00", "Internal Error: readInt"),
        (block([CONSOLE], magic=0x12345678), "Internal Error: magic"),
        (block([narrow(122, b"", length=-1)]), "Internal Error: readString"),
        (block([narrow(122, b"abc", length=0x7FFFFFF0)]), "Internal Error: readString"),
        (block([narrow(122, b"abc", length=10)]), "Internal Error: readString"),
        (block([CONSOLE], [wide(20013, "ab", length=3)]), "Internal Error: readWString"),
        (block([CONSOLE], [wide(20013, "", length=-2)]), "Internal Error: readWString"),
        (block([CONSOLE], [wide(20013, "ab", length=0x7FFFFFFE)]), "Internal Error: readWString"),
        (block([CONSOLE, narrow(1, b"x")], narrow_count=1000), "Internal Error: readInt"),
        (block([CONSOLE], wide_count=0x7FFFFFFF), "Internal Error: readInt"),
        (block([CONSOLE])[:-4], "Internal Error: readInt"),
    ],
    ids=["no-block", "magic-cut", "magic", "negative-length", "huge-length", "short-text",
         "odd-wide", "negative-wide", "huge-wide", "count-too-large", "huge-wide-count", "no-wide-count"],
)
def test_damaged_blocks_end_with_the_fixed_internal_error(wine, stamp_raw, tail, expected):
    exe = stamp_raw(tail)
    result = wine.run(exe, [INTERNAL])
    assert result.returncode == 1
    assert result.stderr == expected.encode() + b"\n"
    assert result.stdout == b""


@BOTH_ARCHES
def test_internal_error_while_loading_is_windowed_without_the_prefix(wine_x, stamp_raw):
    exe = stamp_raw(block([narrow(1000, b"Never read"), narrow(122, b"", length=-1)]))
    run = run_windowed(wine_x, exe)
    assert run.returncode == 1
    # The caption is still unknown while the block cannot be read.
    assert run.captions == [""]
    assert run.texts == ["Internal Error: readString"]


@BOTH_ARCHES
def test_later_record_wins_and_empty_message_prints_an_empty_line(wine, stamp_raw):
    exe = stamp_raw(block([narrow(1001, b"first"), CONSOLE, narrow(1001, b"second")]))
    result = wine.run(exe)
    assert (result.returncode, result.stderr) == (83, b"second\n")
    exe = stamp_raw(block([CONSOLE, narrow(1001, b"")]), name="empty.exe")
    result = wine.run(exe)
    assert (result.returncode, result.stderr) == (83, b"\n")


@BOTH_ARCHES
def test_wide_records_and_an_embedded_stream_do_not_disturb_the_narrow_table(wine, stamp_raw):
    exe = stamp_raw(block([CONSOLE, narrow(1001, b"fine")], [wide(20013, "w\u00e9de")]) + b"\x00" * 7)
    result = wine.run(exe)
    assert (result.returncode, result.stderr) == (83, b"fine\n")


# --- the launch sequence and the reporting mode --------------------------------

@BOTH_ARCHES
@pytest.mark.parametrize("app_type", ["0", "2", "7", "-1"])
def test_console_application_types_report_on_standard_error(wine, make_app, app_type):
    # Under its id: the build tool writes only 0, 1 and 5 under the name.
    result = wine.run(make_app({"main-class": "com.example.Main", "107": app_type}))
    assert result.returncode == 83
    # Exactly the text and one line feed: the CR LF inside the message stays,
    # no carriage return is added.
    assert result.stderr == NO_JVM + b"\n"
    assert result.stdout == b""


@BOTH_ARCHES
@pytest.mark.parametrize("app_type", ["1", "5"])
def test_windowed_application_types_show_a_message_box(wine_x, make_app, app_type):
    exe = make_app({"app-type": app_type, "msg-caption": "Sample App"})
    run = run_windowed(wine_x, exe)
    assert run.returncode == 83
    assert run.captions == ["Sample App"]
    assert run.texts == [NO_JVM.decode()]
    # Nothing but Wine's own trace reaches standard error.
    assert NO_JVM not in run.stderr


def test_internal_prefix_switches_a_windowed_application_to_console(wine, make_app):
    exe = make_app({"app-type": 1, "msg-no-jvm": "nothing found: caf\xe9"})
    for args in ([INTERNAL], [INTERNAL, "more", "args"], [INTERNAL + "X"]):
        result = wine.run(exe, args)
        assert (result.returncode, result.stderr) == (83, b"nothing found: caf\xe9\n"), args


def test_upper_case_prefix_keeps_message_boxes(wine_x, make_app):
    exe = make_app({"app-type": 1, "msg-caption": "Upper", "msg-no-jvm": "boxed"})
    run = run_windowed(wine_x, exe, ["-Q_QBK_INTERNAL"])
    assert (run.returncode, run.captions, run.texts) == (83, ["Upper"], ["boxed"])


def starter_run(wine, exe, command_line, tmp_path, show=None):
    """Starts `exe` with exactly this command line (Wine would re-quote arguments)."""
    cmd_file = tmp_path / "cmdline.txt"
    cmd_file.write_bytes(command_line.encode("cp1252"))
    args = (["--show", str(show)] if show is not None else []) + ["--cmdline-file", to_windows_path(cmd_file)]
    return wine.run(TESTVM / "starter.exe", args, cwd=exe.parent)


def test_command_line_tail_follows_the_program_name(wine, make_app, tmp_path):
    exe = make_app({"app-type": 1, "msg-no-jvm": "console"}, subdir="dir with blanks")
    path = to_windows_path(exe)
    consoles = [
        f'"{path}" {INTERNAL}',
        f'"{path}"{INTERNAL}',
        f'"{path}"  \t {INTERNAL} x',
        f'"{path}" {INTERNAL}"quoted rest"',
    ]
    for line in consoles:
        result = starter_run(wine, exe, line, tmp_path)
        assert (result.returncode, result.stderr) == (83, b"console\n"), line
    windowed = [f'"{path}" x {INTERNAL}', f'"{path}" "{INTERNAL}"']
    for line in windowed:
        result = starter_run(wine, exe, line, tmp_path)
        assert (result.returncode, result.stderr) == (83, b""), line


def test_message_box_shows_the_error_icon(wine_x, make_app, tmp_path):
    exe = make_app({"app-type": 1, "msg-caption": "Iconic"})
    display = wine_x.display
    proc = wine_x.start(exe, debug="-all,trace+msgbox")
    try:
        ids = display.find_windows("^Iconic$")
        assert len(ids) == 1
        shot = tmp_path / "box.png"
        display.screenshot(shot)
        # The error icon is a red disc: some clearly red pixels must be on screen.
        red = subprocess.run(["convert", str(shot), "-fx", "(r>0.7 && g<0.3 && b<0.3) ? 1 : 0", "-format",
                      "%[fx:mean*w*h]", "info:"], capture_output=True, text=True, check=True)
        assert float(red.stdout) > 50
        display.xdotool("key", "--window", ids[0], "Return")
        assert proc.wait(timeout=30) == 83
    finally:
        if proc.poll() is None:
            proc.kill()
