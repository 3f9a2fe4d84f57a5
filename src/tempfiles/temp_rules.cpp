#include "tempfiles/temp_rules.h"

#include <string.h>

namespace zorvo {

void unscramble(unsigned char* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) bytes[i] ^= kScrambleByte;
}

bool isPlainFileName(const char* name) {
    if (!name[0] || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return false;
    return strpbrk(name, "\\/:") == nullptr;
}

bool appendToDeleteText(PathText& list, const char* path) {
    size_t n = strlen(path);
    if (list.size() + n + 1 > list.capacity() - 1) return false;
    list.append(path, n);
    list.appendChar(';');
    return true;
}

}  // namespace zorvo
