#include "main_behaviour.h"

#include <cstdint>
#include <cstring>

namespace testvm {
namespace {

const long kDefaultWindowMs = 2000;
const DWORD kScriptedExceptionCode = 0xE07A0001;
const long kDefaultWaitLimitMs = 60000;

// GetGuiResources is a stub that answers 0 under Wine. Wine keeps a process's
// GDI objects in the handle table the PEB points to (GdiSharedHandleTable at
// offset 0x94 of a 32-bit PEB, 0xF8 of a 64-bit one): 65536 entries of 24
// bytes, the object's address first and its type byte at offset 14, both zero
// for a free entry. Counting the used entries shows a GDI leak there. -1 when
// the table is not readable.
long long gdiTableObjects() {
    const size_t kEntries = 0x10000, kEntrySize = 24;
    const unsigned char* peb;  // the PEB address from the TEB
#ifdef _WIN64
    asm("movq %%gs:0x60, %0" : "=r"(peb));
    const size_t kTableAt = 0xF8;
#else
    asm("movl %%fs:0x30, %0" : "=r"(peb));
    const size_t kTableAt = 0x94;
#endif
    const unsigned char* table = *reinterpret_cast<const unsigned char* const*>(peb + kTableAt);
    if (table == nullptr) return -1;
    const unsigned char* end = table + kEntries * kEntrySize;
    for (const unsigned char* p = table; p < end;) {
        MEMORY_BASIC_INFORMATION info;
        if (!VirtualQuery(p, &info, sizeof info) || info.State != MEM_COMMIT ||
            (info.Protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY)) == 0) {
            return -1;
        }
        p = static_cast<const unsigned char*>(info.BaseAddress) + info.RegionSize;
    }
    long long used = 0;
    for (size_t i = 0; i < kEntries; ++i) {
        const unsigned char* entry = table + i * kEntrySize;
        uint64_t object;
        memcpy(&object, entry, sizeof object);
        if (object != 0 && entry[14] != 0) ++used;
    }
    return used;
}

void logGuiResources(const char* phase) {
    HANDLE self = GetCurrentProcess();
    Record("gui_resources")
        .text("phase", phase)
        .number("gdiObjects", GetGuiResources(self, GR_GDIOBJECTS))
        .number("userObjects", GetGuiResources(self, GR_USEROBJECTS))
        .number("gdiTableObjects", gdiTableObjects())
        .write();
}

DWORD WINAPI applicationThread(void* parameter) {
    DWORD ms = static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
    Sleep(ms);
    Record("app_thread_end").number("ms", ms).write();
    return 0;
}

HWND showWindow(const std::u16string& title) {
    static const wchar_t* const kClassName = L"ZorvoTestVmAppWindow";
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
    std::wstring wideTitle(title.begin(), title.end());
    HWND window = CreateWindowExW(0, kClassName, wideTitle.c_str(), WS_OVERLAPPEDWINDOW, 200, 150, 400,
                                  300, nullptr, nullptr, instance, nullptr);
    DWORD error = window ? 0 : GetLastError();
    if (window) {
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
    }
    Record("main_window")
        .units("title", title)
        .number("hwnd", static_cast<long long>(reinterpret_cast<uintptr_t>(window)))
        .flag("visible", window && IsWindowVisible(window))
        .number("error", error)
        .write();
    return window;
}

void pumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Blocks for the scripted time and until the scripted file exists, keeping a
// window responsive meanwhile.
void block(bool haveWindow) {
    long sleepMs = static_cast<long>(envInt("ZORVO_TESTVM_MAIN_SLEEP_MS", -1));
    std::string waitFile;
    bool waitForFile = envNarrow("ZORVO_TESTVM_MAIN_WAIT_FILE", waitFile) && !waitFile.empty();
    if (sleepMs < 0) sleepMs = (haveWindow && !waitForFile) ? kDefaultWindowMs : 0;
    if (sleepMs == 0 && !waitForFile) return;
    waitFile = windowsPath(waitFile);
    long limitMs = static_cast<long>(envInt("ZORVO_TESTVM_MAIN_WAIT_LIMIT_MS", kDefaultWaitLimitMs));
    DWORD start = GetTickCount();
    bool fileSeen = false;
    for (;;) {
        long elapsed = static_cast<long>(GetTickCount() - start);
        fileSeen = waitForFile && fileExists(waitFile);
        bool fileDone = !waitForFile || fileSeen || elapsed >= limitMs;
        if (elapsed >= sleepMs && fileDone) break;
        if (haveWindow) pumpMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    Record record("main_blocked");
    record.number("ms", static_cast<long long>(GetTickCount() - start));
    if (waitForFile) record.text("file", waitFile).flag("fileSeen", fileSeen);
    record.write();
}

// The top-level filter: reached only when the system's dispatch has walked
// from the raise through every frame above it, the launcher's included.
volatile LONG topLevelFilterCalls = 0;

LONG WINAPI continueAfterRaise(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode != kScriptedExceptionCode) return EXCEPTION_CONTINUE_SEARCH;
    InterlockedIncrement(&topLevelFilterCalls);
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Raises a continuable exception that no frame handles, so that the dispatch
// walks up through the caller's frames (the launcher's) to the thread's
// top-level filter, which lets execution go on. Without valid unwind
// information for those frames the walk fails and the process dies.
// The modules of the frames a stack walk from here finds, innermost first
// ("?" for an address in no module): each step needs the unwind information
// of the frame it leaves, so a frame without it sends the walk astray.
std::string walkedModules() {
    void* frames[62];
    USHORT count = RtlCaptureStackBackTrace(0, 62, frames, nullptr);
    std::vector<std::string> names;
    for (USHORT i = 0; i < count; ++i) {
        HMODULE module = nullptr;
        std::string name = "?";
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               static_cast<LPCSTR>(frames[i]), &module)) {
            std::string path = modulePath(module);
            name = path.substr(path.find_last_of("\\/") + 1);
        }
        names.push_back(jsonBytes(name));
    }
    return jsonArray(names);
}

void raiseThroughCallers() {
    std::string modules = walkedModules();
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(continueAfterRaise);
    RaiseException(kScriptedExceptionCode, 0, 0, nullptr);
    SetUnhandledExceptionFilter(previous);
    Record("main_raised").number("filterCalls", topLevelFilterCalls).json("walkedModules", modules).write();
}

}  // namespace

void runMainBehaviour(ThreadEnv& thread) {
    if (envInt("ZORVO_TESTVM_MAIN_RAISE", 0) != 0) raiseThroughCallers();

    long handOverMs = static_cast<long>(envInt("ZORVO_TESTVM_MAIN_AWAIT_HAND_OVER", 0));
    if (handOverMs > 0) {
        bool signalled = false;
        DWORD start = GetTickCount();
        bool bound = callHandOverWait(thread, handOverMs, signalled);
        Record("hand_over_wait").flag("bound", bound).flag("signalled", signalled)
            .number("ms", static_cast<long long>(GetTickCount() - start)).write();
    }

    bool gui = envInt("ZORVO_TESTVM_MAIN_GDI", 0) != 0;
    if (gui) logGuiResources("start");

    long threadMs = static_cast<long>(envInt("ZORVO_TESTVM_MAIN_THREAD_MS", 0));
    if (threadMs > 0) {
        HANDLE handle = CreateThread(nullptr, 0, applicationThread,
                                     reinterpret_cast<void*>(static_cast<uintptr_t>(threadMs)), 0, nullptr);
        Guard guard(vmLock());
        if (handle) addApplicationThread(handle);
    }

    std::u16string title;
    HWND window = nullptr;
    bool wantWindow = envWide("ZORVO_TESTVM_MAIN_WINDOW", title);
    if (wantWindow) window = showWindow(title);
    block(wantWindow);
    if (window) {
        DestroyWindow(window);
        pumpMessages();
        Record("main_window_closed").write();
    }

    if (gui) logGuiResources("end");

    std::string exitText;
    if (envNarrow("ZORVO_TESTVM_MAIN_EXIT", exitText) && !exitText.empty()) {
        long long exitCode = envInt("ZORVO_TESTVM_MAIN_EXIT", 1);
        Record("main_exit").number("code", exitCode).write();
        runShutdownHooks();  // System.exit runs them before the process ends
        ExitProcess(static_cast<UINT>(exitCode));
    }

    std::u16string message;
    if (envWide("ZORVO_TESTVM_MAIN_THROW", message)) {
        Guard guard(vmLock());
        throwNew(thread, "java.lang.RuntimeException", message,
                 "com.zorvo.runtime.WinLauncher.main(WinLauncher.java)");
    }
}

}  // namespace testvm
