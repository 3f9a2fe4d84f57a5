// procpeek IMAGE.EXE: prints the current directory and the environment block
// of the running process with that image name, read from its process
// parameters. Lets a test see what a launcher set up for itself while it
// waits in a message box. The process must be of the same width as this
// program (both 32-bit or both 64-bit).
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

DWORD findProcess(const char* image) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    DWORD pid = 0;
    for (BOOL ok = Process32First(snap, &entry); ok; ok = Process32Next(snap, &entry)) {
        if (_stricmp(entry.szExeFile, image) == 0) pid = entry.th32ProcessID;
    }
    CloseHandle(snap);
    return pid;
}

bool readMemory(HANDLE process, const void* at, void* out, size_t size) {
    SIZE_T got = 0;
    return ReadProcessMemory(process, at, out, size, &got) && got == size;
}

std::string narrow(const std::wstring& wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: procpeek IMAGE.EXE\n");
        return 2;
    }
    DWORD pid = findProcess(argv[1]);
    if (!pid) {
        fprintf(stderr, "procpeek: no process %s\n", argv[1]);
        return 3;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return 4;
    typedef NTSTATUS(WINAPI * QueryInformation)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    QueryInformation query = reinterpret_cast<QueryInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic;
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0) return 5;
    // The layouts of a process of this program's own width: PEB.ProcessParameters
    // at 0x10 (0x20 in 64-bit); in the parameters the current directory
    // (UNICODE_STRING) at 0x24 (0x38) and the environment at 0x48 (0x80).
    constexpr bool wide = sizeof(void*) == 8;
    const char* peb = reinterpret_cast<const char*>(basic.PebBaseAddress);
    const char* params = nullptr;
    if (!readMemory(process, peb + (wide ? 0x20 : 0x10), &params, sizeof(params))) return 6;
    UNICODE_STRING dir;
    const wchar_t* environment = nullptr;
    if (!readMemory(process, params + (wide ? 0x38 : 0x24), &dir, sizeof(dir)) ||
        !readMemory(process, params + (wide ? 0x80 : 0x48), &environment, sizeof(environment)))
        return 7;
    std::wstring cwd(dir.Length / 2, L'\0');
    if (!readMemory(process, dir.Buffer, &cwd[0], dir.Length)) return 8;
    printf("CWD=%s\n", narrow(cwd).c_str());
    // The environment block: strings up to an empty one, read a unit at a time.
    std::wstring entry;
    for (const wchar_t* p = environment;; ++p) {
        wchar_t c;
        if (!readMemory(process, p, &c, sizeof(c))) return 9;
        if (c == 0) {
            if (entry.empty()) break;
            printf("ENV %s\n", narrow(entry).c_str());
            entry.clear();
        } else {
            entry += c;
        }
    }
    CloseHandle(process);
    return 0;
}
