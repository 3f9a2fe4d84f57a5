#include "jvm/version_rules.h"

#include <string.h>

namespace zorvo {
namespace {

// Compares the first `n` bytes of `version` with `bound`, where a version
// that ends earlier counts as smaller.
int comparePrefix(const char* version, const char* bound, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        unsigned char v = static_cast<unsigned char>(version[i]);
        unsigned char b = static_cast<unsigned char>(bound[i]);
        if (v != b) return v < b ? -1 : 1;
        if (v == 0) return 0;
    }
    return 0;
}

size_t shorter(const char* a, const char* b) {
    size_t la = strlen(a), lb = strlen(b);
    return la < lb ? la : lb;
}

}  // namespace

int compareVersionTexts(const char* a, const char* b) {
    int c = strcmp(a, b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool isVersionAccepted(const char* version, const char* minimum, const char* maximum, bool betaAllowed,
                       bool betaEverywhere) {
    if (!betaAllowed && !betaEverywhere && strstr(version, "beta")) return false;
    if (*minimum && comparePrefix(version, minimum, strlen(minimum)) < 0) return false;
    if (*maximum && comparePrefix(version, maximum, strlen(maximum)) > 0) return false;
    return true;
}

bool isVersionInRange(const char* name, const char* minimum, const char* maximum) {
    if (*minimum && comparePrefix(name, minimum, shorter(name, minimum)) < 0) return false;
    if (*maximum && comparePrefix(name, maximum, shorter(name, maximum)) > 0) return false;
    return true;
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
