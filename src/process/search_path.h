// The new PATH value (pure code).
#ifndef ZORVO_PROCESS_SEARCH_PATH_H
#define ZORVO_PROCESS_SEARCH_PATH_H

#include "common/text.h"

namespace zorvo {

// The largest value one environment variable can hold, plus the terminator.
constexpr unsigned kEnvironmentValueSize = 32768;
using EnvironmentText = Text<kEnvironmentValueSize>;

// The resolved configured directories, ";" unless they end with one, then the
// inherited value (null when PATH is undefined). False when it does not fit.
bool composeSearchPath(EnvironmentText& dst, const char* resolvedList, const char* inherited);

}  // namespace zorvo

#endif
