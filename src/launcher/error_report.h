// Error reporting: the only place that shows a message or ends the process.
//
// Every report first registers this run's temporary files for deletion by a
// later start, then hides the splash, then shows the text: in a message box
// (windowed mode, the default) or as one line on standard error (console
// mode). Nothing that fails inside a report is itself reported.
#ifndef ZORVO_LAUNCHER_ERROR_REPORT_H
#define ZORVO_LAUNCHER_ERROR_REPORT_H

#include "config/config_ids.h"

namespace zorvo {

// The only exit codes of the process.
constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitNoJvm = 83;

// Switches reports to standard error for the rest of the run (never back).
void useConsoleReporting();
bool isConsoleReporting();

// Owner window of later message boxes (the splash window, once it exists).
void setMessageOwner(void* window);

// Shows `text` as described above and returns.
void showErrorMessage(const char* text);

// Shows configured message `id` with the first occurrence of `placeholder`
// replaced by `value` (both given or both null). Returns.
void showConfiguredError(ConfigId id, const char* placeholder = nullptr, const char* value = nullptr);

// Shows configured message `id` as showConfiguredError does and offers the
// web page `address` with it: a message box adds the question whether to open
// the page (composeDownloadQuestion) and has Yes and No buttons; standard
// error gets the address on a line of its own after the message. True when
// the user answered Yes (never in console mode). Opens nothing itself.
bool askToOpenPage(ConfigId id, const char* address);

// showConfiguredError, then exit code 1. Never returns.
[[noreturn]] void errorExit(ConfigId id, const char* placeholder = nullptr, const char* value = nullptr);

// Shows a fixed text (never one from the configuration), then exit code 1.
// Never returns.
[[noreturn]] void internalError(const char* text);

// Registers this run's temporary files for deferred deletion and ends the
// process with `code`; shows nothing. Never returns.
[[noreturn]] void exitWithCode(int code);

}  // namespace zorvo

#endif
