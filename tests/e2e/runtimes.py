"""What the tests of Java runtime discovery share: test runtimes made of the
test doubles, registry import and export, the lines of the JavaSoft,
located-runtime and vendor keys, the per-user version cache, the doubles'
log, the fixtures that clean the registry and pick the doubles of the test's
architecture, and the launch with the log switched on.

Every test lays out its runtimes made of the test doubles in its own
temporary directory, beside a launcher stamped for it. A runtime that is found
and whose VM library loads runs the test VM, whose main returns at once, and
the launcher ends with exit code 0; the jvm.dll log tells which library was
loaded, the java.exe log how often a runtime was probed.

Not a test module: a test module that uses the fixtures imports them, the
autouse ones (clean_registry, runtime_doubles) included, so that they apply to
its tests."""

import json
import ntpath
import os
import shutil
from pathlib import Path

import pytest

from conftest import TESTVM, to_windows_path

CACHE_KEY = r"HKEY_CURRENT_USER\SOFTWARE\tallgrass-works\zorvo\jvms"
LOCATED_KEY = r"SOFTWARE\tallgrass-works\zorvo\locatedjvms"
JRE_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\JavaSoft\Java Runtime Environment"
JDK_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\JavaSoft\Java Development Kit"
HIVES = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}

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

    @property
    def env(self):
        return {"ZORVO_TESTVM_LOG": to_windows_path(self.path)}

    def records(self, call=None, src=None):
        if not self.path.exists():
            return []
        # The file is plain ASCII: everything else is \u-escaped.
        records = [json.loads(line) for line in self.path.read_text(encoding="ascii").splitlines()]
        return [r for r in records
                if (call is None or r["call"] == call) and (src is None or r["src"] == src)]

    def one(self, call, src=None):
        found = self.records(call, src)
        assert len(found) == 1, f"expected one {call!r} record, got {found}"
        return found[0]

    def probes(self):
        """The Java executables started, in order."""
        return [r["exe"] for r in self.records("exec") if r["src"] in ("java", "javaw")]

    def loaded(self):
        return [(r["src"], r["dll"]) for r in self.records("dll_loaded")]

    def clear(self):
        self.path.unlink(missing_ok=True)


def reg_import(wine, lines, unicode=False):
    """Writes registry keys and values in one step; a line "[-KEY]" deletes a key.
    `unicode` for data the code page cannot hold: the file is then UTF-16."""
    reg_file = wine.prefix / f"import-{os.getpid()}.reg"
    header, encoding = (("\ufeffWindows Registry Editor Version 5.00", "utf-16-le") if unicode
                        else ("REGEDIT4", "latin-1"))
    reg_file.write_text(header + "\r\n\r\n" + "\r\n".join(lines) + "\r\n", encoding=encoding)
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
    """launch(exe, args=(), env=None, cwd=None, prefix=None) with the doubles' log
    switched on and the product variables undefined unless the test defines
    them; in another Wine prefix than the test's with `prefix`."""

    def run(exe, args=(), env=None, cwd=None, prefix=None):
        full = {"ZORVO_TESTVM_LOG": str(vm_log.path), "ZORVO_JAVA_HOME": None,
                "QUENBROOK_JAVA_HOME": None, "ZORVO_TESTVM_JAVA_BEHAVIOUR": None,
                "ZORVO_TESTVM_UNPACK200_BEHAVIOUR": None, **(env or {})}
        return (prefix or wine).run(exe, args, env=full, cwd=cwd)

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
    return [f"[{HIVES[hive]}\\{LOCATED_KEY}\\{located_name(exe)}]" for exe in executables]


# The sources through which found_through names a runtime.
SOURCES = ["search-file", "item-directory", "item-absolute", "item-variable", "flavour-variable", "search-path",
           "registry", "located"]


def found_through(wine, tmp_path, source, home, text=None):
    """(configuration, environment) of a launcher in tmp_path that names the
    runtime `home`, a folder of tmp_path, through one source of the search
    only; `text` is how the R item or the preferred-runtime file names it
    (default: the folder's name)."""
    text = text or home.name
    config = {"product-flavour": "e", "jvm-search-sequence": {
        "item-directory": f"R{text};", "item-absolute": f"A{win(home)};", "item-variable": "EZRV_TEST_HOME;",
        "search-path": "S;", "registry": "Y;", "located": "Y;"}.get(source, "")}
    env = {"item-variable": {"ZRV_TEST_HOME": win(home)}, "flavour-variable": {"ZORVO_JAVA_HOME": win(home)}}
    if source == "search-file":
        (tmp_path / ".quenbrook").mkdir(exist_ok=True)
        (tmp_path / ".quenbrook" / "pref_jre.cfg").write_text(text + "\r\n")
    elif source == "search-path":
        config["path-prefix"] = f"{home.name}\\bin"
    elif source == "registry":
        reg_import(wine, javasoft_lines(tmp_path, JRE_KEY, "1.6", {"1.6": home.name}))
    elif source == "located":
        reg_import(wine, located_lines("HKCU", [home / "bin" / "java.exe"]))
    return config, env.get(source, {})


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
