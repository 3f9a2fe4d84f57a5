"""Java runtime discovery under Wine: the order of the search sources, the
version rules and the per-user version cache, the probe of a runtime's
version, the registry search, loading the VM library, unpacking a packed
private runtime, and the messages shown when nothing usable is found.

Every test lays out its runtimes made of the test doubles in its own
temporary directory, beside a launcher stamped for it. A runtime that is found
and whose VM library loads runs the test VM, whose main returns at once, and
the launcher ends with exit code 0; the jvm.dll log tells which library was
loaded, the java.exe log how often a runtime was probed."""

import json
import ntpath
import os
import shutil
import time
from pathlib import Path

import pytest

from conftest import ARCHES, BOTH_ARCHES, TESTVM, to_windows_path

CACHE_KEY = r"HKEY_CURRENT_USER\SOFTWARE\tallgrass-works\zorvo\jvms"
LOCATED_KEY = r"SOFTWARE\tallgrass-works\zorvo\locatedjvms"
JRE_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\JavaSoft\Java Runtime Environment"
JDK_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\JavaSoft\Java Development Kit"
HIVES = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}

INTERNAL = "-q_qbk_internal"
MESSAGES = {
    "msg-no-jvm": "NO-JVM",
    "msg-path-jvm-damaged": "PATH-DAMAGED",
    "msg-env-jvm-damaged": "ENV-DAMAGED %ENV_VAR_NAME%",
    "msg-defined-jvm-damaged": "DEFINED-DAMAGED %DEFINED_PATH%",
    "msg-jvm-start-failed": "START-FAILED",
}
CONSOLE = {"app-type": 0, **MESSAGES}

# A runtime found and its VM library bound: the launch goes on, the test VM
# runs main and the launcher ends normally.
FOUND = (0, b"")
NOT_FOUND = (83, b"NO-JVM\n")

# Written to standard output in text mode, so the line ends in CR LF.
PREPARING = b"Preparing JRE ...\r\n"
PACKED_ARCHIVES = ["lib\\rt.jar", "lib\\charsets.jar", "lib\\plugin.jar", "lib\\deploy.jar",
                   "lib\\ext\\localedata.jar", "lib\\jsse.jar"]


# --- test runtimes, registry, logs -----------------------------------------------------


# The test doubles make_runtime lays out unless told otherwise: those of the
# test's architecture (set for each test by runtime_doubles).
RUNTIME_DOUBLES = {"dir": TESTVM}


@pytest.fixture(autouse=True)
def runtime_doubles(arch):
    RUNTIME_DOUBLES["dir"] = arch.testvm


def make_runtime(home: Path, version="1.6.0_45", kinds=("client",), javaw=True, jdk=False, packed=(),
                 behaviour=None, noentry=(), line=None, unpacker=True, testvm=None, crt=None) -> Path:
    """Lays out a test runtime: bin\\java.exe (and javaw.exe) answering `line`
    (default: java version "<version>"), a VM library bin\\<kind>\\jvm.dll for
    each kind (below jre\\bin instead with `jdk`: a JDK whose bin holds no VM),
    noentry kinds get the library without JNI_CreateJavaVM, and `packed`
    archives (e.g. "lib\\rt.jar") as .pack files with bin\\unpack200.exe. With
    `crt` the VM libraries import the C runtime double zrvcrt.dll, which lies
    in bin when `crt` is "bin" and nowhere when it is "missing". The programs
    are the test doubles in `testvm` (default: the test's architecture)."""
    testvm = testvm or RUNTIME_DOUBLES["dir"]
    bin_dir = home / "bin"
    bin_dir.mkdir(parents=True, exist_ok=True)
    shutil.copy(testvm / "java.exe", bin_dir / "java.exe")
    if javaw:
        shutil.copy(testvm / "javaw.exe", bin_dir / "javaw.exe")
    text = line if line is not None else f'java version "{version}"'
    (bin_dir / "version.txt").write_bytes(text.encode("latin-1") + b"\r\n")
    if behaviour is not None:
        (bin_dir / "behaviour.txt").write_text(behaviour)
    vm_root = home / "jre" / "bin" if jdk else bin_dir
    vm_dll = "jvm-needscrt.dll" if crt else "jvm.dll"
    if crt == "bin":
        shutil.copy(testvm / "zrvcrt.dll", bin_dir / "zrvcrt.dll")
    for kind, dll in [(k, vm_dll) for k in kinds] + [(k, "jvm-noentry.dll") for k in noentry]:
        (vm_root / kind).mkdir(parents=True, exist_ok=True)
        shutil.copy(testvm / dll, vm_root / kind / "jvm.dll")
    for archive in packed:
        pack = home / (archive.replace("\\", "/") + ".pack")
        pack.parent.mkdir(parents=True, exist_ok=True)
        pack.write_bytes(f"packed {archive}".encode())
    if packed and unpacker:
        shutil.copy(testvm / "unpack200.exe", bin_dir / "unpack200.exe")
    return home


win = to_windows_path


def filetime(path: Path) -> bytes:
    """The file's last-write time as a Windows FILETIME, low 32 bits first."""
    return (os.stat(path).st_mtime_ns // 100 + 116444736000000000).to_bytes(8, "little")


def normalised(windows_path: str) -> str:
    return ntpath.normpath(windows_path.replace("/", "\\")).lower()


def ends_with(windows_path: str, tail: str) -> bool:
    """True when the path's last components are those of `tail`. Only the tail
    is compared: the directories above a test's tree may appear in short form."""
    return normalised(windows_path).endswith("\\" + normalised(tail))


class VmLog:
    """The JSON-lines log the test doubles append to."""

    def __init__(self, path: Path):
        self.path = path

    def records(self, call=None, src=None):
        if not self.path.exists():
            return []
        records = [json.loads(line) for line in self.path.read_text(encoding="ascii").splitlines()]
        return [r for r in records
                if (call is None or r["call"] == call) and (src is None or r["src"] == src)]

    def probes(self):
        """The Java executables started, in order."""
        return [r["exe"] for r in self.records("exec") if r["src"] in ("java", "javaw")]

    def loaded(self):
        return [(r["src"], r["dll"]) for r in self.records("dll_loaded")]

    def clear(self):
        self.path.unlink(missing_ok=True)


def reg_import(wine, lines):
    """Writes registry keys and values in one step; a line "[-KEY]" deletes a key."""
    reg_file = wine.prefix / f"import-{os.getpid()}.reg"
    reg_file.write_text("REGEDIT4\r\n\r\n" + "\r\n".join(lines) + "\r\n", encoding="latin-1")
    wine.reg("import", to_windows_path(reg_file))
    reg_file.unlink()


def reg_string(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def reg_key_values(wine, key):
    """{subkey path: {value: data}} of a key and everything below it; binary data
    as bytes, strings as str. {} when the key is missing."""
    out = wine.prefix / f"export-{os.getpid()}.reg"
    proc = wine.reg("export", key, to_windows_path(out), "/y", check=False)
    if proc.returncode != 0 or not out.exists():
        return {}
    text = out.read_bytes().decode("utf-16")
    out.unlink()
    keys, current, pending = {}, None, ""
    for raw in text.splitlines():
        if raw.endswith("\\"):
            pending += raw[:-1].strip()
            continue
        line, pending = pending + raw.strip(), ""
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
        elif line.startswith('"') and current is not None:
            end = line.index('"=', 1)
            name, data = line[1:end], line[end + 2:]
            if data.startswith('"'):
                current[name] = data[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            elif data.startswith("hex"):
                digits = data.split(":", 1)[1]
                current[name] = bytes(int(b, 16) for b in digits.split(",") if b)
            else:
                current[name] = data
    return keys


def cache_entries(wine):
    """The version cache as {key name below jvms: {value: data}}."""
    prefix = CACHE_KEY + "\\"
    return {k[len(prefix):]: v for k, v in reg_key_values(wine, CACHE_KEY).items() if k.startswith(prefix)}


def cache_key_of(executable: Path) -> str:
    """The cache key name of a Java executable reached by an absolute path."""
    return win(executable).lower().replace("\\", "/")


def located_name(executable: Path) -> str:
    return win(executable).replace("\\", "/")


def temp_probe_files(wine):
    return sorted(p.name for p in (wine.prefix / "drive_c" / "users").glob("*/Temp/zrv*.tmp"))


@pytest.fixture(autouse=True)
def clean_registry(wine):
    """The version cache, the located-runtime keys of both hives and the JavaSoft
    keys are empty before and after every test."""
    reset = [f"[-{CACHE_KEY}]", f"[-HKEY_CURRENT_USER\\{LOCATED_KEY}]",
             f"[-HKEY_LOCAL_MACHINE\\{LOCATED_KEY}]", "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft]",
             "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\JavaSoft]"]
    reset += [f"[-{hive}\\{root}]" for hive in HIVES.values() for root in VENDOR_ROOTS]
    reg_import(wine, reset)
    yield
    reg_import(wine, reset)


@pytest.fixture
def vm_log(tmp_path):
    return VmLog(tmp_path / "testvm.jsonl")


@pytest.fixture
def launch(wine, vm_log):
    """launch(exe, args=(), env=None) with the doubles' log switched on and the
    product variables undefined unless the test defines them."""

    def run(exe, args=(), env=None, cwd=None):
        full = {"ZORVO_TESTVM_LOG": str(vm_log.path), "ZORVO_JAVA_HOME": None,
                "QUENBROOK_JAVA_HOME": None, "ZORVO_TESTVM_JAVA_BEHAVIOUR": None,
                "ZORVO_TESTVM_UNPACK200_BEHAVIOUR": None, **(env or {})}
        return wine.run(exe, args, env=full, cwd=cwd)

    return run


def outcome(result):
    return result.returncode, result.stderr


def assert_loaded(vm_log, tail, src="jvm"):
    loaded = vm_log.loaded()
    assert len(loaded) == 1 and loaded[0][0] == src and ends_with(loaded[0][1], tail), loaded


def assert_probed(vm_log, *tails):
    probes = vm_log.probes()
    assert len(probes) == len(tails) and all(ends_with(p, t) for p, t in zip(probes, tails)), probes


def javasoft_lines(tmp_path, key, current=None, versions=None):
    """Registry lines of a JavaSoft key: CurrentVersion and one subkey per
    version name whose JavaHome is the named runtime below tmp_path (None: no
    JavaHome value)."""
    lines = [f"[{key}]"]
    if current is not None:
        lines.append(f'"CurrentVersion"={reg_string(current)}')
    for name, home in (versions or {}).items():
        lines.append(f"[{key}\\{name}]")
        if home is not None:
            lines.append(f'"JavaHome"={reg_string(win(tmp_path / home))}')
    return lines


def located_lines(hive, executables):
    lines = []
    for exe in executables:
        lines.append(f"[{HIVES[hive]}\\{LOCATED_KEY}\\{located_name(exe)}]")
    return lines


# The keys that installers of current runtimes write: (key, subkey name, path below it, value).
VENDOR_KEYS = [
    ("SOFTWARE\\JavaSoft\\JDK", "17.0.2", "", "JavaHome"),
    ("SOFTWARE\\JavaSoft\\JRE", "21", "", "JavaHome"),
    ("SOFTWARE\\Eclipse Adoptium\\JDK", "17.0.9.9", "hotspot\\MSI", "Path"),
    ("SOFTWARE\\Eclipse Adoptium\\JRE", "17.0.9.9", "hotspot\\MSI", "Path"),
    ("SOFTWARE\\AdoptOpenJDK\\JDK", "11.0.11.9", "hotspot\\MSI", "Path"),
    ("SOFTWARE\\AdoptOpenJDK\\JRE", "11.0.11.9", "hotspot\\MSI", "Path"),
    ("SOFTWARE\\Microsoft\\JDK", "21.0.1.12", "hotspot\\MSI", "Path"),
    ("SOFTWARE\\Semeru\\JDK", "17.0.8.1", "openj9\\MSI", "Path"),
    ("SOFTWARE\\Semeru\\JRE", "17.0.8.1", "openj9\\MSI", "Path"),
    ("SOFTWARE\\Azul Systems\\Zulu", "zulu-17", "", "InstallationPath"),
    ("SOFTWARE\\BellSoft\\Liberica", "Liberica JDK 17", "", "InstallationPath"),
]
# Removed before and after every test (never the whole SOFTWARE\Microsoft).
VENDOR_ROOTS = ["SOFTWARE\\JavaSoft", "SOFTWARE\\Eclipse Adoptium", "SOFTWARE\\AdoptOpenJDK", "SOFTWARE\\Microsoft\\JDK",
                "SOFTWARE\\Semeru", "SOFTWARE\\Azul Systems", "SOFTWARE\\BellSoft"]


def vendor_lines(hive, key, name, below, value, data):
    """A vendor key's subkey with its home value (`data`: text, or a raw
    registry data form such as 'dword:00000001'; None: no value)."""
    path = f"{HIVES[hive]}\\{key}\\{name}" + (f"\\{below}" if below else "")
    lines = [f"[{path}]"]
    if data is not None:
        lines.append(f'"{value}"=' + (data if data.startswith("dword:") else reg_string(data)))
    return lines


# --- the order of the search sources ----------------------------------------------------

# One runtime directory per search source, in the order the search tries them.
SOURCES = ["pref", "itema", "itemr", "iteme", "items", "itemy", "flavour", "instrt"]


def order_setup(wine, tmp_path, make_app, present):
    """A launcher whose every search source names a valid runtime of its own;
    only the runtimes in `present` exist. Returns (exe, env)."""
    for name in present:
        make_runtime(tmp_path / name)
    # Never chosen: named by lower-case and unknown items, and by the other flavour's variable.
    make_runtime(tmp_path / "lower")
    make_runtime(tmp_path / "qbkhome")
    quenbrook = tmp_path / "inst" / ".quenbrook"
    quenbrook.mkdir(parents=True)
    (quenbrook / "pref_jre.cfg").write_text(win(tmp_path / "pref") + "\r\n")
    (quenbrook / "inst_jre.cfg").write_text("instrt\r\n")
    reg_import(wine, javasoft_lines(tmp_path, JRE_KEY, "1.6", {"1.6": "itemy"}))
    lower = win(tmp_path / "lower")
    sequence = (f"a{lower};;X{lower};r{lower};A{win(tmp_path / 'itema')};Ritemr;"
                f"EZRV_TEST_HOME;Sany text;Y;")
    exe = make_app({**CONSOLE, "jvm-search-sequence": sequence, "installer-dir": "inst",
                    "product-flavour": "e", "path-prefix": "items\\bin"})
    env = {"ZRV_TEST_HOME": win(tmp_path / "iteme"), "ZORVO_JAVA_HOME": win(tmp_path / "flavour"),
           "QUENBROOK_JAVA_HOME": win(tmp_path / "qbkhome")}
    return exe, env


@pytest.mark.parametrize("winner", SOURCES)
def test_each_source_wins_in_its_turn_over_all_later_ones(wine, make_app, tmp_path, launch, vm_log, winner):
    present = SOURCES[SOURCES.index(winner):]
    exe, env = order_setup(wine, tmp_path, make_app, present)

    assert outcome(launch(exe, env=env)) == FOUND
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")
    # Earlier sources were missing: nothing else was started on the way.
    assert_probed(vm_log, f"{winner}\\bin\\java.exe")


def test_nothing_found_when_every_source_is_missing(wine, make_app, tmp_path, launch, vm_log):
    exe, env = order_setup(wine, tmp_path, make_app, [])

    assert outcome(launch(exe, env=env)) == NOT_FOUND
    assert vm_log.probes() == [] and vm_log.loaded() == []


@pytest.mark.parametrize("letter", ["a", "r", "e", "s", "y", "X", "1", " "])
def test_items_with_any_other_first_character_are_no_ops(wine, make_app, tmp_path, launch, vm_log, letter):
    make_runtime(tmp_path / "rt")
    reg_import(wine, javasoft_lines(tmp_path, JRE_KEY, "1.6", {"1.6": "rt"}))
    argument = {"e": "ZRV_TEST_HOME", "s": "", "y": ""}.get(letter.lower(), win(tmp_path / "rt"))
    env = {"ZRV_TEST_HOME": win(tmp_path / "rt")}
    config = {**CONSOLE, "path-prefix": "rt\\bin"}
    ignored = make_app({**config, "jvm-search-sequence": f"{letter}{argument};"}, name="ignored.exe")

    assert outcome(launch(ignored, env=env)) == NOT_FOUND
    assert vm_log.probes() == []
    if letter.upper() in "ARESY":
        # The same item under its capital letter finds the runtime.
        used = make_app({**config, "jvm-search-sequence": f"{letter.upper()}{argument};"}, name="used.exe")
        assert outcome(launch(used, env=env)) == FOUND
        assert_loaded(vm_log, "rt\\bin\\client\\jvm.dll")


@pytest.mark.parametrize(
    "flavour, winner",
    [("e", "zrvhome"), ("i", "qbkhome"), ("x", "instrt"), (None, "instrt")],
    ids=["launcher-flavour", "installer-flavour", "other-letter", "no-flavour"],
)
def test_only_the_flavours_own_variable_is_read(make_app, tmp_path, launch, vm_log, flavour, winner):
    for name in ("zrvhome", "qbkhome", "instrt"):
        make_runtime(tmp_path / name)
    (tmp_path / ".quenbrook").mkdir()
    (tmp_path / ".quenbrook" / "inst_jre.cfg").write_text("instrt\n")
    config = dict(CONSOLE)
    if flavour is not None:
        config["product-flavour"] = flavour
    exe = make_app(config)
    env = {"ZORVO_JAVA_HOME": win(tmp_path / "zrvhome"), "QUENBROOK_JAVA_HOME": win(tmp_path / "qbkhome")}

    assert outcome(launch(exe, env=env)) == FOUND
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")
    assert_probed(vm_log, f"{winner}\\bin\\java.exe")


@pytest.mark.parametrize(
    "content, winner",
    [
        ("first\r\nsecond\r\n", "first"),
        ("first", "first"),
        ("first\n\n", "first"),
        ("\r\nsecond\r\n", "app"),      # an empty line names the executable's directory
        ("", "fallback"),              # an empty file is skipped
        ("missing\r\nfirst\r\n", "fallback"),  # only the first line counts
    ],
    ids=["crlf-and-more-lines", "no-line-end", "lf", "empty-line", "empty-file", "first-line-only"],
)
def test_only_the_first_line_of_a_search_file_counts(make_app, tmp_path, launch, vm_log, content, winner):
    app_dir = tmp_path / "app"
    make_runtime(app_dir)                      # app\bin\java.exe: the executable's directory as a home
    for name in ("first", "second", "fallback"):
        make_runtime(app_dir / name)
    (app_dir / ".quenbrook").mkdir(parents=True)
    (app_dir / ".quenbrook" / "pref_jre.cfg").write_bytes(content.encode())
    # Without installer-dir the search files lie below the executable's directory.
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Rfallback;"}, subdir="app")

    assert outcome(launch(exe)) == FOUND
    expected = "app\\bin\\client\\jvm.dll" if winner == "app" else f"app\\{winner}\\bin\\client\\jvm.dll"
    assert_loaded(vm_log, expected)


@pytest.mark.parametrize("search_file", [None, "pref_jre.cfg", "inst_jre.cfg"],
                         ids=["search-item", "preferred-file", "installed-file"])
def test_relative_homes_are_relative_to_the_executable_not_the_working_directory(make_app, tmp_path, launch,
                                                                                 vm_log, search_file):
    make_runtime(tmp_path / "app" / "rt")
    make_runtime(tmp_path / "cwd" / "rt")       # the same relative name below the working directory
    for base in ("app", "cwd"):
        quenbrook = tmp_path / base / "inst" / ".quenbrook"
        quenbrook.mkdir(parents=True)
        if search_file:
            (quenbrook / search_file).write_text("rt\n")
    config = {**CONSOLE, "installer-dir": "inst"}
    if not search_file:
        config["jvm-search-sequence"] = "Rrt;"
    exe = make_app(config, subdir="app")

    assert outcome(launch(exe, cwd=tmp_path / "cwd")) == FOUND
    assert_loaded(vm_log, "app\\rt\\bin\\client\\jvm.dll")


@pytest.mark.parametrize(
    "version, passed_over",
    [("1.4.2_05", True), ("1.7.0", True), ("1.10.0", True), ("1.6.0_45", False), ("1.5", False)],
    ids=["below-minimum", "above-maximum", "1.10-is-below-1.5", "maximum-is-a-prefix", "minimum-itself"],
)
def test_a_runtime_outside_the_range_is_passed_over(make_app, tmp_path, launch, vm_log, version, passed_over):
    make_runtime(tmp_path / "first", version)
    make_runtime(tmp_path / "second", "1.5.0_22")
    (tmp_path / ".quenbrook").mkdir()
    (tmp_path / ".quenbrook" / "pref_jre.cfg").write_text("first\n")
    exe = make_app({**CONSOLE, "min-java-version": "1.5", "max-java-version": "1.6",
                    "jvm-search-sequence": "Rsecond;"})

    assert outcome(launch(exe)) == FOUND
    winner = "second" if passed_over else "first"
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
    ],
    ids=["classic", "openjdk-with-date", "lts", "openjdk-classic", "exit-code-1", "no-answer",
         "answer-on-stdout", "garbage", "capital-j", "no-quotes", "two-blanks"],
)
def test_the_probe_takes_the_version_between_the_quotes(wine, make_app, tmp_path, launch, vm_log,
                                                        line, behaviour, version):
    home = make_runtime(tmp_path / "rt", line=line, behaviour=behaviour)
    exe = make_app({**CONSOLE, "jvm-search-sequence": f"A{win(home)};"})

    result = launch(exe)

    assert len(vm_log.probes()) == 1
    entries = cache_entries(wine)
    if version is None:
        assert outcome(result) == NOT_FOUND
        assert entries == {}, "a failed probe leaves no cache entry"
    else:
        assert outcome(result) == FOUND
        assert entries[cache_key_of(home / "bin" / "java.exe")]["Version"] == version


@pytest.mark.parametrize(
    "line, behaviour, expected",
    [
        ('java version "1.6.0_45"', None, FOUND),
        ('java version "1.6.0_45"', "exit 1", NOT_FOUND),
        ("Error occurred during initialization of VM", None, NOT_FOUND),
    ],
    ids=["accepted", "exit-code-1", "garbage"],
)
def test_the_probe_leaves_no_temporary_file(wine, make_app, tmp_path, launch, vm_log, line, behaviour, expected):
    home = make_runtime(tmp_path / "rt", line=line, behaviour=behaviour)
    exe = make_app({**CONSOLE, "jvm-search-sequence": f"A{win(home)};"})
    before = temp_probe_files(wine)

    assert outcome(launch(exe)) == expected
    assert len(vm_log.probes()) == 1
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


BETA_SOURCES = {
    # source: accepted without accept-beta
    "defined-directory": True,
    "environment-variable": False,
    "search-path": False,
    "javasoft": False,
    "located": True,
}


@pytest.mark.parametrize("accept_beta", [0, 1])
@pytest.mark.parametrize("source", list(BETA_SOURCES))
def test_beta_versions_only_from_defined_directories_and_located_runtimes(wine, make_app, tmp_path, launch,
                                                                          vm_log, source, accept_beta):
    home = make_runtime(tmp_path / "beta", "1.5.0-beta")
    config = {**CONSOLE, "accept-beta": accept_beta}
    env = {}
    if source == "defined-directory":
        config["jvm-search-sequence"] = "Rbeta;"
    elif source == "environment-variable":
        config["jvm-search-sequence"] = "EZRV_TEST_HOME;"
        env["ZRV_TEST_HOME"] = win(home)
    elif source == "search-path":
        config.update({"jvm-search-sequence": "S;", "path-prefix": "beta\\bin"})
    elif source == "javasoft":
        config["jvm-search-sequence"] = "Y;"
        reg_import(wine, javasoft_lines(tmp_path, JRE_KEY, "1.5", {"1.5": "beta"}))
    else:
        config["jvm-search-sequence"] = "Y;"
        reg_import(wine, located_lines("HKCU", [home / "bin" / "java.exe"]))
    exe = make_app(config)

    accepted = accept_beta == 1 or BETA_SOURCES[source]
    assert outcome(launch(exe, env=env)) == (FOUND if accepted else NOT_FOUND)
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


# --- the registry search ----------------------------------------------------------------


JAVASOFT_CASES = [
    # id, min, max, registry {key: (CurrentVersion, {name: runtime})}, runtimes {dir: (version, behaviour)},
    # expected probes (runtime dirs, in order), winner
    pytest.param("1.4", "", {"JRE": (None, {"1.3": "rt13", "1.4": "rt14", "1.4.2": "rt142"})},
                 {"rt13": ("1.3.1_09", None), "rt14": ("1.4.0", None), "rt142": ("1.4.2_05", "exit 1")},
                 ["rt142", "rt14"], "rt14", id="highest-name-first-out-of-range-never-started"),
    pytest.param("", "", {"JRE": (None, {"1.10": "rt110", "1.9": "rt19"})},
                 {"rt110": ("1.10.0", None), "rt19": ("1.9.0", None)},
                 ["rt19"], "rt19", id="names-sort-byte-wise"),
    pytest.param("1.4.2", "", {"JRE": (None, {"1.4": "rt14"})}, {"rt14": ("1.4.2_05", None)},
                 ["rt14"], "rt14", id="names-compare-over-the-shorter-text"),
    pytest.param("", "", {"JRE": (None, {"1.6": None, "1.5": "rt15"})},
                 {"rt15": ("1.5.0", None)}, ["rt15"], "rt15", id="subkey-without-javahome-passed-over"),
    pytest.param("", "", {"JRE": ("1.5", {"1.5": "rt15", "1.6": "rt16"})},
                 {"rt15": ("1.5.0", None), "rt16": ("1.6.0", None)},
                 ["rt15"], "rt15", id="current-version-preferred"),
    pytest.param("", "", {"JRE": ("1.5", {"1.5": "rt15"}), "JDK": ("1.6", {"1.6": "jdk16"})},
                 {"rt15": ("1.5.0", None), "jdk16": ("1.6.0", None)},
                 ["jdk16"], "jdk16", id="greater-current-version-of-the-jdk"),
    pytest.param("", "", {"JRE": ("1.6", {"1.6": "rt16"}), "JDK": ("1.6", {"1.6": "jdk16"})},
                 {"rt16": ("1.6.0", None), "jdk16": ("1.6.0", None)},
                 ["rt16"], "rt16", id="current-version-tie-goes-to-the-jre"),
    pytest.param("", "1.5", {"JRE": ("1.6", {"1.6": "rt16", "1.5": "rt15"})},
                 {"rt16": ("1.6.0", None), "rt15": ("1.5.0", None)},
                 ["rt15"], "rt15", id="current-version-out-of-range"),
    pytest.param("", "", {"JRE": ("1.7", {"1.5": "rt15"})}, {"rt15": ("1.5.0", None)},
                 ["rt15"], "rt15", id="current-version-without-subkey"),
    pytest.param("", "", {"JRE": (None, {"1.4": "rt14"}), "JDK": (None, {"1.6": "jdk16"})},
                 {"rt14": ("1.4.2", None), "jdk16": ("1.6.0", None)},
                 ["rt14"], "rt14", id="jre-key-before-jdk-key"),
    pytest.param("", "", {"JRE": (None, {"1.6": "rt16"}), "JDK": (None, {"1.5": "jdk15"})},
                 {"rt16": ("1.6.0", "exit 1"), "jdk15": ("1.5.0", None)},
                 ["rt16", "jdk15"], "jdk15", id="jdk-key-when-the-jre-key-fails"),
]


@BOTH_ARCHES
@pytest.mark.parametrize("minimum, maximum, keys, runtimes, probes, winner", JAVASOFT_CASES)
def test_javasoft_search_order(wine, make_app, tmp_path, launch, vm_log, minimum, maximum, keys, runtimes,
                               probes, winner):
    for name, (version, behaviour) in runtimes.items():
        make_runtime(tmp_path / name, version, behaviour=behaviour)
    lines = []
    for which, (current, versions) in keys.items():
        lines += javasoft_lines(tmp_path, JRE_KEY if which == "JRE" else JDK_KEY, current, versions)
    reg_import(wine, lines)
    exe = make_app({**CONSOLE, "min-java-version": minimum, "max-java-version": maximum,
                    "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_probed(vm_log, *[f"{p}\\bin\\java.exe" for p in probes])
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")


@BOTH_ARCHES
@pytest.mark.parametrize(
    "javasoft, hkcu, hklm, winner",
    [
        ("1.6.0_10", ["1.6.0_10"], [], "hkcu0"),
        ("1.6.0_20", ["1.6.0_10"], [], "javasoft"),
        ("1.6.0_10", [], ["1.6.0_10"], "hklm0"),
        (None, ["1.6.0_10"], ["1.6.0_10"], "hklm0"),
        (None, ["1.6.0_20"], ["1.6.0_10"], "hkcu0"),
        ("1.6.0_10", ["1.6.0_10"], ["1.6.0_10"], "hklm0"),
        (None, ["1.6.0_10", "1.6.0_10"], [], "hkcu0"),
        (None, ["1.6.0_10", "1.6.0_30"], [], "hkcu1"),
    ],
    ids=["same-version-located-wins", "greater-javasoft-wins", "machine-located-beats-javasoft",
         "machine-wins-a-tie", "greater-user-entry-wins", "three-way-tie", "first-of-equal-entries",
         "greatest-user-entry"],
)
def test_located_runtimes_and_their_tie_rules(wine, make_app, tmp_path, launch, vm_log, javasoft, hkcu, hklm,
                                              winner):
    lines = []
    if javasoft:
        make_runtime(tmp_path / "javasoft", javasoft)
        lines += javasoft_lines(tmp_path, JRE_KEY, None, {"1.6": "javasoft"})
    for hive, versions in (("HKCU", hkcu), ("HKLM", hklm)):
        for i, version in enumerate(versions):
            home = make_runtime(tmp_path / f"{hive.lower()}{i}", version)
            lines += located_lines(hive, [home / "bin" / "java.exe"])
    reg_import(wine, lines)
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")


def test_unusable_located_entries_are_passed_over(wine, make_app, tmp_path, launch, vm_log):
    old = make_runtime(tmp_path / "old", "1.3.1_09")
    good = make_runtime(tmp_path / "good", "1.5.0_22")
    broken = make_runtime(tmp_path / "broken", "1.6.0", behaviour="exit 1")
    reg_import(wine, located_lines("HKCU", [tmp_path / "gone" / "bin" / "java.exe", old / "bin" / "java.exe",
                                            good / "bin" / "java.exe", broken / "bin" / "java.exe"]))
    exe = make_app({**CONSOLE, "min-java-version": "1.4", "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_loaded(vm_log, "good\\bin\\client\\jvm.dll")


def test_a_located_runtime_without_a_version_text_is_never_chosen(wine, make_app, tmp_path, launch, vm_log):
    home = make_runtime(tmp_path / "rt", line='java version ""')
    reg_import(wine, located_lines("HKCU", [home / "bin" / "java.exe"]))

    assert outcome(launch(make_app({**CONSOLE, "jvm-search-sequence": "Y;"}, name="located.exe"))) == NOT_FOUND
    # The same runtime passes validation when named directly.
    assert outcome(launch(make_app({**CONSOLE, "jvm-search-sequence": "Rrt;"}, name="defined.exe"))) == FOUND


# --- the registry keys of current runtimes ---------------------------------------------------


@pytest.mark.parametrize("key, name, below, value", VENDOR_KEYS, ids=[f"{k[0].split(chr(92))[1]}-{k[1]}"
                                                                    for k in VENDOR_KEYS])
def test_each_key_of_current_runtimes_finds_its_runtime(wine, make_app, tmp_path, launch, vm_log, key, name, below,
                                                         value):
    home = make_runtime(tmp_path / "rt", line='openjdk version "17.0.9" 2023-10-17')
    reg_import(wine, vendor_lines("HKLM", key, name, below, value, win(home) + "\\"))
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_loaded(vm_log, "rt\\bin\\client\\jvm.dll")


ADOPTIUM = "SOFTWARE\\Eclipse Adoptium\\JDK"
ZULU = "SOFTWARE\\Azul Systems\\Zulu"


@pytest.mark.parametrize("keys, probes, winner", [
    # Within one key: out-of-range names never started, the highest name first, names without a version last.
    ([("HKLM", ADOPTIUM, "11.0.21.9", "rt11"), ("HKLM", ADOPTIUM, "17.0.9.9", "rt17"),
      ("HKLM", ADOPTIUM, "21.0.1.12", "broken21")],
     ["broken21", "rt17"], "rt17"),
    ([("HKLM", "SOFTWARE\\JavaSoft\\JDK", "custom", "other"), ("HKLM", "SOFTWARE\\JavaSoft\\JDK", "17", "broken21")],
     ["broken21", "other"], "other"),
    # Between keys: the table's order, all of HKLM before HKCU.
    ([("HKLM", ZULU, "zulu-17", "other"), ("HKLM", ADOPTIUM, "17.0.9.9", "rt17")], ["rt17"], "rt17"),
    ([("HKCU", ADOPTIUM, "17.0.9.9", "rt17"), ("HKLM", ZULU, "zulu-17", "other")], ["other"], "other"),
    # The old keys keep their place before the new ones.
    ([("HKLM", ADOPTIUM, "21.0.1.12", "rt17"), ("old", "", "1.8", "rt18")], ["rt18"], "rt18"),
], ids=["within-a-key", "names-without-a-version-last", "table-order", "hklm-before-hkcu", "old-keys-first"])
def test_the_order_of_the_keys_of_current_runtimes(wine, make_app, tmp_path, launch, vm_log, keys, probes, winner):
    runtimes = {"rt11": ("11.0.21", None), "rt17": ("17.0.9", None), "broken21": ("21.0.1", "exit 1"),
                "other": ("17.0.8", None), "rt18": ("1.8.0_392", None)}
    lines = []
    for hive, key, name, runtime in keys:
        version, behaviour = runtimes[runtime]
        home = make_runtime(tmp_path / runtime, line=f'openjdk version "{version}"', behaviour=behaviour)
        if hive == "old":
            lines += javasoft_lines(tmp_path, JRE_KEY, None, {name: runtime})
        else:
            below = "hotspot\\MSI" if "Adoptium" in key else ""
            value = "Path" if below else ("JavaHome" if "JavaSoft" in key else "InstallationPath")
            lines += vendor_lines(hive, key, name, below, value, win(home))
    reg_import(wine, lines)
    exe = make_app({**CONSOLE, "min-java-version": "1.8" if "rt18" in runtimes and keys[-1][0] == "old" else "17",
                    "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_probed(vm_log, *[f"{p}\\bin\\java.exe" for p in probes])
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")


def test_unusable_values_of_the_keys_of_current_runtimes_are_passed_over(wine, make_app, tmp_path, launch, vm_log):
    home = make_runtime(tmp_path / "rt", line='openjdk version "17.0.9"')
    lines = vendor_lines("HKLM", ADOPTIUM, "22", "hotspot\\MSI", "Path", None)
    lines += vendor_lines("HKLM", ADOPTIUM, "21", "hotspot\\MSI", "Path", "dword:00000001")
    lines += vendor_lines("HKLM", ADOPTIUM, "20", "hotspot\\MSI", "Path", "")
    lines += vendor_lines("HKLM", ADOPTIUM, "19", "hotspot\\MSI", "Path", win(tmp_path / "nowhere"))
    lines += vendor_lines("HKLM", ADOPTIUM, "18", "", "Path", win(home))  # not below hotspot\MSI
    lines += vendor_lines("HKLM", ADOPTIUM, "17", "hotspot\\MSI", "Path", win(home) + "\\")
    reg_import(wine, lines)
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_probed(vm_log, "rt\\bin\\java.exe")


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


@pytest.mark.parametrize("picked_up", [
    "Picked up JAVA_TOOL_OPTIONS: -Dhttps.proxyHost=proxy.example -Djavax.net.ssl.trustStore=C:\\ca.jks",
    "Picked up _JAVA_OPTIONS: -Djava.net.preferIPv4Stack=true",
    "NOTE: Picked up JDK_JAVA_OPTIONS: --add-opens=java.base/java.lang=ALL-UNNAMED",
], ids=["JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS"])
def test_picked_up_lines_before_the_version_line_are_passed_over(wine, make_app, tmp_path, launch, vm_log,
                                                                  picked_up):
    home = make_runtime(tmp_path / "rt", behaviour="raw")
    (home / "bin" / "version.txt").write_bytes(picked_up.encode() + b'\r\nopenjdk version "17.0.9" 2023-10-17\r\n'
                                                b"OpenJDK Runtime Environment (build 17.0.9+9)\r\n")
    exe = make_app({**CONSOLE, "min-java-version": "17", "jvm-search-sequence": f"A{win(home)};"})

    assert outcome(launch(exe)) == FOUND
    assert cache_entries(wine)[cache_key_of(home / "bin" / "java.exe")]["Version"] == "17.0.9"


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


# --- the two architectures ---------------------------------------------------------------


@BOTH_ARCHES
def test_a_runtime_of_the_other_architecture_is_passed_over_never_called_damaged(prefixes, arch, make_app,
                                                                                   tmp_path, vm_log):
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
        exe = make_app({**CONSOLE, "path-prefix": "other\\bin", "jvm-search-sequence": sequence}, name=name)
        return wine64.run(exe, env={"ZORVO_TESTVM_LOG": str(vm_log.path), "ZORVO_JAVA_HOME": None})

    assert outcome(run(f"S;A{win(tmp_path / 'own')};", "both.exe")) == FOUND
    assert_probed(vm_log, "own\\bin\\java.exe")
    assert_loaded(vm_log, "own\\bin\\client\\jvm.dll")
    vm_log.clear()
    assert outcome(run("S;", "other.exe")) == NOT_FOUND
    assert vm_log.probes() == [] and vm_log.loaded() == []


@BOTH_ARCHES
def test_each_launcher_reads_the_registry_view_of_its_architecture(prefixes, arch, make_app, tmp_path, vm_log):
    """In a 64-bit prefix the JavaSoft key of the 64-bit view names a 64-bit
    runtime, the key of the 32-bit view (WOW6432Node) a 32-bit one, as the
    installers of each write them: each launcher finds its own."""
    wine64 = prefixes.get(ARCHES["win64"])
    lines = []
    for name, view in (("win64", "SOFTWARE"), ("win32", "SOFTWARE\\Wow6432Node")):
        make_runtime(tmp_path / name, "1.8.0_202", testvm=ARCHES[name].testvm)
        lines += javasoft_lines(tmp_path, f"HKEY_LOCAL_MACHINE\\{view}\\JavaSoft\\Java Runtime Environment", "1.8",
                                {"1.8": name})
    reg_import(wine64, lines)
    try:
        exe = make_app({**CONSOLE, "jvm-search-sequence": "Y;"})
        result = wine64.run(exe, env={"ZORVO_TESTVM_LOG": str(vm_log.path), "ZORVO_JAVA_HOME": None})
        assert outcome(result) == FOUND
        assert_loaded(vm_log, f"{arch.name}\\bin\\client\\jvm.dll")
    finally:
        reg_import(wine64, ["[-HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft]",
                            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\JavaSoft]"])


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

# How a runtime "rt" below the test directory is named: the search sequence and
# the environment; "search-file" writes the preferred-runtime file.
CRT_SOURCES = {
    "search-file": ("", {}),
    "item-directory": ("R.\\rt;", {}),
    "item-absolute": ("A{rt};", {}),
    "item-variable": ("EZRV_TEST_HOME;", {"ZRV_TEST_HOME": "{rt}"}),
    "flavour-variable": ("", {"ZORVO_JAVA_HOME": "{rt}"}),
    "search-path": ("S;", {}),
    "registry": ("Y;", {}),
}


def plant(directory: Path, arch) -> Path:
    """A working directory holding a stand-in of the C runtime double and a
    file named like a system DLL."""
    directory.mkdir()
    shutil.copy(arch.testvm / "zrvcrt.dll", directory / "zrvcrt.dll")
    (directory / "kernel32.dll").write_bytes(b"planted")
    return directory


@BOTH_ARCHES
@pytest.mark.parametrize("source", list(CRT_SOURCES))
def test_the_vm_librarys_dlls_come_from_its_bin_whatever_the_working_directory(wine, arch, make_app, tmp_path,
                                                                                 launch, vm_log, source):
    home = make_runtime(tmp_path / "rt", crt="bin")
    sequence, env = CRT_SOURCES[source]
    config = {**CONSOLE, "product-flavour": "e", "jvm-search-sequence": sequence.format(rt=win(home))}
    if source == "search-file":
        (tmp_path / ".quenbrook").mkdir()
        (tmp_path / ".quenbrook" / "pref_jre.cfg").write_text("rt\r\n")
    if source == "search-path":
        config["path-prefix"] = "rt\\bin"
    if source == "registry":
        reg_import(wine, javasoft_lines(tmp_path, JRE_KEY, "1.6", {"1.6": "rt"}))
    exe = make_app(config)
    downloads = plant(tmp_path / "downloads", arch)

    for cwd in (None, downloads):
        vm_log.clear()
        assert outcome(launch(exe, env={k: v.format(rt=win(home)) for k, v in env.items()}, cwd=cwd)) == FOUND
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


# --- messages ---------------------------------------------------------------------------


@BOTH_ARCHES
@pytest.mark.parametrize(
    "source, stderr",
    [
        ("search-path", b"PATH-DAMAGED\nSTART-FAILED\n"),
        ("item-variable", b"ENV-DAMAGED ZRV_TEST_HOME\nSTART-FAILED\n"),
        ("flavour-variable", b"ENV-DAMAGED ZORVO_JAVA_HOME\nSTART-FAILED\n"),
        ("item-directory", b"DEFINED-DAMAGED .\\Broken\nSTART-FAILED\n"),
        ("search-file", b"DEFINED-DAMAGED Broken\\..\\BROKEN\nSTART-FAILED\n"),
        ("registry", b"START-FAILED\n"),
    ],
)
def test_a_runtime_without_a_loadable_library_names_its_source(wine, make_app, tmp_path, launch, vm_log,
                                                                source, stderr):
    sequence = {
        "search-path": "S;",
        "item-variable": "EZRV_TEST_HOME;",
        "flavour-variable": "",
        "item-directory": "R.\\Broken;",
        "search-file": "",
        "registry": "Y;",
    }[source]
    home = make_runtime(tmp_path / "broken", kinds=())
    # A valid runtime named by the installed-runtime file, the last source, is never reached.
    make_runtime(tmp_path / "good")
    (tmp_path / ".quenbrook").mkdir()
    (tmp_path / ".quenbrook" / "inst_jre.cfg").write_text("good\r\n")
    config = {**CONSOLE, "product-flavour": "e", "jvm-search-sequence": sequence}
    env = {"ZRV_TEST_HOME": win(home), "ZORVO_JAVA_HOME": win(home)}
    if source == "search-path":
        config["path-prefix"] = "broken\\bin"
    if source == "search-file":
        (tmp_path / ".quenbrook" / "pref_jre.cfg").write_text("Broken\\..\\BROKEN\r\n")
    if source == "registry":
        reg_import(wine, javasoft_lines(tmp_path, JRE_KEY, "1.6", {"1.6": "broken"}))
    exe = make_app(config)

    result = launch(exe, env=env)

    assert outcome(result) == (83, stderr)
    assert vm_log.loaded() == []
    assert_probed(vm_log, "broken\\bin\\java.exe")


def test_default_messages_when_nothing_is_found_and_when_the_library_fails(make_app, tmp_path, launch):
    make_runtime(tmp_path / "broken", kinds=())
    exe = make_app({"app-type": 0, "product-flavour": "e"}, name="default.exe")

    result = launch(exe)
    assert result.returncode == 83
    assert result.stderr == (b"No JVM could be found on your system.\r\nPlease define ZORVO_JAVA_HOME\r\n"
                             b"to point to an installed JDK or JRE.\n")

    result = launch(exe, env={"ZORVO_JAVA_HOME": win(tmp_path / "broken")})
    assert result.returncode == 83
    assert result.stderr == (b"The ZORVO_JAVA_HOME envionment variable does not\r\npoint to a working JDK or JRE.\n"
                             b"The JVM could not be started.\n")


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


@pytest.mark.parametrize("case", ["not-packed", "already-prepared", "environment-variable", "search-path",
                                  "registry"])
def test_a_runtime_is_not_prepared(wine, make_app, tmp_path, launch, vm_log, case):
    archives = ["lib\\charsets.jar", "lib\\jsse.jar"] if case == "not-packed" else ["lib\\rt.jar", "lib\\charsets.jar"]
    home = make_runtime(tmp_path / "rt", packed=archives)
    if case == "already-prepared":
        (home / "lib" / "jsse.jar").write_bytes(b"unpacked")
    if case == "registry":
        reg_import(wine, javasoft_lines(tmp_path, JRE_KEY, "1.6", {"1.6": "rt"}))
    sequence = {"environment-variable": "EZRV_TEST_HOME;", "search-path": "S;", "registry": "Y;"}.get(case, "Rrt;")
    exe = make_app({**CONSOLE, "jvm-search-sequence": sequence, "path-prefix": "rt\\bin"})

    result = launch(exe, env={"ZRV_TEST_HOME": win(home)})

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
    assert result.stderr == b"An internal error occured (error code: 20)\n"
    assert vm_log.probes() == []
