#include "windows/win_loader.h"

#include "config/config_ids.h"
#include "launcher/error_report.h"

namespace zorvo {

// The runtime search is not built yet: no runtime is ever found, so the user
// sees the configured "no Java runtime" message.
bool locateAndLoadJvm(bool showMessages, const char*, bool) {
    if (showMessages) showConfiguredError(cfg::kMsgNoJvm);
    return false;
}

}  // namespace zorvo
