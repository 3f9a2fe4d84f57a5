#include "config/config_ids.h"

#include <string.h>

namespace zorvo {

const ConfigEntryInfo kConfigEntries[] = {
#define CONFIG_ENTRY(id, constant, name, kind, meaning, missing) \
    {id, #constant, name, EntryKind::kind, meaning, missing, "", nullptr},
#define DEFAULT_ENTRY(id, constant, name, kind, meaning, missing, text) \
    {id, #constant, name, EntryKind::kind, meaning, missing, "", text},
#define MESSAGE_ENTRY(id, constant, name, kind, meaning, missing, placeholder, text) \
    {id, #constant, name, EntryKind::kind, meaning, missing, placeholder, text},
#include "config/config_entries.def"
};

const size_t kConfigEntryCount = sizeof(kConfigEntries) / sizeof(kConfigEntries[0]);

const ConfigEntryInfo* findConfigEntry(ConfigId id) {
    for (size_t i = 0; i < kConfigEntryCount; ++i) {
        if (kConfigEntries[i].id == id) return &kConfigEntries[i];
    }
    return nullptr;
}

const ConfigEntryInfo* findConfigEntryByName(const char* name) {
    for (size_t i = 0; i < kConfigEntryCount; ++i) {
        if (strcmp(kConfigEntries[i].name, name) == 0) return &kConfigEntries[i];
    }
    return nullptr;
}

const char* entryKindName(EntryKind kind) {
    switch (kind) {
        case EntryKind::Int: return "int";
        case EntryKind::Text: return "text";
        case EntryKind::List: return "list";
        case EntryKind::Color: return "colour";
        case EntryKind::Message: return "message";
        case EntryKind::Wide: return "wide";
    }
    return "?";
}

}  // namespace zorvo
