#!/usr/bin/python3
"""Benchmark: the runtime search with a warm version cache, with a cold one,
and a trivial Windows program, all under Wine, side by side in one run, for
the 32-bit launcher (in a 32-bit prefix) and the 64-bit one (in a 64-bit
prefix, with 64-bit test doubles and a 64-bit trivial program).

The launcher is stamped with one search item naming a test runtime made of the
test doubles (java.exe answering -version, jvm.dll with JNI_CreateJavaVM). A
found runtime goes on to the test VM, whose main returns at once (exit code 0),
so a run measures start-up, the search, the library load and the launch. Warm:
the version cache holds the runtime, so nothing is started. Cold: the cache key
is deleted before each run (not timed), so the runtime is probed once.
Release: cold as well, but the runtime's home holds a `release` file, which
gives the version without starting anything. Traced: warm, with ZORVO_TRACE
writing the launch trace to a file. Trivial: starter.exe without arguments,
which prints its usage and ends at once. For reference, the same launcher with no search source at all (nothing
found, exit code 83) shows what start-up alone costs. The runs are interleaved;
prints the medians and the ratios, and from the doubles' log how many Java
executables each kind of run started. Where the host runs no 32-bit programs,
the 64-bit launcher alone is measured."""

import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tools"))
import wine_host  # noqa: E402

BUILD = Path(os.environ.get("ZORVO_BUILD", REPO / "build"))
RUNS = int(os.environ.get("BENCH_RUNS", "21"))
CACHE_KEY = r"HKCU\SOFTWARE\tallgrass-works\zorvo\jvms"
# The command that starts a program of that architecture as the process itself.
LOADERS = {"win32": wine_host.command(False), "win64": wine_host.command(True)}
KINDS = ("warm", "cold", "release", "traced", "trivial", "none")


def make_runtime(home: Path, testvm: Path, release=False):
    (home / "bin/client").mkdir(parents=True)
    for name in ("java.exe", "javaw.exe"):
        shutil.copy(testvm / name, home / "bin" / name)
    shutil.copy(testvm / "jvm.dll", home / "bin/client/jvm.dll")
    (home / "bin/version.txt").write_bytes(b'java version "1.6.0_45"\r\n')
    if release:
        (home / "release").write_bytes(b'IMPLEMENTOR="Test"\nJAVA_VERSION="1.6.0_45"\n')


def java_starts(log: Path) -> int:
    if not log.exists():
        return 0
    records = [json.loads(line) for line in log.read_text(encoding="ascii").splitlines()]
    return sum(1 for r in records if r["call"] == "exec" and r["src"] in ("java", "javaw"))


def measure(arch: str, work: Path):
    """Medians in seconds and Java executables started, per kind of run."""
    testvm = BUILD / arch / "testvm"
    wine = LOADERS[arch]
    env = {**os.environ, "WINEPREFIX": str(work / "prefix"), "WINEARCH": arch, "WINEDEBUG": "-all",
           "WINEDLLOVERRIDES": "mscoree,mshtml=", "LANG": "C.UTF-8"}
    for name in ("DISPLAY", "ZORVO_JAVA_HOME", "QUENBROOK_JAVA_HOME", "ZORVO_TESTVM_JAVA_BEHAVIOUR"):
        env.pop(name, None)
    quiet = dict(env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        (work / "prefix").mkdir(parents=True)
        subprocess.run(["wineserver", "-p"], **quiet)
        wine_host.run_checked([*wine, "wineboot", "-i"], env, f"creating a {arch} Wine prefix")
        subprocess.run([*wine, "cmd", "/c", "exit"], **quiet)
        make_runtime(work / "jre", testvm)
        make_runtime(work / "released", testvm, release=True)
        (work / "app.conf").write_text("app-type = 0\njvm-search-sequence = Rjre;\n")
        (work / "rel.conf").write_text("app-type = 0\njvm-search-sequence = Rreleased;\n")
        (work / "none.conf").write_text("app-type = 0\n")
        for name in ("app", "rel", "none"):
            subprocess.run([str(BUILD / "host/zorvo-build"), "--launcher", str(BUILD / arch / "launcher.exe"),
                            "--config", str(work / f"{name}.conf"), "--out", str(work / f"{name}.exe")], check=True)
        starter = work / "starter.exe"
        shutil.copy(testvm / "starter.exe", starter)
        logs = {kind: work / f"{kind}.jsonl" for kind in KINDS}

        trace = work / "trace.txt"

        def timed(kind, cmd, expect):
            run_env = {**env, "ZORVO_TESTVM_LOG": str(logs[kind])}
            if kind == "traced":
                run_env["ZORVO_TRACE"] = str(trace)
            start = time.perf_counter()
            rc = subprocess.run(cmd, env=run_env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL).returncode
            elapsed = time.perf_counter() - start
            assert rc == expect, f"{arch} {kind}: {cmd} exited {rc}"
            return elapsed

        def clear_cache(runtime):
            """Forgets one runtime's cached version (the other stays warm). Its
            key is named by the path the launcher used (with short names)."""
            listing = subprocess.run([*wine, "reg", "query", CACHE_KEY], env=env, stdin=subprocess.DEVNULL,
                                     capture_output=True, text=True).stdout
            for key in listing.splitlines():
                if key.strip().lower().endswith(f"/{runtime}/bin/java.exe"):
                    subprocess.run([*wine, "reg", "delete", key.strip(), "/f"], **quiet)

        # One launch of each kind first, so that every file has been read once
        # and the version cache holds the runtime.
        for program in (work / "app.exe", work / "rel.exe", work / "none.exe", starter):
            subprocess.run([*wine, str(program)], **quiet)
        samples = {kind: [] for kind in KINDS}
        kinds = {
            "warm": ([*wine, str(work / "app.exe")], 0),
            "cold": ([*wine, str(work / "app.exe")], 0),
            "release": ([*wine, str(work / "rel.exe")], 0),
            "traced": ([*wine, str(work / "app.exe")], 0),
            "trivial": ([*wine, str(starter)], 125),
            "none": ([*wine, str(work / "none.exe")], 83),
        }
        # Each round runs every kind once, in a shuffled order, so that no kind
        # always follows the same neighbour.
        order = random.Random(4)
        for _ in range(RUNS):
            for kind in order.sample(list(kinds), len(kinds)):
                if kind in ("cold", "release"):
                    clear_cache("jre" if kind == "cold" else "released")  # the run fills the cache again
                samples[kind].append(timed(kind, *kinds[kind]))
        return ({k: statistics.median(v) for k, v in samples.items()},
                {k: java_starts(log) for k, log in logs.items()})
    finally:
        subprocess.run(["wineserver", "-k"], **quiet)


def main():
    runs32, why = wine_host.settle()
    print(wine_host.describe(runs32, why))
    arches = ("win32", "win64") if runs32 else ("win64",)
    work = Path(tempfile.mkdtemp(prefix="zorvo-bench-"))
    try:
        results = {arch: measure(arch, work / arch) for arch in arches}
    finally:
        shutil.rmtree(work, ignore_errors=True)
    med = {arch: r[0] for arch, r in results.items()}
    rows = [
        ("launch, warm version cache (no probe)", lambda m: f"{m['warm'] * 1000:8.1f} ms"),
        ("launch, cold version cache (one probe)", lambda m: f"{m['cold'] * 1000:8.1f} ms"),
        ("launch, cold cache, release file", lambda m: f"{m['release'] * 1000:8.1f} ms"),
        ("launch, warm cache, with the trace", lambda m: f"{m['traced'] * 1000:8.1f} ms"),
        ("trivial program (starter.exe, no args)", lambda m: f"{m['trivial'] * 1000:8.1f} ms"),
        ("launcher without search sources (83)", lambda m: f"{m['none'] * 1000:8.1f} ms"),
        ("ratio warm / trivial", lambda m: f"{m['warm'] / m['trivial']:8.2f}   "),
        ("ratio cold / warm", lambda m: f"{m['cold'] / m['warm']:8.2f}   "),
        ("ratio release file / warm", lambda m: f"{m['release'] / m['warm']:8.2f}   "),
        ("ratio traced / warm", lambda m: f"{m['traced'] / m['warm']:8.2f}   "),
    ]
    print(f"Runtime search, median of {RUNS} runs under Wine:")
    print(f"  {'':40}  " + "".join(f" {arch[3:] + '-bit':>11}  " for arch in arches))
    for label, cell in rows:
        print(f"  {label:40} : " + " ".join(cell(med[arch]) for arch in arches))
    failed = False
    for arch, (_, starts) in results.items():
        print(f"  {arch}: Java executables started: warm {starts['warm']}, cold {starts['cold']}, "
              f"release file {starts['release']}, traced {starts['traced']}, in {RUNS} runs each")
        if starts["warm"] != 0 or starts["cold"] != RUNS or starts["release"] != 0 or starts["traced"] != 0:
            print("  UNEXPECTED: a warm launch and one with a release file must start no child process, "
                  "a cold one exactly one probe")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
