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
#define DEFAULT_ENTRY(id, constant, name, kind, meaning, missing, text) constant = id,
#define MESSAGE_ENTRY(id, constant, name, kind, meaning, missing, placeholder, text) constant = id,
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
    const char* placeholder;  // a message's placeholder ("" for none)
    const char* defaultText;  // what the build tool writes when it is not set; null for none
};

extern const ConfigEntryInfo kConfigEntries[];
extern const size_t kConfigEntryCount;

// The placeholder of message `id` that a report replaces with its value, or
// "" when it has none (also for an id that is no message).
const char* messagePlaceholder(ConfigId id);

// The internal errors, reported with message 1009 and their number as its
// value.
enum class InternalError {
    ExtractionFolder = 7,       // no folder for the embedded files
    EmbeddedFileName = 11,      // an embedded file cannot be created under its name
    EmbeddedFileWrite = 13,     // writing an embedded file failed
    FirstRunClassMissing = 14,  // the first-run class is missing
    FirstRunMethodMissing = 15, // the first-run class has no firstRun()
    EmbeddedStream = 16,        // the embedded files cannot be read back
    UnpackerNotStarted = 20,    // a packed runtime's unpacker cannot be started
};

// The number of an internal error as message 1009 shows it ("7").
const char* internalErrorCode(InternalError error);

// Reports an internal error (message 1009 with its number), then exit code 1.
// Never returns.
[[noreturn]] void internalErrorExit(InternalError error);

// Table row of an id or a readable name; null when there is none.
const ConfigEntryInfo* findConfigEntry(ConfigId id);
const ConfigEntryInfo* findConfigEntryByName(const char* name);
const char* entryKindName(EntryKind kind);

}  // namespace zorvo

#endif
