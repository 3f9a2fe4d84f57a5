// The command line of zorvo-build.
#ifndef ZORVO_BUILD_CLI_H
#define ZORVO_BUILD_CLI_H

#include <ostream>
#include <string>
#include <vector>

namespace zorvo {
namespace buildtool {

// Exit codes: 0 on success, 2 on any error (bad input or usage).
constexpr int kExitOk = 0;
constexpr int kExitError = 2;

// Runs the tool with `args` (without the program name). Results go to `out`;
// an error is one line on `err`. Never throws.
int runZorvoBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace buildtool
}  // namespace zorvo

#endif
