#include "launcher/error_report.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include "common/text.h"
#include "config/launcher_config.h"
#include "process/instance_registry.h"
#include "services/message_text.h"
#include "launcher/download_page.h"
#include "services/trace.h"
#include "splash/splash.h"
#include "tempfiles/deferred_cleanup.h"

namespace zorvo {
namespace {

void endProcess(int code) {
    stopHandOvers();
    trace("exit code %d", code);
    fflush(stdout);
    fflush(stderr);
    ExitProcess(static_cast<UINT>(code));
}

void writeToStandardError(const char* text) {
    // Binary mode: the text and one line feed reach the stream exactly as
    // they are, without a carriage return added before each line feed.
    _setmode(_fileno(stderr), _O_BINARY);
    fputs(text, stderr);
    fputc('\n', stderr);
    fflush(stderr);
}

void configuredMessage(ConfigId id, const char* value, Text<kTextSize>& message) {
    getConfigText(id, message);
    if (value) replaceFirstPlaceholder(message, messagePlaceholder(id), value);
}

// What every report does before it shows its text: traces it, registers this
// run's temporary files for deletion, ends hand-overs to this process (a
// report ends it: a later start must not hand over to it while the message
// is shown) and hides the splash. Returns the owner
// the message box gets: the splash window only while that window exists (a
// splash that has already ended leaves a handle that no box can use).
HWND beginReport(const char* text) {
    trace("message (%s): %s", isConsoleReporting() ? "standard error" : "message box", text);
    registerPendingDeletions();
    stopHandOvers();
    HWND owner = static_cast<HWND>(keepSplashForMessage());
    hideSplash();
    return owner;
}

// A message box with the configured caption, the error icon and `buttons`;
// returns the button pressed (0 when no box could be shown).
int showBox(HWND owner, const char* text, UINT buttons) {
    Text<kTextSize> caption;
    getConfigText(cfg::kMsgCaption, caption);
    return MessageBoxA(owner, text, caption.c_str(), buttons | MB_ICONERROR);
}

void showReport(const char* text) {
    HWND owner = beginReport(text);
    if (isConsoleReporting()) {
        writeToStandardError(text);
        return;
    }
    showBox(owner, text, MB_OK);
}

}  // namespace

void installErrorReporting() {
    installReportHooks(ReportHooks{configuredMessage, showReport, registerPendingDeletions, endProcess});
}

bool askToOpenPage(ConfigId id, const char* address) {
    Text<kTextSize> message;
    configuredMessageText(id, message);
    HWND owner = beginReport(message.c_str());
    if (isConsoleReporting()) {
        writeToStandardError(message.c_str());
        writeToStandardError(address);
        return false;
    }
    Text<kTextSize> question;
    composeDownloadQuestion(question, message.c_str(), address);
    return showBox(owner, question.c_str(), MB_YESNO) == IDYES;
}

}  // namespace zorvo
