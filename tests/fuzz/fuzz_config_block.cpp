// Fuzz target: any file handed to the block reader must parse or fail cleanly
// under both launchers' offset rules (and the rule the file's header claims),
// and whatever parses must be readable through every getter. The walk that
// the build tool's dump takes through a callback must stop where the
// launcher's tables stop, and the launcher layout rule must hold or break
// cleanly.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "config/config_block.h"
#include "config/pe_image.h"

namespace {

// Reads each value as the dump does, into a buffer of its own.
bool readValue(void*, const zorvo::BlockRecord& record, zorvo::BlockReader& value) {
    uint8_t* buffer = static_cast<uint8_t*>(malloc(record.length + 1u));
    bool ok = buffer && value.readExact(buffer, record.length);
    free(buffer);
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zorvo;
    ByteSource src = memoryByteSource(data, size);
    const LauncherLayout* layouts[] = {&kLauncherLayout32, &kLauncherLayout64, &launcherLayoutOf(src)};
    for (const LauncherLayout* layout : layouts) {
        ConfigTables tables;
        BlockError err = parseConfigBlock(src, *layout, tables);
        BlockWalk walk = walkConfigBlock(src, *layout, readValue, nullptr);
        if (blockErrorOf(walk) != err) __builtin_trap();
        if (err == BlockError::None && walk.end != tables.embeddedStreamOffset) __builtin_trap();
        LauncherHeaders headers;
        if (checkLauncherLayout(src, *layout, headers) == LayoutBreak::None && headers.blockOffset != size) {
            __builtin_trap();
        }
        if (err == BlockError::None) {
            char buf[64];
            for (size_t i = 0; i < tables.narrowCount; ++i) {
                ConfigId id = tables.narrow[i].id;
                configInt(tables, id);
                configColor(tables, id);
                configString(tables, id, buf, sizeof(buf));
                configString(tables, id, buf, 2);
            }
            for (size_t i = 0; i < tables.wideCount; ++i) findWideEntry(tables, tables.wide[i].id);
            if (tables.embeddedStreamOffset > size) __builtin_trap();
        }
        releaseConfigTables(tables);
    }
    peMachineOf(src);
    ConfigTables tables;
    // The same bytes read as a block at offset 0 exercise the records directly.
    parseConfigBlockAt(src, 0, tables);
    releaseConfigTables(tables);
    return 0;
}
