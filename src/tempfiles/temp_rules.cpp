#include "tempfiles/temp_rules.h"

#include <string.h>

#include "common/ascii.h"

namespace zorvo {
namespace {

// True when the ';'-separated `list` holds an element equal to the `n` bytes
// of `path`, ASCII letters compared without case as Windows compares names.
bool listHoldsPath(const char* list, const char* path, size_t n) {
    for (const char* element = list; *element;) {
        size_t length = strcspn(element, ";");
        if (length == n && sameIgnoringAsciiCase(element, path, n)) return true;
        element += length;
        if (*element == ';') ++element;
    }
    return false;
}

}  // namespace

bool appendToDeleteText(PathText& list, const char* path) {
    size_t n = strlen(path);
    if (n > 0 && listHoldsPath(list.c_str(), path, n)) return true;
    if (list.size() + n + 1 > list.capacity() - 1) return false;
    list.append(path, n);
    list.appendChar(';');
    return true;
}

}  // namespace zorvo
