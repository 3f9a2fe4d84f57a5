"""Smoke tests of the runtime test doubles in build/win32/testvm (and, for the
architecture-dependent ones, build/win64/testvm), under Wine.

The doubles stand in for a Java runtime in every later end-to-end test, so each
scripted behaviour is checked here once: the answers they give, and the log
records a later test will assert on.
"""

import shutil
import time

import pytest

from conftest import ARCHES, BOTH_ARCHES, TESTVM, to_windows_path
from runtimes import vm_log  # noqa: F401 (fixture)

JVM = TESTVM / "jvm.dll"
STARTER = TESTVM / "starter.exe"

STARTF_USESHOWWINDOW = 0x1
STARTF_USESTDHANDLES = 0x100
SW_SHOWMINNOACTIVE = 7


@pytest.fixture
def runtime(tmp_path, arch):
    """A test runtime home with bin\\java.exe, bin\\javaw.exe, bin\\unpack200.exe and
    bin\\client\\jvm.dll of the test's architecture; its path contains a blank,
    as "Program Files" does."""
    home = tmp_path / "test jre"
    (home / "bin" / "client").mkdir(parents=True)
    for name in ("java.exe", "javaw.exe", "unpack200.exe"):
        shutil.copy(arch.testvm / name, home / "bin" / name)
    shutil.copy(arch.testvm / "jvm.dll", home / "bin" / "client" / "jvm.dll")
    return home


def run_exact(wine, tmp_path, command_line: bytes, env, show=None, timeout_ms=None):
    """Runs a command line byte for byte through the starter (Wine would re-quote it)."""
    cmd_file = tmp_path / "cmdline.txt"
    cmd_file.write_bytes(command_line)
    args = []
    if show is not None:
        args += ["--show", str(show)]
    if timeout_ms is not None:
        args += ["--timeout", str(timeout_ms)]
    args += ["--cmdline-file", to_windows_path(cmd_file)]
    return wine.run(STARTER, args, env=env)


def driver(wine):
    """jnidriver.exe of the prefix's architecture."""
    return ARCHES[wine.arch].testvm / "jnidriver.exe"


def run_driver(wine, vm_log, *steps, dll=None, env=None):
    """Runs jnidriver.exe on the VM library double (of the prefix's architecture)."""
    dll = dll or ARCHES[wine.arch].testvm / "jvm.dll"
    return wine.run(driver(wine), [to_windows_path(dll), *steps], env={**vm_log.env, **(env or {})})


def driver_lines(result):
    return result.out.splitlines()


# --- java.exe / javaw.exe ------------------------------------------------------------


@BOTH_ARCHES
@pytest.mark.parametrize("program", ["java", "javaw"])
def test_java_answers_version_with_first_line_of_version_txt(wine, runtime, vm_log, program):
    (runtime / "bin" / "version.txt").write_bytes(b'java version "1.4.2_05"\r\nnot part of the answer\n')
    exe = runtime / "bin" / f"{program}.exe"

    result = wine.run(exe, ["-version"], env=vm_log.env)

    assert result.returncode == 0
    lines = result.stderr.split(b"\r\n")
    assert lines[0] == b'java version "1.4.2_05"'
    assert len(lines) == 4 and lines[3] == b"", "three CRLF-terminated lines, as a runtime writes"
    assert b"not part" not in result.stderr
    assert result.stdout == b""
    exec_record = vm_log.one("exec", src=program)
    assert exec_record["exe"] == to_windows_path(exe)
    assert exec_record["argv"][1:] == ["-version"]
    assert exec_record["cmdline"].endswith(" -version")
    assert exec_record["versionFile"] is True
    assert vm_log.one("exit", src=program)["code"] == 0


def test_java_without_version_txt_answers_a_default_the_probe_accepts(wine, runtime, vm_log):
    result = wine.run(runtime / "bin" / "java.exe", ["-version"], env=vm_log.env)

    assert result.returncode == 0
    assert result.stderr.split(b"\r\n")[0] == b'java version "1.8.0_202"'
    assert vm_log.one("exec")["versionFile"] is False


FURTHER_LINES = (b"Test Runtime Environment (build 1.8.0_202-b08)\r\n"
                 b"Test Server VM (build 25.202-b08, mixed mode)\r\n")
V15 = b'java version "1.5.0"'

BEHAVIOURS = [
    # behaviour.txt, environment, version.txt, exit code, stderr, stdout
    pytest.param("exit 3\n", None, V15 + b"\n", 3, V15 + b"\r\n" + FURTHER_LINES, b"", id="exit-code"),
    pytest.param("silent", None, V15 + b"\n", 0, b"", b"", id="silent"),
    pytest.param("silent\nexit 2", None, None, 2, b"", b"", id="silent-and-exit"),
    pytest.param("stdout", None, V15 + b"\n", 0, b"", V15 + b"\r\n" + FURTHER_LINES, id="stdout"),
    pytest.param("raw  # the whole file as it is", None, b'java version "1.6.0"', 0,
                 b'java version "1.6.0"', b"", id="raw-without-line-feed"),
    pytest.param(None, None, b"Error occurred during initialization of VM\n", 0,
                 b"Error occurred during initialization of VM\r\n" + FURTHER_LINES, b"", id="garbage"),
    pytest.param("exit 3", "default; exit 5", V15 + b"\n", 5, V15 + b"\r\n" + FURTHER_LINES, b"",
                 id="environment-overrides-file"),
]


@pytest.mark.parametrize("behaviour, env_behaviour, version, code, stderr, stdout", BEHAVIOURS)
def test_java_scripted_behaviours(wine, runtime, vm_log, behaviour, env_behaviour, version, code,
                                  stderr, stdout):
    bin_dir = runtime / "bin"
    if behaviour is not None:
        (bin_dir / "behaviour.txt").write_text(behaviour)
    if version is not None:
        (bin_dir / "version.txt").write_bytes(version)
    env = {**vm_log.env, "ZORVO_TESTVM_JAVA_BEHAVIOUR": env_behaviour}

    result = wine.run(bin_dir / "java.exe", ["-version"], env=env)

    assert (result.returncode, result.stderr, result.stdout) == (code, stderr, stdout)
    assert vm_log.one("exit")["code"] == code


def test_java_unknown_directive_is_loud(wine, runtime, vm_log):
    (runtime / "bin" / "behaviour.txt").write_text("exit 1\nexplode")

    result = wine.run(runtime / "bin" / "java.exe", ["-version"], env=vm_log.env)

    assert result.returncode == 97
    assert b"unknown behaviour directive: explode" in result.stderr
    assert vm_log.one("exec")["behaviour"] == "exit 1;explode"


def test_java_sleep_delays_the_end(wine, runtime, vm_log):
    (runtime / "bin" / "behaviour.txt").write_text("sleep 600")
    started = time.monotonic()

    result = wine.run(runtime / "bin" / "java.exe", ["-version"], env=vm_log.env)

    assert result.returncode == 0
    assert time.monotonic() - started >= 0.6
    assert result.stderr.startswith(b'java version "1.8.0_202"')


def test_hanging_java_is_ended_only_by_its_caller(wine, runtime, vm_log, tmp_path):
    (runtime / "bin" / "behaviour.txt").write_text("hang")
    exe = runtime / "bin" / "java.exe"
    started = time.monotonic()

    result = run_exact(wine, tmp_path, f'"{to_windows_path(exe)}" -version'.encode(), vm_log.env,
                       timeout_ms=800)

    assert result.returncode == 124, result.err
    assert "timed out" in result.err
    assert time.monotonic() - started < 20
    assert vm_log.one("exec")["behaviour"] == "hang"
    assert vm_log.records("exit") == [], "a hanging runtime must not reach its end"


def test_java_rejects_anything_but_version(wine, runtime, vm_log):
    result = wine.run(runtime / "bin" / "java.exe", ["-foo"], env=vm_log.env)

    assert result.returncode == 1
    assert result.stderr.startswith(b"Unrecognized option: -foo\r\n")
    assert vm_log.one("exit")["code"] == 1


# --- starter.exe -------------------------------------------------------------------------


def test_starter_passes_exact_command_line_show_command_and_exit_code(wine, runtime, vm_log, tmp_path):
    (runtime / "bin" / "behaviour.txt").write_text("exit 7")
    exe = to_windows_path(runtime / "bin" / "java.exe")
    command_line = f'"{exe}"  -version'.encode()  # quotes and two blanks

    result = run_exact(wine, tmp_path, command_line, vm_log.env, show=SW_SHOWMINNOACTIVE)

    assert result.returncode == 7
    assert result.stderr.startswith(b'java version "1.8.0_202"\r\n'), "child's stderr is passed on"
    record = vm_log.one("exec")
    assert record["cmdline"].encode("latin-1") == command_line
    assert record["argv"] == [exe, "-version"]
    assert record["startupFlags"] & STARTF_USESHOWWINDOW
    assert record["showWindow"] == SW_SHOWMINNOACTIVE


def test_starter_without_show_leaves_show_command_unset(wine, runtime, vm_log, tmp_path):
    exe = to_windows_path(runtime / "bin" / "java.exe")

    result = run_exact(wine, tmp_path, f'"{exe}" -version'.encode(), vm_log.env)

    assert result.returncode == 0
    record = vm_log.one("exec")
    assert record["startupFlags"] & STARTF_USESTDHANDLES
    assert not record["startupFlags"] & STARTF_USESHOWWINDOW


def test_starter_takes_raw_text_after_double_dash_and_from_environment(wine, tmp_path, vm_log):
    exe = tmp_path / "java.exe"
    shutil.copy(TESTVM / "java.exe", exe)
    env = {**vm_log.env, "EXACT_LINE": f'"{to_windows_path(exe)}"  -version'}

    raw = wine.run(STARTER, ["--cwd", to_windows_path(tmp_path), "--", to_windows_path(exe), "-version"],
                   env=vm_log.env)
    from_env = wine.run(STARTER, ["--cmdline-env", "EXACT_LINE"], env=env)

    assert raw.returncode == 0 and from_env.returncode == 0
    first, second = vm_log.records("exec")
    assert first["cmdline"] == f"{to_windows_path(exe)} -version"
    assert first["cwd"].rstrip("\\") == to_windows_path(tmp_path)
    assert second["cmdline"] == env["EXACT_LINE"]


def test_starter_reports_a_command_it_cannot_start(wine, tmp_path):
    result = run_exact(wine, tmp_path, b'"Z:\\no\\such\\program.exe" x', {})

    assert result.returncode == 126
    assert "CreateProcess failed" in result.err


# --- unpack200.exe ------------------------------------------------------------------------


@BOTH_ARCHES
def test_unpack200_converts_deletes_and_logs(wine, vm_log, tmp_path, arch):
    home = tmp_path / "jre"
    (home / "bin").mkdir(parents=True)
    (home / "lib").mkdir()
    shutil.copy(arch.testvm / "unpack200.exe", home / "bin")
    content = bytes(range(256)) * 3
    (home / "lib" / "rt.jar.pack").write_bytes(content)
    h = to_windows_path(home)
    # The launcher's form: paths inserted without quotes.
    command_line = f"{h}\\bin\\unpack200.exe -r {h}\\lib\\rt.jar.pack {h}\\lib\\rt.jar".encode()

    result = run_exact(wine, tmp_path, command_line, vm_log.env)

    assert result.returncode == 0, result.err
    assert (home / "lib" / "rt.jar").read_bytes() == content
    assert not (home / "lib" / "rt.jar.pack").exists()
    exec_record = vm_log.one("exec", src="unpack200")
    assert exec_record["cmdline"].encode("latin-1") == command_line
    assert exec_record["argv"][1:] == ["-r", f"{h}\\lib\\rt.jar.pack", f"{h}\\lib\\rt.jar"]
    unpacked = vm_log.one("unpacked")
    assert unpacked["bytes"] == len(content) and unpacked["removed"] is True
    assert vm_log.one("exit", src="unpack200")["code"] == 0


def test_unpack200_keeps_pack_without_r_and_fails_on_usage_errors(wine, runtime, vm_log):
    lib = runtime / "lib"
    lib.mkdir()
    (lib / "charsets.jar.pack").write_bytes(b"packed")
    exe = runtime / "bin" / "unpack200.exe"
    pack, jar = to_windows_path(lib / "charsets.jar.pack"), to_windows_path(lib / "charsets.jar")

    kept = wine.run(exe, [pack, jar], env=vm_log.env)
    missing = wine.run(exe, ["-r", pack], env=vm_log.env)
    unknown = wine.run(exe, ["-q", pack, jar], env=vm_log.env)

    assert kept.returncode == 0
    assert (lib / "charsets.jar").read_bytes() == b"packed" and (lib / "charsets.jar.pack").exists()
    assert vm_log.one("unpacked")["removed"] is False
    for result in (missing, unknown):
        assert result.returncode == 2
        assert "Usage: unpack200" in result.err
    assert [r["code"] for r in vm_log.records("exit")] == [0, 2, 2]


def test_unpack200_scripted_failure_writes_nothing(wine, runtime, vm_log):
    (runtime / "bin" / "behaviour.txt").write_text("exit 4")
    pack = runtime / "rt.jar.pack"
    pack.write_bytes(b"x")

    result = wine.run(runtime / "bin" / "unpack200.exe",
                      ["-r", to_windows_path(pack), to_windows_path(runtime / "rt.jar")], env=vm_log.env)

    assert result.returncode == 4
    assert pack.exists() and not (runtime / "rt.jar").exists()
    assert vm_log.records("unpacked") == []


# --- jvm.dll through jnidriver -----------------------------------------------------------


@BOTH_ARCHES
def test_vm_creation_logs_init_args_byte_exact(wine, runtime, vm_log):
    dll = runtime / "bin" / "client" / "jvm.dll"

    result = run_driver(wine, vm_log, "opt=-Dzorvo.moduleName=C:\\app\\app.exe", "opt=-Xmx\\x80m",
                        "opt=-Dname=caf\u00e9", "opt=", "opt=-Dspaced=a b", "ignore=0",
                        "version=0x10002", "create", "getenv", dll=dll)

    assert driver_lines(result) == ["create 0", "getenv 0 same", "done"], result.err
    assert vm_log.one("dll_loaded")["dll"] == to_windows_path(dll)
    created = vm_log.one("JNI_CreateJavaVM")
    assert created["dll"] == to_windows_path(dll)
    assert created["version"] == 0x00010002
    assert created["nOptions"] == 5
    options = [o.encode("latin-1") for o in created["options"]]
    assert options == [b"-Dzorvo.moduleName=C:\\app\\app.exe", b"-Xmx\x80m", b"-Dname=caf\xe9", b"",
                       b"-Dspaced=a b"]
    assert created["extraInfo"] == [0] * 5
    assert created["ignoreUnrecognized"] is False
    assert created["result"] == 0


@pytest.mark.parametrize("steps, env, answer", [
    (["create"], {"ZORVO_TESTVM_CREATE_RESULT": "-1"}, -1),
    (["version=0x10001", "create"], {}, -3),  # JNI 1.1 is not supported
    (["create", "create"], {}, -5),           # one VM per process
])
def test_vm_creation_failures(wine, vm_log, steps, env, answer):
    result = run_driver(wine, vm_log, *steps, env=env)

    creates = [line for line in driver_lines(result) if line.startswith("create ")]
    assert creates[-1] == f"create {answer}"
    assert vm_log.records("JNI_CreateJavaVM")[-1]["result"] == answer


@BOTH_ARCHES
@pytest.mark.parametrize("variant, logged", [("main", "..."), ("mainV", "V"), ("mainA", "A")])
def test_main_receives_arguments_as_utf16_units(wine, vm_log, variant, logged):
    result = run_driver(wine, vm_log, "create", "arg=plain", "arg=two words", "arg=",
                        "arg=\\xE9\\x80\\xFF", "argu=20ac,d800,41", variant)

    assert driver_lines(result) == ["create 0", "main ok", "done"], result.err
    array = vm_log.one("NewObjectArray")
    assert (array["length"], array["elementClass"], array["init"]) == (5, "java/lang/String", None)
    main = vm_log.one("main")
    assert main["argsUnits"] == [
        [ord(c) for c in "plain"], [ord(c) for c in "two words"], [], [0xE9, 0x80, 0xFF],
        [0x20AC, 0xD800, 0x41]]
    assert main["args"][:4] == ["plain", "two words", "", "\u00e9\u0080\u00ff"]
    call = vm_log.one("CallStaticVoidMethod")
    assert (call["variant"], call["method"], call["sig"]) == (logged, "main", "([Ljava/lang/String;)V")
    assert call["exception"] is None
    # The element stores link the strings to the array, in order.
    strings = [r["ref"] for r in vm_log.records("NewString")]
    stores = vm_log.records("SetObjectArrayElement")
    assert [(s["index"], s["value"], s["array"]) for s in stores] == [
        (i, ref, array["ref"]) for i, ref in enumerate(strings)]


@pytest.mark.parametrize("missing, steps, expected, exception", [
    ("com/zorvo/runtime/WinLauncher", ["main"], "main class-missing", "java.lang.NoClassDefFoundError"),
    ("com/zorvo/runtime/WinLauncher.main", ["main"], "main method-missing", "java.lang.NoSuchMethodError"),
    ("", ["findclass=com.zorvo.runtime.WinLauncher"], "findclass com.zorvo.runtime.WinLauncher missing",
     "java.lang.NoClassDefFoundError"),
    ("", ["findclass=com/zorvo/runtime/ZorvoController", "method=getAction:()J"], "method getAction missing",
     "java.lang.NoSuchMethodError"),
    ("com/zorvo/runtime/ZorvoController.getText", ["poll=1"], "poll method-missing",
     "java.lang.NoSuchMethodError"),
])
def test_missing_classes_and_methods(wine, vm_log, missing, steps, expected, exception):
    result = run_driver(wine, vm_log, "create", *steps, "occurred", "clear", "occurred",
                        env={"ZORVO_TESTVM_MISSING": missing})

    lines = driver_lines(result)
    assert expected in lines, result.out
    assert lines[-4:] == ["occurred exception", "cleared", "occurred ok", "done"]
    lookups = vm_log.records("FindClass") + vm_log.records("GetStaticMethodID")
    assert any(r["found"] is False for r in lookups)
    assert vm_log.records("ExceptionOccurred")[0]["exception"] == exception


def test_main_throws_and_describe_prints_and_clears(wine, vm_log):
    result = run_driver(wine, vm_log, "create", "main", "occurred",
                        env={"ZORVO_TESTVM_MAIN_THROW": "boom \u00e9"})

    assert driver_lines(result) == ["create 0", "main exception", "occurred ok", "done"]
    assert vm_log.one("CallStaticVoidMethod")["exception"] == "java.lang.RuntimeException"
    occurred = vm_log.records("ExceptionOccurred")
    assert occurred[0]["result"] is not None and occurred[1]["result"] is None
    assert (b'Exception in thread "main" java.lang.RuntimeException: boom \xe9\n'
            b"\tat com.zorvo.runtime.WinLauncher.main") in result.stderr
    assert vm_log.one("ExceptionDescribe")["message"] == "boom \u00e9"


def test_main_exit_ends_the_process_with_its_code(wine, vm_log):
    result = run_driver(wine, vm_log, "create", "main", env={"ZORVO_TESTVM_MAIN_EXIT": "42"})

    assert result.returncode == 42
    assert "done" not in result.out
    assert vm_log.one("main_exit")["code"] == 42
    assert vm_log.records("CallStaticVoidMethod") == []


@pytest.mark.parametrize("mode, expected", [
    (None, "firstrun true"), ("true", "firstrun true"), ("false", "firstrun false"),
    ("throw", "firstrun exception")])
def test_first_run_answers_as_scripted(wine, vm_log, mode, expected):
    result = run_driver(wine, vm_log, "create", "firstrun", env={"ZORVO_TESTVM_FIRSTRUN": mode})

    assert driver_lines(result) == ["create 0", expected, "done"]
    call = vm_log.one("CallStaticBooleanMethod")
    assert call["method"] == "firstRun" and call["sig"] == "()Z"
    assert call["exception"] == ("java.lang.IllegalStateException" if mode == "throw" else None)


def test_controller_answers_its_sequence_in_order(wine, vm_log):
    script = '0;2:Loading \u00e9;2:;2:"";2:a\\;b\\u0416c;2*0;1'

    result = run_driver(wine, vm_log, "create", "poll=9", env={"ZORVO_TESTVM_CONTROLLER": script})

    assert driver_lines(result) == [
        "create 0", "poll 0", 'poll 2 "Loading \\u00E9"', "poll 2 null", 'poll 2 ""',
        'poll 2 "a;b\\u0416c"', "poll 0", "poll 0", "poll 1", "poll 0", "done"]
    actions = [r["result"] for r in vm_log.records("CallStaticIntMethod")]
    assert actions == [0, 2, 2, 2, 2, 0, 0, 1, 0]
    texts = [r.get("resultText") for r in vm_log.records("CallStaticObjectMethod")]
    assert texts == ["Loading \u00e9", None, "", "a;b\u0416c"]
    assert len(vm_log.records("GetStringChars")) == len(vm_log.records("ReleaseStringChars")) == 3


def test_controller_script_errors_are_loud(wine, vm_log):
    result = run_driver(wine, vm_log, "create", "poll=1", env={"ZORVO_TESTVM_CONTROLLER": "2:x;oops"})

    assert result.returncode == 97
    assert "ZORVO_TESTVM_CONTROLLER" in result.err
    assert vm_log.one("script_error")


@BOTH_ARCHES
def test_second_thread_polls_while_main_runs(wine, vm_log):
    result = run_driver(wine, vm_log, "create", "bgpoll=4,50", "main", "join", "destroy",
                        env={"ZORVO_TESTVM_MAIN_SLEEP_MS": "700",
                             "ZORVO_TESTVM_CONTROLLER": "0;2:Step;0;1"})

    lines = driver_lines(result)
    assert lines[0] == "create 0" and lines[-3:] == ["joined", "destroy 0", "done"]
    assert ["bg attach 0", "bg poll 0", 'bg poll 2 "Step"', "bg poll 0", "bg poll 1", "bg detach 0"] == [
        line for line in lines if line.startswith("bg ")]
    main_tid = vm_log.one("JNI_CreateJavaVM")["tid"]
    attach = vm_log.one("AttachCurrentThread")
    assert attach["tid"] != main_tid and attach["result"] == 0
    records = vm_log.records()
    calls = [r["call"] for r in records]
    start, end = calls.index("main"), calls.index("main_blocked")
    polls = [i for i, r in enumerate(records) if r["call"] == "CallStaticIntMethod"]
    assert all(start < i < end for i in polls), "the polls ran while main was blocked"
    assert all(records[i]["tid"] == attach["tid"] for i in polls)
    assert vm_log.one("DetachCurrentThread")["wasAttached"] is True
    destroyed = vm_log.one("DestroyJavaVM")
    assert destroyed["daemonsAttached"] == [] and destroyed["onCreatorThread"] is True


def test_destroy_waits_for_non_daemon_threads_and_refuses_one_that_ended_attached(wine, vm_log):
    waited = run_driver(wine, vm_log, "create", "bgpoll=3,150", "sleep=50", "destroy", "join")
    assert waited.returncode == 0
    assert vm_log.one("DestroyJavaVM")["waitedMs"] >= 200

    # A real VM would wait for this thread forever; the double says so loudly.
    vm_log.path.unlink()
    abandoned = run_driver(wine, vm_log, "create", "bgattach", "destroy")
    assert abandoned.returncode == 98
    assert "ended without DetachCurrentThread" in vm_log.one("violation")["what"]


@BOTH_ARCHES
def test_daemon_threads_are_not_waited_for_and_must_not_call_after_destroy(wine, vm_log):
    # A daemon's call while DestroyJavaVM waits for the application thread is fine.
    during = run_driver(wine, vm_log, "create", "bgdaemon=300", "main", "destroy",
                        env={"ZORVO_TESTVM_MAIN_THREAD_MS": "1200"})
    assert during.returncode == 0
    lines = driver_lines(during)
    assert lines.index("main ok") < lines.index("bgdaemon findclass found") < lines.index("destroy 0")
    destroyed = vm_log.one("DestroyJavaVM")
    assert destroyed["daemonsAttached"] == [vm_log.one("AttachCurrentThreadAsDaemon")["tid"]]

    # Its call after the VM is gone is a misuse.
    vm_log.path.unlink()
    after = run_driver(wine, vm_log, "create", "bgdaemon=500", "sleep=100", "destroy", "sleep=2000")
    assert after.returncode == 98
    assert "destroy 0" in driver_lines(after)
    assert vm_log.one("violation")["what"] == "FindClass called after DestroyJavaVM"


@BOTH_ARCHES
def test_destroy_and_system_exit_run_the_controllers_shutdown_hook(wine, vm_log):
    destroyed = run_driver(wine, vm_log, "create", "hook", "destroy")
    assert driver_lines(destroyed) == ["create 0", "hook registered 0", "hook installed",
                                       "hook native ran on the other thread", "destroy 0", "done"]
    assert vm_log.one("shutdown_hook")["calledNative"] is True

    vm_log.path.unlink()
    exited = run_driver(wine, vm_log, "create", "hook", "main", env={"ZORVO_TESTVM_MAIN_EXIT": "7"})
    assert exited.returncode == 7
    assert driver_lines(exited)[-1] == "hook native ran on the other thread"
    assert [r["call"] for r in vm_log.records()][-2:] == ["main_exit", "shutdown_hook"]


def test_scripted_attach_failures(wine, vm_log):
    result = run_driver(wine, vm_log, "create", "bgpoll=1", "join", "bgpoll=1", "join",
                        env={"ZORVO_TESTVM_ATTACH_FAILURES": "1"})

    attach_lines = [line for line in driver_lines(result) if line.startswith("bg attach")]
    assert attach_lines == ["bg attach -1", "bg attach 0"]
    assert [r["result"] for r in vm_log.records("AttachCurrentThread")] == [-1, 0]


@pytest.mark.parametrize("step, name, table", [
    ("slot=31", "GetObjectClass", "env"),
    ("slot=169", "GetStringUTFChars", "env"),  # a plausible slip: not among the functions used
    ("vmslot=0", "reserved0", "invoke"),
])
def test_unimplemented_slot_aborts_loudly(wine, vm_log, step, name, table):
    result = run_driver(wine, vm_log, "create", step)

    assert result.returncode == 99
    assert "returned" not in result.out
    slot = int(step.split("=")[1])
    assert f"unimplemented JNI function called: {name} ({table} slot {slot})" in result.err
    record = vm_log.one("unimplemented")
    assert (record["table"], record["slot"], record["name"]) == (table, slot, name)


def test_jni_env_used_on_a_foreign_thread_aborts(wine, vm_log):
    result = run_driver(wine, vm_log, "create", "foreign")

    assert result.returncode == 98
    assert "foreign returned" not in result.out
    assert "JNI misuse: FindClass called on thread" in result.err
    assert "with the JNIEnv of thread" in vm_log.one("violation")["what"]


def test_library_without_creation_entry(wine, vm_log):
    result = run_driver(wine, vm_log, "create", dll=TESTVM / "jvm-noentry.dll")

    assert result.returncode == 3
    assert "JNI_CreateJavaVM is not exported" in result.err
    assert vm_log.one("dll_loaded", src="jvm-noentry")


def test_main_blocks_until_file_exists(wine, vm_log, tmp_path):
    release = tmp_path / "release"
    proc = wine.start(driver(wine), [to_windows_path(JVM), "create", "main"],
                      env={**vm_log.env, "ZORVO_TESTVM_MAIN_WAIT_FILE": to_windows_path(release)})
    try:
        deadline = time.monotonic() + 20
        while not vm_log.records("main") and time.monotonic() < deadline:
            time.sleep(0.05)
        assert vm_log.records("main"), "main was not called"
        time.sleep(0.5)
        assert proc.poll() is None, "main returned before the file existed"
        release.write_text("")
        out, _ = proc.communicate(timeout=20)
    finally:
        if proc.poll() is None:
            proc.kill()
    assert proc.returncode == 0
    assert b"main ok" in out
    blocked = vm_log.one("main_blocked")
    assert blocked["fileSeen"] is True and blocked["ms"] >= 500


@BOTH_ARCHES
def test_main_shows_a_visible_window_and_reports_gui_resources(wine_x, display, vm_log, tmp_path):
    title = "Test App \u00c9 Window"
    # The window stays until the test has seen it: a window shown for a fixed
    # time could come and go between two searches on a loaded machine.
    release = tmp_path / "release"
    proc = wine_x.start(driver(wine_x), [to_windows_path(ARCHES[wine_x.arch].testvm / "jvm.dll"), "create", "main"],
                          env={**vm_log.env, "ZORVO_TESTVM_MAIN_WINDOW": title,
                             "ZORVO_TESTVM_MAIN_WAIT_FILE": to_windows_path(release), "ZORVO_TESTVM_MAIN_GDI": "1"})
    try:
        windows = display.find_windows("Test App")
        assert windows, (f"the application window did not appear (process exit: {proc.poll()}, "
                         f"window records: {vm_log.records('main_window')})")
        assert display.window_name(windows[0]) == title
        release.write_text("")
        out, _ = proc.communicate(timeout=30)
    finally:
        if proc.poll() is None:
            proc.kill()
    assert proc.returncode == 0 and b"main ok" in out
    shown = vm_log.one("main_window")
    assert shown["title"] == title and shown["visible"] is True and shown["hwnd"] != 0
    assert vm_log.one("main_window_closed")
    start, end = vm_log.records("gui_resources")
    assert (start["phase"], end["phase"]) == ("start", "end")
    # GetGuiResources is a stub under Wine; the handle table count is what moves.
    assert start["gdiTableObjects"] > 0
    assert end["gdiTableObjects"] > start["gdiTableObjects"], "a window's GDI objects show in the count"


def test_controller_steps_can_throw_and_strings_can_come_unterminated(wine, vm_log):
    env = {"ZORVO_TESTVM_CONTROLLER": "!;2:!;2:ab", "ZORVO_TESTVM_STRING_CHARS": "unterminated"}

    result = run_driver(wine, vm_log, "create", "poll=1", "describe", "poll=1", "describe", "poll=1", env=env)

    lines = driver_lines(result)
    assert lines[1] == "poll 0" and lines[3] == "poll 2 null"
    # The driver reads up to the zero unit, so it sees the units behind the string.
    assert lines[5] == 'poll 2 "ab' + "W" * 64 + '"'
    thrown = "java.lang.IllegalStateException"
    assert [r["exception"] for r in vm_log.records("CallStaticIntMethod")] == [thrown, None, None]
    assert [r["exception"] for r in vm_log.records("CallStaticObjectMethod")] == [thrown, None]
    assert [r["length"] for r in vm_log.records("GetStringChars")] == [2]
