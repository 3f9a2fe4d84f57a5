#include "vm/substitution.h"

#include <string.h>

namespace zorvo {

bool replaceAll(PathText& text, const char* pattern, const char* value) {
    size_t patternLen = strlen(pattern), valueLen = strlen(value);
    if (patternLen == 0) return true;
    size_t from = 0;
    for (;;) {
        const char* at = strstr(text.c_str() + from, pattern);
        if (!at) return true;
        size_t pos = static_cast<size_t>(at - text.c_str());
        if (text.size() - patternLen + valueLen > text.capacity() - 1) return false;
        PathText rest(at + patternLen);
        text.truncateTo(pos);
        text.append(value, valueLen);
        text.append(rest.c_str(), rest.size());
        from = pos + valueLen;
    }
}

void substituteVariables(PathText& text, const char* exeDir, const char* tempDir, const char* environment) {
    const char* const separator = ";";
    const struct {
        const char* pattern;
        const char* value;
    } launcherVariables[] = {
        {"%ZORVO_EXEDIR%", exeDir},
        {"%QUENBROOK_EXEDIR%", exeDir},
        {"%ZORVO_TEMPDIR%", tempDir},
        {"%QUENBROOK_TEMPDIR%", tempDir},
        {"%ZORVO_PATHLIST_SEPARATOR%", separator},
        {"%QUENBROOK_PATHLIST_SEPARATOR%", separator},
        {"${ZORVO_EXEDIR}", exeDir},
        {"${QUENBROOK_EXEDIR}", exeDir},
        {"${ZORVO_TEMPDIR}", tempDir},
        {"${QUENBROOK_TEMPDIR}", tempDir},
        {"${ZORVO_PATHLIST_SEPARATOR}", separator},
        {"${QUENBROOK_PATHLIST_SEPARATOR}", separator},
    };
    for (const auto& v : launcherVariables)
        if (!replaceAll(text, v.pattern, v.value)) return;
    if (!environment) return;
    for (const char* entry = environment; *entry; entry += strlen(entry) + 1) {
        PathText copy(entry);
        const char* eq = strchr(copy.c_str(), '=');
        if (!eq || copy.truncated()) continue;
        PathText pattern;
        pattern.append("${");
        pattern.append(copy.c_str(), static_cast<size_t>(eq - copy.c_str()));
        pattern.append("}");
        if (!replaceAll(text, pattern.c_str(), eq + 1)) return;
        for (char* p = pattern.data(); *p; ++p)
            if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
        if (!replaceAll(text, pattern.c_str(), eq + 1)) return;
    }
}

}  // namespace zorvo
