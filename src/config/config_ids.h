// ConfigId constants and the table describing every configuration entry.
#ifndef ZORVO_CONFIG_CONFIG_IDS_H
#define ZORVO_CONFIG_CONFIG_IDS_H

#include <stddef.h>
#include <stdint.h>

#include "common/config_id.h"

namespace zorvo {

namespace cfg {
enum : ConfigId {
#define CONFIG_ENTRY(id, constant, name, kind, meaning, missing) constant = id,
#include "config/config_entries.def"
};
}  // namespace cfg

enum class EntryKind { Int, Text, List, Color, Message, Wide };

struct ConfigEntryInfo {
    ConfigId id;
    const char* constant;  // C++ constant name in namespace cfg
    const char* name;      // readable name used by the build tool
    EntryKind kind;
    const char* meaning;
    const char* missing;   // what a missing or empty entry means
};

extern const ConfigEntryInfo kConfigEntries[];
extern const size_t kConfigEntryCount;

// Table row of an id or a readable name; null when there is none.
const ConfigEntryInfo* findConfigEntry(ConfigId id);
const ConfigEntryInfo* findConfigEntryByName(const char* name);
const char* entryKindName(EntryKind kind);

}  // namespace zorvo

#endif
