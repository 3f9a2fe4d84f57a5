#include "common/split.h"

#include <stdlib.h>
#include <string.h>

namespace zorvo {
namespace {

bool addArgument(StringList& out, const char* start, size_t length) {
    char* copy = static_cast<char*>(malloc(length + 1));
    if (!copy) return false;
    memcpy(copy, start, length);
    copy[length] = '\0';
    bool ok = out.add(copy);
    free(copy);
    return ok;
}

}  // namespace

size_t splitArguments(const char* text, const char* prefix, SplitText kind, StringList& out, bool& unbalanced) {
    unbalanced = false;
    size_t prefixLen = prefix ? strlen(prefix) : 0;
    size_t pos = 0;
    size_t len = strlen(text);
    for (;;) {
        if (prefix ? strncmp(text + pos, prefix, prefixLen) != 0 : pos >= len) return pos;
        pos += prefixLen;
        const char* here = text + pos;
        const char* blank = strchr(here, ' ');
        const char* dq = strchr(here, '"');
        const char* sq = strchr(here, '\'');
        // On the command line a single quote inside a word is an ordinary character.
        if (kind == SplitText::CommandLine && sq && sq != here) {
            const char* wordEnd = blank ? blank : here + strlen(here);
            if (sq < wordEnd) sq = nullptr;
        }
        if (blank == here) {
            ++pos;
            continue;
        }
        bool blankFirst = blank && (!dq || blank < dq) && (!sq || blank < sq);
        if (blankFirst) {
            addArgument(out, here, static_cast<size_t>(blank - here));
            pos = static_cast<size_t>(blank - text) + 1;
            continue;
        }
        const char* quote = (dq && (!sq || dq < sq)) ? dq : sq;
        if (!quote) {
            addArgument(out, here, len - pos);
            pos = len;
            continue;
        }
        const char* close = strchr(quote + 1, *quote);
        if (!close) {
            unbalanced = true;
            return len;
        }
        // Text before the quote (empty when the argument starts with it), then the quoted part.
        size_t before = static_cast<size_t>(quote - here), inside = static_cast<size_t>(close - quote - 1);
        char* joined = static_cast<char*>(malloc(before + inside + 1));
        if (joined) {
            memcpy(joined, here, before);
            memcpy(joined + before, quote + 1, inside);
            joined[before + inside] = '\0';
            out.add(joined);
            free(joined);
        }
        pos = static_cast<size_t>(close - text) + 1;
        if (text[pos] == ' ') ++pos;
    }
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
