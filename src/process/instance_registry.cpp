#include "process/instance_registry.h"

namespace zorvo {

// Single-instance mode is not built yet: every start goes on.
void enforceSingleInstance(bool, const char*) {}

}  // namespace zorvo
