// The process-wide configuration tables and their getters (pure code).
#include "config/launcher_config.h"

namespace zorvo {
namespace {

ConfigTables processTables;

}  // namespace

void LauncherConfig::install(const ConfigTables& tables) { processTables = tables; }

int32_t getConfigInt(ConfigId id) { return configInt(processTables, id); }

void getConfigString(ConfigId id, char* buffer, size_t size) { configString(processTables, id, buffer, size); }

uint32_t getConfigColor(ConfigId id) { return configColor(processTables, id); }

const uint16_t* getConfigWide(ConfigId id, size_t& units) {
    const WideEntry* entry = findWideEntry(processTables, id);
    units = entry ? entry->units : 0;
    return entry ? entry->value : nullptr;
}

uint32_t embeddedStreamOffset() { return processTables.embeddedStreamOffset; }

}  // namespace zorvo
