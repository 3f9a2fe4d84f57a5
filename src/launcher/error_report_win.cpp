#include "launcher/error_report.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include "common/text.h"
#include "config/launcher_config.h"
#include "launcher/message_text.h"
#include "splash/splash.h"
#include "tempfiles/deferred_cleanup.h"
#include "launcher/trace.h"

namespace zorvo {
namespace {

// Written on the main thread only, before the splash thread exists.
bool consoleReporting = false;
// Written once by the splash thread, read by the main thread: one word.
HWND volatile messageOwner = nullptr;

[[noreturn]] void endProcess(int code) {
    trace("exit code %d", code);
    fflush(stdout);
    fflush(stderr);
    ExitProcess(static_cast<UINT>(code));
}

void writeToStandardError(const char* text) {
    // Binary mode: the text and one line feed reach the stream exactly as
    // they are, without a carriage return added before each line feed.
    _setmode(_fileno(stderr), _O_BINARY);
    fprintf(stderr, "%s\n", text);
    fflush(stderr);
}

}  // namespace

void useConsoleReporting() { consoleReporting = true; }

bool isConsoleReporting() { return consoleReporting; }

void setMessageOwner(void* window) { messageOwner = static_cast<HWND>(window); }

void showErrorMessage(const char* text) {
    trace("message (%s): %s", consoleReporting ? "standard error" : "message box", text);
    registerPendingDeletions();
    // The box is owned by the splash window only while that window exists: a
    // splash that has already ended leaves a handle that no box can use.
    HWND owner = keepSplashForMessage() ? messageOwner : nullptr;
    hideSplash();
    if (consoleReporting) {
        writeToStandardError(text);
        return;
    }
    Text<kTextSize> caption;
    getConfigString(cfg::kMsgCaption, caption.data(), caption.capacity());
    MessageBoxA(owner, text, caption.data(), MB_ICONERROR);
}

void showConfiguredError(ConfigId id, const char* placeholder, const char* value) {
    Text<kTextSize> message;
    getConfigString(id, message.data(), message.capacity());
    message.refresh();
    if (placeholder) replaceFirstPlaceholder(message, placeholder, value);
    showErrorMessage(message.c_str());
}

void errorExit(ConfigId id, const char* placeholder, const char* value) {
    showConfiguredError(id, placeholder, value);
    endProcess(kExitError);
}

void internalError(const char* text) {
    showErrorMessage(text);
    endProcess(kExitError);
}

void exitWithCode(int code) {
    registerPendingDeletions();
    endProcess(code);
}

}  // namespace zorvo
