// The splash screen shown while the runtime is searched and the VM starts: a
// borderless window with the splash image and two text lines, owned by a
// thread of its own, whose status line the application can change.
#ifndef ZORVO_SPLASH_SPLASH_H
#define ZORVO_SPLASH_SPLASH_H

namespace zorvo {

// Starts the splash thread with the process's show command and returns at
// once. Show command 0 (the process was started hidden) shows no splash: it
// acts as hideSplash.
void startSplash(int showCommand);

// Hides the splash window for good. Callable from any thread at any time:
// when the window does not exist yet, it never appears. Returns once the
// window is hidden.
void hideSplash();

// Called by an error report before it hides the splash: when the splash
// window still exists, it is kept (hidden) for the rest of the process and
// returned (an HWND), so that the report's message box can be owned by it;
// null when the splash thread has ended and taken its window with it (or
// never ran, or had not shown it yet), so that no box is given an owner that
// is gone.
void* keepSplashForMessage();

}  // namespace zorvo

#endif
