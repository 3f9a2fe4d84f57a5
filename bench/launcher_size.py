#!/usr/bin/python3
"""The generic launchers' sizes: each launcher's file size and, per section,
the bytes it takes in the file (raw) and in memory (virtual). Reads the built
files only; runs nowhere else. A launcher is what every application ships, so
its size is a figure of its own (a test keeps each at most 102,400 bytes)."""

import os
import struct
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
BUILD = Path(os.environ.get("ZORVO_BUILD", REPO / "build"))
LIMIT = 102400


def sections(data: bytes):
    """(name, raw size, virtual size) of each section of a PE image."""
    pe, = struct.unpack_from("<I", data, 0x3C)
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    table = pe + 24 + optional_size
    out = []
    for i in range(count):
        name, virtual, _, raw = struct.unpack_from("<8sIII", data, table + 40 * i)
        out.append((name.rstrip(b"\0").decode(), raw, virtual))
    return out


def main():
    failed = False
    for arch in ("win32", "win64"):
        path = BUILD / arch / "launcher.exe"
        data = path.read_bytes()
        rows = sections(data)
        headers = len(data) - sum(raw for _, raw, _ in rows)
        print(f"{arch} generic launcher: {len(data):,} bytes ({len(data) / 1024:.1f} KB; at most {LIMIT:,})")
        print(f"  {'headers':8} {headers:>7,} bytes in the file")
        for name, raw, virtual in rows:
            print(f"  {name:8} {raw:>7,} bytes in the file, {virtual:>7,} in memory")
        failed |= len(data) > LIMIT
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
