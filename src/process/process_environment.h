// Process set-up before anything else runs: the configuration, the product
// flavour, the PATH the Java VM and its children inherit, the working directory.
#ifndef ZORVO_PROCESS_PROCESS_ENVIRONMENT_H
#define ZORVO_PROCESS_PROCESS_ENVIRONMENT_H

#include <windows.h>

#include "common/text.h"

namespace zorvo {

// Loads the configuration (never returns when it is unreadable), stores the
// instance handle and the product flavour, puts the configured directories
// (entry 10004) in front of PATH and changes to the configured working
// directory (entry 146; a missing directory is passed over silently). First of
// all it takes the current directory out of the DLL search.
void prepareProcessEnvironment(HINSTANCE instance);

// The first character of entry 2001: 'e' launcher flavour, 'i' installer
// flavour, '\0' when empty.
char productFlavour();

HINSTANCE moduleInstance();

// The path of `name` (which begins with a backslash) below the installer
// folder (entry 10003, relative to the executable's directory): full, lower
// case, backslashes collapsed. False when it does not fit.
bool installerFilePath(PathText& path, const char* name);

}  // namespace zorvo

#endif
