#include "process/process_environment.h"

#include "config/launcher_config.h"

namespace zorvo {

void prepareProcessEnvironment(HINSTANCE) {
    LauncherConfig::load();
    // Not built yet: the product flavour, the PATH prefix and the working
    // directory are left as the process inherited them.
}

}  // namespace zorvo
