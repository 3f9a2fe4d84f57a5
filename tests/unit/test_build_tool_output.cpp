// The build tool's output: the block and the embedded stream, the generic
// launcher checks, nothing written on error, the dump and its round trip,
// the command line and the generated entry reference.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app_launcher.h"
#include "pe_edit.h"
#include "block_dump.h"
#include "block_writer.h"
#include "build_tool_files.h"
#include "cli.h"
#include "config/config_block.h"
#include "config/pe_image.h"
#include "entry_reference.h"
#include "le_bytes.h"

namespace zorvo {
namespace buildtool {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A generic launcher's headers and five sections, 2048 bytes, the fifth
// section ending at the end of the file: 32-bit (PE32, block offset at
// 552/556) or 64-bit (PE32+, 568/572).
std::string fakeLauncher(bool win64 = false) {
    std::string img(2048, '\0');
    putLauncherHeaders(img, win64);
    const uint32_t sections = win64 ? 392 : 376;
    const uint32_t raw[5][2] = {{1024, 256}, {1280, 256}, {0, 0}, {1536, 256}, {1792, 256}};  // pointer, size
    for (int i = 0; i < 5; ++i) {
        put32(img, sections + 40 * i + 16, raw[i][1]);
        put32(img, sections + 40 * i + 20, raw[i][0]);
    }
    for (size_t i = 1024; i < img.size(); ++i) img[i] = static_cast<char>(i * 7);
    return img;
}

// Builds the configuration text against a fake launcher in `dir`; returns
// the output's bytes, or "" with `error` set. Building a dump's text again
// this way gives back the dumped output.
std::string build(const TempDir& dir, const std::string& config, std::string& error,
                  const std::vector<std::string>& raw = {}, bool win64 = false) {
    writeFile(dir / "launcher.exe", fakeLauncher(win64));
    writeFile(dir / "app.conf", config);
    if (!buildApplicationLauncher(BuildRequest{dir / "launcher.exe", dir / "app.conf", dir / "app.exe", raw}, error)) {
        return "";
    }
    return readFile(dir / "app.exe");
}

struct Parsed {
    ConfigTables tables;
    BlockContents block;
    Parsed() = default;
    Parsed(const Parsed&) = delete;
    ~Parsed() { releaseConfigTables(tables); }
};

// Parses an output image both ways: as the launcher does and in block order.
void parseImage(const std::string& image, Parsed& p) {
    ByteSource src = memoryByteSource(image.data(), image.size());
    ASSERT_EQ(parseConfigBlock(src, launcherLayoutOf(src), p.tables), BlockError::None);
    std::string error;
    ASSERT_TRUE(readBlockContents(src, p.block, error)) << error;
    ASSERT_EQ(p.block.streamOffset, p.tables.embeddedStreamOffset);
}

std::string narrowText(const ConfigTables& t, ConfigId id) {
    const NarrowEntry* e = findNarrowEntry(t, id);
    return e ? std::string(e->value, e->length) : std::string("<missing>");
}

std::vector<ConfigId> ids(const std::vector<Record>& records) {
    std::vector<ConfigId> out;
    for (const Record& r : records) out.push_back(r.id);
    return out;
}

// What the tool writes by default, in the order of the entry table.
const std::vector<ConfigId> kDefaultIds = {107, 128, 1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1015};

// The defaults but those the configuration sets.
std::vector<ConfigId> defaultsBut(std::initializer_list<ConfigId> set) {
    std::vector<ConfigId> ids;
    for (ConfigId id : kDefaultIds) {
        if (std::find(set.begin(), set.end(), id) == set.end()) ids.push_back(id);
    }
    return ids;
}

std::vector<ConfigId> concat(std::vector<ConfigId> a, const std::vector<ConfigId>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(BuildToolOutput, BlockLayoutAndOrder) {
    TempDir dir;
    std::string error;
    std::string image = build(dir,
                              "main-class = com.example.Main\n"
                              "10003 = by its number, unchecked\n"
                              "app-type = 1\n"
                              "122 = second main-class\n"
                              "wide:reserved-20013 = h\xC3\xA9\n"
                              "wide:20013 =\n",
                              error);
    ASSERT_FALSE(image.empty()) << error;
    std::string launcher = fakeLauncher();
    // The launcher is copied unchanged but for its checksum, which is the whole output's.
    const size_t field = 128 + 24 + 64;
    EXPECT_EQ(get32(image, field), peChecksum(image));
    image.replace(field, 4, launcher, field, 4);
    ASSERT_EQ(image.compare(0, launcher.size(), launcher), 0) << "the launcher is copied unchanged";

    // Byte by byte: magic, narrow count, first record, ...
    size_t at = launcher.size();
    EXPECT_EQ(image.substr(at, 4), "\xD5\x13\xE4\xE8");
    EXPECT_EQ(get32(image, at + 4), 4u + 14u);
    EXPECT_EQ(get32(image, at + 8), 122u);
    EXPECT_EQ(get32(image, at + 12), 16u);
    EXPECT_EQ(image.substr(at + 16, 16), "com.example.Main");
    EXPECT_EQ(get32(image, at + 32), 10003u);

    Parsed p;
    parseImage(image, p);
    EXPECT_EQ(ids(p.block.narrow), concat({122, 10003, 107, 122}, defaultsBut({107})));
    EXPECT_EQ(ids(p.block.wide), (std::vector<ConfigId>{20013, 20013}));
    EXPECT_EQ(p.block.wide[0].bytes, "h\0\xE9\0"s);
    EXPECT_EQ(p.block.wide[1].bytes, "");
    // The launcher keeps the later of two records.
    EXPECT_EQ(narrowText(p.tables, 122), "second main-class");
    EXPECT_EQ(configInt(p.tables, 107), 1);
    // Nothing follows the block without embedded files.
    EXPECT_EQ(p.tables.embeddedStreamOffset, image.size());
}

TEST(BuildToolOutput, DefaultMessages) {
    TempDir dir;
    std::string error;
    std::string image = build(dir, "msg-no-jvm = custom\n1009 = by id\nwide:1000 = wide caption\n", error);
    ASSERT_FALSE(image.empty()) << error;
    Parsed p;
    parseImage(image, p);
    // Set ones keep their place; the defaults of the others follow, in id order.
    EXPECT_EQ(ids(p.block.narrow), concat({1001, 1009}, defaultsBut({1001, 1009})));
    EXPECT_EQ(narrowText(p.tables, 1001), "custom");
    EXPECT_EQ(narrowText(p.tables, 1009), "by id");
    // A wide record is another key space: the narrow caption still gets its default.
    EXPECT_EQ(narrowText(p.tables, 1000), "Error");
    // Texts an end user understands: no "JVM", no variable the launcher does not read.
    EXPECT_EQ(narrowText(p.tables, 1002),
              "The Java runtime found through the PATH does not work.\x0D\x0APlease repair or reinstall Java.");
    EXPECT_EQ(narrowText(p.tables, 1003),
              "The environment variable %ENV_VAR_NAME% does not point to a working Java runtime.");
    EXPECT_EQ(narrowText(p.tables, 1006), "The file or folder %FILE_NAME% was not found, or it is empty.");
    EXPECT_EQ(narrowText(p.tables, 1007), "The command line cannot be read: a quotation mark is not closed.");
    // Messages in a box, and a search that finds today's runtimes.
    EXPECT_EQ(configInt(p.tables, 107), 1);
    EXPECT_EQ(narrowText(p.tables, 128), "Rjre;EJAVA_HOME;Y;S");

    image = build(dir, "", error);
    Parsed all;
    parseImage(image, all);
    EXPECT_EQ(narrowText(all.tables, 1009), "An internal error occurred (error code %ERROR_CODE%).");
    EXPECT_EQ(narrowText(all.tables, 1001),
              "No suitable Java runtime was found on this computer.\x0D\x0APlease install Java, then start this "
              "application again.");
    for (size_t i = 0; i < kConfigEntryCount; ++i) {
        const char* text = kConfigEntries[i].defaultText;
        if (!text) continue;
        EXPECT_EQ(std::string(text).find("JVM"), std::string::npos) << text;
        EXPECT_EQ(std::string(text).find("ZORVO_JAVA_HOME"), std::string::npos) << text;
    }
}

// A stream whose reading fails after `readable` bytes, as a disk error
// would; writing works.
class FailingReads : public std::stringbuf {
public:
    FailingReads(const std::string& bytes, size_t readable) : std::stringbuf(bytes), readable_(readable) {}

protected:
    std::streamsize xsgetn(char* out, std::streamsize n) override {
        if (read_ + static_cast<size_t>(n) > readable_) throw std::ios_base::failure("read error");
        std::streamsize got = std::stringbuf::xsgetn(out, n);
        read_ += static_cast<size_t>(got);
        return got;
    }

private:
    size_t readable_, read_ = 0;
};

// The checksum covers the whole file, or none is written.
TEST(BuildToolOutput, ChecksumIsWrittenOnlyOverTheWholeFile) {
    std::string image(200000, 'x');
    std::stringstream whole(image);
    ASSERT_TRUE(writeChecksumInto(whole, 216));
    PeChecksum expected(216);
    expected.add(image.data(), image.size());
    EXPECT_EQ(get32(whole.str(), 216), expected.value());

    FailingReads failing(image, 70000);
    std::iostream broken(&failing);
    EXPECT_FALSE(writeChecksumInto(broken, 216));
    EXPECT_EQ(failing.str().substr(216, 4), "xxxx");
}

TEST(BuildToolOutput, EmbeddedStream) {
    TempDir dir;
    std::string big(70000, '\0');  // more than one copy chunk
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
    fs::create_directories(dir / "lib");
    writeFile(dir / "lib/big.bin", big);
    writeFile(dir / "empty.txt", "");
    writeFile(dir / "raw.bin", "RAW");
    std::string error;
    std::string image = build(dir,
                              "app-name = A\n"
                              "embed = lib/big.bin\n"
                              "main-class = M\n"
                              "embed = " + (dir / "empty.txt") + "\n",
                              error, {dir / "raw.bin"});
    ASSERT_FALSE(image.empty()) << error;
    Parsed p;
    parseImage(image, p);
    EXPECT_EQ(ids(p.block.narrow), concat({101, 2002, 2003, 122}, kDefaultIds));
    EXPECT_EQ(narrowText(p.tables, 2002), "2");
    EXPECT_EQ(narrowText(p.tables, 2003), "big.bin;empty.txt;");

    size_t at = p.tables.embeddedStreamOffset;
    ASSERT_EQ(image.size(), at + 4 + big.size() + 4 + 3);
    EXPECT_EQ(get32(image, at), big.size());
    for (size_t i = 0; i < big.size(); ++i) {
        ASSERT_EQ(static_cast<unsigned char>(image[at + 4 + i]), static_cast<unsigned char>(big[i]) ^ 0xB6) << i;
    }
    at += 4 + big.size();
    EXPECT_EQ(get32(image, at), 0u);            // the empty file: a zero length and no bytes
    EXPECT_EQ(image.substr(at + 4), "RAW");     // --append-raw bytes as they stand
}

TEST(BuildToolOutput, GenericLauncherChecksOfBothVariants) {
    struct Case {
        const char* what;
        std::function<void(std::string&, const LauncherLayout&)> change;
        std::string problem;  // "" when the image is accepted
    };
    std::string blockAppended = "\xD5\x13\xE4\xE8" + std::string(8, '\0');
    for (bool win64 : {false, true}) {
        const LauncherLayout& layout = win64 ? kLauncherLayout64 : kLauncherLayout32;
        const uint32_t sections = win64 ? 392 : 376;
        const std::string variant = win64 ? "64-bit" : "32-bit";
        const Case cases[] = {
            {"unchanged", [](std::string&, const LauncherLayout&) {}, ""},
            {"too short", [](std::string& s, const LauncherLayout&) { s.resize(575); },
             "not a generic launcher: only 575 bytes long"},
            {"empty", [](std::string& s, const LauncherLayout&) { s.clear(); },
             "not a generic launcher: only 0 bytes long"},
            {"PE header elsewhere", [](std::string& s, const LauncherLayout&) { put32(s, 60, 64); },
             "not a generic launcher: PE header at offset 64, not 128"},
            {"no signature", [](std::string& s, const LauncherLayout&) { s[129] = 'X'; },
             "not a generic launcher: no PE signature at offset 128"},
            {"other machine", [](std::string& s, const LauncherLayout&) { put16(s, 132, 0xAA64); },
             "not a generic launcher: machine type 43620, not that of the " + variant + " launcher"},
            {"six sections", [](std::string& s, const LauncherLayout&) { put16(s, 134, 6); },
             "not a generic launcher: 6 section headers, not 5"},
            {"optional header of the other variant",
             [&](std::string& s, const LauncherLayout&) { put16(s, 148, win64 ? 224 : 240); },
             "not a generic launcher: optional header of " + std::string(win64 ? "224" : "240") +
                 " bytes, not the " + (win64 ? "240" : "224") + " of the " + variant + " launcher"},
            {"second section last", [&](std::string& s, const LauncherLayout&) { put32(s, sections + 40 + 16, 2000); },
             "not a generic launcher: section 2, not the fifth, ends last in the file"},
            {"cut short", [](std::string& s, const LauncherLayout&) { s.resize(2040); },
             "not a generic launcher: its last section ends at offset 2048, behind the end of the file (2040 bytes)"},
            {"something appended", [](std::string& s, const LauncherLayout&) { s += "junk"; },
             "not a generic launcher: 4 bytes follow its last section"},
            {"block appended", [&](std::string& s, const LauncherLayout&) { s += blockAppended; },
             "already has a configuration block (at file offset 2048); build from the generic launcher"},
            {"huge raw size", [](std::string& s, const LauncherLayout& l) { put32(s, l.offsetFieldA, 0xFFFFFFFFu); },
             "not a generic launcher: its last section ends at offset 4294969087, behind the end of the file (2048 "
             "bytes)"},
        };
        for (const Case& c : cases) {
            std::string img = fakeLauncher(win64);
            c.change(img, layout);
            std::string problem;
            bool ok = checkGenericLauncher(memoryByteSource(img.data(), img.size()), problem);
            EXPECT_EQ(ok, c.problem.empty()) << variant << ": " << c.what;
            if (!ok) {
                EXPECT_EQ(problem, c.problem) << variant << ": " << c.what;
            }
        }
    }
}

TEST(BuildToolOutput, NothingIsWrittenOnError) {
    struct Case {
        const char* what;
        std::string config;
        std::function<void(const TempDir&)> setup;
        const char* error;  // after the directory prefix
    };
    auto none = [](const TempDir&) {};
    const Case cases[] = {
        {"unknown name", "main-class = M\nmian-class = x\n", none,
         "app.conf:2: unknown directive 'mian-class'; did you mean 'main-class'?"},
        {"missing embedded file", "embed = gone.jar\n", none, "app.conf:1: cannot embed '"},
        {"embedded directory", "embed = sub\n", [](const TempDir& d) { fs::create_directories(d / "sub"); },
         "app.conf:1: cannot embed '"},
        {"used launcher", "main-class = M\n",
         [](const TempDir& d) { writeFile(d / "launcher.exe", fakeLauncher() + "\xD5\x13\xE4\xE8"); },
         "launcher.exe: already has a configuration block"},
        {"not a launcher", "main-class = M\n", [](const TempDir& d) { writeFile(d / "launcher.exe", "MZ"); },
         "launcher.exe: not a generic launcher: only 2 bytes long"},
        {"missing raw file", "main-class = M\n", none, "missing.bin: cannot open: "},
        // A file whose size on record differs from what is read fails while the output is
        // being written: the temporary file must go again.
        {"file changes while read", "embed = /proc/self/status\n", none,
         "app.exe: embedded file '/proc/self/status' changed while it was read"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeFile(dir / "launcher.exe", fakeLauncher());
        writeFile(dir / "app.conf", c.config);
        writeFile(dir / "app.exe", "previous output");
        c.setup(dir);
        std::vector<std::string> before = dir.names();
        std::string error;
        std::vector<std::string> raw;
        if (std::string(c.what) == "missing raw file") raw.push_back(dir / "missing.bin");
        EXPECT_FALSE(buildApplicationLauncher(BuildRequest{dir / "launcher.exe", dir / "app.conf", dir / "app.exe", raw},
                                              error))
            << c.what;
        std::string prefix = (dir / "").c_str();
        EXPECT_EQ(error.compare(0, prefix.size() + strlen(c.error), prefix + c.error), 0) << c.what << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
        EXPECT_EQ(dir.names(), before) << c.what;  // no temporary file left
        EXPECT_EQ(readFile(dir / "app.exe"), "previous output") << c.what;
    }

    TempDir dir;
    writeFile(dir / "launcher.exe", fakeLauncher());
    writeFile(dir / "app.conf", "");
    std::string error;
    EXPECT_FALSE(buildApplicationLauncher(BuildRequest{dir / "launcher.exe", dir / "app.conf", dir / "launcher.exe", {}},
                                          error));
    EXPECT_EQ(readFile(dir / "launcher.exe"), fakeLauncher()) << "the generic launcher is never overwritten";
    EXPECT_FALSE(buildApplicationLauncher(BuildRequest{dir / "launcher.exe", dir / "nope.conf", dir / "a.exe", {}},
                                          error));
    EXPECT_EQ(error.rfind(dir / "nope.conf: cannot open: ", 0), 0u) << error;
}

std::string dump(const std::string& image, const std::string& extractDir, std::string& error) {
    std::ostringstream out;
    DumpOptions options{"app.exe", extractDir};
    if (!dumpLauncher(memoryByteSource(image.data(), image.size()), options, out, error)) return "<failed>";
    return out.str();
}

TEST(BuildToolOutput, DumpRoundTripIsByteIdentical) {
    TempDir dir;
    std::string jar(10000, '\0');
    for (size_t i = 0; i < jar.size(); ++i) jar[i] = static_cast<char>(i * 31);
    writeFile(dir / "app.jar", jar);
    writeFile(dir / "Empty.txt", "");
    const std::string config =
        "app-name = \\x20My App\\x20\n"
        "msg-caption = Fehler \xC3\xA4\n"
        "107 = 12abc\n"
        "126 = 17\n"
        "127 = 1.8\n"
        "20013 = narrow record in a wide entry's id\n"
        "1012 = \\x00\\x01\\x7F\\x80\\xFF\\\\ \\t\\r\\n\n"
        "embed = app.jar\n"
        "splash-status-color = 1, 2, 3\n"
        "embed = Empty.txt\n"
        "vm-options =\n"
        "main-class = first\n"
        "main-class = second\n"
        "wide:reserved-20013 = \xE2\x82\xAC \\uD800 \\x01\n";
    std::string error;
    std::string first = build(dir, config, error);
    ASSERT_FALSE(first.empty()) << error;

    std::string text = dump(first, dir / "extracted", error);
    ASSERT_NE(text, "<failed>") << error;
    EXPECT_NE(text.find("107 = 12abc\n"), std::string::npos) << "a value its kind refuses is dumped under its id";
    EXPECT_NE(text.find("126 = 17\n127 = 1.8\n"), std::string::npos) << "so is a minimum above the maximum";
    EXPECT_NE(text.find("\n20013 = narrow"), std::string::npos);
    EXPECT_NE(text.find("\nmsg-caption = Fehler ?\n"), std::string::npos) << "a UTF-8 message: '?' in its narrow record";
    EXPECT_NE(text.find("\nwide:1000 = Fehler \xC3\xA4\n"), std::string::npos) << "and itself in a wide one";
    EXPECT_NE(text.find("\nembed = " + (dir / "extracted/app.jar") + "\n"), std::string::npos) << text;
    EXPECT_EQ(readFile(dir / "extracted/app.jar"), jar);
    EXPECT_TRUE(fs::exists(dir / "extracted/Empty.txt"));

    EXPECT_EQ(build(dir, text, error), first) << error << "\n" << text;

    // Without --extract the embedded files are comments, and the dump still parses back.
    std::string plain = dump(first, "", error);
    EXPECT_NE(plain.find("# embedded: app.jar (10000 bytes)\n# embedded: Empty.txt (0 bytes)\n"), std::string::npos)
        << plain;
    AppConfig cfg;
    ASSERT_TRUE(parseConfigText(plain, ConfigSource{"dump", ""}, cfg, error)) << error;
    EXPECT_TRUE(cfg.embeds.empty());
    Parsed p;
    parseImage(first, p);
    std::vector<ConfigId> withoutEmbedEntries;
    for (const Record& r : p.block.narrow) {
        if (r.id != 2002 && r.id != 2003) withoutEmbedEntries.push_back(r.id);
    }
    EXPECT_EQ(ids(cfg.narrow), withoutEmbedEntries);
}

// download-url takes only an address the launcher opens; under its id any
// value is written, and each is dumped so that the rebuild is byte-identical.
TEST(BuildToolOutput, DownloadUrlIsCheckedAndDumpedBack) {
    for (const char* line : {"download-url = https://example.com/get?v=17&os=win#x64", "download-url = HTTP://Example.com",
                             "download-url =", "129 = ftp://crafted.example.com"}) {
        TempDir dir;
        std::string error;
        std::string image = build(dir, line + "\n"s, error);
        ASSERT_FALSE(image.empty()) << line << ": " << error;
        std::string text = dump(image, "", error);
        EXPECT_NE(text.find("\n"s + line + "\n"), std::string::npos) << line << "\n" << text;
        EXPECT_EQ(build(dir, text, error), image) << line << ": " << error;
    }
    const std::pair<const char*, const char*> refused[] = {  // the value, what is wrong with it
        {"ftp://example.com/java", "does not begin with http:// or https://"},
        {"example.com/java", "does not begin with http:// or https://"},
        {"https:/example.com", "does not begin with http:// or https://"},
        {"https://", "names no host"},
        {"http:///java", "names no host"},
        {"https://example.com/a b", "holds a blank"},
        {"https://example.com/\\ta", "holds a control character"},
        {"https://example.com/\\x7F", "holds a control character"},
        {"https://exa\\x00mple.com", "holds a control character"},
        {"https://example.com/\"x\"", "holds a double quote (write it as %22)"},
        {"https://example.com/caf\\xE9", "holds a character beyond ASCII (write it percent-encoded)"},
    };
    for (const auto& [value, problem] : refused) {
        TempDir dir;
        std::string error;
        EXPECT_TRUE(build(dir, "download-url = "s + value + "\n", error).empty()) << value;
        EXPECT_EQ(error, dir / "app.conf:1: download-url '" + value + "' " + problem);
    }
}

TEST(BuildToolOutput, The64BitLauncherIsStampedAndDumpedAtItsOwnOffsets) {
    TempDir dir;
    writeFile(dir / "app.jar", std::string(3000, 'j'));
    std::string error;
    std::string image = build(dir, "main-class = com.example.Main\nembed = app.jar\n", error, {}, true);
    ASSERT_FALSE(image.empty()) << error;
    // 568 + 572 give the block; the values at 552 and 556 are another header's.
    EXPECT_EQ(get32(image, 568) + get32(image, 572), fakeLauncher(true).size());
    EXPECT_EQ(image.substr(2048, 4), "\xD5\x13\xE4\xE8");
    Parsed p;
    parseImage(image, p);
    EXPECT_EQ(narrowText(p.tables, 122), "com.example.Main");
    std::string text = dump(image, dir / "extracted", error);
    ASSERT_NE(text, "<failed>") << error;
    EXPECT_EQ(build(dir, text, error, {}, true), image) << error;
}

// A block the build tool would not write, with a stream behind it.
std::string craftedImage(const std::vector<Record>& narrow, const std::string& stream) {
    return fakeLauncher() + encodeBlock(narrow, {}) + stream;
}

std::string scrambled(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(c ^ 0xB6);
    return out;
}

std::string lengthBytes(int32_t n) {
    std::string s;
    appendInt32(s, n);
    return s;
}

TEST(BuildToolOutput, DumpOfStreamsNoEmbedLinesReproduce) {
    struct Case {
        const char* what;
        std::vector<Record> narrow;
        std::string stream;
        const char* note;  // a line the dump holds
    };
    const std::string two = lengthBytes(2) + scrambled("ab");
    const Case cases[] = {
        {"count above names", {{2002, "3", 0}, {2003, "a;b;", 0}}, two + two,
         "(no embed lines reproduce them: entries 2002 and 2003 disagree on the number of files):"},
        {"names beyond the count are not read", {{2002, "1", 0}, {2003, "a;b;", 0}}, two + two,
         "# embedded: a (2 bytes)\n# 6 more bytes follow the embedded files\n"},
        {"count written oddly", {{2002, "+1", 0}, {2003, "a;", 0}}, two,
         "(no embed lines reproduce them: entry 2002 is not a plain decimal count):"},
        {"names apart", {{2002, "1", 0}, {101, "x", 0}, {2003, "a;", 0}}, two,
         "not a single pair of adjacent records"},
        {"no trailing separator", {{2002, "1", 0}, {2003, "a", 0}}, two,
         "entry 2003 is not a list of names each followed by ';'"},
        {"stream ends early", {{2002, "1", 0}, {2003, "a;", 0}}, lengthBytes(100) + scrambled("abc"),
         "# embedded: a (100 bytes announced, only 3 present)"},
        {"length missing", {{2002, "2", 0}, {2003, "a;b;", 0}}, two + "\x01",
         "# the file ends where the length of the next embedded file should be"},
        {"negative length", {{2002, "1", 0}, {2003, "a;", 0}}, lengthBytes(-5), "a file has a negative length"},
        {"path in a name", {{2002, "1", 0}, {2003, "../a;", 0}}, two, "embedded file ../a: its name holds"},
        {"same name twice", {{2002, "2", 0}, {2003, "A;a;", 0}}, two + two, "two embedded files are named a"},
    };
    for (const Case& c : cases) {
        std::string image = craftedImage(c.narrow, c.stream);
        std::string error;
        std::string text = dump(image, "", error);
        EXPECT_NE(text.find(c.note), std::string::npos) << c.what << ":\n" << text << error;
        // The records stay lines of their own, so the dump still parses back.
        AppConfig cfg;
        EXPECT_TRUE(parseConfigText(text, ConfigSource{"dump", ""}, cfg, error)) << c.what << ": " << error;
        EXPECT_EQ(cfg.narrow.size(), c.narrow.size()) << c.what;
        // Extracting what embed lines cannot describe is refused, and nothing is written.
        TempDir dir;
        EXPECT_EQ(dump(image, dir / "out", error), "<failed>") << c.what;
        EXPECT_EQ(error.rfind("app.exe: cannot extract the embedded files: ", 0), 0u) << error;
        EXPECT_FALSE(fs::exists(dir / "out")) << c.what;
    }

    std::string error;
    std::string text = dump(craftedImage({{2002, "1", 0}, {2003, "a;", 0}}, two + "tail"), "", error);
    EXPECT_NE(text.find("# embedded: a (2 bytes)\n# 4 more bytes follow the embedded files\n"), std::string::npos)
        << text;

    // A record under an id no entry has is a comment: the tool refuses such ids.
    text = dump(craftedImage({{9999, "x", 0}, {101, "y", 0}}, ""), "", error);
    EXPECT_NE(text.find("\n# 9999 = x  (no entry the launcher reads; a build from this dump leaves it out)\napp-name = y\n"),
              std::string::npos) << text;
}

TEST(BuildToolOutput, DumpRefusesUnreadableBlocks) {
    // The launcher's reader decides; the dump names the text the launcher would stop with.
    struct Case {
        const char* what;
        std::string image;
        const char* error;
    };
    std::string launcher = fakeLauncher();
    std::string oddWide = encodeBlock({}, {{2, "w", 0}});
    const Case cases[] = {
        {"generic launcher", launcher, "app.exe: has no configuration block (it is a generic launcher)"},
        {"tiny file", "MZ",
         "app.exe: has no configuration block that the launcher can read (it would stop with \"Internal Error: readInt\")"},
        {"odd wide length", launcher + oddWide,
         "app.exe: has no configuration block that the launcher can read (it would stop with \"Internal Error: readWString\")"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(dump(c.image, "", error), "<failed>") << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
}

int runCli(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::ostringstream o, e;
    int code = runZorvoBuild(args, o, e);
    out = o.str();
    err = e.str();
    return code;
}

TEST(BuildToolOutput, CommandLine) {
    TempDir dir;
    writeFile(dir / "launcher.exe", fakeLauncher());
    writeFile(dir / "app.conf", "main-class = M\n");
    writeFile(dir / "bad.conf", "\n\nmian-class = M\n");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;  // the whole of standard error
    };
    const std::string usage = " (see zorvo-build --help)\n";
    const Case cases[] = {
        {{}, 2, "zorvo-build: nothing to do" + usage},
        {{"--bogus"}, 2, "zorvo-build: unknown option or argument '--bogus'" + usage},
        {{"app.conf"}, 2, "zorvo-build: unknown option or argument 'app.conf'" + usage},
        {{"--dump"}, 2, "zorvo-build: --dump needs a value" + usage},
        {{"--dump="}, 2, "zorvo-build: --dump needs a non-empty value" + usage},
        {{"--out", "a", "--out", "b"}, 2, "zorvo-build: --out given twice" + usage},
        {{"--launcher", "l", "--config", "c"}, 2, "zorvo-build: building needs --out" + usage},
        {{"--dump", "x", "--reference"}, 2, "zorvo-build: building, --dump and --reference cannot be combined" + usage},
        {{"--extract", "d"}, 2, "zorvo-build: --extract works only with --dump" + usage},
        {{"--launcher", dir / "launcher.exe", "--config", dir / "bad.conf", "--out", dir / "bad.exe"}, 2,
         dir / "bad.conf" + ":3: unknown directive 'mian-class'; did you mean 'main-class'?\n"},
        {{"--dump", dir / "launcher.exe"}, 2, dir / "launcher.exe" + ": has no configuration block (it is a generic launcher)\n"},
        {{"--launcher=" + dir / "launcher.exe", "--config=" + dir / "app.conf", "--out=" + dir / "app.exe"}, 0, ""},
        {{"--launcher", dir / "launcher.exe", "--config", dir / "app.conf", "--out", dir / "New Folder/sub/app.exe"}, 0,
         ""},
        {{"--launcher", dir / "launcher.exe", "--config", dir / "app.conf", "--out", dir / "app.conf/app.exe"}, 2,
         dir / "app.conf/app.exe: cannot create its folder " + dir / "app.conf: Not a directory\n"},
        {{"--help", "--bogus-after-help-is-still-an-error"}, 2,
         "zorvo-build: unknown option or argument '--bogus-after-help-is-still-an-error'" + usage},
    };
    for (const Case& c : cases) {
        std::string out, err;
        EXPECT_EQ(runCli(c.args, out, err), c.code) << err;
        EXPECT_EQ(err, c.err);
    }
    EXPECT_FALSE(fs::exists(dir / "bad.exe"));
    EXPECT_TRUE(fs::exists(dir / "New Folder/sub/app.exe")) << "the folder of --out is made";

    std::string out, err;
    ASSERT_EQ(runCli({"--dump", dir / "app.exe"}, out, err), 0) << err;
    EXPECT_NE(out.find("\nmain-class = M\n"), std::string::npos);
    ASSERT_EQ(runCli({"--help"}, out, err), 0);
    EXPECT_EQ(out.rfind("Usage:\n", 0), 0u);
    EXPECT_EQ(err, "");
}

TEST(BuildToolOutput, CommittedEntryReferenceIsCurrent) {
    std::string committed = readFile(std::string(ZORVO_SOURCE_DIR) + "/docs/config-entries.md");
    EXPECT_EQ(committed, entryReferenceMarkdown())
        << "docs/config-entries.md is out of date: regenerate it with "
           "build/host/zorvo-build --reference > docs/config-entries.md";
}

}  // namespace
}  // namespace buildtool
}  // namespace zorvo
