// How a module reports a failure and how the process ends: the interface
// every module uses. What a report does beyond the text (the configured
// message, the temporary files, the splash, a message box or standard error)
// is installed by the launch sequence at the top (installReportHooks); until
// then a report writes the text to standard error.
//
// Every report first registers this run's temporary files for deletion by a
// later start, then hides the splash, then shows the text: in a message box
// (windowed mode, the default) or as one line on standard error (console
// mode). Nothing that fails inside a report is itself reported. Pure code.
#ifndef ZORVO_SERVICES_REPORT_H
#define ZORVO_SERVICES_REPORT_H

#include "common/config_id.h"
#include "common/text.h"

namespace zorvo {

// The only exit codes of the process.
constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitNoJvm = 83;

// What the top of the launch does for a report.
struct ReportHooks {
    // The text of configured message `id`, its placeholder (the entry
    // table's) replaced by `value` when one is given.
    void (*configuredMessage)(ConfigId id, const char* value, Text<kTextSize>& message);
    // Shows `text` after what every report does first; returns.
    void (*show)(const char* text);
    // Shows configured message `id` (its placeholder replaced by `value`, when
    // given) after what every report does first; returns.
    void (*showConfigured)(ConfigId id, const char* value);
    // Registers this run's temporary files for deletion by a later start.
    void (*registerDeletions)();
    // Ends the process with `code`.
    void (*end)(int code);
};
void installReportHooks(const ReportHooks& hooks);

// Switches reports to standard error for the rest of the run (never back).
void useConsoleReporting();
bool isConsoleReporting();

// Shows `text` as described above and returns.
void showErrorMessage(const char* text);

// The text of configured message `id` with the first occurrence of its
// placeholder replaced by `value` (when given).
void configuredMessageText(ConfigId id, Text<kTextSize>& message, const char* value = nullptr);

// Shows configured message `id` (see configuredMessageText). Returns.
void showConfiguredError(ConfigId id, const char* value = nullptr);

// showConfiguredError, then exit code 1. Never returns.
[[noreturn]] void errorExit(ConfigId id, const char* value = nullptr);

// Shows a fixed text (never one from the configuration), then exit code 1.
// Never returns.
[[noreturn]] void internalError(const char* text);

// Registers this run's temporary files for deferred deletion and ends the
// process with `code`; shows nothing. Never returns.
[[noreturn]] void exitWithCode(int code);

}  // namespace zorvo

#endif
