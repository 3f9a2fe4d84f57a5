// The process's configuration: loaded once from the launcher's own file, then
// read-only for the rest of the run (the splash thread reads it too).
#ifndef ZORVO_CONFIG_LAUNCHER_CONFIG_H
#define ZORVO_CONFIG_LAUNCHER_CONFIG_H

#include <stddef.h>
#include <stdint.h>

#include "config/config_block.h"
#include "config/config_ids.h"
#include "common/text.h"

namespace zorvo {

struct LauncherConfig {
    // Reads the block appended to the launcher's own executable into the
    // process's tables. Never returns on failure: ends the process through
    // internalError with the fixed text of the failed read. Afterwards, an
    // application type (entry 107) other than 1 and 5 switches error reports
    // to standard error. Windows only; called once, before any getter.
    static void load();

    // Installs already parsed tables as the process's configuration (the
    // tables are adopted and never freed).
    static void install(const ConfigTables& tables);
};

// Getters of the process's configuration; missing entries read as 0 or "".
int32_t getConfigInt(ConfigId id);
void getConfigString(ConfigId id, char* buffer, size_t size);
// The text of entry `id` into a bounded text (cut at its capacity).
template <size_t N>
void getConfigText(ConfigId id, Text<N>& text) {
    getConfigString(id, text.data(), text.capacity());
    text.refresh();
}
uint32_t getConfigColor(ConfigId id);
// The wide record of `id` (UTF-16 units, terminated) and its length; null
// when there is none.
const uint16_t* getConfigWide(ConfigId id, size_t& units);
// The file offset where the embedded-file stream begins.
uint32_t embeddedStreamOffset();

}  // namespace zorvo

#endif
