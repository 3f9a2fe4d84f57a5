#include "tempfiles/deferred_cleanup.h"

namespace zorvo {

// Deferred clean-up is not built yet; with no extraction there is nothing to record.
void cleanUpEarlierRuns() {}

void registerPendingDeletions() {}

}  // namespace zorvo
