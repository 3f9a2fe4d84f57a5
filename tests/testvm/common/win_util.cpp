#include "win_util.h"

#include <cstdlib>
#include <cstring>

namespace testvm {

bool envNarrow(const char* name, std::string& value) {
    DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
    if (needed == 0) {
        // Zero is also the answer for an existing empty variable.
        char probe[1];
        SetLastError(0);
        GetEnvironmentVariableA(name, probe, 1);
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        value.clear();
        return true;
    }
    std::string buffer(needed, '\0');
    DWORD length = GetEnvironmentVariableA(name, &buffer[0], needed);
    if (length >= needed) return false;
    value.assign(buffer.data(), length);
    return true;
}

bool envWide(const char* name, std::u16string& value) {
    std::wstring wname(name, name + strlen(name));
    DWORD needed = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (needed == 0) {
        wchar_t probe[1];
        SetLastError(0);
        GetEnvironmentVariableW(wname.c_str(), probe, 1);
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        value.clear();
        return true;
    }
    std::wstring buffer(needed, L'\0');
    DWORD length = GetEnvironmentVariableW(wname.c_str(), &buffer[0], needed);
    if (length >= needed) return false;
    value.assign(buffer.begin(), buffer.begin() + length);
    return true;
}

long long envInt(const char* name, long long fallback) {
    std::string text;
    if (!envNarrow(name, text) || text.empty()) return fallback;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    return (end && *end == '\0') ? value : fallback;
}

std::string modulePath(HMODULE module) {
    char buffer[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(module, buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) return std::string();
    return std::string(buffer, length);
}

std::string ownModulePath() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownModulePath), &module);
    return modulePath(module);
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string currentDirectory() {
    char buffer[MAX_PATH * 4];
    DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (length == 0 || length >= sizeof buffer) return std::string();
    return std::string(buffer, length);
}

bool readFile(const std::string& path, std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes.clear();
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return true;
}

std::string windowsPath(std::string path) {
    if (path.empty() || path[0] != '/') return path;
    std::string result = "Z:";
    for (char c : path) result += (c == '/') ? '\\' : c;
    return result;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void writeStd(DWORD which, const std::string& bytes) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::u16string widenBytes(const std::string& bytes) {
    std::u16string units;
    for (unsigned char c : bytes) units += static_cast<char16_t>(c);
    return units;
}

std::string narrowForMessage(const std::u16string& units) {
    std::string out;
    for (char16_t unit : units) out += unit <= 0xFF ? static_cast<char>(unit) : '?';
    return out;
}

}  // namespace testvm
