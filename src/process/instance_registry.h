// Single-instance mode, the process-communication file and window
// enumeration of a process (Windows).
#ifndef ZORVO_PROCESS_INSTANCE_REGISTRY_H
#define ZORVO_PROCESS_INSTANCE_REGISTRY_H

#include <windows.h>

#include "common/text.h"

namespace zorvo {

// HKEY_CURRENT_USER key: one REG_DWORD value per executable path, the
// process id of its first instance.
constexpr const char kPidsRegistryKey[] = "SOFTWARE\\tallgrass-works\\zorvo\\pids\\";

// Returns when this process is to go on. In single-instance mode (entry
// 10005) a start while another instance of the same executable runs brings
// that instance's windows to the front, writes `commandLineTail` (UTF-8) and
// a line end (CR LF) into its process-communication file, and ends with exit
// code 0.
void enforceSingleInstance(bool check, const char* commandLineTail);

// The semaphore name of the first instance in single-instance mode; null otherwise.
const char* instanceSemaphoreName();

void registerInstance();
DWORD readRegisteredInstance();

// The path with every backslash replaced by an underscore.
void semaphoreNameFromPath(PathText& name, const char* path);

// The user's temporary directory + "zrv_p<pid>.tmp".
void processCommFileName(PathText& name, DWORD processId);

// Restores and brings to the front every visible top-level window of the process.
void activateProcessWindows(DWORD processId);

// Visible top-level windows of the process, not counting its own console window.
int countVisibleProcessWindows(DWORD processId);
void findOwnConsoleWindow();

}  // namespace zorvo

#endif
