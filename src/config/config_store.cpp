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

uint32_t embeddedStreamOffset() { return processTables.embeddedStreamOffset; }

}  // namespace zorvo
