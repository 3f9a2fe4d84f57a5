// What an error report does at the top of the launch (services/report.h is
// the interface every module reports through): the configured messages,
// this run's temporary files, the splash, a message box or standard error.
#ifndef ZORVO_LAUNCHER_ERROR_REPORT_H
#define ZORVO_LAUNCHER_ERROR_REPORT_H

#include "services/report.h"

namespace zorvo {

// Installs the report of the launch (services/report.h); called first.
void installErrorReporting();

// Shows configured message `id` as showConfiguredError does and offers the
// web page `address` with it: a message box adds the question whether to open
// the page (composeDownloadQuestion) and has Yes and No buttons; standard
// error gets the address on a line of its own after the message. True when
// the user answered Yes (never in console mode). Opens nothing itself.
bool askToOpenPage(ConfigId id, const char* address);

}  // namespace zorvo

#endif
