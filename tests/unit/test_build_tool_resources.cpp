// The build tool's resource work: the resource tree read and laid out again,
// icons, the splash image, version information, the manifest, the image
// edit, and the directives from configuration text to stamped launcher.
#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include "app_launcher.h"
#include "app_resources.h"
#include "block_dump.h"
#include "build_tool_files.h"
#include "config/config_block.h"
#include "config/pe_image.h"
#include "config_text.h"
#include "le_bytes.h"
#include "pe_edit.h"
#include "pe_resources.h"

namespace zorvo {
namespace buildtool {
namespace {

namespace fs = std::filesystem;

ResourceEntry entry(ResourceId type, ResourceId name, uint16_t language, const std::string& data) {
    ResourceEntry e;
    e.type = type;
    e.name = name;
    e.language = language;
    e.data = data;
    return e;
}

std::vector<ResourceEntry> sampleEntries() {
    return {
        entry(ResourceId::number(kResourceManifest), ResourceId::number(1), 1033, "<assembly/>"),
        entry(ResourceId::named(u"CUSTOM"), ResourceId::named(u"zeta"), 0, "z"),
        entry(ResourceId::number(kResourceBitmap), ResourceId::number(10000), 1033, std::string(41, 'b')),
        entry(ResourceId::named(u"CUSTOM"), ResourceId::named(u"Alpha"), 7, "a7"),
        entry(ResourceId::named(u"CUSTOM"), ResourceId::named(u"Alpha"), 3, "a3"),
        entry(ResourceId::number(kResourceIcon), ResourceId::number(2), 1033, std::string(5, '\x01')),
    };
}

TEST(PeResources, TheTreeIsReadBackAndLaidOutTheSameWay) {
    const uint32_t rva = 0x2A000;
    std::string section = buildResourceSection(sampleEntries(), rva);
    std::vector<ResourceEntry> read;
    std::string error;
    ASSERT_TRUE(parseResourceSection(section, rva, read, error)) << error;
    ASSERT_EQ(read.size(), 6u);
    // Directory order: named types first, names before numbers, languages ascending.
    EXPECT_TRUE(read[0].type == ResourceId::named(u"CUSTOM") && read[0].name == ResourceId::named(u"Alpha"));
    EXPECT_EQ(read[0].language, 3);
    EXPECT_EQ(read[2].name, ResourceId::named(u"zeta"));
    EXPECT_EQ(read[5].type, ResourceId::number(kResourceManifest));
    EXPECT_EQ(read[3].data, std::string(41, 'b'));
    EXPECT_EQ(buildResourceSection(read, rva), section) << "laid out again unchanged";
    std::vector<ResourceEntry> reversed(read.rbegin(), read.rend());
    EXPECT_EQ(buildResourceSection(reversed, rva), section) << "the order given does not matter";
    const ResourceEntry* bitmap = findResource(read, ResourceId::number(kResourceBitmap), ResourceId::number(10000));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->data.size(), 41u);
}

TEST(PeResources, DamagedTreesAreRefused) {
    const uint32_t rva = 0x1000;
    std::string good = buildResourceSection(sampleEntries(), rva);
    std::vector<ResourceEntry> read;
    std::string error;
    struct Case {
        const char* what;
        std::string section;
    } cases[] = {
        {"empty", ""},
        {"cut in the root", good.substr(0, 10)},
        {"huge entry count", [&] { std::string s = good; put16(s, 14, 0xFFFF); return s; }()},
        {"a directory pointing at itself", [&] { std::string s = good; put32(s, 20, 0x80000000u); return s; }()},
        {"a directory beyond the section", [&] { std::string s = good; put32(s, 20, 0x80100000u); return s; }()},
        {"a data entry at the top level", [&] { std::string s = good; put32(s, 20, 0x40); return s; }()},
        {"cut before the data", good.substr(0, good.size() - 8)},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(parseResourceSection(c.section, rva, read, error)) << c.what;
        EXPECT_TRUE(read.empty()) << c.what;
    }
    // Data pointing outside the section: the data entry's RVA moved behind it.
    std::string moved = good;
    size_t dataEntry = moved.size() - 8;
    for (size_t at = 0; at + 16 <= good.size(); at += 4) {
        if (get32(good, at) >= rva && get32(good, at) < rva + good.size() && get32(good, at + 4) == 41) dataEntry = at;
    }
    put32(moved, dataEntry, rva + static_cast<uint32_t>(moved.size()) - 8);
    EXPECT_FALSE(parseResourceSection(moved, rva, read, error));

    // A tree that fans out 65535 x 65535 ways into an empty directory is
    // refused in bounded time, not walked.
    const size_t wide = 16 + 0xFFFF * 8;
    std::string fan(2 * wide + 16, '\0');
    put16(fan, 14, 0xFFFF);
    put16(fan, wide + 14, 0xFFFF);
    for (uint32_t i = 0; i < 0xFFFF; ++i) {
        put32(fan, 16 + 8 * i, i);
        put32(fan, 20 + 8 * i, 0x80000000u | static_cast<uint32_t>(wide));
        put32(fan, wide + 16 + 8 * i, i);
        put32(fan, wide + 20 + 8 * i, 0x80000000u | static_cast<uint32_t>(2 * wide));
    }
    EXPECT_FALSE(parseResourceSection(fan, rva, read, error));
    EXPECT_NE(error.find("too many"), std::string::npos) << error;

    // Languages sharing one blob larger than half the section: each copy
    // would multiply the memory taken, so the sum is bounded by the section.
    auto sharing = [&](int languages) {
        std::string s(96 + 200, 'x');
        for (size_t dir : {0, 24, 48}) s.replace(dir, 16, 16, '\0');
        put16(s, 14, 1), put32(s, 16, 3), put32(s, 20, 0x80000000u | 24);
        put16(s, 24 + 14, 1), put32(s, 40, 1), put32(s, 44, 0x80000000u | 48);
        put16(s, 48 + 14, static_cast<uint32_t>(languages));
        for (int k = 0; k < languages; ++k) put32(s, 64 + 8 * k, static_cast<uint32_t>(k)), put32(s, 68 + 8 * k, 80);
        put32(s, 80, rva + 96), put32(s, 84, 200), put32(s, 88, 0), put32(s, 92, 0);
        return s;
    };
    ASSERT_TRUE(parseResourceSection(sharing(1), rva, read, error)) << error;
    EXPECT_EQ(read.size(), 1u);
    EXPECT_FALSE(parseResourceSection(sharing(2), rva, read, error));
}

std::string pngOf(int width, int height, const std::vector<uint32_t>& rgba) {
    std::string out;
    std::vector<unsigned char> bytes;
    for (uint32_t p : rgba) {
        for (int shift : {24, 16, 8, 0}) bytes.push_back(static_cast<unsigned char>(p >> shift));
    }
    stbi_write_png_to_func([](void* ctx, void* data, int size) { static_cast<std::string*>(ctx)->append(
                               static_cast<const char*>(data), static_cast<size_t>(size)); },
                           &out, width, height, 4, bytes.data(), width * 4);
    return out;
}

TEST(AppResources, PngBecomesABottomUpDibOnTheLightGreyFill) {
    // Top row: opaque red, transparent blue; bottom row: half-transparent green, opaque white.
    std::string png = pngOf(2, 2, {0xFF0000FF, 0x0000FF00, 0x00FF0080, 0xFFFFFFFF});
    std::string dib, error;
    int width = 0, height = 0;
    ASSERT_TRUE(splashBitmapOfImage(png, dib, width, height, error)) << error;
    EXPECT_EQ(width, 2);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(get32(dib, 0), 40u);
    EXPECT_EQ(static_cast<int32_t>(get32(dib, 8)), 2) << "positive height: bottom-up";
    EXPECT_EQ(get16(dib, 14), 24u);
    ASSERT_EQ(dib.size(), 40u + 2 * 8);
    auto pixel = [&](int row, int x) {  // blue, green, red of the stored row
        size_t at = 40 + static_cast<size_t>(row) * 8 + static_cast<size_t>(x) * 3;
        return std::vector<int>{static_cast<unsigned char>(dib[at]), static_cast<unsigned char>(dib[at + 1]),
                                static_cast<unsigned char>(dib[at + 2])};
    };
    const int half = (255 * 128 + 192 * 127 + 127) / 255;
    const int rest = (192 * 127 + 127) / 255;
    EXPECT_EQ(pixel(0, 0), (std::vector<int>{rest, half, rest})) << "bottom row stored first";
    EXPECT_EQ(pixel(0, 1), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(pixel(1, 0), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(pixel(1, 1), (std::vector<int>{192, 192, 192})) << "transparent shows the fill";

    // A plain 24-bit BMP is taken as it stands; its file form gives it back.
    std::string again, bmp = bmpFileOfDib(dib);
    ASSERT_TRUE(splashBitmapOfImage(bmp, again, width, height, error)) << error;
    EXPECT_EQ(again, dib);

    for (const std::string& bad : {pngOf(4097, 1, std::vector<uint32_t>(4097, 0)), std::string("\x89PNG\r\n\x1a\nxx"),
                                   std::string("BM"), std::string()}) {
        EXPECT_FALSE(splashBitmapOfImage(bad, again, width, height, error));
    }
    EXPECT_NE(error.find("not a PNG or BMP"), std::string::npos) << error;
    // An image too large for the decoder is named by the size its header states.
    std::string huge("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x4e\x20\0\0\x4e\x20\x08\x06\0\0\0\0\0\0\0", 33);
    EXPECT_FALSE(splashBitmapOfImage(huge, again, width, height, error));
    EXPECT_EQ(error, "an image of 20000 x 20000 pixels (at most 4096 x 4096)");
}

// A BMP file of one plane: a 12-byte (OS/2) or 40-byte header, no colour table.
static std::string bmpFile(uint32_t headerSize, int32_t width, int32_t height, uint16_t bits, const std::string& pixels) {
    std::string bmp("BM", 2);
    add32(bmp, 14 + headerSize + static_cast<uint32_t>(pixels.size()));
    add32(bmp, 0);
    add32(bmp, 14 + headerSize);
    add32(bmp, headerSize);
    if (headerSize == 12) {
        add16(bmp, static_cast<uint16_t>(width));
        add16(bmp, static_cast<uint16_t>(height));
    } else {
        add32(bmp, static_cast<uint32_t>(width));
        add32(bmp, static_cast<uint32_t>(height));
    }
    add16(bmp, 1);
    add16(bmp, bits);
    if (headerSize == 40) {
        for (int i = 0; i < 6; ++i) add32(bmp, 0);
    }
    return bmp + pixels;
}

TEST(AppResources, BitmapsWithOtherHeadersAreRead) {
    // 2 x 1 pixels, 24 bits, a 12-byte header: blue then red.
    std::string dib, error;
    int width = 0, height = 0;
    ASSERT_TRUE(splashBitmapOfImage(bmpFile(12, 2, 1, 24, std::string("\xff\0\0\0\0\xff\0\0", 8)), dib, width, height,
                                    error))
        << error;
    EXPECT_EQ(width, 2);
    EXPECT_EQ(height, 1);
    EXPECT_EQ(dib.substr(40, 6), std::string("\xff\0\0\0\0\xff", 6));

    // A top-down bitmap (negative height), 1 x 2 pixels of 32 bits: red above blue.
    ASSERT_TRUE(splashBitmapOfImage(bmpFile(40, 1, -2, 32, std::string("\0\0\xff\xff\xff\0\0\xff", 8)), dib, width,
                                    height, error))
        << error;
    EXPECT_EQ(height, 2);
    // Bottom-up: blue's row first, each padded to 4 bytes.
    EXPECT_EQ(dib.substr(40, 8), std::string("\xff\0\0\0\0\0\xff\0", 8));
}

TEST(AppResources, IconFilesAndTheIconGroup) {
    std::vector<IconImage> images(2);
    images[0] = IconImage{16, 16, 0, 0, 1, 32, std::string(40, 'd')};
    images[1] = IconImage{0, 0, 0, 0, 1, 32, std::string("\x89PNG\r\n\x1a\n...", 11)};
    std::string ico = iconFile(images);
    std::vector<IconImage> read;
    std::string error;
    ASSERT_TRUE(parseIconFile(ico, read, error)) << error;
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].data, images[1].data);
    EXPECT_EQ(read[0].width, 16);

    std::vector<ResourceEntry> entries = sampleEntries();
    entries.push_back(entry(ResourceId::number(kResourceGroupIcon), ResourceId::named(u"ID_SPLASH_ICON"), 1041, "old"));
    replaceIcon(entries, read);
    EXPECT_EQ(findResources(entries, ResourceId::number(kResourceIcon)).size(), 2u) << "the old image is gone";
    const ResourceEntry* group =
        findResource(entries, ResourceId::number(kResourceGroupIcon), ResourceId::named(u"ID_SPLASH_ICON"));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->language, 1041);
    std::vector<IconImage> back;
    ASSERT_TRUE(iconOfResources(entries, back));
    EXPECT_EQ(iconFile(back), ico);

    struct Case {
        const char* what;
        std::string file;
    } bad[] = {
        {"empty", ""},
        {"not an icon", "GIF89a"},
        {"no images", std::string("\0\0\1\0\0\0", 6)},
        {"too many images", std::string("\0\0\1\0\xFF\0", 6)},
        {"directory cut", ico.substr(0, 20)},
        {"image beyond the file", ico.substr(0, ico.size() - 1)},
        {"image offset far out", [&] { std::string s = ico; put32(s, 6 + 12, 0xFFFFFFF0u); return s; }()},
        {"empty image", [&] { std::string s = ico; put32(s, 6 + 8, 0); return s; }()},
        {"images sharing their bytes", [&] { std::string s = ico; put32(s, 6 + 16 + 12, get32(s, 6 + 12)); return s; }()},
    };
    for (const Case& c : bad) {
        EXPECT_FALSE(parseIconFile(c.file, read, error)) << c.what;
    }
}

TEST(AppResources, VersionResourceLayoutAndFields) {
    VersionInfo info;
    info.values[0] = u"1.2.3.4";
    info.values[2] = u"Sample App \u00e9";
    info.values[8] = u"x";
    std::string data = versionResource(info);
    EXPECT_EQ(get16(data, 0), data.size()) << "the root's length";
    EXPECT_EQ(get16(data, 2), 52u) << "VS_FIXEDFILEINFO";
    EXPECT_EQ(get32(data, 40), 0xFEEF04BDu);
    EXPECT_EQ(get32(data, 48), 0x00010002u) << "file version 1.2";
    EXPECT_EQ(get32(data, 52), 0x00030004u) << "file version .3.4";
    EXPECT_EQ(get32(data, 56), 0x00010002u) << "the product version defaults to the file version";
    VersionInfo back;
    ASSERT_TRUE(parseVersionResource(data, back));
    EXPECT_EQ(back.values, info.values);
    EXPECT_FALSE(parseVersionResource(data.substr(0, 30), back));

    uint32_t high, low;
    EXPECT_TRUE(parseVersionNumber(u"65535.0.7", high, low));
    EXPECT_EQ(high, 0xFFFF0000u);
    EXPECT_EQ(low, 0x00070000u);
    for (const char16_t* bad : {u"", u"1.", u"1..2", u"1.2.3.4.5", u"65536", u"v1", u"1.-2", u"123456"}) {
        EXPECT_FALSE(parseVersionNumber(bad, high, low));
    }
}

TEST(AppResources, ManifestSettingsChangeAndReadBack) {
    const std::string manifest =
        "<assembly>\n  <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>\n</assembly>\n";
    std::string out, error, level, dpi;
    ASSERT_TRUE(editManifest(manifest, "requireAdministrator", "per-monitor", out, error)) << error;
    manifestSettings(out, level, dpi);
    EXPECT_EQ(level, "requireAdministrator");
    EXPECT_EQ(dpi, "per-monitor");
    EXPECT_NE(out.find("uiAccess=\"false\""), std::string::npos) << "everything else stays";
    EXPECT_FALSE(editManifest(out, "", "system", out, error)) << "a second DPI setting";
    ASSERT_TRUE(editManifest(manifest, "asInvoker", "unaware", out, error));
    EXPECT_EQ(out, manifest) << "the defaults change nothing";
    EXPECT_FALSE(editManifest("<assembly/>", "asInvoker", "", out, error));
}

// A generic launcher's image of 5 sections whose last one holds a real
// resource tree, as the linker lays it out (file alignment 0x200).
std::string launcherWithResources(bool win64) {
    const uint32_t optional = 152, size = win64 ? 240 : 224, sections = optional + size;
    const uint32_t directories = optional + (win64 ? 112 : 96);
    std::vector<ResourceEntry> entries = sampleEntries();
    entries.push_back(entry(ResourceId::number(kResourceManifest), ResourceId::number(1), 1033,
                            "<assembly>\n<requestedExecutionLevel level=\"asInvoker\"/>\n</assembly>\n"));
    std::string rsrc = buildResourceSection(entries, 0x5000);
    std::string img(0x800, '\0');
    putLauncherHeaders(img, win64);
    put32(img, optional + 32, 0x1000);
    put32(img, optional + 36, 0x200);
    const uint32_t raw[5] = {0x200, 0x400, 0x600, 0x600, 0x800};
    for (uint32_t i = 0; i < 5; ++i) {
        put32(img, sections + 40 * i + 12, 0x1000 * (i + 1));
        put32(img, sections + 40 * i + 16, i == 2 ? 0 : i == 4 ? 0x200 * ((rsrc.size() + 0x1FF) / 0x200) : 0x200);
        put32(img, sections + 40 * i + 20, raw[i]);
        put32(img, sections + 40 * i + 8, i == 4 ? static_cast<uint32_t>(rsrc.size()) : 0x100);
    }
    put32(img, directories + 16, 0x5000);
    put32(img, directories + 20, static_cast<uint32_t>(rsrc.size()));
    img += rsrc;
    img.resize(0x800 + 0x200 * ((rsrc.size() + 0x1FF) / 0x200), '\0');
    put32(img, optional + 56, 0x5000 + 0x1000);
    put32(img, optional + 64, peChecksum(img));
    return img;
}

TEST(AppResources, DirectivesMakeAStampedLauncherThatTheDumpRebuilds) {
    for (bool win64 : {false, true}) {
        TempDir dir;
        writeFile(dir / "launcher.exe", launcherWithResources(win64));
        writeFile(dir / "app.ico", iconFile({IconImage{16, 16, 0, 0, 1, 32, std::string(40, 'i')}}));
        writeFile(dir / "splash.png", pngOf(3, 2, std::vector<uint32_t>(6, 0x336699FF)));
        writeFile(dir / "app.conf",
                  "main-class = M\nicon = app.ico\nsplash-image = splash.png\nfile-version = 2.0\n"
                  "product-name = P \\u00e9\nexecution-level = requireAdministrator\ndpi-aware = system\n"
                  "subsystem = console\n");
        std::string error;
        // An output name beyond ASCII (UTF-8 on the host).
        const std::string name = "app\xce\x94.exe";
        ASSERT_TRUE(buildApplicationLauncher(BuildRequest{dir / "launcher.exe", dir / "app.conf", dir / name, {}},
                                             error))
            << error;
        std::string out = readFile(dir / name);
        ByteSource src = memoryByteSource(out.data(), out.size());
        ConfigTables tables;
        ASSERT_EQ(parseConfigBlock(src, launcherLayoutOf(src), tables), BlockError::None);
        // The splash window takes the image's size.
        EXPECT_EQ(configInt(tables, cfg::kSplashWidth), 3);
        EXPECT_EQ(configInt(tables, cfg::kSplashHeight), 2);
        // A console program, whose messages go to standard error.
        EXPECT_EQ(get16(out, 152 + 68), 3u);
        EXPECT_EQ(get16(launcherWithResources(win64), 152 + 68), 2u);
        EXPECT_EQ(configInt(tables, cfg::kAppType), 0);
        std::string image = out.substr(0, tables.embeddedStreamOffset);
        releaseConfigTables(tables);
        BlockContents block;
        ASSERT_TRUE(readBlockContents(src, block, error)) << error;
        image.resize(block.blockOffset);
        std::string why;
        EXPECT_TRUE(checkGenericLauncher(memoryByteSource(image.data(), image.size()), why)) << why;
        EXPECT_EQ(get32(out, 152 + 64), peChecksum(out)) << "the checksum is the whole output's";
        std::string section;
        uint32_t rva;
        std::vector<ResourceEntry> entries;
        ASSERT_TRUE(readResourceSection(image, section, rva, error) && parseResourceSection(section, rva, entries, error))
            << error;
        EXPECT_EQ(findResources(entries, ResourceId::named(u"CUSTOM")).size(), 3u) << "other resources stay";
        VersionInfo info;
        ASSERT_TRUE(parseVersionResource(
            findResource(entries, ResourceId::number(kResourceVersion), ResourceId::number(1))->data, info));
        EXPECT_EQ(info.values[6], u"app\u0394.exe") << "the original file name defaults to the output's";

        std::ostringstream dump;
        ASSERT_TRUE(dumpLauncher(src, DumpOptions{name, dir / "extracted"}, dump, error)) << error;
        writeFile(dir / "again.conf", dump.str());
        ASSERT_TRUE(buildApplicationLauncher(
            BuildRequest{dir / "launcher.exe", dir / "again.conf", dir / "again.exe", {}}, error))
            << error << "\n" << dump.str();
        EXPECT_EQ(readFile(dir / "again.exe"), out) << dump.str();
    }
}

TEST(AppResources, DirectiveErrorsNameTheirLine) {
    TempDir dir;
    writeFile(dir / "launcher.exe", launcherWithResources(false));
    writeFile(dir / "bad.ico", "not an icon");
    writeFile(dir / "big.png", pngOf(4100, 1, std::vector<uint32_t>(4100, 0)));
    struct Case {
        const char* config;
        const char* error;  // behind "app.conf:"
    } cases[] = {
        {"icon = a.ico\nicon = b.ico\n", "2: icon is given on line 1 already"},
        {"execution-level = admin\n", "1: execution-level is one of asInvoker, highestAvailable, requireAdministrator, "
                                      "not 'admin'"},
        {"dpi-aware = yes\n", "1: dpi-aware is one of unaware, system, per-monitor, not 'yes'"},
        {"subsystem = gui\n", "1: subsystem is one of windows, console, not 'gui'"},
        {"file-version = 1.2.x\n", "1: file-version needs one to four numbers from 0 to 65535 separated by dots, not "
                                   "'1.2.x'"},
        {"product-name =\n", "1: product-name needs a value"},
        {"\nicon = bad.ico\n", "2: cannot use icon '"},
        {"splash-image = big.png\n", "1: cannot use splash image '"},
        {"splash-image = missing.png\n", "1: cannot use splash image '"},
    };
    for (const Case& c : cases) {
        writeFile(dir / "app.conf", c.config);
        std::string error;
        EXPECT_FALSE(buildApplicationLauncher(BuildRequest{dir / "launcher.exe", dir / "app.conf", dir / "app.exe", {}},
                                              error))
            << c.config;
        EXPECT_EQ(error.rfind(dir / "app.conf:" + std::string(c.error), 0), 0u) << error;
        EXPECT_FALSE(fs::exists(dir / "app.exe")) << c.config;
    }
    writeFile(dir / "app.conf", "comments = " + std::string(1025, 'c') + "\n");
    std::string error;
    EXPECT_FALSE(buildApplicationLauncher(BuildRequest{dir / "launcher.exe", dir / "app.conf", dir / "app.exe", {}},
                                          error));
    EXPECT_NE(error.find("at most 1024 fit"), std::string::npos) << error;
}

TEST(AppResources, ASignedLauncherIsNoGenericLauncher) {
    std::string img = launcherWithResources(true);
    put32(img, 152 + 112 + 4 * 8, static_cast<uint32_t>(img.size()));
    put32(img, 152 + 112 + 4 * 8 + 4, 16);
    EXPECT_TRUE(isSignedImage(img));
    std::string problem;
    EXPECT_FALSE(checkGenericLauncher(memoryByteSource(img.data(), img.size()), problem));
    EXPECT_EQ(problem, "is signed: stamp the unsigned generic launcher, then sign the application's launcher");
}

}  // namespace
}  // namespace buildtool
}  // namespace zorvo
