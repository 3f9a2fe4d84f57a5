// Small Win32 helpers shared by the test doubles.
#ifndef ZORVO_TESTVM_WIN_UTIL_H
#define ZORVO_TESTVM_WIN_UTIL_H

#include <windows.h>

#include <string>
#include <vector>

namespace testvm {

// A process-wide lock that is ready before any thread can ask for it.
class Lock {
public:
    Lock() { InitializeCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void enter() { EnterCriticalSection(&section_); }
    void leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class Guard {
public:
    explicit Guard(Lock& lock) : lock_(lock) { lock_.enter(); }
    ~Guard() { lock_.leave(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    Lock& lock_;
};

// Environment variables read through the process environment block at the
// moment of the call (the launcher may change its environment before).
bool envNarrow(const char* name, std::string& value);
bool envWide(const char* name, std::u16string& value);
// The variable as an integer (decimal, or hexadecimal with 0x); `fallback`
// when unset or not a number.
long long envInt(const char* name, long long fallback);

// Full path of a module (null: the executable) as the ANSI API reports it.
std::string modulePath(HMODULE module);
// Full path of the module this code is linked into (each DLL double links its
// own copy of this library, so a DLL gets its own path).
std::string ownModulePath();
// Directory part of a path, with the trailing backslash.
std::string directoryOf(const std::string& path);
// The current directory as the ANSI API reports it.
std::string currentDirectory();

// Reads a whole file; false when it cannot be opened.
bool readFile(const std::string& path, std::string& bytes);
bool fileExists(const std::string& path);
// A path a script gives: a Windows path, or a Linux path from '/' (drive Z:).
std::string windowsPath(std::string path);

// Writes bytes to a standard handle (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE);
// a missing handle swallows the text. Works in GUI programs too.
void writeStd(DWORD which, const std::string& bytes);

// A narrow text widened byte for byte (each byte becomes the unit of the same
// value), as mbstowcs does in the C locale.
std::u16string widenBytes(const std::string& bytes);
// UTF-16 units narrowed for messages: units up to 0xFF as bytes, others as '?'.
std::string narrowForMessage(const std::u16string& units);

}  // namespace testvm

#endif
