#include "common/grow_text.h"

#include <stdlib.h>
#include <string.h>

namespace zorvo {

GrowText::~GrowText() { free(buf_); }

bool GrowText::append(const char* s) { return append(s, strlen(s)); }

bool GrowText::append(const char* s, size_t n) {
    if (len_ + n + 1 > cap_) {
        size_t next = cap_ ? cap_ : 256;
        while (next < len_ + n + 1) next *= 2;
        char* grown = static_cast<char*>(realloc(buf_, next));
        if (!grown) return false;
        buf_ = grown;
        cap_ = next;
    }
    memcpy(buf_ + len_, s, n);
    len_ += n;
    buf_[len_] = '\0';
    return true;
}

char* GrowText::release() {
    if (!buf_) append("", 0);
    char* out = buf_;
    buf_ = nullptr;
    len_ = cap_ = 0;
    return out;
}

}  // namespace zorvo
