#include "splash/splash.h"

namespace zorvo {

// The splash window is not built yet: configured launchers start without one.
void startSplash(int) {}

void hideSplash() {}

}  // namespace zorvo
