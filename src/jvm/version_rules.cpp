#include "jvm/version_rules.h"

#include <string.h>

namespace zorvo {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A part's value is capped: no Java version comes near it, and a long run of
// digits cannot overflow.
constexpr uint64_t kPartCap = 1000000000;

// The version's parts as numbers (see versionParts), as written.
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
int compareWithBound(const char* version, const char* bound, bool shorter) {
    VersionParts v = rawParts(version), b = rawParts(bound);
    if (!isLoneOne(v) && !isLoneOne(b)) {
        v = normalised(v);
        b = normalised(b);
    }
    return compareParts(v, b, shorter && v.count < b.count ? v.count : b.count);
}

// Pre-release runtimes say "beta" (older ones) or "-ea" (today's).
bool isPreRelease(const char* version) { return strstr(version, "beta") || strstr(version, "-ea"); }

}  // namespace

VersionParts versionParts(const char* text) { return normalised(rawParts(text)); }

int compareVersions(const char* a, const char* b) {
    VersionParts x = versionParts(a), y = versionParts(b);
    int c = compareParts(x, y, x.count > y.count ? x.count : y.count);
    if (c != 0) return c;
    return isPreRelease(b) - isPreRelease(a);
}

bool isVersionAccepted(const char* version, const char* minimum, const char* maximum, bool betaAllowed,
                       bool betaEverywhere) {
    if (!betaAllowed && !betaEverywhere && isPreRelease(version)) return false;
    if (*minimum && compareWithBound(version, minimum, false) < 0) return false;
    if (*maximum && compareWithBound(version, maximum, false) > 0) return false;
    return true;
}

bool isVersionInRange(const char* name, const char* minimum, const char* maximum) {
    if (*minimum && compareWithBound(name, minimum, true) < 0) return false;
    if (*maximum && compareWithBound(name, maximum, true) > 0) return false;
    return true;
}

bool isVersionBound(const char* text) {
    if (!isDigit(*text)) return false;
    for (const char* p = text; *p; ++p) {
        if (isDigit(*p)) continue;
        if ((*p != '.' && *p != '_') || !isDigit(p[1])) return false;
    }
    return true;
}

bool isRangeEmpty(const char* minimum, const char* maximum) {
    return *minimum && *maximum && compareWithBound(minimum, maximum, false) > 0;
}

bool parseVersionLine(const char* line, Text<kTextSize>& version) {
    static const char* const prefixes[] = {"java version \"", "openjdk version \""};
    version.clear();
    for (const char* prefix : prefixes) {
        size_t n = strlen(prefix);
        if (strncmp(line, prefix, n) != 0) continue;
        const char* start = line + n;
        const char* end = strchr(start, '"');
        if (!end) return false;
        version.assign(start, static_cast<size_t>(end - start));
        return !version.truncated();
    }
    return false;
}

bool parseVersionOutput(const char* output, Text<kTextSize>& version) {
    version.clear();
    const char* line = output;
    for (size_t i = 0; i < kVersionOutputLines && *line; ++i) {
        size_t length = strcspn(line, "\r\n");
        Text<kTextSize> copy;
        copy.assign(line, length);
        if (!copy.truncated() && parseVersionLine(copy.c_str(), version)) return true;
        line += length;
        if (*line == '\r') ++line;
        if (*line == '\n') ++line;
    }
    version.clear();
    return false;
}

bool parseReleaseVersion(const char* release, Text<kTextSize>& version) {
    version.clear();
    static const char kKey[] = "JAVA_VERSION";
    for (const char* line = release; *line;) {
        size_t length = strcspn(line, "\r\n");
        const char* p = line;
        if (length >= sizeof(kKey) && strncmp(p, kKey, sizeof(kKey) - 1) == 0) {
            p += sizeof(kKey) - 1;
            while (*p == ' ' || *p == '\t') ++p;
            if (*p == '=') {
                ++p;
                while (*p == ' ' || *p == '\t') ++p;
                const char* end = line + length;
                const char* close = *p == '"' ? static_cast<const char*>(memchr(p + 1, '"', end - p - 1)) : nullptr;
                if (!close || close == p + 1) return false;
                version.assign(p + 1, static_cast<size_t>(close - p - 1));
                return !version.truncated();
            }
        }
        line += length;
        while (*line == '\r' || *line == '\n') ++line;
    }
    return false;
}

namespace {

bool isSeparator(char c) { return c == '.' || c == '_' || c == '-' || c == '+'; }

}  // namespace

int compareVersionNames(const char* a, const char* b) {
    while (*a && *b) {
        if (isDigit(*a) && isDigit(*b)) {
            while (*a == '0' && isDigit(a[1])) ++a;
            while (*b == '0' && isDigit(b[1])) ++b;
            size_t la = 0, lb = 0;
            while (isDigit(a[la])) ++la;
            while (isDigit(b[lb])) ++lb;
            if (la != lb) return la < lb ? -1 : 1;
            int c = strncmp(a, b, la);
            if (c != 0) return c < 0 ? -1 : 1;
            a += la;
            b += lb;
            continue;
        }
        if (isSeparator(*a) && isSeparator(*b)) {
            ++a;
            ++b;
            continue;
        }
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x != y) return x < y ? -1 : 1;
        ++a;
        ++b;
    }
    if (*a == *b) return 0;
    return *a ? 1 : -1;
}

bool vendorNameVersion(const char* name, Text<kTextSize>& version) {
    version.clear();
    const char* start = name;
    while (*start && !isDigit(*start)) ++start;
    if (!*start) return false;
    size_t length = strcspn(start, " ");
    size_t major = 0;
    while (major < length && isDigit(start[major])) ++major;
    // A major version of 2 to 8: the runtime says "1.<major>...".
    if (major == 1 && start[0] >= '2' && start[0] <= '8') version.append("1.");
    version.append(start, length);
    return true;
}

int compareVendorNames(const char* a, const char* b) {
    Text<kTextSize> va, vb;
    vendorNameVersion(a, va);
    vendorNameVersion(b, vb);
    return compareVersionNames(va.c_str(), vb.c_str());
}

void appendQuotedArgument(Text<kTextSize>& commandLine, const char* argument) {
    commandLine.appendChar('"');
    size_t backslashes = 0;
    for (const char* p = argument;; ++p) {
        if (*p == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count double only before a quote (and before the closing quote).
        size_t emit = (*p == '"' || *p == '\0') ? backslashes * 2 : backslashes;
        for (size_t i = 0; i < emit; ++i) commandLine.appendChar('\\');
        backslashes = 0;
        if (*p == '\0') break;
        if (*p == '"') commandLine.appendChar('\\');
        commandLine.appendChar(*p);
    }
    commandLine.appendChar('"');
}

}  // namespace zorvo
