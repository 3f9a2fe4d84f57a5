// A growable list of owned, heap-allocated texts. Pure code.
#ifndef ZORVO_COMMON_STRING_LIST_H
#define ZORVO_COMMON_STRING_LIST_H

#include <stddef.h>

namespace zorvo {

struct StringList {
    char** items = nullptr;
    size_t count = 0;
    size_t capacity = 0;

    // Appends a heap copy of `text`; false when memory ran out (nothing added).
    bool add(const char* text);
    const char* at(size_t i) const { return items[i]; }
    // Frees every text and the array (the launcher's own lists live until
    // the process ends; tests release theirs).
    void release();
};

}  // namespace zorvo

#endif
