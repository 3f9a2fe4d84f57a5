// The PE header reads: the machine type of a runtime's executable, and the
// block offsets of the two generic launchers.
#include <gtest/gtest.h>

#include <string>

#include "block_builder.h"
#include "config/config_block.h"
#include "config/pe_image.h"

namespace zorvo {
namespace {

using testing::Bytes;

void put(Bytes& b, size_t at, uint32_t v, int n) {
    if (b.size() < at + n) b.resize(at + n, 0);
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// "MZ", the header offset at 0x3C, "PE\0\0" and the machine there.
Bytes image(uint16_t machine, uint32_t headerAt = 0x80, size_t size = 0x200) {
    Bytes b(size, 0);
    b[0] = 'M';
    b[1] = 'Z';
    put(b, 0x3C, headerAt, 4);
    if (size >= 6 && headerAt <= size - 6) {
        b[headerAt] = 'P';
        b[headerAt + 1] = 'E';
        put(b, headerAt + 4, machine, 2);
    }
    b.resize(size);
    return b;
}

uint16_t machineOf(const Bytes& b) { return peMachineOf(memoryByteSource(b.data(), b.size())); }

TEST(PeImage, MachineTypeOfAnExecutable) {
    EXPECT_EQ(machineOf(image(kMachineI386)), kMachineI386);
    EXPECT_EQ(machineOf(image(kMachineAmd64, 0xF8)), kMachineAmd64);
    EXPECT_EQ(machineOf(image(kMachineArm64)), kMachineArm64);
    // The header may sit right at the end of the file.
    EXPECT_EQ(machineOf(image(kMachineAmd64, 0x1FA, 0x200)), kMachineAmd64);

    Bytes text(0x200, 'x');
    EXPECT_EQ(machineOf(text), 0) << "no MZ";
    EXPECT_EQ(machineOf(Bytes{'M', 'Z'}), 0) << "cut inside the DOS header";
    EXPECT_EQ(machineOf(Bytes()), 0) << "empty";
    EXPECT_EQ(machineOf(image(kMachineAmd64, 0x1FB, 0x200)), 0) << "machine field cut off";
    EXPECT_EQ(machineOf(image(kMachineAmd64, 0x7FFFFFF0u)), 0) << "header offset far outside the file";
    EXPECT_EQ(machineOf(image(kMachineAmd64, 0xFFFFFFFFu)), 0) << "header offset at the top of the range";
    Bytes noSignature = image(kMachineI386);
    noSignature[0x81] = 'X';
    EXPECT_EQ(machineOf(noSignature), 0) << "no PE signature";
}

// Where the headers, sections and data directories are, read from a PE32+
// header at 0x80 with two section headers, and when they are not there.
TEST(PeImage, HeadersSectionsAndDirectories) {
    Bytes b = image(kMachineAmd64, 0x80, 0x400);
    put(b, 0x86, 2, 2);                          // sections
    put(b, 0x94, 240, 2);                        // SizeOfOptionalHeader
    put(b, 0x98, kPe32PlusMagic, 2);
    put(b, 0x98 + 112 + 8 * kResourceDirectory, 0x3000, 4);
    put(b, 0x98 + 240 + 40 + kSectionRvaField, 0x3000, 4);
    ByteSource src = memoryByteSource(b.data(), b.size());
    PeHeaders h;
    ASSERT_EQ(readPeHeaders(src, h), PeRead::Ok);
    EXPECT_EQ(h.machine, kMachineAmd64);
    EXPECT_EQ(h.sectionTableAt(), 0x98u + 240);
    EXPECT_EQ(h.checksumAt(), 0x98u + 64);
    EXPECT_TRUE(peHeadersFit(h, b.size()));
    PeSection section;
    PeDataDirectory directory;
    ASSERT_TRUE(readPeSection(src, h, 1, section) && readPeDataDirectory(src, h, kResourceDirectory, directory));
    EXPECT_EQ(section.rva, 0x3000u);
    EXPECT_EQ(directory.rva, 0x3000u);
    EXPECT_FALSE(peHeadersFit(h, h.sectionHeaderAt(1))) << "the second section header cut off";
    EXPECT_FALSE(readPeSection(memoryByteSource(b.data(), h.sectionHeaderAt(1)), h, 1, section));
    h.optionalHeaderSize = 100;
    EXPECT_FALSE(peHeadersFit(h, b.size())) << "data directories behind the section table";

    EXPECT_EQ(readPeHeaders(memoryByteSource(b.data(), 63), h), PeRead::NoDosHeader);
    EXPECT_EQ(readPeHeaders(memoryByteSource(b.data(), 0x80 + 25), h), PeRead::NoPeHeader) << "magic cut off";
    b[0x81] = 'X';
    EXPECT_EQ(readPeHeaders(src, h), PeRead::NoPeHeader);
    EXPECT_EQ(h.peOffset, 0x80u);
}

TEST(PeImage, EachLauncherFindsItsBlockThroughItsOwnOffsets) {
    Bytes block;
    testing::putInt(block, static_cast<int32_t>(kBlockMagic));
    testing::putInt(block, 0);
    testing::putInt(block, 0);
    for (const LauncherLayout* layout : {&kLauncherLayout32, &kLauncherLayout64}) {
        Bytes file = testing::launcherFile(block, 1024, layout->offsetFieldA);
        put(file, kLauncherPeHeaderOffset, 0x4550, 4);  // "PE\0\0"
        put(file, kLauncherPeHeaderOffset + 24, layout->optionalMagic, 2);
        ByteSource src = memoryByteSource(file.data(), file.size());
        EXPECT_EQ(&launcherLayoutOf(src), layout) << layout->name;
        const LauncherLayout& other = layout == &kLauncherLayout32 ? kLauncherLayout64 : kLauncherLayout32;
        ConfigTables tables;
        EXPECT_EQ(parseConfigBlock(src, *layout, tables), BlockError::None) << layout->name;
        EXPECT_EQ(tables.embeddedStreamOffset, file.size());
        releaseConfigTables(tables);
        // The other launcher's offsets hold nothing here: the block is not found.
        EXPECT_EQ(parseConfigBlock(src, other, tables), BlockError::Magic) << layout->name;
    }
    // Bytes that are no launcher at all are read by the 32-bit rule.
    Bytes junk(700, 0x20);
    EXPECT_EQ(&launcherLayoutOf(memoryByteSource(junk.data(), junk.size())), &kLauncherLayout32);
    EXPECT_EQ(ownLauncherLayout().offsetFieldA, sizeof(void*) == 8 ? 568u : 552u);
}

}  // namespace
}  // namespace zorvo
