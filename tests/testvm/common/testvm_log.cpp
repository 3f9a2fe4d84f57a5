#include "testvm_log.h"

#include "win_util.h"

#include <cstdio>

namespace testvm {
namespace {

// Function-local so that records written from static constructors (the DLL's
// load record) find them ready.
Lock& logLock() {
    static Lock lock;
    return lock;
}

std::string& logSource() {
    static std::string source = "testvm";
    return source;
}

void appendEscaped(std::string& out, unsigned value) {
    switch (value) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
    }
    if (value >= 0x20 && value < 0x7F) {
        out += static_cast<char>(value);
        return;
    }
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04X", value & 0xFFFFu);
    out += buffer;
}

std::string logPath() {
    std::string path;
    if (!envNarrow("ZORVO_TESTVM_LOG", path) || path.empty()) return std::string();
    if (path[0] == '/') {
        std::string windows = "Z:";
        for (char c : path) windows += (c == '/') ? '\\' : c;
        path = windows;
    }
    return path;
}

}  // namespace

std::string jsonBytes(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) appendEscaped(out, c);
    return out + "\"";
}

std::string jsonBytes(const char* bytes) {
    return bytes ? jsonBytes(std::string(bytes)) : std::string("null");
}

std::string jsonUnits(const std::u16string& units) {
    std::string out = "\"";
    for (char16_t unit : units) appendEscaped(out, unit);
    return out + "\"";
}

std::string jsonUnitList(const std::u16string& units) {
    std::vector<std::string> numbers;
    for (char16_t unit : units) numbers.push_back(std::to_string(static_cast<unsigned>(unit)));
    return jsonArray(numbers);
}

std::string jsonArray(const std::vector<std::string>& values) {
    std::string out = "[";
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) out += ",";
        out += values[i];
    }
    return out + "]";
}

Record::Record(const char* call) {
    body_ = "\"src\":" + jsonBytes(logSource());
    number("pid", GetCurrentProcessId());
    number("tid", GetCurrentThreadId());
    number("tick", GetTickCount());
    text("call", call);
}

Record& Record::text(const char* key, const std::string& bytes) { return json(key, jsonBytes(bytes)); }
Record& Record::text(const char* key, const char* bytes) { return json(key, jsonBytes(bytes)); }
Record& Record::units(const char* key, const std::u16string& u) { return json(key, jsonUnits(u)); }
Record& Record::number(const char* key, long long value) { return json(key, std::to_string(value)); }
Record& Record::flag(const char* key, bool value) { return json(key, value ? "true" : "false"); }
Record& Record::null(const char* key) { return json(key, "null"); }

Record& Record::json(const char* key, const std::string& encodedValue) {
    body_ += "," + jsonBytes(key) + ":" + encodedValue;
    return *this;
}

std::string Record::line() const { return "{" + body_ + "}"; }

void Record::write() const { appendLogLine(line()); }

void setLogSource(const char* source) { logSource() = source; }

void appendLogLine(const std::string& line) {
    std::string path = logPath();
    if (path.empty()) return;
    std::string data = line + "\n";
    Guard guard(logLock());
    // Another process may hold the file for a moment; retry briefly.
    for (int attempt = 0; attempt < 50; ++attempt) {
        HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
            FlushFileBuffers(file);
            CloseHandle(file);
            return;
        }
        Sleep(10);
    }
    writeStd(STD_ERROR_HANDLE, "testvm: cannot append to log file " + path + "\n");
}

}  // namespace testvm
