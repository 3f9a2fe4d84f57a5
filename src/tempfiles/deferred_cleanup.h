// Deferred deletion of temporary files through a per-user registry record:
// what one run extracted is recorded, and every later start of any launcher
// of the product deletes what nothing holds open any more.
#ifndef ZORVO_TEMPFILES_DEFERRED_CLEANUP_H
#define ZORVO_TEMPFILES_DEFERRED_CLEANUP_H

namespace zorvo {

// HKEY_CURRENT_USER key of the record, values "delete_file" and "delete_dir".
constexpr const char kTempRegistryKey[] = "SOFTWARE\\tallgrass-works\\zorvo\\temp\\";

// Deletes the recorded files (those that can be opened exclusively), then
// removes the recorded directories (those that are empty), and keeps in the
// record every path that still exists. Never creates the key; reports nothing.
void cleanUpEarlierRuns();

// Appends this run's extracted files and directories to the record. Runs on
// every report and exit, so a path may be recorded more than once. Reports nothing.
void registerPendingDeletions();

// Appends `path` and ";" to the registry value `valueName`; a path that would
// not fit the value's 8191 characters is left out whole.
void appendToDeleteList(const char* path, const char* valueName);

// True when the file can be opened for reading and writing without sharing:
// it exists, is writable, and nothing else holds it open.
bool canOpenExclusively(const char* path);

}  // namespace zorvo

#endif
