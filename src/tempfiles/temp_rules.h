// The string rules of the deletion record. Pure code.
#ifndef ZORVO_TEMPFILES_TEMP_RULES_H
#define ZORVO_TEMPFILES_TEMP_RULES_H

#include <stddef.h>

#include "common/text.h"

namespace zorvo {

// Appends `path` and ";" to a deletion list, unless the list holds it
// already (every report registers the run's paths again). A path that does
// not fit whole is skipped, never cut (a cut path could name another file);
// returns false then.
bool appendToDeleteText(PathText& list, const char* path);

}  // namespace zorvo

#endif
