#include "windows/java_vm_launcher.h"

namespace zorvo {

// VM creation is not built yet (it is never reached: no runtime is found).
bool runJavaApplication(const char*, bool) { return false; }

}  // namespace zorvo
