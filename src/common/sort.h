// The one sort of the launcher: stable (equal items keep their order), in
// O(n log n) with a merge buffer from the heap, and in place by insertion
// when no memory is left. Pure code.
#ifndef ZORVO_COMMON_SORT_H
#define ZORVO_COMMON_SORT_H

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

namespace zorvo {

// Sorts `items` so that before(a, b) never holds for a later a and an earlier
// b. T is copied byte for byte (a plain struct or a pointer).
template <typename T, typename Before>
void stableSort(T* items, size_t count, Before before) {
    if (count < 2) return;
    T* merged = static_cast<T*>(malloc(count * sizeof(T)));
    if (!merged) {
        for (size_t i = 1; i < count; ++i) {
            T item = items[i];
            size_t j = i;
            for (; j > 0 && before(item, items[j - 1]); --j) items[j] = items[j - 1];
            items[j] = item;
        }
        return;
    }
    for (size_t width = 1; width < count; width *= 2) {
        for (size_t lo = 0; lo < count; lo += 2 * width) {
            size_t mid = lo + width < count ? lo + width : count;
            size_t hi = lo + 2 * width < count ? lo + 2 * width : count;
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) merged[k++] = before(items[j], items[i]) ? items[j++] : items[i++];
            while (i < mid) merged[k++] = items[i++];
            while (j < hi) merged[k++] = items[j++];
        }
        memcpy(items, merged, count * sizeof(T));
    }
    free(merged);
}

}  // namespace zorvo

#endif
