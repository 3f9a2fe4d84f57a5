// The search for a Java runtime and the loading of its VM library.
#ifndef ZORVO_WINDOWS_WIN_LOADER_H
#define ZORVO_WINDOWS_WIN_LOADER_H

namespace zorvo {

// Finds a runtime in the configured version range and loads its VM library.
// Returns false when none is usable; the reason has then been shown (when
// `showMessages`).
bool locateAndLoadJvm(bool showMessages, const char* presetJavaHome, bool presetAsExecutableFirst);

}  // namespace zorvo

#endif
