// The key of a configuration entry, for every module that names one (the
// table of entries and their meaning is config/config_ids.h).
#ifndef ZORVO_COMMON_CONFIG_ID_H
#define ZORVO_COMMON_CONFIG_ID_H

#include <stdint.h>

namespace zorvo {

using ConfigId = int32_t;

}  // namespace zorvo

#endif
