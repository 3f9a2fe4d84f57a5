#include "services/trace.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include "common/text.h"

namespace zorvo {
namespace {

// Written once by startTrace before any other thread exists, then read-only;
// the writes themselves are serialised by the lock.
HANDLE traceFile = INVALID_HANDLE_VALUE;
DWORD startTick = 0;
CRITICAL_SECTION lock;

// Room for one line and for one chunk of text on its way from the code page
// to UTF-8: on the heap, and only when tracing (zero-initialised data takes
// room in the launcher's file).
constexpr int kChunk = 4096;
struct Buffers {
    char line[kTextSize];
    wchar_t wide[kChunk];
    char utf8[kChunk * 3];
};
Buffers* buffers = nullptr;

void writeBytes(const char* bytes, DWORD n) {
    DWORD written = 0;
    if (n > 0) WriteFile(traceFile, bytes, n, &written, nullptr);
}

// Writes launcher text (the system's code page) as UTF-8, in chunks that
// never split a double-byte character; text that is UTF-8 already goes as it is.
void writeText(const char* text, size_t n, bool utf8) {
    if (utf8) {
        writeBytes(text, static_cast<DWORD>(n));
        return;
    }
    while (n > 0) {
        int take = n > static_cast<size_t>(kChunk) ? kChunk : static_cast<int>(n);
        if (take < static_cast<int>(n)) {
            int lead = 0;  // a lead byte at the chunk's end goes with the next chunk
            for (int i = 0; i < take; ++i) lead = IsDBCSLeadByte(static_cast<BYTE>(text[i])) ? lead ^ 1 : 0;
            if (lead) --take;
        }
        int wide = MultiByteToWideChar(CP_ACP, 0, text, take, buffers->wide, kChunk);
        int bytes = WideCharToMultiByte(CP_UTF8, 0, buffers->wide, wide, buffers->utf8, sizeof(buffers->utf8), nullptr,
                                        nullptr);
        writeBytes(buffers->utf8, static_cast<DWORD>(bytes > 0 ? bytes : 0));
        text += take;
        n -= static_cast<size_t>(take);
    }
}

void writeTime() {
    Text<32> stamp;
    stamp.appendFormat("%6lu ms  ", static_cast<unsigned long>(GetTickCount() - startTick));
    writeBytes(stamp.c_str(), static_cast<DWORD>(stamp.size()));
}

}  // namespace

void startTrace() {
    startTick = GetTickCount();
    // Read and opened wide: a trace below a folder named outside the code page
    // (a user's profile, say) is written all the same.
    wchar_t path[kTextSize];
    DWORD n = GetEnvironmentVariableW(L"ZORVO_TRACE", path, kTextSize);
    if (n == 0 || n >= kTextSize) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    buffers = static_cast<Buffers*>(malloc(sizeof(Buffers)));
    if (!buffers) {
        CloseHandle(file);
        return;
    }
    InitializeCriticalSection(&lock);
    traceFile = file;
}

bool isTracing() { return traceFile != INVALID_HANDLE_VALUE; }

namespace {

void traceLine(bool utf8, const char* format, va_list ap) {
    DWORD lastError = GetLastError();
    EnterCriticalSection(&lock);
    char* line = buffers->line;
    int n = formatText(line, kTextSize, format, ap);
    size_t length = n < 0 ? 0 : (static_cast<size_t>(n) < kTextSize ? static_cast<size_t>(n) : kTextSize - 1);
    writeTime();
    writeText(line, length, utf8);
    if (n >= static_cast<int>(kTextSize)) writeBytes(" [cut]", 6);
    writeBytes("\r\n", 2);
    LeaveCriticalSection(&lock);
    SetLastError(lastError);
}

void traceItems(bool utf8, const char* title, const char* const* items, size_t count) {
    DWORD lastError = GetLastError();
    EnterCriticalSection(&lock);
    writeTime();
    writeText(title, strlen(title), false);
    writeBytes("\r\n", 2);
    for (size_t i = 0; i < count; ++i) {
        Text<32> index;
        index.appendFormat("          [%u] \"", static_cast<unsigned>(i));
        writeBytes(index.c_str(), static_cast<DWORD>(index.size()));
        writeText(items[i], strlen(items[i]), utf8);
        writeBytes("\"\r\n", 3);
    }
    LeaveCriticalSection(&lock);
    SetLastError(lastError);
}

}  // namespace

void trace(const char* format, ...) {
    if (!isTracing()) return;
    va_list ap;
    va_start(ap, format);
    traceLine(false, format, ap);
    va_end(ap);
}

void traceUtf8(const char* format, ...) {
    if (!isTracing()) return;
    va_list ap;
    va_start(ap, format);
    traceLine(true, format, ap);
    va_end(ap);
}

void traceList(const char* title, const char* const* items, size_t count) {
    if (isTracing()) traceItems(false, title, items, count);
}

void traceUtf8List(const char* title, const char* const* items, size_t count) {
    if (isTracing()) traceItems(true, title, items, count);
}

}  // namespace zorvo
