// The launch trace, for support: with the environment variable ZORVO_TRACE
// set to a file path, the launcher appends what it does to that file, one
// event a line, in UTF-8, each with the milliseconds since the start: its
// block, the process set-up, every runtime candidate and what became of it,
// the VM library, the VM options and the arguments handed to Java, the
// splash, the message shown and the exit code. Unset or empty, nothing is
// written; a file that cannot be opened or written never changes the launch.
// Environment values appear only as part of a path or option the launcher
// used, and the content of embedded files never.
#ifndef ZORVO_SERVICES_TRACE_H
#define ZORVO_SERVICES_TRACE_H

#include <stddef.h>

namespace zorvo {

// Opens the trace named by ZORVO_TRACE; called first, before any other
// thread exists. Does nothing when the variable is unset or empty (or the
// file cannot be opened); isTracing() then stays false.
void startTrace();

bool isTracing();

// One event; the format is a literal at every call site. Cut at 8191 bytes.
// Callable from any thread; keeps the thread's last-error value.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One event per item under a title line, each item in double quotes so that
// blanks show, however long it is.
void traceList(const char* title, const char* const* items, size_t count);

// The same for text that is UTF-8 already (the command line and the arguments
// of main) rather than in the system's code page.
void traceUtf8(const char* format, ...) __attribute__((format(printf, 1, 2)));
void traceUtf8List(const char* title, const char* const* items, size_t count);

}  // namespace zorvo

#endif
