// Objects too large for the stack (texts of 8 KB and more) that one step
// needs for a while: made on the heap, default-constructed, and freed when the
// holder goes. Only for types without a destructor of their own, which all the
// launcher's texts are. Pure code.
#ifndef ZORVO_COMMON_ON_HEAP_H
#define ZORVO_COMMON_ON_HEAP_H

#include <stddef.h>
#include <stdlib.h>

#include <new>
#include <type_traits>

namespace zorvo {

template <typename T>
class OnHeap {
    static_assert(std::is_trivially_destructible<T>::value, "OnHeap frees without destroying");

public:
    // `count` objects; false (see operator bool) when memory ran out.
    explicit OnHeap(size_t count = 1) : items_(static_cast<T*>(malloc(count * sizeof(T)))) {
        for (size_t i = 0; items_ && i < count; ++i) new (&items_[i]) T();
    }
    ~OnHeap() { free(items_); }
    OnHeap(const OnHeap&) = delete;
    OnHeap& operator=(const OnHeap&) = delete;

    explicit operator bool() const { return items_ != nullptr; }
    T& operator*() const { return *items_; }
    T* operator->() const { return items_; }
    T& operator[](size_t i) const { return items_[i]; }

private:
    T* items_;
};

}  // namespace zorvo

#endif
