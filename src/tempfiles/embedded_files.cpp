#include "tempfiles/embedded_files.h"

namespace zorvo {

// Extraction is not built yet: nothing is extracted and tempDir stays empty.
bool extractEmbeddedFiles(PathText& tempDir) {
    tempDir.clear();
    return true;
}

}  // namespace zorvo
