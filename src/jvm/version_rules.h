// Java version rules and the parsing of a runtime's version answer. Pure code.
//
// Versions are compared as byte-wise text prefixes, never numerically: a
// maximum of "1.4" admits 1.4.2_05, and "1.10" counts as smaller than "1.4".
#ifndef ZORVO_JVM_VERSION_RULES_H
#define ZORVO_JVM_VERSION_RULES_H

#include <stddef.h>

#include "common/text.h"

namespace zorvo {

// Byte-wise comparison of whole texts (<0, 0, >0).
int compareVersionTexts(const char* a, const char* b);

// The test for a runtime's own version: beta rule (a version containing
// "beta" is refused unless `betaAllowed` or `betaEverywhere`), then the first
// len(minimum) bytes not below the minimum and the first len(maximum) bytes
// not above the maximum; an empty bound accepts everything.
bool isVersionAccepted(const char* version, const char* minimum, const char* maximum, bool betaAllowed,
                       bool betaEverywhere);

// The looser test for registry version names: each comparison covers the
// shorter of the two texts; no beta rule.
bool isVersionInRange(const char* name, const char* minimum, const char* maximum);

// The version text of a runtime's first line of `-version` output: a line
// that begins with `java version "` or `openjdk version "`, up to the next
// double quote ("1.4.2_05" from `java version "1.4.2_05"`, "17.0.2" from
// `openjdk version "17.0.2" 2022-01-18`). False for any other line.
bool parseVersionLine(const char* line, Text<kTextSize>& version);

// Quotes one argument for a child's command line so that the platform's
// parser gives it back unchanged (blanks, quotes, trailing backslashes).
void appendQuotedArgument(Text<kTextSize>& commandLine, const char* argument);

}  // namespace zorvo

#endif
