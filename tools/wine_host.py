#!/usr/bin/python3
"""What this host can run under Wine, and the Wine loader for each program.

Some hosts run no 32-bit Linux programs (IA-32 emulation is off in their
kernel). Wine's 32-bit loader fails there with "Exec format error", and with
it the scripts `wine`, `wineboot`, `winepath`, which all start that loader.
Only Wine's 64-bit loader works: it creates and runs a 64-bit prefix, whose
tools (`wineboot`, `reg`, `cmd`, `winepath`) and 64-bit programs it starts by
name. No 32-bit Windows program can run there at all.

The test runner, the demo and the benchmarks find out once which kind of host
this is (`host_runs_32bit`) and hand the answer on to what they start through
ZORVO_HOST_32BIT (1 or 0). Set to 0 by the user, the variable makes a host that
can run 32-bit programs behave as one that cannot: `wine` and `wine-stable`
are shadowed on PATH by scripts that fail as they fail there.

Run as a program it prints which kind of host this is (with --shadow-path: the
PATH to use on it; with --no-randomize: the command prefix of NO_RANDOMIZE);
its exit code is 0 when the host runs 32-bit programs.
"""

import os
import platform
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

WINE32 = "/usr/lib/wine/wine"
# Debian keeps the 64-bit loader off PATH.
WINE64 = shutil.which("wine64") or "/usr/lib/wine/wine64"
NO_32BIT = "this host runs no 32-bit programs"
SHADOW = Path(__file__).resolve().parent / "no-32bit-host"

# Wine's 64-bit loader is linked at 0x7d000000, and Debian ships it without
# Wine's preloader, which would reserve the low addresses first. A kernel that
# places a program's heap anywhere in the gigabyte behind the program (as 6.x
# kernels do) now and then puts the loader's heap on the page Wine needs for
# the shared user data (0x7ffe0000): that process ends at once with "failed to
# map the shared user data" (about one start in a thousand, children of Wine
# programs included). Wine programs are therefore started with the Linux
# side's address randomisation off (`setarch -R`), which the processes they
# start inherit; the Windows side is not affected.
NO_RANDOMIZE = ["setarch", platform.machine(), "-R"]


def probe():
    """(runs 32-bit programs, why): a switch or an answer handed down wins,
    else Wine's 32-bit loader is started once."""
    setting = os.environ.get("ZORVO_HOST_32BIT")
    if setting == "0":
        return False, "ZORVO_HOST_32BIT=0"
    if setting == "1":
        return True, "ZORVO_HOST_32BIT=1"
    try:
        proc = subprocess.run([WINE32, "--version"], stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, timeout=60)
    except OSError as e:
        return False, f"{WINE32}: {e.strerror}"
    except subprocess.TimeoutExpired:
        return False, f"{WINE32} --version did not end"
    if proc.returncode == 0:
        return True, f"{WINE32} starts: {proc.stdout.strip()}"
    return False, f"{WINE32} --version: exit {proc.returncode} {(proc.stderr or proc.stdout).strip()}".rstrip()


def describe(runs32: bool, why: str) -> str:
    if runs32:
        return f"host: runs 32-bit programs ({why}): both launchers"
    return f"host: {NO_32BIT} ({why}): the 64-bit launcher only, 32-bit cases left out"


def shadowed_path(path: str) -> str:
    """PATH with the failing `wine` and `wine-stable` first."""
    return os.pathsep.join([str(SHADOW)] + [p for p in path.split(os.pathsep) if p and p != str(SHADOW)])


def settle(environ=os.environ):
    """Finds out once, hands the answer down in `environ` (and the shadowed
    PATH on a host without 32-bit programs) and returns (runs32, why)."""
    runs32, why = probe()
    environ["ZORVO_HOST_32BIT"] = "1" if runs32 else "0"
    if not runs32:
        environ["PATH"] = shadowed_path(environ.get("PATH", ""))
    return runs32, why


def is_64bit_program(path) -> bool:
    """True for a PE32+ image of machine type x86-64."""
    data = Path(path).read_bytes()[:4096]
    if len(data) < 0x40:
        return False
    header = struct.unpack_from("<I", data, 0x3C)[0]
    return len(data) >= header + 6 and struct.unpack_from("<H", data, header + 4)[0] == 0x8664


def loader(is64: bool) -> str:
    """The loader that starts a program of that width as the process itself."""
    return WINE64 if is64 else "wine"


def command(is64: bool, *args) -> list:
    """The command that starts a Windows program (or a prefix's tool, by name)
    of that width with `args` (see NO_RANDOMIZE)."""
    return NO_RANDOMIZE + [loader(is64), *map(str, args)]


def run_checked(command, env, what: str, timeout=300):
    """Runs a Wine set-up command (a prefix's creation, a tool); on failure
    raises with Wine's own output, never a bare exit status. The output goes
    through a file: the wineserver and Wine's system processes inherit the
    handles and would hold a pipe open long after the command has ended."""
    with tempfile.TemporaryFile() as output:
        try:
            rc = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=output, stderr=output,
                                timeout=timeout).returncode
        except OSError as e:
            raise RuntimeError(f"{what} failed: {command[0]}: {e.strerror}") from None
        except subprocess.TimeoutExpired:
            rc = f"did not end within {timeout} s"
        if rc != 0:
            output.seek(0)
            text = output.read().decode("utf-8", "replace").strip()
            raise RuntimeError(f"{what} failed ({' '.join(map(str, command))}: exit {rc}):\n{text}")


def main(argv):
    runs32, why = probe()
    if "--no-randomize" in argv:
        print(" ".join(NO_RANDOMIZE))
    elif "--shadow-path" in argv:
        print(os.environ.get("PATH", "") if runs32 else shadowed_path(os.environ.get("PATH", "")))
    else:
        print(describe(runs32, why))
    return 0 if runs32 else 3


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
