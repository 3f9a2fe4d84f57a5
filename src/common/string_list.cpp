#include "common/string_list.h"

#include <stdlib.h>
#include <string.h>

namespace zorvo {

bool StringList::add(const char* text) {
    if (count == capacity) {
        size_t next = capacity ? capacity * 2 : 8;
        char** grown = static_cast<char**>(realloc(items, next * sizeof(char*)));
        if (!grown) return false;
        items = grown;
        capacity = next;
    }
    size_t n = strlen(text);
    char* copy = static_cast<char*>(malloc(n + 1));
    if (!copy) return false;
    memcpy(copy, text, n + 1);
    items[count++] = copy;
    return true;
}

void StringList::release() {
    for (size_t i = 0; i < count; ++i) free(items[i]);
    free(items);
    items = nullptr;
    count = capacity = 0;
}

}  // namespace zorvo
