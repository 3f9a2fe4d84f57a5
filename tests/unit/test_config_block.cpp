// The configuration block reader: format, duplicates, getters, hostile input.
#include <gtest/gtest.h>

#include "block_builder.h"
#include "config/config_block.h"
#include "config/pe_image.h"
#include "config/launcher_config.h"

namespace zorvo {
namespace {

using testing::Bytes;
using testing::launcherFile;
using testing::putInt;
using testing::putNarrow;
using testing::putWide;

struct Parsed {
    BlockError error;
    ConfigTables tables;
    ~Parsed() { releaseConfigTables(tables); }
};

void parseFile(const Bytes& file, Parsed& p) {
    ByteSource src = memoryByteSource(file.data(), file.size());
    p.error = parseConfigBlock(src, kLauncherLayout32, p.tables);
}

Bytes header(int32_t narrowCount) {
    Bytes b;
    putInt(b, static_cast<int32_t>(kBlockMagic));
    putInt(b, narrowCount);
    return b;
}

std::string narrowValue(const ConfigTables& t, ConfigId id, size_t size = 8192) {
    std::string buf(size, '\xAA');
    configString(t, id, buf.data(), size);
    return std::string(buf.c_str());
}

TEST(ConfigBlock, ReadsNarrowAndWideRecordsAndStreamOffset) {
    Bytes block = header(3);
    putNarrow(block, 122, "com.example.Main");
    putNarrow(block, 1000, "Error");
    putNarrow(block, 107, "1");
    putInt(block, 1);
    putWide(block, 20013, u"w\u00e9de");
    size_t blockSize = block.size();
    block.push_back(0x42);  // first byte of the embedded stream
    Bytes file = launcherFile(block);

    Parsed p;
    parseFile(file, p);
    ASSERT_EQ(p.error, BlockError::None);
    EXPECT_EQ(narrowValue(p.tables, 122), "com.example.Main");
    EXPECT_EQ(narrowValue(p.tables, 1000), "Error");
    EXPECT_EQ(configInt(p.tables, 107), 1);
    const WideEntry* w = findWideEntry(p.tables, 20013);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(w->value), w->units), u"w\u00e9de");
    EXPECT_EQ(w->value[w->units], 0);
    // The narrow and the wide table are separate key spaces.
    EXPECT_EQ(findNarrowEntry(p.tables, 20013), nullptr);
    EXPECT_EQ(findWideEntry(p.tables, 122), nullptr);
    EXPECT_EQ(p.tables.embeddedStreamOffset, 1024 + blockSize);
}

TEST(ConfigBlock, EmptyTablesPutTheStreamTwelveBytesBehindTheBlock) {
    Bytes block = header(0);
    putInt(block, 0);
    Parsed p;
    parseFile(launcherFile(block, 2048), p);
    ASSERT_EQ(p.error, BlockError::None);
    EXPECT_EQ(p.tables.narrowCount, 0u);
    EXPECT_EQ(p.tables.wideCount, 0u);
    EXPECT_EQ(p.tables.embeddedStreamOffset, 2048u + 12u);
    EXPECT_EQ(configInt(p.tables, 107), 0);
    EXPECT_EQ(narrowValue(p.tables, 1001), "");
    EXPECT_EQ(configColor(p.tables, 10114), 0u);
}

TEST(ConfigBlock, NegativeCountsMeanNoRecords) {
    Bytes block = header(-5);
    putInt(block, INT32_MIN);
    Parsed p;
    parseFile(launcherFile(block), p);
    ASSERT_EQ(p.error, BlockError::None);
    EXPECT_EQ(p.tables.narrowCount, 0u);
    EXPECT_EQ(p.tables.embeddedStreamOffset, 1024u + 12u);
}

TEST(ConfigBlock, LaterRecordOfTheSameIdWinsAndLookupsDoNotAdd) {
    Bytes block = header(4);
    putNarrow(block, 122, "first");
    putNarrow(block, 5, "x");
    putNarrow(block, 122, "second");
    putNarrow(block, 122, "third");
    putInt(block, 0);
    Parsed p;
    parseFile(launcherFile(block), p);
    ASSERT_EQ(p.error, BlockError::None);
    EXPECT_EQ(narrowValue(p.tables, 122), "third");
    EXPECT_EQ(p.tables.narrowCount, 2u);
    narrowValue(p.tables, 999);
    configInt(p.tables, 998);
    EXPECT_EQ(p.tables.narrowCount, 2u);
}

TEST(ConfigBlock, ZeroLengthRecordReadsLikeAMissingEntry) {
    Bytes block = header(1);
    putNarrow(block, 1001, "");
    putInt(block, 0);
    Parsed p;
    parseFile(launcherFile(block), p);
    ASSERT_EQ(p.error, BlockError::None);
    ASSERT_NE(findNarrowEntry(p.tables, 1001), nullptr);
    EXPECT_EQ(narrowValue(p.tables, 1001), narrowValue(p.tables, 1002));
    EXPECT_EQ(configInt(p.tables, 1001), 0);
}

TEST(ConfigBlock, ManyRecordsStaySortedWithTheLastValueOfEachId) {
    Bytes block = header(3000);
    for (int i = 0; i < 3000; ++i) putNarrow(block, (i * 7919) % 1000, std::to_string(i));
    putInt(block, 0);
    Parsed p;
    parseFile(launcherFile(block), p);
    ASSERT_EQ(p.error, BlockError::None);
    ASSERT_EQ(p.tables.narrowCount, 1000u);
    for (int id = 0; id < 1000; ++id) {
        int last = -1;
        for (int i = 0; i < 3000; ++i)
            if ((i * 7919) % 1000 == id) last = i;
        EXPECT_EQ(configInt(p.tables, id), last) << "id " << id;
    }
}

// Hostile and damaged files: each ends with the fixed error of the read that
// failed, never reads or allocates past the file.
struct BadBlockCase {
    const char* what;
    Bytes file;
    BlockError expected;
};

std::vector<BadBlockCase> badBlocks() {
    std::vector<BadBlockCase> cases;
    {
        Bytes tmp = launcherFile({}, 1024);  // no block appended: offsets point at the end
        cases.push_back({"no block behind the image", tmp, BlockError::ReadInt});
    }
    cases.push_back({"file shorter than the offset fields", Bytes(300, 0), BlockError::ReadInt});
    {
        Bytes b;
        putInt(b, 0x12345678);
        putInt(b, 0);
        putInt(b, 0);
        cases.push_back({"wrong magic", launcherFile(b), BlockError::Magic});
    }
    {
        Bytes b;
        b.push_back(0xD5);
        b.push_back(0x13);
        cases.push_back({"magic cut short", launcherFile(b), BlockError::ReadInt});
    }
    {
        Bytes b = header(1);
        putInt(b, 122);
        putInt(b, -1);
        putInt(b, 0);
        cases.push_back({"negative narrow length", launcherFile(b), BlockError::ReadString});
    }
    {
        Bytes b = header(1);
        putInt(b, 122);
        putInt(b, 0x7FFFFFFF);
        putInt(b, 0);
        cases.push_back({"narrow length beyond the file", launcherFile(b), BlockError::ReadString});
    }
    {
        Bytes b = header(1);
        putInt(b, 122);
        putInt(b, 10);
        b.insert(b.end(), {'a', 'b', 'c'});
        cases.push_back({"narrow text shorter than its length", launcherFile(b), BlockError::ReadString});
    }
    {
        Bytes b = header(0);
        putInt(b, 1);
        putInt(b, 20013);
        putInt(b, 3);
        b.insert(b.end(), {'a', 0, 'b', 0});
        cases.push_back({"odd wide length", launcherFile(b), BlockError::ReadWString});
    }
    {
        Bytes b = header(0);
        putInt(b, 1);
        putInt(b, 20013);
        putInt(b, -2);
        cases.push_back({"negative wide length", launcherFile(b), BlockError::ReadWString});
    }
    {
        Bytes b = header(0);
        putInt(b, 1);
        putInt(b, 20013);
        putInt(b, 0x7FFFFFFE);
        cases.push_back({"wide length beyond the file", launcherFile(b), BlockError::ReadWString});
    }
    {
        Bytes b = header(5);
        putNarrow(b, 1, "a");
        putNarrow(b, 2, "b");
        cases.push_back({"narrow count larger than the records", launcherFile(b), BlockError::ReadInt});
    }
    {
        Bytes b = header(0x7FFFFFFF);
        putNarrow(b, 1, "");
        cases.push_back({"huge narrow count", launcherFile(b), BlockError::ReadInt});
    }
    {
        Bytes b = header(0);
        putInt(b, 0x7FFFFFFF);
        cases.push_back({"huge wide count", launcherFile(b), BlockError::ReadInt});
    }
    {
        Bytes b = header(0);
        cases.push_back({"wide count missing", launcherFile(b), BlockError::ReadInt});
    }
    {
        Bytes file = launcherFile({}, 1024);
        for (int i = 0; i < 4; ++i) file[552 + i] = 0xFF;  // A = -1
        for (int i = 0; i < 4; ++i) file[556 + i] = i == 3 ? 0x80 : 0;  // B = INT32_MIN
        cases.push_back({"offsets summing to a negative position", file, BlockError::ReadInt});
    }
    {
        Bytes file = launcherFile({}, 1024);
        for (int i = 0; i < 4; ++i) file[552 + i] = i == 3 ? 0x7F : 0xFF;
        for (int i = 0; i < 4; ++i) file[556 + i] = i == 3 ? 0x7F : 0xFF;
        cases.push_back({"offsets summing past 4 GiB", file, BlockError::ReadInt});
    }
    return cases;
}

TEST(ConfigBlock, DamagedBlocksFailWithTheReadThatFailed) {
    for (const BadBlockCase& c : badBlocks()) {
        Parsed p;
        parseFile(c.file, p);
        EXPECT_EQ(p.error, c.expected) << c.what;
        EXPECT_EQ(p.tables.narrowCount, 0u) << c.what;
        EXPECT_EQ(p.tables.narrow, nullptr) << c.what;
    }
}

// Keeps "n<index>:<id>=<value>" (or "w...") for each record a walk hands over;
// refuses a record of id 666.
bool keepRecord(void* context, const BlockRecord& r, BlockReader& value) {
    std::string bytes(r.length, '\0');
    if (r.id == 666 || (r.length > 0 && !value.readExact(&bytes[0], r.length))) return false;
    std::string seen = (r.wide ? "w" : "n") + std::to_string(r.index) + ":" + std::to_string(r.id) + "=" + bytes;
    static_cast<std::vector<std::string>*>(context)->push_back(seen);
    return true;
}

BlockWalk walkFile(const Bytes& file, std::vector<std::string>& seen) {
    return walkConfigBlock(memoryByteSource(file.data(), file.size()), kLauncherLayout32, keepRecord, &seen);
}

// The one walk of the block: every record reaches the sink in file order,
// duplicates included; a damaged block stops it where the launcher's tables
// stop, and the walk says where.
TEST(ConfigBlock, TheWalkHandsOverRecordsInFileOrderAndStopsWhereTheTablesStop) {
    Bytes block = header(3);
    putNarrow(block, 122, "first");
    putNarrow(block, 5, "x");
    putNarrow(block, 122, "second");
    putInt(block, 1);
    putWide(block, 20013, u"w");
    Bytes file = launcherFile(block);
    std::vector<std::string> seen;
    BlockWalk walk = walkFile(file, seen);
    EXPECT_EQ(walk.step, BlockStep::Done);
    EXPECT_EQ(walk.blockOffset, 1024u);
    EXPECT_EQ(walk.end, file.size());
    const std::vector<std::string> inFileOrder = {"n0:122=first", "n1:5=x", "n2:122=second",
                                                  std::string("w0:20013=w\0", 11)};
    EXPECT_EQ(seen, inFileOrder);

    for (const BadBlockCase& c : badBlocks()) {
        EXPECT_EQ(blockErrorOf(walkFile(c.file, seen)), c.expected) << c.what;
    }

    struct Stop {
        const char* what;
        Bytes block;
        BlockStep step;
        bool wide;
        int32_t index, id, length;  // id and length: of a record whose header was read
    };
    Bytes cut = header(2), odd = header(0), refused = header(1);
    putNarrow(cut, 1, "a");
    putInt(cut, 7);
    putInt(odd, 1);
    putInt(odd, 20013);
    putInt(odd, 3);
    putNarrow(refused, 666, "no");
    const Stop stops[] = {
        {"second record cut", cut, BlockStep::RecordHeader, false, 1, 0, 0},
        {"odd wide length", odd, BlockStep::RecordLength, true, 0, 20013, 3},
        {"record the sink refuses", refused, BlockStep::RecordValue, false, 0, 666, 2},
    };
    for (const Stop& s : stops) {
        walk = walkFile(launcherFile(s.block), seen);
        EXPECT_EQ(walk.step, s.step) << s.what;
        EXPECT_EQ(walk.wide, s.wide) << s.what;
        EXPECT_EQ(walk.index, s.index) << s.what;
        if (s.step == BlockStep::RecordHeader) continue;
        EXPECT_EQ(walk.id, s.id) << s.what;
        EXPECT_EQ(walk.length, s.length) << s.what;
    }
    EXPECT_EQ(walkFile(Bytes(300, 0), seen).step, BlockStep::OffsetA);
}

TEST(ConfigBlock, ErrorTextsAreTheFixedInternalErrors) {
    EXPECT_STREQ(blockErrorText(BlockError::ReadInt), "Internal Error: readInt");
    EXPECT_STREQ(blockErrorText(BlockError::Magic), "Internal Error: magic");
    EXPECT_STREQ(blockErrorText(BlockError::ReadString), "Internal Error: readString");
    EXPECT_STREQ(blockErrorText(BlockError::ReadWString), "Internal Error: readWString");
}

TEST(ConfigGetters, IntegersReadLikeAtoi) {
    struct {
        const char* text;
        int32_t expected;
    } cases[] = {
        {"12abc", 12}, {"-3", -3}, {"abc", 0}, {"", 0}, {"  \t42", 42}, {"+7", 7},
        {"- 5", 0}, {"0x10", 0}, {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
        {"99999999999999999999", 2147483647}, {"-99999999999999999999", INT32_MIN}, {"1 2", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(parseConfigInt(c.text), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(parseConfigInt(nullptr), 0);
}

TEST(ConfigGetters, ColoursAreRedInTheLowByte) {
    struct {
        const char* text;
        uint32_t expected;
    } cases[] = {
        {"0,0,0", 0u}, {"255,0,0", 255u}, {"0,0,255", 16711680u}, {"0,255,0", 65280u},
        {"1,2,3", 1u + 2u * 256u + 3u * 65536u}, {" 10, 20 ,30", 10u + 20u * 256u + 30u * 65536u},
        {"300,-4,0", 255u}, {"7", 7u}, {"7,8", 7u + 8u * 256u}, {"", 0u}, {"a,b,c", 0u},
    };
    for (const auto& c : cases) EXPECT_EQ(parseConfigColor(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ConfigGetters, StringsAreCutToTheBufferAndAlwaysTerminated) {
    Bytes block = header(2);
    putNarrow(block, 2001, "installer");
    putNarrow(block, 1001, std::string(9000, 'x'));
    putInt(block, 0);
    Parsed p;
    parseFile(launcherFile(block), p);
    ASSERT_EQ(p.error, BlockError::None);
    EXPECT_EQ(narrowValue(p.tables, 2001, 2), "i");
    EXPECT_EQ(narrowValue(p.tables, 2001, 1), "");
    EXPECT_EQ(narrowValue(p.tables, 1001).size(), 8191u);
    char untouched = 'Q';
    configString(p.tables, 1001, &untouched, 0);
    EXPECT_EQ(untouched, 'Q');
}

TEST(ConfigGetters, ProcessWideGettersReadTheInstalledTables) {
    Bytes block = header(2);
    putNarrow(block, 107, "5");
    putNarrow(block, 10114, "0,0,255");
    putInt(block, 0);
    ConfigTables tables;
    Bytes file = launcherFile(block);
    ByteSource src = memoryByteSource(file.data(), file.size());
    ASSERT_EQ(parseConfigBlock(src, kLauncherLayout32, tables), BlockError::None);
    LauncherConfig::install(tables);
    EXPECT_EQ(getConfigInt(107), 5);
    EXPECT_EQ(getConfigColor(10114), 16711680u);
    EXPECT_EQ(embeddedStreamOffset(), tables.embeddedStreamOffset);
    LauncherConfig::install(ConfigTables{});
    releaseConfigTables(tables);
    EXPECT_EQ(getConfigInt(107), 0);
}

}  // namespace
}  // namespace zorvo
