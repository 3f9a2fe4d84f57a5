// The resources of a PE image: the tree of its resource section read into a
// flat list of entries (type, name, language, data), and laid out again.
// Pure code; every offset read is checked against the section.
#ifndef ZORVO_BUILD_PE_RESOURCES_H
#define ZORVO_BUILD_PE_RESOURCES_H

#include <stdint.h>

#include <string>
#include <vector>

namespace zorvo {
namespace buildtool {

// A resource type or name: a number, or a name (UTF-16).
struct ResourceId {
    bool isName = false;
    uint16_t id = 0;
    std::u16string name;

    static ResourceId number(uint16_t value);
    static ResourceId named(const std::u16string& value);
};

bool operator==(const ResourceId& a, const ResourceId& b);
// The order of a resource directory: names first (by their upper-case
// UTF-16 units), then numbers ascending.
bool operator<(const ResourceId& a, const ResourceId& b);

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::string data;
};

constexpr uint16_t kResourceIcon = 3;
constexpr uint16_t kResourceBitmap = 2;
constexpr uint16_t kResourceGroupIcon = 14;
constexpr uint16_t kResourceVersion = 16;
constexpr uint16_t kResourceManifest = 24;

// Reads the resource tree of a section whose contents are `section`, loaded at
// `sectionRva`: three levels (type, name, language), data entries pointing
// into the section. False with `error` for anything out of bounds, a loop, a
// level too deep or more than kMaxResourceEntries entries.
constexpr size_t kMaxResourceEntries = 65536;
bool parseResourceSection(const std::string& section, uint32_t sectionRva, std::vector<ResourceEntry>& entries,
                          std::string& error);

// Lays the entries out as a resource section loaded at `sectionRva`, the way
// the linker lays out the generic launcher's: the root directory, each type's
// directory followed by the language directories of its names, the names, the
// data entries, then the data (each piece 8-byte aligned). Entries are sorted
// into directory order first; the result does not depend on the order given.
std::string buildResourceSection(std::vector<ResourceEntry> entries, uint32_t sectionRva);

// The entries with this type (and name), in directory order.
std::vector<const ResourceEntry*> findResources(const std::vector<ResourceEntry>& entries, const ResourceId& type);
const ResourceEntry* findResource(const std::vector<ResourceEntry>& entries, const ResourceId& type,
                                  const ResourceId& name);

// Removes every entry of the type (and name, when given).
void removeResources(std::vector<ResourceEntry>& entries, const ResourceId& type, const ResourceId* name = nullptr);

}  // namespace buildtool
}  // namespace zorvo

#endif
