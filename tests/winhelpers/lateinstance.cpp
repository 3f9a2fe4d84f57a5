// lateinstance SEMAPHORE VALUE TRACE: plays a first instance whose
// registration comes late. It creates the semaphore SEMAPHORE and writes
// "semaphore" and a line end to its standard output; once the file TRACE
// holds the line of a later start that waits for a registration, it makes
// itself ready for hand-overs as a first instance does (its hand-over event,
// named after its process id and SEMAPHORE, and its empty communication
// file in the temporary folder) and registers its process id under the value
// VALUE of the instance key. Then it waits (at most 60 s) for its event and
// writes what its communication file holds, after "handed over: ". Exit code
// 0 when it was handed something, 1 otherwise.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <string>

namespace {

bool readWhole(const std::string& path, std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char chunk[4096];
    DWORD got = 0;
    bytes.clear();
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return true;
}

bool waitForTraceLine(const std::string& trace) {
    for (int i = 0; i < 6000; ++i) {
        std::string text;
        if (readWhole(trace, text) && text.find("no first instance registered yet: waiting") != std::string::npos)
            return true;
        Sleep(10);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: lateinstance SEMAPHORE VALUE TRACE\n");
        return 2;
    }
    _setmode(_fileno(stdout), _O_BINARY);  // the file's bytes as they are
    HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, argv[1]);
    if (!semaphore || GetLastError() == ERROR_ALREADY_EXISTS) return 3;
    printf("semaphore\n");
    fflush(stdout);
    if (!waitForTraceLine(argv[3])) return 4;

    DWORD pid = GetCurrentProcessId();
    std::string eventName = "zorvo-hand-over-" + std::to_string(pid) + "-" + argv[1];
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string comm = std::string(temp) + "zrv_p" + std::to_string(pid) + ".tmp";
    HANDLE file = CreateFileA(comm.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HKEY key;
    if (!event || file == INVALID_HANDLE_VALUE ||
        RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\tallgrass-works\\zorvo\\pids\\", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 5;
    RegSetValueExA(key, argv[2], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid), sizeof(pid));
    RegCloseKey(key);

    bool signalled = WaitForSingleObject(event, 60000) == WAIT_OBJECT_0;
    std::string handed;
    readWhole(comm, handed);
    printf("handed over: %s", handed.c_str());
    fflush(stdout);
    CloseHandle(file);
    DeleteFileA(comm.c_str());
    return signalled && !handed.empty() ? 0 : 1;
}
