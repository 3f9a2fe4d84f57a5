// Java version rules and the parsing of a runtime's version answer. Pure code.
//
// A version is compared with a bound part by part as numbers: the parts are
// separated by '.' and '_', and each counts with the digits at its start
// (1.8.0_392 has the parts 1, 8, 0, 392; 17.0.2+8 has 17, 0, 2). A leading 1
// followed by a part of 8 or less is read as that part alone, on both sides,
// so 1.8 and 8 are the same bound and 1.8.0_392 compares as 8.0.392. A bound
// is compared only as far as it has parts: a maximum of 17 admits every 17.x,
// one of 1.8 every 1.8.0_x. A bound written as the lone 1 stands for every
// 1.x, as it always has.
#ifndef ZORVO_JVM_VERSION_RULES_H
#define ZORVO_JVM_VERSION_RULES_H

#include <stddef.h>
#include <stdint.h>

#include "common/text.h"

namespace zorvo {

// The numeric parts of a version as the rule above reads them (at most
// kMaxVersionParts; 1.8.0_392 gives 8, 0, 392).
constexpr size_t kMaxVersionParts = 16;
struct VersionParts {
    uint64_t parts[kMaxVersionParts];
    size_t count = 0;
};
VersionParts versionParts(const char* text);

// Orders two runtime versions by the rule above, over all their parts (a
// missing part counts as 0, so 17 and 17.0.0 are equal): 1.8.0_392 is above
// 1.8.0_45, 17.0.10 above 17.0.9, 17.0.9 above 9.0.4. At equal numbers a
// pre-release ("beta", "-ea") is below its release. <0, 0, >0.
int compareVersions(const char* a, const char* b);

// The test for a runtime's own version: the pre-release rule (a version
// containing "beta" or "-ea" is refused unless `betaAllowed` or
// `betaEverywhere`), then not below the minimum and not above the maximum,
// each compared as far as the bound has parts; an empty bound accepts
// everything.
bool isVersionAccepted(const char* version, const char* minimum, const char* maximum, bool betaAllowed,
                       bool betaEverywhere);

// The looser test for registry version names ("17.0.2", and the versions
// vendor names give, such as "1.8.0.392.8"): each comparison covers the parts
// both have; no pre-release rule.
bool isVersionInRange(const char* name, const char* minimum, const char* maximum);

// True when `text` is a version bound: numbers separated by single dots or
// underscores ("8", "1.8", "17.0.2", "1.8.0_392").
bool isVersionBound(const char* text);

// True when no version can lie between the two bounds (the minimum is above
// the maximum as far as the maximum has parts); never for an empty bound.
bool isRangeEmpty(const char* minimum, const char* maximum);

// The version text of a runtime's first line of `-version` output: a line
// that begins with `java version "` or `openjdk version "`, up to the next
// double quote ("1.4.2_05" from `java version "1.4.2_05"`, "17.0.2" from
// `openjdk version "17.0.2" 2022-01-18`). False for any other line.
bool parseVersionLine(const char* line, Text<kTextSize>& version);

// The most lines of a runtime's `-version` output that are looked at, and
// the most bytes of it that are read.
constexpr size_t kVersionOutputLines = 8;
constexpr size_t kVersionOutputBytes = 4096;

// The version in a runtime's `-version` output: the first of its first
// kVersionOutputLines lines (CR LF or LF) that parseVersionLine accepts.
// Other lines before it, such as "Picked up JAVA_TOOL_OPTIONS: ..." that a
// runtime prints when that variable is set, are passed over.
bool parseVersionOutput(const char* output, Text<kTextSize>& version);

// The version of a runtime's `release` file: the value of its first line
// `JAVA_VERSION="..."` (blanks around the '=' allowed). False when there is no
// such line, the value is empty or it has no closing quote.
bool parseReleaseVersion(const char* release, Text<kTextSize>& version);

// Orders the version names of registry subkeys ("17.0.2", "21", "8.0.392.8",
// "1.8.0_392"): numbers compare by value, part by part (separated by '.',
// '_', '-', '+'); other characters compare byte-wise; a name that ends
// earlier is smaller. <0, 0, >0.
int compareVersionNames(const char* a, const char* b);

// The version a vendor's registry subkey names: the name from its first digit
// up to the first blank ("17.0.2", "17" of "zulu-17" and of "Liberica JDK 17
// Full"), with a major version of 8 or lower written the way those runtimes
// call themselves ("8.0.392.8" gives "1.8.0.392.8", "zulu-8" gives "1.8").
// False for a name without a digit.
bool vendorNameVersion(const char* name, Text<kTextSize>& version);

// Orders vendor subkey names by the versions they name (compareVersionNames).
int compareVendorNames(const char* a, const char* b);

// Quotes one argument for a child's command line so that the platform's
// parser gives it back unchanged (blanks, quotes, trailing backslashes).
void appendQuotedArgument(Text<kTextSize>& commandLine, const char* argument);

}  // namespace zorvo

#endif
