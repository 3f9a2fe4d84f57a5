// Extraction of the files embedded behind the configuration block.
#ifndef ZORVO_TEMPFILES_EMBEDDED_FILES_H
#define ZORVO_TEMPFILES_EMBEDDED_FILES_H

#include "common/text.h"

namespace zorvo {

// Writes the embedded files into a fresh directory under the user's
// temporary directory and stores its path in `tempDir` (empty when there are
// none). Returns false when the stream cannot be read.
bool extractEmbeddedFiles(PathText& tempDir);

}  // namespace zorvo

#endif
