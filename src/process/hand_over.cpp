#include "process/hand_over.h"

namespace zorvo {

bool encodeHandOverLine(const char* tail, GrowText& line) {
    for (const char* p = tail; *p; ++p) {
        bool ok = true;
        if (*p == '\r' || *p == '\n') {
            const char pair[] = {static_cast<char>(kHandOverEscape), static_cast<char>(*p | 0x80)};
            ok = line.append(pair, 2);
        } else {
            ok = line.appendChar(*p);
        }
        if (!ok) return false;
    }
    return line.append("\r\n");
}

}  // namespace zorvo
