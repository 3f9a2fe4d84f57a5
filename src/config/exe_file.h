// The launcher's own executable file (Windows).
#ifndef ZORVO_CONFIG_EXE_FILE_H
#define ZORVO_CONFIG_EXE_FILE_H

#include <windows.h>

#include <stdint.h>

namespace zorvo {

// Opens the launcher's own executable for reading (sharing read and write).
// Never returns on failure: internalError "Internal Error: openExeFile".
HANDLE openExeFile();

// Reads a 32-bit little-endian value at the current position. Never returns
// on a failed or short read: internalError "Internal Error: readInt".
int32_t readInt(HANDLE file);

}  // namespace zorvo

#endif
