// Composition of the new PATH value (pure code).
#include "process/search_path.h"

namespace zorvo {

bool composeSearchPath(EnvironmentText& dst, const char* resolvedList, const char* inherited) {
    dst.assign(resolvedList);
    if (!dst.empty() && dst.c_str()[dst.size() - 1] != ';') dst.appendChar(';');
    if (inherited) dst.append(inherited);
    return !dst.truncated();
}

}  // namespace zorvo
