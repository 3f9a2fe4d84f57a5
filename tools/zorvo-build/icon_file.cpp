// Icons: .ico files and the launcher's icon group.
#include "app_resources.h"

#include <algorithm>
#include <utility>

#include "le_bytes.h"

namespace zorvo {
namespace buildtool {
namespace {

const char16_t kIconGroupName[] = u"ID_SPLASH_ICON";
constexpr size_t kIcoHeader = 6, kIcoEntry = 16, kGroupEntry = 14;

// The fields a .ico entry and a group entry share, in their order.
void addCommonFields(std::string& s, const IconImage& image) {
    s += static_cast<char>(image.width);
    s += static_cast<char>(image.height);
    s += static_cast<char>(image.colors);
    s += static_cast<char>(image.reserved);
    add16(s, image.planes);
    add16(s, image.bitCount);
    add32(s, static_cast<uint32_t>(image.data.size()));
}

IconImage commonFields(const std::string& s, size_t at) {
    IconImage image;
    image.width = static_cast<uint8_t>(s[at]);
    image.height = static_cast<uint8_t>(s[at + 1]);
    image.colors = static_cast<uint8_t>(s[at + 2]);
    image.reserved = static_cast<uint8_t>(s[at + 3]);
    image.planes = static_cast<uint16_t>(get16(s, at + 4));
    image.bitCount = static_cast<uint16_t>(get16(s, at + 6));
    return image;
}

uint16_t languageOfIcon(const std::vector<ResourceEntry>& entries) {
    const ResourceEntry* group =
        findResource(entries, ResourceId::number(kResourceGroupIcon), ResourceId::named(kIconGroupName));
    return group ? group->language : 0x0409;
}

}  // namespace

bool parseIconFile(const std::string& ico, std::vector<IconImage>& images, std::string& error) {
    images.clear();
    if (ico.size() < kIcoHeader || get16(ico, 0) != 0 || get16(ico, 2) != 1) {
        error = "not an icon file (no icon directory at its start)";
        return false;
    }
    size_t count = get16(ico, 4);
    if (count == 0 || count > kMaxIconImages) {
        error = "an icon file with " + std::to_string(count) + " images (1 to " + std::to_string(kMaxIconImages) +
                " are taken)";
        return false;
    }
    if (ico.size() < kIcoHeader + count * kIcoEntry) {
        error = "the icon directory runs past the end of the file";
        return false;
    }
    std::vector<std::pair<size_t, size_t>> spans;
    for (size_t i = 0; i < count; ++i) {
        size_t at = kIcoHeader + i * kIcoEntry;
        uint32_t size = get32(ico, at + 8), offset = get32(ico, at + 12);
        if (size == 0 || offset > ico.size() || size > ico.size() - offset) {
            error = "image " + std::to_string(i + 1) + " of the icon lies outside the file";
            return false;
        }
        spans.emplace_back(offset, size);
    }
    // Images share no bytes in a sound file; overlapping ones would multiply
    // the memory a crafted file takes.
    std::vector<std::pair<size_t, size_t>> sorted = spans;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 1; i < sorted.size(); ++i) {
        if (sorted[i].first < sorted[i - 1].first + sorted[i - 1].second) {
            error = "the images of the icon overlap";
            return false;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        IconImage image = commonFields(ico, kIcoHeader + i * kIcoEntry);
        image.data = ico.substr(spans[i].first, spans[i].second);
        images.push_back(std::move(image));
    }
    return true;
}

std::string iconFile(const std::vector<IconImage>& images) {
    std::string ico;
    add16(ico, 0);
    add16(ico, 1);
    add16(ico, static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(kIcoHeader + images.size() * kIcoEntry);
    for (const IconImage& image : images) {
        addCommonFields(ico, image);
        add32(ico, offset);
        offset += static_cast<uint32_t>(image.data.size());
    }
    for (const IconImage& image : images) ico += image.data;
    return ico;
}

void replaceIcon(std::vector<ResourceEntry>& entries, const std::vector<IconImage>& images) {
    uint16_t language = languageOfIcon(entries);
    removeResources(entries, ResourceId::number(kResourceGroupIcon));
    removeResources(entries, ResourceId::number(kResourceIcon));
    ResourceEntry group;
    group.type = ResourceId::number(kResourceGroupIcon);
    group.name = ResourceId::named(kIconGroupName);
    group.language = language;
    add16(group.data, 0);
    add16(group.data, 1);
    add16(group.data, static_cast<uint32_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        addCommonFields(group.data, images[i]);
        add16(group.data, static_cast<uint32_t>(i + 1));
        ResourceEntry icon;
        icon.type = ResourceId::number(kResourceIcon);
        icon.name = ResourceId::number(static_cast<uint16_t>(i + 1));
        icon.language = language;
        icon.data = images[i].data;
        entries.push_back(std::move(icon));
    }
    entries.push_back(std::move(group));
}

bool iconOfResources(const std::vector<ResourceEntry>& entries, std::vector<IconImage>& images) {
    images.clear();
    const ResourceEntry* group =
        findResource(entries, ResourceId::number(kResourceGroupIcon), ResourceId::named(kIconGroupName));
    if (!group || group->data.size() < kIcoHeader) return false;
    size_t count = get16(group->data, 4);
    if (count == 0 || count > kMaxIconImages || group->data.size() < kIcoHeader + count * kGroupEntry) return false;
    for (size_t i = 0; i < count; ++i) {
        size_t at = kIcoHeader + i * kGroupEntry;
        IconImage image = commonFields(group->data, at);
        uint16_t id = static_cast<uint16_t>(get16(group->data, at + 12));
        const ResourceEntry* icon = findResource(entries, ResourceId::number(kResourceIcon), ResourceId::number(id));
        if (!icon) {
            images.clear();
            return false;
        }
        image.data = icon->data;
        images.push_back(std::move(image));
    }
    return true;
}

}  // namespace buildtool
}  // namespace zorvo
