#include "launcher/download_page.h"

#include <string.h>

#include "common/ascii.h"

namespace zorvo {
namespace {

const char kQuestion[] = "Open the download page?\r\n";

// Length of the scheme and "//" when `address` begins with `prefix`
// (lower case), letters compared without case; 0 otherwise.
size_t prefixLength(const char* address, size_t length, const char* prefix) {
    size_t n = strlen(prefix);
    return length >= n && sameIgnoringAsciiCase(address, prefix, n) ? n : 0;
}

}  // namespace

const char* downloadAddressProblem(const char* address, size_t length) {
    size_t start = prefixLength(address, length, "https://");
    if (!start) start = prefixLength(address, length, "http://");
    if (!start) return "does not begin with http:// or https://";
    if (start == length || address[start] == '/') return "names no host";
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(address[i]);
        if (c == ' ') return "holds a blank";
        if (c < 0x20 || c == 0x7F) return "holds a control character";
        if (c == '"') return "holds a double quote (write it as %22)";
        if (c > 0x7F) return "holds a character beyond ASCII (write it percent-encoded)";
    }
    return nullptr;
}

void composeDownloadQuestion(Text<kTextSize>& text, const char* message, const char* address) {
    const char* separator = *message ? "\r\n\r\n" : "";
    size_t tail = strlen(separator) + strlen(kQuestion) + strlen(address);
    size_t room = text.capacity() - 1;
    size_t messageLength = strlen(message);
    if (messageLength + tail > room) messageLength = tail < room ? room - tail : 0;
    text.assign(message, messageLength);
    text.append(separator);
    text.append(kQuestion);
    text.append(address);
}

}  // namespace zorvo
