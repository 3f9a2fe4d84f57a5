// A NUL-terminated text on the heap that grows as needed, for the few texts
// that have no fixed bound (the class path option). Pure code.
#ifndef ZORVO_COMMON_GROW_TEXT_H
#define ZORVO_COMMON_GROW_TEXT_H

#include <stddef.h>

namespace zorvo {

class GrowText {
public:
    GrowText() = default;
    GrowText(const GrowText&) = delete;
    GrowText& operator=(const GrowText&) = delete;
    ~GrowText();

    // False when memory ran out (the text is then unchanged).
    bool append(const char* s);
    bool append(const char* s, size_t n);
    bool appendChar(char c) { return append(&c, 1); }
    const char* c_str() const { return buf_ ? buf_ : ""; }
    size_t size() const { return len_; }
    // Hands the buffer over to the caller (who owns it from then on).
    char* release();

private:
    char* buf_ = nullptr;
    size_t len_ = 0;
    size_t cap_ = 0;
};

}  // namespace zorvo

#endif
