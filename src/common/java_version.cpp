#include "common/java_version.h"

#include <string.h>

namespace zorvo {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A part's value is capped: no Java version comes near it, and a long run of
// digits cannot overflow.
constexpr uint64_t kPartCap = 1000000000;

// The version's parts as numbers, as written.
VersionParts rawParts(const char* text) {
    VersionParts v;
    for (const char* p = text; *p && v.count < kMaxVersionParts;) {
        uint64_t value = 0;
        for (; isDigit(*p); ++p) value = value < kPartCap ? value * 10 + static_cast<uint64_t>(*p - '0') : kPartCap;
        v.parts[v.count++] = value;
        while (*p && *p != '.' && *p != '_') ++p;
        if (*p) ++p;
    }
    return v;
}

bool isLoneOne(const VersionParts& v) { return v.count == 1 && v.parts[0] == 1; }

// Drops the leading 1 of "1.8...": Java 8 and before named themselves 1.<major>.
VersionParts normalised(VersionParts v) {
    if (v.count >= 2 && v.parts[0] == 1 && v.parts[1] <= 8) {
        for (size_t i = 1; i < v.count; ++i) v.parts[i - 1] = v.parts[i];
        --v.count;
    }
    return v;
}

// Compares the two over their first `n` parts, a missing part counting as 0.
int compareParts(const VersionParts& a, const VersionParts& b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        uint64_t x = i < a.count ? a.parts[i] : 0, y = i < b.count ? b.parts[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

// `version` against `bound` over the bound's parts (`shorter`: over the parts
// both have). A bound written as the lone "1" stands for every 1.x and is
// compared as written; everything else as Java names its versions today.
int compareWithBound(const VersionParts& version, const VersionParts& bound, bool shorter) {
    VersionParts v = version, b = bound;
    if (!isLoneOne(v) && !isLoneOne(b)) {
        v = normalised(v);
        b = normalised(b);
    }
    return compareParts(v, b, shorter && v.count < b.count ? v.count : b.count);
}

bool isWithin(const char* version, const VersionRange& range, bool shorter) {
    VersionParts v = rawParts(version);
    if (range.minimum.present && compareWithBound(v, range.minimum.raw, shorter) < 0) return false;
    if (range.maximum.present && compareWithBound(v, range.maximum.raw, shorter) > 0) return false;
    return true;
}

}  // namespace

VersionParts versionParts(const char* text) { return normalised(rawParts(text)); }

VersionBound parseVersionBound(const char* text) {
    VersionBound bound;
    bound.present = *text != '\0';
    bound.raw = rawParts(text);
    return bound;
}

VersionRange parseVersionRange(const char* minimum, const char* maximum) {
    return VersionRange{parseVersionBound(minimum), parseVersionBound(maximum)};
}

int compareVersions(const char* a, const char* b) {
    VersionParts x = versionParts(a), y = versionParts(b);
    int c = compareParts(x, y, x.count > y.count ? x.count : y.count);
    if (c != 0) return c;
    return static_cast<int>(isPreRelease(b)) - static_cast<int>(isPreRelease(a));
}

bool isPreRelease(const char* version) { return strstr(version, "beta") || strstr(version, "-ea"); }

bool isVersionInBounds(const char* version, const VersionRange& range) { return isWithin(version, range, false); }

bool isVersionInRange(const char* name, const VersionRange& range) { return isWithin(name, range, true); }

bool isVersionBound(const char* text) {
    if (!isDigit(*text)) return false;
    for (const char* p = text; *p; ++p) {
        if (isDigit(*p)) continue;
        if ((*p != '.' && *p != '_') || !isDigit(p[1])) return false;
    }
    return true;
}

bool isRangeEmpty(const char* minimum, const char* maximum) {
    return *minimum && *maximum && compareWithBound(rawParts(minimum), rawParts(maximum), false) > 0;
}

}  // namespace zorvo
