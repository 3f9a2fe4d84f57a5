// Bounded, always NUL-terminated text buffers.
//
// Every text of the launcher lives in one of these. No operation ever writes
// past the buffer: what does not fit is dropped and the sticky `truncated()`
// flag is raised, so the caller decides whether a cut is acceptable or a
// failure. Pure code: compiles for the host and for Windows.
#ifndef ZORVO_COMMON_TEXT_H
#define ZORVO_COMMON_TEXT_H

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

namespace zorvo {

// The size of the launcher's ordinary text buffers (8191 characters and the
// terminator).
constexpr size_t kTextSize = 8192;

// vsnprintf's promise on every platform: writes at most `size` bytes, always
// terminated, and returns the length the whole text needs, or at least
// `size` when it did not fit (negative on a format error). On Windows the
// system runtime's formatter does the work: the C++ runtime's portable one
// would add tens of kilobytes to the launcher for floating point it never
// formats.
int formatText(char* buf, size_t size, const char* format, va_list ap);

// Operations on a caller-owned buffer of `cap` bytes holding a NUL-terminated
// text of `len` bytes. The template below is the usual way to use them.
struct TextRef {
    char* buf;
    size_t cap;
    size_t len;
    bool cut;

    // Appends up to `n` bytes of `s`; returns false (and sets `cut`) when not
    // all of them fit.
    bool append(const char* s, size_t n) {
        size_t room = cap - 1 - len;
        bool fits = n <= room;
        if (!fits) {
            n = room;
            cut = true;
        }
        memcpy(buf + len, s, n);
        len += n;
        buf[len] = '\0';
        return fits;
    }
};

template <size_t N>
class Text {
    static_assert(N >= 2, "a text buffer needs room for one character");

public:
    Text() { clear(); }
    explicit Text(const char* s) {
        clear();
        append(s);
    }
    Text(const Text&) = default;
    Text& operator=(const Text&) = default;

    static constexpr size_t capacity() { return N; }
    const char* c_str() const { return buf_; }
    char* data() { return buf_; }
    size_t size() const { return len_; }
    bool empty() const { return len_ == 0; }
    // True once any operation had to drop characters.
    bool truncated() const { return cut_; }

    void clear() {
        buf_[0] = '\0';
        len_ = 0;
        cut_ = false;
    }

    bool assign(const char* s) {
        clear();
        return append(s);
    }
    bool assign(const char* s, size_t n) {
        clear();
        return append(s, n);
    }
    bool append(const char* s) { return append(s, s ? strlen(s) : 0); }
    bool append(const char* s, size_t n) {
        TextRef r{buf_, N, len_, cut_};
        bool ok = r.append(s, n);
        len_ = r.len;
        cut_ = r.cut;
        return ok;
    }
    bool appendChar(char c) { return append(&c, 1); }

    // Formatted append; the format must be a literal at every call site.
    bool appendFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        va_list ap;
        va_start(ap, fmt);
        size_t room = N - len_;
        int n = formatText(buf_ + len_, room, fmt, ap);
        va_end(ap);
        if (n < 0) {
            buf_[len_] = '\0';
            cut_ = true;
            return false;
        }
        if (static_cast<size_t>(n) >= room) {
            len_ = N - 1;
            buf_[len_] = '\0';
            cut_ = true;
            return false;
        }
        len_ += static_cast<size_t>(n);
        return true;
    }

    // Re-reads the length after a platform call wrote into data() directly.
    // `written` is what the call reported; a result at or above the capacity
    // means the call did not fit and is reported as false.
    bool adoptPlatformResult(size_t written) {
        if (written >= N) {
            clear();
            cut_ = true;
            return false;
        }
        buf_[written] = '\0';
        len_ = strlen(buf_);
        return true;
    }

    // Re-reads the length after a terminated text was written into data().
    void refresh() {
        buf_[N - 1] = '\0';
        len_ = strlen(buf_);
    }

    // Cuts the text to its first `n` bytes (no-op when shorter).
    void truncateTo(size_t n) {
        if (n < len_) {
            len_ = n;
            buf_[n] = '\0';
        }
    }

private:
    char buf_[N];
    size_t len_;
    bool cut_;
};

using PathText = Text<kTextSize>;

}  // namespace zorvo

#endif
