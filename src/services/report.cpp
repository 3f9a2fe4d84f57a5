#include "services/report.h"

#include <stdio.h>
#include <stdlib.h>


namespace zorvo {
namespace {

void noMessage(ConfigId, const char*, Text<kTextSize>& message) { message.clear(); }

void writeToStandardError(const char* text) {
    fputs(text, stderr);
    fputc('\n', stderr);
    fflush(stderr);
}

void showConfiguredText(ConfigId id, const char* value);

void nothingToRegister() {}

void endAtOnce(int code) { exit(code); }

// Written on the main thread only, before any other thread exists.
ReportHooks hooks = {noMessage, writeToStandardError, showConfiguredText, nothingToRegister, endAtOnce};
bool consoleReporting = false;

}  // namespace

void installReportHooks(const ReportHooks& installed) { hooks = installed; }

void useConsoleReporting() { consoleReporting = true; }

bool isConsoleReporting() { return consoleReporting; }

void showErrorMessage(const char* text) { hooks.show(text); }

void configuredMessageText(ConfigId id, Text<kTextSize>& message, const char* value) {
    hooks.configuredMessage(id, value, message);
}

void showConfiguredError(ConfigId id, const char* value) { hooks.showConfigured(id, value); }

namespace {

// Until the top installs its own: the message's text, shown as any text.
void showConfiguredText(ConfigId id, const char* value) {
    Text<kTextSize> message;
    configuredMessageText(id, message, value);
    showErrorMessage(message.c_str());
}

}  // namespace

namespace {

// Ends the process; an end hook never returns, and should one, so does this.
[[noreturn]] void end(int code) {
    hooks.end(code);
    exit(code);
}

}  // namespace

void errorExit(ConfigId id, const char* value) {
    showConfiguredError(id, value);
    end(kExitError);
}

void internalError(const char* text) {
    showErrorMessage(text);
    end(kExitError);
}

void exitWithCode(int code) {
    hooks.registerDeletions();
    end(code);
}

}  // namespace zorvo
