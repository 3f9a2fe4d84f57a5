// Extraction of the files embedded behind the configuration block into a
// fresh directory under the user's temporary directory.
#ifndef ZORVO_TEMPFILES_EMBEDDED_FILES_H
#define ZORVO_TEMPFILES_EMBEDDED_FILES_H

#include <windows.h>

#include <stdint.h>

#include "common/string_list.h"
#include "common/text.h"

namespace zorvo {

// Writes the embedded files (entries 2002 and 2003) into a fresh directory
// and stores its path, without a trailing backslash, in `tempDir` (empty when
// nothing is embedded). Returns false when the stream ends early or cannot be
// read; a directory or file that cannot be created or written, or a name that
// is not a plain file name, ends the process through errorExit (1009 with
// "7", "11" or "13").
bool extractEmbeddedFiles(PathText& tempDir);

// Copies one record of the stream (length, then scrambled content) to `path`.
bool extractEmbeddedFile(HANDLE exe, const char* path);

// Copies `count` bytes from `exe` to `out`, unscrambling them, through one
// 8192-byte buffer. False when the stream cannot be read.
bool copyUnscrambled(HANDLE exe, HANDLE out, uint32_t count);

// This run's extraction directory (empty when nothing is embedded).
PathText& extractionDirectory();

// This run's extracted files and extraction directories, for deferred
// deletion. Only ever appended to.
void addPendingFile(const char* path);
void addPendingDir(const char* path);
const StringList& pendingFiles();
const StringList& pendingDirs();

}  // namespace zorvo

#endif
