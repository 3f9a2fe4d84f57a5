// Single-instance mode and the process-communication file (Windows).
#ifndef ZORVO_PROCESS_INSTANCE_REGISTRY_H
#define ZORVO_PROCESS_INSTANCE_REGISTRY_H

#include <windows.h>

#include <stdint.h>

#include "common/text.h"

namespace zorvo {

// HKEY_CURRENT_USER key: one REG_DWORD value per executable path, the
// process id of its first instance.
constexpr const char kPidsRegistryKey[] = "SOFTWARE\\tallgrass-works\\zorvo\\pids\\";

// Returns when this process is to go on. In single-instance mode (entry
// 10005) the first start of an executable creates its semaphore, its
// hand-over event and its process-communication file, and registers its
// process id. A later start while it runs appends `commandLineTail` (UTF-8,
// as one line, see hand_over.h) to that file under a lock, brings the first
// instance's windows to the front, signals its event and ends with exit code
// 0. A first instance that takes no more hand-overs (stopHandOvers: it is
// closing) is waited for, up to 30 s, and the start then tries again, so that
// it runs as the first instance itself. A later start that finds no
// registered first instance within a few seconds, or cannot write the file,
// runs as an instance of its own (unguarded); one whose command line has an
// unbalanced quote reports 1007.
void enforceSingleInstance(const char* commandLineTail);

// Ends the hand-overs to this first instance: under the lock of its
// communication file, the file is marked ended (kHandOversEnded), so that a
// later start no longer hands over to it but waits for it to end. Once; does
// nothing outside a first instance. Called as its VM begins to shut down,
// when the application has ended, and before a report ends the process. Any
// thread.
void stopHandOvers();

// Waits up to `timeoutMs` for the next hand-over to this first instance; true
// when one was signalled. Without single instance it just waits.
bool waitForHandOver(int32_t timeoutMs);

// The semaphore name of the first instance in single-instance mode; null otherwise.
const char* instanceSemaphoreName();

// The user's temporary directory + "zrv_p<pid>.tmp".
void processCommFileName(PathText& name, DWORD processId);

}  // namespace zorvo

#endif
