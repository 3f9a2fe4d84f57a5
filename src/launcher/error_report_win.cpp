#include "launcher/error_report.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "common/code_page.h"
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

// A text as the wide API shows it, bounded like every text.
struct WideText {
    wchar_t units[kTextSize];
};

void widen(const char* text, WideText& out) {
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, out.units, kTextSize) == 0) out.units[0] = L'\0';
}

// The trace's line of a message: its UTF-8, line breaks written as \r and \n
// (the trace holds one event a line).
void traceMessage(const WideText& text) {
    if (!isTracing()) return;
    char* utf8 = wideToUtf8(text.units);
    Text<kTextSize> line;
    for (const char* p = utf8 ? utf8 : ""; *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            line.appendChar('\\');
            line.appendChar(*p == '\r' ? 'r' : 'n');
        } else {
            line.appendChar(*p);
        }
    }
    free(utf8);
    traceUtf8("message (%s): %s", isConsoleReporting() ? "standard error" : "message box", line.c_str());
}

// What every report does before it shows its text: traces it, registers this
// run's temporary files for deletion, ends hand-overs to this process (a
// report ends it: a later start must not hand over to it while the message
// is shown) and hides the splash. Returns the owner
// the message box gets: the splash window only while that window exists (a
// splash that has already ended leaves a handle that no box can use).
HWND beginReport(const WideText& text) {
    traceMessage(text);
    registerPendingDeletions();
    stopHandOvers();
    HWND owner = static_cast<HWND>(keepSplashForMessage());
    hideSplash();
    return owner;
}

// A configured text wide: its wide record when the configuration wrote one (a
// message written in UTF-8 reads the same on a system of any code page), else
// its narrow record from the code page; its placeholder replaced by `value`.
// False when it has no wide record (the narrow one is then given).
bool configuredWide(ConfigId id, const char* value, WideText& out) {
    size_t count = 0;
    const uint16_t* units = getConfigWide(id, count);
    if (!units) {
        Text<kTextSize> narrow;
        configuredMessage(id, value, narrow);
        widen(narrow.c_str(), out);
        return false;
    }
    size_t n = count < kTextSize - 1 ? count : kTextSize - 1;
    for (size_t i = 0; i < n; ++i) out.units[i] = static_cast<wchar_t>(units[i]);
    out.units[n] = L'\0';
    WideText placeholder, replacement;
    widen(messagePlaceholder(id), placeholder);
    wchar_t* at = value && placeholder.units[0] ? wcsstr(out.units, placeholder.units) : nullptr;
    if (!at) return true;
    widen(value, replacement);
    // The text before the placeholder, the value, the rest; cut at the buffer's end.
    WideText joined;
    size_t length = 0;
    auto add = [&](const wchar_t* from, size_t n) {
        for (size_t i = 0; i < n && length < kTextSize - 1; ++i) joined.units[length++] = from[i];
    };
    add(out.units, static_cast<size_t>(at - out.units));
    add(replacement.units, wcslen(replacement.units));
    const wchar_t* rest = at + wcslen(placeholder.units);
    add(rest, wcslen(rest));
    joined.units[length] = L'\0';
    out = joined;
    return true;
}

// A message box with the configured caption, the error icon and `buttons`;
// returns the button pressed (0 when no box could be shown).
int showBox(HWND owner, const WideText& text, UINT buttons) {
    WideText caption;
    configuredWide(cfg::kMsgCaption, nullptr, caption);
    return MessageBoxW(owner, text.units, caption.units, buttons | MB_ICONERROR);
}

// A message on standard error: its narrow text, or the UTF-8 of its wide one.
void writeMessageToStandardError(const char* narrow, const WideText* wide) {
    char* utf8 = wide ? wideToUtf8(wide->units) : nullptr;
    writeToStandardError(utf8 ? utf8 : narrow);
    free(utf8);
}

void showReport(const char* text) {
    WideText wide;
    widen(text, wide);
    HWND owner = beginReport(wide);
    if (isConsoleReporting()) {
        writeToStandardError(text);
        return;
    }
    showBox(owner, wide, MB_OK);
}

void showConfiguredReport(ConfigId id, const char* value) {
    Text<kTextSize> narrow;
    configuredMessage(id, value, narrow);
    WideText wide;
    bool hasWide = configuredWide(id, value, wide);
    HWND owner = beginReport(wide);
    if (isConsoleReporting()) {
        writeMessageToStandardError(narrow.c_str(), hasWide ? &wide : nullptr);
        return;
    }
    showBox(owner, wide, MB_OK);
}

}  // namespace

void installErrorReporting() {
    installReportHooks(
        ReportHooks{configuredMessage, showReport, showConfiguredReport, registerPendingDeletions, endProcess});
}

bool askToOpenPage(ConfigId id, const char* address) {
    Text<kTextSize> message;
    configuredMessageText(id, message);
    WideText wide;
    bool hasWide = configuredWide(id, nullptr, wide);
    HWND owner = beginReport(wide);
    if (isConsoleReporting()) {
        writeMessageToStandardError(message.c_str(), hasWide ? &wide : nullptr);
        writeToStandardError(address);
        return false;
    }
    // The question is composed in UTF-8, then shown wide.
    char* utf8 = wideToUtf8(wide.units);
    Text<kTextSize> question;
    composeDownloadQuestion(question, utf8 ? utf8 : "", address);
    free(utf8);
    WideText shown;
    if (MultiByteToWideChar(CP_UTF8, 0, question.c_str(), -1, shown.units, kTextSize) == 0) shown.units[0] = L'\0';
    return showBox(owner, shown, MB_YESNO) == IDYES;
}

}  // namespace zorvo
