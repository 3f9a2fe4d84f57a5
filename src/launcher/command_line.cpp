#include "launcher/command_line.h"

#include <string.h>

namespace zorvo {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

const char* skipBlanks(const char* p) {
    while (isBlank(*p)) ++p;
    return p;
}

}  // namespace

const char* commandLineTail(const char* commandLine) {
    const char* p = skipBlanks(commandLine ? commandLine : "");
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && !isBlank(*p)) ++p;
    }
    return skipBlanks(p);
}

bool hasInternalPrefix(const char* tail) {
    return tail && strncmp(tail, kInternalPrefix, sizeof(kInternalPrefix) - 1) == 0;
}

}  // namespace zorvo
