// What the splash window and the status poller share. Both run on the splash
// thread, apart from hideSplash.
#ifndef ZORVO_SPLASH_SPLASH_INTERNAL_H
#define ZORVO_SPLASH_SPLASH_INTERNAL_H

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

namespace zorvo {

// The splash window, or null before it exists or when creating it failed.
HWND splashWindow();

// Whether the splash closes itself once another window of the process shows.
bool closesOnApplicationWindow();

// Whether an error report holds the splash window for its message box; the
// splash thread then neither polls nor ends.
bool isSplashHeldForMessage();

// Marks the splash thread as ending; false when an error report holds the
// window, which then must stay.
bool markSplashEnding();

// Detaches from the VM and ends the splash thread, which takes the window
// and the timer with it; returns only when an error report holds the window
// for its message box (the process ends after the report).
void endSplashThread();

// Replaces the status line with `count` UTF-16 units (up to the first zero
// unit or unit above U+00FF, cut at the line's buffer) and repaints the
// window before returning. Does nothing while the splash is not set up.
void setStatusText(const uint16_t* units, size_t count);

// The 100 ms timer callback of the splash thread: ends the splash when it is
// hidden or the application's window shows, and otherwise asks the Java side
// for a new status text or the end of the splash.
void CALLBACK splashTimerTick(HWND window, UINT message, UINT_PTR timerId, DWORD time);

}  // namespace zorvo

#endif
