#!/usr/bin/python3
"""Benchmark: extraction of a 64 MB embedded file against a plain 64 MB copy,
both under Wine, side by side in one run, with the 32-bit launcher in a 32-bit
prefix (with the 64-bit one in a 64-bit prefix where the host runs no 32-bit
programs).

The launcher is stamped with one embedded file of 64 MB and no runtime search
configured, so it ends right after extraction (exit code 83). Each run starts
with an empty deletion record, so no clean-up of an earlier run is timed.
Prints the median of several runs and the ratios."""

import os
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
SIZE = 64 * 1024 * 1024
RUNS = int(os.environ.get("BENCH_RUNS", "5"))
TEMP_KEY = r"HKCU\SOFTWARE\tallgrass-works\zorvo\temp"


def windows_path(p: Path) -> str:
    return "Z:" + str(p).replace("/", "\\")


def main():
    runs32, why = wine_host.settle()
    print(wine_host.describe(runs32, why))
    arch = "win32" if runs32 else "win64"
    wine = wine_host.command(arch == "win64")
    work = Path(tempfile.mkdtemp(prefix="zorvo-bench-"))
    env = {**os.environ, "WINEPREFIX": str(work / "prefix"), "WINEARCH": arch, "WINEDEBUG": "-all",
           "WINEDLLOVERRIDES": "mscoree,mshtml="}
    env.pop("DISPLAY", None)
    quiet = dict(env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wine_host.run_checked([*wine, "wineboot", "-i"], env, "creating the Wine prefix")
        subprocess.run(["wineserver", "-p"], **quiet)
        subprocess.run([*wine, "cmd", "/c", "exit"], **quiet)
        payload = work / "payload.bin"
        payload.write_bytes(os.urandom(SIZE))
        (work / "big.conf").write_text(f"app-type = 0\nembed = {payload}\n")
        (work / "empty.conf").write_text("app-type = 0\n")
        for name in ("big", "empty"):
            subprocess.run([str(BUILD / "host/zorvo-build"), "--launcher", str(BUILD / arch / "launcher.exe"),
                            "--config", str(work / f"{name}.conf"), "--out", str(work / f"{name}.exe")], check=True)
        temp_root = work / "prefix/drive_c/users"

        def reset():
            subprocess.run([*wine, "reg", "delete", TEMP_KEY, "/f"], **quiet)
            for d in temp_root.glob("*/**/zrv*.tmp_dir*"):
                shutil.rmtree(d, ignore_errors=True)
            for f in work.glob("copy*.bin"):
                f.unlink()

        def timed(cmd, expect):
            reset()
            start = time.perf_counter()
            rc = subprocess.run(cmd, **quiet).returncode
            elapsed = time.perf_counter() - start
            assert rc == expect, f"{cmd} exited {rc}"
            return elapsed

        samples = {"extract": [], "empty": [], "copy": []}
        for i in range(RUNS):
            samples["extract"].append(timed([*wine, str(work / "big.exe")], 83))
            samples["empty"].append(timed([*wine, str(work / "empty.exe")], 83))
            samples["copy"].append(timed([*wine, "cmd", "/c", "copy", "/b", windows_path(payload),
                                          windows_path(work / f"copy{i}.bin")], 0))
        med = {k: statistics.median(v) for k, v in samples.items()}
        print(f"64 MB, median of {RUNS} runs under Wine, {arch[3:]}-bit launcher:")
        print(f"  launcher, start to end of extraction : {med['extract'] * 1000:8.1f} ms")
        print(f"  launcher without embedded files     : {med['empty'] * 1000:8.1f} ms")
        print(f"  plain copy (cmd /c copy /b)          : {med['copy'] * 1000:8.1f} ms")
        print(f"  ratio extraction / copy              : {med['extract'] / med['copy']:8.2f}")
        net = med["extract"] - med["empty"]
        print(f"  ratio (extraction less start-up) / copy: {net / med['copy']:6.2f}")
    finally:
        subprocess.run(["wineserver", "-k"], **quiet)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
