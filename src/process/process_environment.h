// Process set-up before anything else runs.
#ifndef ZORVO_PROCESS_PROCESS_ENVIRONMENT_H
#define ZORVO_PROCESS_PROCESS_ENVIRONMENT_H

#include <windows.h>

namespace zorvo {

// Loads the configuration (never returns when it is unreadable) and prepares
// the environment the Java VM will inherit.
void prepareProcessEnvironment(HINSTANCE instance);

}  // namespace zorvo

#endif
