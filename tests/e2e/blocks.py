"""Configuration blocks written byte by byte, for blocks the build tool never writes."""

import struct

MAGIC = 0xE8E413D5


def narrow(entry_id: int, value: bytes, length: int = None) -> bytes:
    return struct.pack("<ii", entry_id, len(value) if length is None else length) + value


def wide(entry_id: int, value: str, length: int = None) -> bytes:
    data = value.encode("utf-16-le")
    return struct.pack("<ii", entry_id, len(data) if length is None else length) + data


def block(narrow_records=(), wide_records=(), narrow_count=None, wide_count=None, magic=MAGIC) -> bytes:
    out = struct.pack("<I", magic)
    out += struct.pack("<i", len(narrow_records) if narrow_count is None else narrow_count)
    out += b"".join(narrow_records)
    out += struct.pack("<i", len(wide_records) if wide_count is None else wide_count)
    out += b"".join(wide_records)
    return out
