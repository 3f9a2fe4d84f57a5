// The splash thread's timer: ends the splash when it is hidden or the
// application's own window shows, and polls the Java side's controller for a
// status text or the end of the splash.
#include <windows.h>

#include "process/process_windows.h"
#include "splash/splash.h"
#include "splash/splash_internal.h"
#include "vm/splash_controller.h"
#include "services/trace.h"

namespace zorvo {

void endSplashThread() {
    if (!markSplashEnding()) return;
    detachSplashPoller();
    ExitThread(0);
}

void CALLBACK splashTimerTick(HWND, UINT, UINT_PTR, DWORD) {
    if (isSplashHeldForMessage()) return;
    HWND hwnd = splashWindow();
    if (!hwnd || !IsWindowVisible(hwnd)) {
        trace("splash: hidden, its thread ends");
        return endSplashThread();
    }
    // Leaving, the thread is done with the VM before it hides the window,
    // which can take a while.
    if (closesOnApplicationWindow() && countVisibleProcessWindows(GetCurrentProcessId()) > 1) {
        trace("splash: the application shows a window: the splash closes");
        detachSplashPoller();
        hideSplash();
        return endSplashThread();
    }
    if (pollSplashController(setStatusText) == ControllerAnswer::Close) {
        trace("splash: closed by the application");
        detachSplashPoller();
        hideSplash();
        endSplashThread();
    }
}

}  // namespace zorvo
