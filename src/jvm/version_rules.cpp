#include "jvm/version_rules.h"

#include <string.h>

namespace zorvo {

bool isVersionAccepted(const char* version, const VersionRange& range, bool betaAllowed, bool betaEverywhere) {
    if (!betaAllowed && !betaEverywhere && isPreRelease(version)) return false;
    return isVersionInBounds(version, range);
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

bool isDigit(char c) { return c >= '0' && c <= '9'; }

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

}  // namespace zorvo
