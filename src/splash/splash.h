// Splash screen shown while the runtime is searched and the VM starts.
#ifndef ZORVO_SPLASH_SPLASH_H
#define ZORVO_SPLASH_SPLASH_H

namespace zorvo {

// Starts the splash thread with the given show command; returns at once.
void startSplash(int showCommand);

// Hides the splash window for good, if there is one. Safe to call at any time.
void hideSplash();

}  // namespace zorvo

#endif
