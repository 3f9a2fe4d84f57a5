// Composition of the new PATH value (pure code).
#include "process/search_path.h"

#include <wchar.h>

namespace zorvo {

bool composeSearchPath(wchar_t* dst, size_t capacity, const wchar_t* resolvedList, const wchar_t* inherited) {
    size_t length = wcslen(resolvedList);
    bool separator = length > 0 && resolvedList[length - 1] != L';';
    size_t total = length + (separator ? 1 : 0) + (inherited ? wcslen(inherited) : 0);
    if (capacity == 0 || total >= capacity) return false;
    wcscpy(dst, resolvedList);
    if (separator) wcscat(dst, L";");
    if (inherited) wcscat(dst, inherited);
    return true;
}

}  // namespace zorvo
