// What the launcher itself needs of the entry table: the placeholders of the
// messages and the internal error codes. A file of its own, so that the
// launcher's image holds these alone and not the whole table the build tool
// reads (config_ids.cpp).
#include "config/config_ids.h"
#include "services/report.h"

namespace zorvo {
namespace {

// The placeholders alone: all that the launcher needs of the table.
struct MessagePlaceholder {
    ConfigId id;
    const char* placeholder;
};
const MessagePlaceholder kPlaceholders[] = {
#define CONFIG_ENTRY(id, constant, name, kind, meaning, missing)
#define MESSAGE_ENTRY(id, constant, name, kind, meaning, missing, placeholder, text) {id, placeholder},
#include "config/config_entries.def"
};

}  // namespace

const char* messagePlaceholder(ConfigId id) {
    for (const MessagePlaceholder& m : kPlaceholders) {
        if (m.id == id) return m.placeholder;
    }
    return "";
}

const char* internalErrorCode(InternalError error) {
    switch (error) {
        case InternalError::ExtractionFolder: return "7";
        case InternalError::EmbeddedFileName: return "11";
        case InternalError::EmbeddedFileWrite: return "13";
        case InternalError::FirstRunClassMissing: return "14";
        case InternalError::FirstRunMethodMissing: return "15";
        case InternalError::EmbeddedStream: return "16";
        case InternalError::UnpackerNotStarted: return "20";
    }
    return "";
}

void internalErrorExit(InternalError error) { errorExit(cfg::kMsgInternalError, internalErrorCode(error)); }

}  // namespace zorvo
