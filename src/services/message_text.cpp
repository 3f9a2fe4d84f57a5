#include "services/message_text.h"

#include <string.h>

namespace zorvo {

bool replaceFirstPlaceholder(Text<kTextSize>& text, const char* placeholder, const char* value) {
    if (!placeholder || !*placeholder) return false;
    const char* at = strstr(text.c_str(), placeholder);
    if (!at) return false;
    Text<kTextSize> result;
    result.append(text.c_str(), static_cast<size_t>(at - text.c_str()));
    result.append(value ? value : "");
    result.append(at + strlen(placeholder));
    text = result;
    return true;
}

}  // namespace zorvo
