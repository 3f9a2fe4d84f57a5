// Fuzz target: the readers of untrusted resource input, an .ico file, a
// resource section and a version resource, must accept or refuse any bytes
// cleanly, and whatever they accept must lay out again into bytes that read
// back the same.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "app_resources.h"
#include "pe_resources.h"

using namespace zorvo::buildtool;

namespace {

void checkIconFile(const std::string& bytes) {
    std::vector<IconImage> images;
    std::string error;
    if (!parseIconFile(bytes, images, error)) return;
    // The images as an icon group and back, and as an .ico file and back.
    std::vector<ResourceEntry> entries;
    replaceIcon(entries, images);
    std::vector<IconImage> back;
    if (!iconOfResources(entries, back) || iconFile(back) != iconFile(images)) __builtin_trap();
    std::vector<IconImage> again;
    if (!parseIconFile(iconFile(images), again, error) || iconFile(again) != iconFile(images)) __builtin_trap();
}

void checkResourceSection(const std::string& bytes) {
    const uint32_t rva = 0x5000;
    std::vector<ResourceEntry> entries;
    std::string error;
    if (!parseResourceSection(bytes, rva, entries, error)) return;
    std::string laid = buildResourceSection(entries, rva);
    std::vector<ResourceEntry> back;
    if (!parseResourceSection(laid, rva, back, error) || buildResourceSection(back, rva) != laid) __builtin_trap();
    // What --dump reads out of a launcher's resources.
    std::vector<IconImage> images;
    iconOfResources(entries, images);
    for (const ResourceEntry* e : findResources(entries, ResourceId::number(kResourceVersion))) {
        VersionInfo info;
        parseVersionResource(e->data, info);
    }
    for (const ResourceEntry* e : findResources(entries, ResourceId::number(kResourceBitmap))) {
        int width = 0, height = 0;
        if (dibSize(e->data, width, height)) bmpFileOfDib(e->data);
    }
    for (const ResourceEntry* e : findResources(entries, ResourceId::number(kResourceManifest))) {
        std::string level, dpi;
        manifestSettings(e->data, level, dpi);
    }
}

void checkVersionResource(const std::string& bytes) {
    VersionInfo info;
    if (!parseVersionResource(bytes, info)) return;
    VersionInfo back;
    if (!parseVersionResource(versionResource(info), back) || back.values != info.values) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    checkIconFile(bytes);
    checkResourceSection(bytes);
    checkVersionResource(bytes);
    return 0;
}
