// Turning a copy of the generic launcher into an application's launcher.
#ifndef ZORVO_BUILD_APP_LAUNCHER_H
#define ZORVO_BUILD_APP_LAUNCHER_H

#include <string>
#include <vector>

#include "config/config_block.h"

namespace zorvo {
namespace buildtool {

// The largest configuration file the tool reads.
constexpr uint64_t kMaxConfigFileSize = 16u * 1024 * 1024;

// Checks that `image` is a generic launcher, 32-bit or 64-bit as its header
// says, with nothing appended: the PE header at offset 128, its signature,
// the machine type of that variant, exactly five section headers, its
// optional header size (224 or 240 bytes), the fifth section ending last in
// the file, and the values at 552 and 556 (568 and 572: that section's raw
// size and raw offset) adding up to the file size, which is where the
// launcher will look for its block.
// On failure `problem` starts with "not a generic launcher: " or is
// "already has a configuration block ...".
bool checkGenericLauncher(const ByteSource& image, std::string& problem);

struct BuildRequest {
    std::string launcherPath;
    std::string configPath;
    std::string outPath;
    std::vector<std::string> appendRaw;  // appended verbatim, in this order
};

// Reads and checks everything first, then writes the copied launcher, the
// block and the stream to a new file beside `outPath` and renames it into
// place. On failure `error` is one line ("app.conf:12: ..."), and nothing is
// left at `outPath` or beside it.
bool buildApplicationLauncher(const BuildRequest& request, std::string& error);

}  // namespace buildtool
}  // namespace zorvo

#endif
