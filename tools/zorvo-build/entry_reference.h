// The Markdown reference of every configuration entry, generated from the
// entry table (docs/config-entries.md holds its output).
#ifndef ZORVO_BUILD_ENTRY_REFERENCE_H
#define ZORVO_BUILD_ENTRY_REFERENCE_H

#include <string>

namespace zorvo {
namespace buildtool {

std::string entryReferenceMarkdown();

}  // namespace buildtool
}  // namespace zorvo

#endif
