// The rules a value must meet under its entry's readable name, beyond being
// well written: its kind (a whole number, a colour), and what the launcher
// can read of it (class-path and search items, quotes, the version bounds,
// the download address, class and font names, the choices of a few entries).
#ifndef ZORVO_BUILDTOOL_VALUE_RULES_H
#define ZORVO_BUILDTOOL_VALUE_RULES_H

#include <string>

#include "config/config_ids.h"

namespace zorvo {
namespace buildtool {

// Why a value given under the entry's readable name is refused (the text of
// the error after the line number), or "" when it is accepted: an int must be
// a whole number, a colour "red,green,blue", the download page an address the
// launcher opens (downloadAddressProblem), and so on; an empty value (which
// the launcher reads like a missing entry) always is accepted.
std::string valueProblem(const ConfigEntryInfo& info, const std::string& bytes);

}  // namespace buildtool
}  // namespace zorvo

#endif
