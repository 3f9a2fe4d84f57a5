// The launcher's own executable file, and reading files as byte sources (Windows).
#ifndef ZORVO_CONFIG_EXE_FILE_H
#define ZORVO_CONFIG_EXE_FILE_H

#include <windows.h>

#include <stdint.h>

#include "common/byte_source.h"

namespace zorvo {

// Opens the launcher's own executable for reading (sharing read and write).
// Never returns on failure: internalError "Internal Error: openExeFile".
HANDLE openExeFile();

// A byte source over an open file of `size` bytes (the handle stays the caller's).
ByteSource fileByteSource(HANDLE file, uint64_t size);

// Reads a 32-bit little-endian value at the current position. Never returns
// on a failed or short read: internalError "Internal Error: readInt".
int32_t readInt(HANDLE file);

}  // namespace zorvo

#endif
