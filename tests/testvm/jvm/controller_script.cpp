#include "controller_script.h"

#include "../common/win_util.h"

namespace testvm {
namespace {

bool parseNumber(const std::u16string& text, long& value) {
    if (text.empty()) return false;
    size_t i = 0;
    bool negative = text[0] == u'-';
    if (negative) i = 1;
    if (i == text.size()) return false;
    long result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9' || result > 100000000) return false;
        result = result * 10 + (text[i] - u'0');
    }
    value = negative ? -result : result;
    return true;
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Splits at unescaped ';', keeping the escapes for the text decoder.
std::vector<std::u16string> splitSteps(const std::u16string& script) {
    std::vector<std::u16string> parts(1);
    for (size_t i = 0; i < script.size(); ++i) {
        if (script[i] == u'\\' && i + 1 < script.size()) {
            parts.back() += script[i];
            parts.back() += script[++i];
        } else if (script[i] == u';') {
            parts.emplace_back();
        } else {
            parts.back() += script[i];
        }
    }
    return parts;
}

bool decodeText(const std::u16string& raw, std::u16string& text) {
    text.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != u'\\') {
            text += raw[i];
            continue;
        }
        if (i + 1 >= raw.size()) return false;
        char16_t next = raw[++i];
        if (next == u';' || next == u'\\') {
            text += next;
        } else if (next == u'u') {
            if (i + 4 >= raw.size()) return false;
            unsigned value = 0;
            for (size_t k = 1; k <= 4; ++k) {
                int digit = hexValue(raw[i + k]);
                if (digit < 0) return false;
                value = value * 16 + static_cast<unsigned>(digit);
            }
            text += static_cast<char16_t>(value);
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

bool parseControllerScript(const std::u16string& script, std::vector<ControllerStep>& steps,
                           std::string& error) {
    steps.clear();
    if (script.empty()) return true;
    for (const std::u16string& part : splitSteps(script)) {
        std::u16string head = part.substr(0, part.find(u':'));
        long count = 1;
        size_t star = head.find(u'*');
        if (star != std::u16string::npos) {
            if (!parseNumber(head.substr(0, star), count) || count < 0) {
                error = "bad repeat count in step \"" + narrowForMessage(part) + "\"";
                return false;
            }
            head = head.substr(star + 1);
        }
        ControllerStep step;
        if (head == u"!") {
            step.actionThrows = true;
        } else if (!parseNumber(head, step.action)) {
            error = "bad action in step \"" + narrowForMessage(part) + "\"";
            return false;
        }
        if (part.find(u':') != std::u16string::npos) {
            std::u16string raw = part.substr(part.find(u':') + 1);
            if (raw == u"\"\"") {
                step.hasText = true;
            } else if (raw == u"!") {
                step.textThrows = true;
            } else if (!raw.empty()) {
                if (!decodeText(raw, step.text)) {
                    error = "bad escape in step \"" + narrowForMessage(part) + "\"";
                    return false;
                }
                step.hasText = true;
            }
        }
        steps.insert(steps.end(), static_cast<size_t>(count), step);
    }
    return true;
}

}  // namespace testvm
