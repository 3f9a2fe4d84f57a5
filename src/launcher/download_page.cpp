#include "launcher/download_page.h"

#include <string.h>

namespace zorvo {
namespace {

const char kQuestion[] = "Open the download page?\r\n";

}  // namespace

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
