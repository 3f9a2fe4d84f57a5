// The new PATH value, and the elements of such a list (pure code).
#ifndef ZORVO_PROCESS_SEARCH_PATH_H
#define ZORVO_PROCESS_SEARCH_PATH_H

#include <stddef.h>

#include "common/text.h"

namespace zorvo {

// The largest value one environment variable can hold, plus the terminator.
constexpr unsigned kEnvironmentValueSize = 32768;

// Into `dst` (room for `capacity` characters with the terminator): the
// resolved configured directories, ";" unless they end with one, then the
// inherited value (null when PATH is undefined). Wide, so that a folder named
// outside the code page keeps its name. False when it does not fit.
bool composeSearchPath(wchar_t* dst, size_t capacity, const wchar_t* resolvedList, const wchar_t* inherited);

// Copies the next element of a ';'-separated list such as PATH from `cursor`
// into `out` (room for `capacity` characters with the terminator) and moves
// the cursor past it. A ';' between double quotes belongs to the element; the
// quotes are dropped. Empty elements, and elements that do not fit, are
// passed over. False at the end of the list. For narrow and wide texts.
template <typename Char>
bool nextListElement(const Char*& cursor, Char* out, size_t capacity) {
    for (;;) {
        size_t length = 0;
        bool quoted = false, fits = true;
        for (; *cursor && (quoted || *cursor != ';'); ++cursor) {
            if (*cursor == '"') {
                quoted = !quoted;
            } else if (length + 1 < capacity) {
                out[length++] = *cursor;
            } else {
                fits = false;
            }
        }
        out[length] = 0;
        bool more = *cursor == ';';
        if (more) ++cursor;
        if (length > 0 && fits) return true;
        if (!more) return false;
    }
}

}  // namespace zorvo

#endif
