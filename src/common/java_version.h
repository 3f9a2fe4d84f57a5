// Java versions as the launcher compares them: a runtime's version against
// the configured range, and two runtimes' versions with each other. Pure code.
//
// A version is compared with a bound part by part as numbers: the parts are
// separated by '.' and '_', and each counts with the digits at its start
// (1.8.0_392 has the parts 1, 8, 0, 392; 17.0.2+8 has 17, 0, 2). A leading 1
// followed by a part of 8 or less is read as that part alone, on both sides,
// so 1.8 and 8 are the same bound and 1.8.0_392 compares as 8.0.392. A bound
// is compared only as far as it has parts: a maximum of 17 admits every 17.x,
// one of 1.8 every 1.8.0_x. A bound written as the lone 1 stands for every
// 1.x, as it always has.
#ifndef ZORVO_COMMON_JAVA_VERSION_H
#define ZORVO_COMMON_JAVA_VERSION_H

#include <stddef.h>
#include <stdint.h>

namespace zorvo {

// The numeric parts of a version as written (at most kMaxVersionParts).
constexpr size_t kMaxVersionParts = 16;
struct VersionParts {
    uint64_t parts[kMaxVersionParts];
    size_t count = 0;
};

// The parts as the rule above reads them (1.8.0_392 gives 8, 0, 392).
VersionParts versionParts(const char* text);

// One bound of the range, parsed once; an empty text bounds nothing.
struct VersionBound {
    VersionParts raw;  // as written
    bool present = false;
};
VersionBound parseVersionBound(const char* text);

// The configured version range (entries 126 and 127), parsed once.
struct VersionRange {
    VersionBound minimum;
    VersionBound maximum;
};
VersionRange parseVersionRange(const char* minimum, const char* maximum);

// Orders two runtime versions by the rule above, over all their parts (a
// missing part counts as 0, so 17 and 17.0.0 are equal): 1.8.0_392 is above
// 1.8.0_45, 17.0.10 above 17.0.9, 17.0.9 above 9.0.4. At equal numbers a
// pre-release ("beta", "-ea") is below its release. <0, 0, >0.
int compareVersions(const char* a, const char* b);

// True for a pre-release runtime: its version holds "beta" (older ones) or
// "-ea" (today's).
bool isPreRelease(const char* version);

// The test for a runtime's own version: not below the minimum and not above
// the maximum, each compared as far as the bound has parts; an absent bound
// accepts everything. The pre-release rule is the caller's.
bool isVersionInBounds(const char* version, const VersionRange& range);

// The looser test for registry version names ("17.0.2", and the versions
// vendor names give, such as "1.8.0.392.8"): each comparison covers the parts
// both have.
bool isVersionInRange(const char* name, const VersionRange& range);

// True when `text` is a version bound: numbers separated by single dots or
// underscores ("8", "1.8", "17.0.2", "1.8.0_392").
bool isVersionBound(const char* text);

// True when no version can lie between the two bounds (the minimum is above
// the maximum as far as the maximum has parts); never for an empty bound.
bool isRangeEmpty(const char* minimum, const char* maximum);

}  // namespace zorvo

#endif
