// The version texts of runtimes: what a runtime's `-version` output and its
// `release` file say, the versions the registry's vendor keys name, and the
// test of a runtime's version against the criteria of the search. The
// comparison rules themselves are common/java_version.h. Pure code.
#ifndef ZORVO_JVM_VERSION_RULES_H
#define ZORVO_JVM_VERSION_RULES_H

#include <stddef.h>
#include <stdint.h>

#include "common/java_version.h"
#include "common/text.h"

namespace zorvo {

// What a candidate runtime must meet, read from the configuration once per
// search: the version range (entries 126, 127), whether pre-releases are
// accepted from every source (entry 130), and whether the application is
// windowed (entry 107 is 1: its runtime needs javaw.exe).
struct RuntimeCriteria {
    VersionRange range;
    bool betaEverywhere = false;
    bool windowed = false;
};

// The test for a runtime's own version: the pre-release rule (a version
// containing "beta" or "-ea" is refused unless `betaAllowed` or
// `betaEverywhere`), then the range (isVersionInBounds).
bool isVersionAccepted(const char* version, const VersionRange& range, bool betaAllowed, bool betaEverywhere);

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

}  // namespace zorvo

#endif
