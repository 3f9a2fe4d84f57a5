// The splash window on its own thread: creation, painting, showing and hiding.
#include <windows.h>

#include <atomic>

#include "common/text.h"
#include "config/launcher_config.h"
#include "process/process_environment.h"
#include "splash/splash.h"
#include "splash/splash_internal.h"
#include "splash/splash_rules.h"
#include "vm/splash_controller.h"
#include "services/trace.h"

namespace zorvo {
namespace {

constexpr char kSplashClassName[] = "ZorvoSplashScreen";
constexpr WORD kSplashBitmapId = 10000;
constexpr UINT_PTR kSplashTimerId = 9962;
constexpr UINT kSplashTickMs = 100;

// The splash gate: set by the splash thread once the window handle is stored,
// or by hideSplash when it comes first. hideRequested is set by every hide
// request; the splash thread reads it after setting the gate and before
// showing, so a request that found the gate still clear keeps the window from
// ever appearing. Both are sequentially consistent, which is what makes the
// two-flag hand-over safe: either the thread sees the request, or the request
// sees the gate and hides the window.
std::atomic<bool> gate{false};
std::atomic<bool> hideRequested{false};
std::atomic<HWND> window{nullptr};
// The owner of later message boxes: the window, once it is about to be shown.
std::atomic<HWND> messageOwner{nullptr};

// Who decides the window's fate once it may own message boxes: the splash
// thread ending (and its window going with it) and an error report keeping
// it for the box exclude each other; whichever comes first wins.
enum SplashLife { kSplashAlive, kSplashEnding, kSplashHeldForMessage };
std::atomic<int> splashLife{kSplashAlive};

// Written by the splash thread before the gate is set, then read-only (the
// status line is also rewritten on the splash thread).
int splashWidth = 0;
int splashHeight = 0;
POINT statusPosition = {0, 0};
POINT fixedPosition = {0, 0};
COLORREF statusColor = 0;
COLORREF fixedColor = 0;
HFONT statusFont = nullptr;
HFONT fixedFont = nullptr;
bool closeOnApplicationWindow = false;
Text<kTextSize> statusLine;
Text<kTextSize> fixedLine;

HFONT createLineFont(HDC dc, ConfigId size, ConfigId weight, ConfigId face) {
    LOGFONTA font;
    ZeroMemory(&font, sizeof(font));
    font.lfHeight = splashFontHeight(getConfigInt(size), GetDeviceCaps(dc, LOGPIXELSY));
    font.lfWeight = getConfigInt(weight);
    font.lfCharSet = ANSI_CHARSET;
    font.lfPitchAndFamily = FF_SWISS | DEFAULT_PITCH;
    getConfigString(face, font.lfFaceName, sizeof(font.lfFaceName));  // at most 31 characters
    return CreateFontIndirectA(&font);
}

// Both line fonts, created on the first paint and kept for the process.
void createSplashFonts(HDC dc) {
    if (statusFont) return;
    statusFont = createLineFont(dc, cfg::kSplashStatusFontSize, cfg::kSplashStatusFontWeight, cfg::kSplashStatusFont);
    fixedFont = createLineFont(dc, cfg::kSplashFixedFontSize, cfg::kSplashFixedFontWeight, cfg::kSplashFixedFont);
}

// Copies the splash image onto the back buffer. The image is loaded for each
// paint and released right after it.
void drawSplashImage(HDC paintDc, HDC backBuffer) {
    HBITMAP image = static_cast<HBITMAP>(
        LoadImageA(moduleInstance(), MAKEINTRESOURCEA(kSplashBitmapId), IMAGE_BITMAP, 0, 0, 0));
    if (!image) return;
    HDC imageDc = CreateCompatibleDC(paintDc);
    HGDIOBJ previous = SelectObject(imageDc, image);
    BitBlt(backBuffer, 0, 0, splashWidth, splashHeight, imageDc, 0, 0, SRCCOPY);
    SelectObject(imageDc, previous);
    DeleteObject(image);
    DeleteDC(imageDc);
}

void drawLine(HDC dc, HFONT font, COLORREF color, POINT at, const Text<kTextSize>& text) {
    SetTextColor(dc, color);
    SelectObject(dc, font);
    TextOutA(dc, at.x, at.y, text.c_str(), static_cast<int>(text.size()));
}

// Draws everything into an off-screen bitmap and copies it to the window in
// one step, so that a status change never flickers.
void paintSplash(HWND hwnd) {
    PAINTSTRUCT paint;
    HDC paintDc = BeginPaint(hwnd, &paint);
    createSplashFonts(paintDc);
    HDC backBuffer = CreateCompatibleDC(paintDc);
    HBITMAP backBitmap = CreateCompatibleBitmap(paintDc, splashWidth, splashHeight);
    HGDIOBJ previousBitmap = SelectObject(backBuffer, backBitmap);
    RECT all = {0, 0, splashWidth, splashHeight};
    FillRect(backBuffer, &all, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    drawSplashImage(paintDc, backBuffer);
    SetBkMode(backBuffer, TRANSPARENT);
    HGDIOBJ previousFont = GetCurrentObject(backBuffer, OBJ_FONT);
    drawLine(backBuffer, statusFont, statusColor, statusPosition, statusLine);
    drawLine(backBuffer, fixedFont, fixedColor, fixedPosition, fixedLine);
    SelectObject(backBuffer, previousFont);
    BitBlt(paintDc, 0, 0, splashWidth, splashHeight, backBuffer, 0, 0, SRCCOPY);
    SelectObject(backBuffer, previousBitmap);
    DeleteObject(backBitmap);
    DeleteDC(backBuffer);
    EndPaint(hwnd, &paint);
}

LRESULT CALLBACK splashWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            paintSplash(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the paint covers the whole window
        case WM_CLOSE:
            // Closed from outside (Alt+F4, WM_CLOSE): the window goes, unless
            // an error report holds it as the owner of its message box.
            if (isSplashHeldForMessage()) return 0;
            return DefWindowProcA(hwnd, message, wParam, lParam);
        case WM_DESTROY:
            // However the window goes, the splash has ended: no report may
            // hand it to a message box as owner any more.
            markSplashEnding();
            trace("splash: window gone");
            window = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void registerSplashClass() {
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = splashWindowProc;
    windowClass.hInstance = moduleInstance();
    windowClass.hIcon = LoadIconA(moduleInstance(), "ID_SPLASH_ICON");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kSplashClassName;
    RegisterClassA(&windowClass);
}

// Reads the settings, creates the (still invisible) window centred on the
// desktop, stores it and sets the gate.
void createSplashWindow() {
    getConfigText(cfg::kSplashStatusText, statusLine);
    getConfigText(cfg::kSplashFixedText, fixedLine);
    statusColor = getConfigColor(cfg::kSplashStatusColor);
    fixedColor = getConfigColor(cfg::kSplashFixedColor);
    Text<kTextSize> title;
    getConfigText(cfg::kAppName, title);
    splashWidth = getConfigInt(cfg::kSplashWidth);
    splashHeight = getConfigInt(cfg::kSplashHeight);
    statusPosition = {getConfigInt(cfg::kSplashStatusX), getConfigInt(cfg::kSplashStatusY)};
    fixedPosition = {getConfigInt(cfg::kSplashFixedX), getConfigInt(cfg::kSplashFixedY)};
    registerSplashClass();
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    int x = desktop.left + splashOrigin(desktop.right - desktop.left, splashWidth);
    int y = desktop.top + splashOrigin(desktop.bottom - desktop.top, splashHeight);
    window = CreateWindowExA(0, kSplashClassName, title.c_str(), WS_POPUP, x, y, splashWidth, splashHeight,
                             nullptr, nullptr, moduleInstance(), nullptr);
    gate = true;
}

DWORD WINAPI splashThreadMain(LPVOID parameter) {
    int showCommand = static_cast<int>(reinterpret_cast<INT_PTR>(parameter));
    if (gate) return 0;  // a hide request came first
    createSplashWindow();
    HWND hwnd = window;
    // A hide request made while the window was being created found the gate
    // clear: the window must not appear after the error it came with.
    if (hideRequested) {
        if (hwnd) DestroyWindow(hwnd);
        return 0;
    }
    messageOwner = hwnd;
    trace("splash: shown, %d x %d, show command %d", splashWidth, splashHeight, showCommand);
    ShowWindow(hwnd, showCommand);
    if (getConfigInt(cfg::kSplashTopMost) != 0) SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    closeOnApplicationWindow = getConfigInt(cfg::kSplashCloseOnWindow) != 0;
    // A thread timer: the tick ends the thread, and the timer with it.
    SetTimer(nullptr, kSplashTimerId, kSplashTickMs, splashTimerTick);
    MSG message;
    message.wParam = 0;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The window was destroyed from outside; the other ways to end leave
    // from the timer tick and never come here.
    detachSplashPoller();
    return 0;
}

}  // namespace

void startSplash(int showCommand) {
    if (showCommand == 0) {
        trace("splash: none (the process was started hidden)");
        hideSplash();
        return;
    }
    // Without its picture the window would be an empty rectangle.
    if (!FindResourceA(moduleInstance(), MAKEINTRESOURCEA(kSplashBitmapId), RT_BITMAP)) {
        trace("splash: none (the launcher carries no splash image)");
        hideSplash();
        return;
    }
    HANDLE thread = CreateThread(nullptr, 0, splashThreadMain,
                                 reinterpret_cast<LPVOID>(static_cast<INT_PTR>(showCommand)), 0, nullptr);
    if (thread) CloseHandle(thread);
}

void hideSplash() {
    hideRequested = true;
    if (!gate) {
        gate = true;
        return;
    }
    // On the splash thread this hides at once; from another thread the call
    // returns once the splash thread has hidden the window.
    HWND hwnd = window;
    if (hwnd) ShowWindow(hwnd, SW_HIDE);
}

void* keepSplashForMessage() {
    int expected = kSplashAlive;
    bool kept = splashLife.compare_exchange_strong(expected, kSplashHeldForMessage) ||
                expected == kSplashHeldForMessage;
    return kept ? messageOwner.load() : nullptr;
}

bool isSplashHeldForMessage() { return splashLife == kSplashHeldForMessage; }

bool markSplashEnding() {
    int expected = kSplashAlive;
    return splashLife.compare_exchange_strong(expected, kSplashEnding) || expected == kSplashEnding;
}

HWND splashWindow() { return window; }

bool closesOnApplicationWindow() { return closeOnApplicationWindow; }

void setStatusText(const uint16_t* units, size_t count) {
    if (!gate) return;
    narrowStatusText(units, count, statusLine.data(), statusLine.capacity());
    statusLine.refresh();
    trace("splash: status text \"%s\"", statusLine.c_str());
    HWND hwnd = window;
    if (!hwnd) return;
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
}

}  // namespace zorvo
