// winstate TITLE [minimize|activate|close|buttons]: finds the top-level window with
// exactly this title and prints its state as the Windows side sees it;
// "minimize" first minimises the window, "activate" first makes it the
// foreground window, "close" first sends it WM_CLOSE (as Alt+F4 or another
// program does) and prints the state the window is left in. A virtual display without a window manager shows neither minimising
// nor activation, so tests read both from here. "buttons" prints instead the
// texts of its visible buttons, in the order of its child windows, as one line
// "buttons=TEXT|TEXT" (a message box's buttons, which have no X window).
// Output: "hwnd=N pid=N visible=0|1 iconic=0|1 foreground=0|1 x=N y=N w=N h=N
// topmost=0|1 owner=N" (the window rectangle in screen pixels, the top-most
// extended style, the owner window or 0), exit code 0;
// "none" and exit code 1 when no such window exists.
#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

void printState(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    bool topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    HWND owner = GetWindow(window, GW_OWNER);
    printf("hwnd=%lu pid=%lu visible=%d iconic=%d foreground=%d x=%ld y=%ld w=%ld h=%ld topmost=%d owner=%lu\n",
           static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)), static_cast<unsigned long>(pid),
           IsWindowVisible(window) ? 1 : 0, IsIconic(window) ? 1 : 0, GetForegroundWindow() == window ? 1 : 0,
           rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, topmost ? 1 : 0,
           static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(owner)));
}

BOOL CALLBACK printButton(HWND child, LPARAM count) {
    char kind[16];
    if (!IsWindowVisible(child) || !GetClassNameA(child, kind, sizeof kind) || lstrcmpiA(kind, "Button") != 0) {
        return TRUE;
    }
    char text[256];
    GetWindowTextA(child, text, sizeof text);
    printf("%s%s", (*reinterpret_cast<int*>(count))++ ? "|" : "", text);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    const char* action = argc == 3 ? argv[2] : "";
    bool known = strcmp(action, "minimize") == 0 || strcmp(action, "activate") == 0 || strcmp(action, "close") == 0 ||
                 strcmp(action, "buttons") == 0;
    if (argc < 2 || argc > 3 || (argc == 3 && !known)) {
        fprintf(stderr, "usage: winstate TITLE [minimize|activate|close|buttons]\n");
        return 2;
    }
    HWND window = FindWindowA(nullptr, argv[1]);
    if (!window) {
        printf("none\n");
        return 1;
    }
    if (strcmp(action, "buttons") == 0) {
        int count = 0;
        printf("buttons=");
        EnumChildWindows(window, printButton, reinterpret_cast<LPARAM>(&count));
        printf("\n");
        return 0;
    }
    if (strcmp(action, "minimize") == 0) ShowWindow(window, SW_MINIMIZE);
    if (strcmp(action, "activate") == 0) SetForegroundWindow(window);
    if (strcmp(action, "close") == 0) {
        SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        if (!IsWindow(window)) {
            printf("closed\n");
            return 0;
        }
    }
    // Let the owning thread process the change before the state is read.
    if (*action) SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    printState(window);
    return 0;
}
