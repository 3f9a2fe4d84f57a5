// Deferred deletion of temporary files through a per-user registry record.
#ifndef ZORVO_TEMPFILES_DEFERRED_CLEANUP_H
#define ZORVO_TEMPFILES_DEFERRED_CLEANUP_H

namespace zorvo {

// Deletes what earlier runs recorded, keeping what cannot be deleted yet.
void cleanUpEarlierRuns();

// Records this run's temporary files for deletion by a later start. May run
// more than once (every error report calls it).
void registerPendingDeletions();

}  // namespace zorvo

#endif
