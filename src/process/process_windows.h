// The top-level windows of a process: bringing them to the front (a later
// start in single-instance mode) and counting the visible ones (the splash
// closes on the application's first window). Windows.
#ifndef ZORVO_PROCESS_PROCESS_WINDOWS_H
#define ZORVO_PROCESS_PROCESS_WINDOWS_H

#include <windows.h>

namespace zorvo {

// Restores and brings to the front every visible top-level window of the process.
void activateProcessWindows(DWORD processId);

// Visible top-level windows of the process, not counting its own console
// window (looked up once per process, by a unique console title; never for
// a windowed application).
int countVisibleProcessWindows(DWORD processId);

}  // namespace zorvo

#endif
