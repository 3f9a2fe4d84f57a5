// The build tool's configuration text: escapes, names, kinds, embed lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config_text.h"
#include "value_text.h"

namespace zorvo {
namespace buildtool {
namespace {

using namespace std::string_literals;

bool parse(const std::string& text, AppConfig& cfg, std::string& error) {
    return parseConfigText(text, ConfigSource{"app.conf", ""}, cfg, error);
}

// The single narrow value a one-line configuration produces.
std::string narrowValue(const std::string& line) {
    AppConfig cfg;
    std::string error;
    EXPECT_TRUE(parse(line + "\n", cfg, error)) << line << ": " << error;
    EXPECT_EQ(cfg.narrow.size(), 1u) << line;
    return cfg.narrow.empty() ? std::string("<none>") : cfg.narrow[0].bytes;
}

std::u16string wideValue(const std::string& line) {
    AppConfig cfg;
    std::string error;
    EXPECT_TRUE(parse(line + "\n", cfg, error)) << line << ": " << error;
    EXPECT_EQ(cfg.wide.size(), 1u) << line;
    return cfg.wide.empty() ? u"<none>" : fromUtf16le(cfg.wide[0].bytes);
}

std::string parseError(const std::string& text) {
    AppConfig cfg;
    std::string error;
    EXPECT_FALSE(parse(text, cfg, error)) << text;
    return error;
}

TEST(BuildToolConfig, NarrowValuesAndEscapes) {
    struct Case {
        const char* line;
        std::string bytes;
    };
    const Case cases[] = {
        {"app-name = My App", "My App"},
        {"app-name =\t  spaced   out \t ", "spaced   out"},
        {"app-name = a\\r\\nb\\tc", "a\r\nb\tc"},
        {"app-name = C:\\\\dir\\\\", "C:\\dir\\"},
        {"app-name = \\x41\\x7a\\xFF\\xe9", "Az\xFF\xE9"},
        {"app-name = nul\\x00byte", "nul\0byte"s},
        {"app-name = \\x20both ends\\x20", " both ends "},
        {"app-name =", ""},
        {"app-name = a = b # not a comment", "a = b # not a comment"},
        {"101 = by id", "by id"},
    };
    for (const Case& c : cases) EXPECT_EQ(narrowValue(c.line), c.bytes) << c.line;
}

TEST(BuildToolConfig, WideValuesAreUtf8WithEscapes) {
    struct Case {
        const char* line;
        std::u16string units;
    };
    const Case cases[] = {
        {"wide:reserved-20013 = plain", u"plain"},
        {"wide:20013 = h\xC3\xA9", u"h\u00E9"},
        {"wide:20013 = \xE2\x82\xAC", u"\u20AC"},
        {"wide:20013 = \xF0\x9F\x98\x80", u"\xD83D\xDE00"},  // outside the BMP: a surrogate pair
        {"wide:20013 = \\xE9\\u20AC\\r\\n", u"\u00E9\u20AC\r\n"},
        {"wide:20013 = lone \\uD800", u"lone \xD800"},
        {"wide:20013 = \\x20", u" "},
    };
    for (const Case& c : cases) EXPECT_EQ(wideValue(c.line), c.units) << c.line;
}

TEST(BuildToolConfig, BadValuesNameTheirLine) {
    // Line 3 is the bad one: a comment and a blank line come first.
    struct Case {
        const char* line;
        const char* error;
    };
    const Case cases[] = {
        {"app-name = a\\qb", "app.conf:3: unknown escape '\\q'"},
        {"app-name = ab\\", "app.conf:3: backslash at the end of the value (write \\\\ for a backslash)"},
        {"app-name = \\x4", "app.conf:3: \\x needs exactly two hex digits"},
        {"app-name = \\x4g", "app.conf:3: \\x needs exactly two hex digits"},
        {"app-name = \\u0041", "app.conf:3: unknown escape '\\u' (\\u is only for wide entries)"},
        {"wide:20013 = \\u12", "app.conf:3: \\u needs exactly four hex digits"},
        {"wide:20013 = \xC3", "app.conf:3: wide value is not well-formed UTF-8 (byte 0xC3 at position 1)"},
        {"wide:20013 = a\xC0\xAF", "app.conf:3: wide value is not well-formed UTF-8 (byte 0xC0 at position 2)"},
        {"wide:20013 = \xE0\x80\xAF", "app.conf:3: wide value is not well-formed UTF-8 (byte 0xE0 at position 1)"},
        {"wide:20013 = \xED\xA0\x80", "app.conf:3: wide value is not well-formed UTF-8 (byte 0xED at position 1)"},
        {"wide:20013 = \xF4\x90\x80\x80", "app.conf:3: wide value is not well-formed UTF-8 (byte 0xF4 at position 1)"},
        {"main-class com.example.Main", "app.conf:3: expected 'name = value', found no '='"},
        {"mian-class = x", "app.conf:3: unknown directive 'mian-class'; did you mean 'main-class'?"},
        {"spalsh-image = s.png", "app.conf:3: unknown directive 'spalsh-image'; did you mean 'splash-image'?"},
        {"main\x01" "class = x", "app.conf:3: unknown directive 'main\\x01class'; did you mean 'main-class'?"},
        {"frobnicate = x", "app.conf:3: unknown directive 'frobnicate'"},
        {"= x", "app.conf:3: missing entry name before '='"},
        {"wide: = x", "app.conf:3: missing entry name after 'wide:'"},
        {"2147483648 = x", "app.conf:3: entry id '2147483648' is outside the 32-bit range"},
        {"wide:main-class = x", "app.conf:3: 'main-class' is not a wide entry"},
        {"reserved-20013 = x", "app.conf:3: 'reserved-20013' is a wide entry: write it as wide:reserved-20013"},
        {"app-type = GUI", "app.conf:3: app-type needs a whole number, not 'GUI'"},
        {"min-java-version = java8",
         "app.conf:3: min-java-version needs a version such as 8, 1.8, 11 or 17.0.2 (numbers separated by dots), not "
         "'java8'"},
        {"max-java-version = 17+",
         "app.conf:3: max-java-version needs a version such as 8, 1.8, 11 or 17.0.2 (numbers separated by dots), not "
         "'17+'"},
        {"min-java-version = 17\nmax-java-version = 1.8",
         "app.conf:3: min-java-version 17 is above max-java-version 1.8 (line 4): no runtime would be accepted"},
        {"show-splash = 1",
         "app.conf:3: show-splash needs the application's own picture: add splash-image = (a PNG or BMP file); the "
         "generic launcher carries none"},
        {"splash-status-color = 1,2,300",
         "app.conf:3: splash-status-color needs a colour \"red,green,blue\" (each 0 to 255), not '1,2,300'"},
        {"embed =", "app.conf:3: embed needs the path of a file"},
        {"embed = lib/", "app.conf:3: cannot embed 'lib/': names no file"},
        {"embed = a;b.jar", "app.conf:3: cannot embed 'a;b.jar': its name holds ';', the separator of entry 2003"},
        {"embed = aux.log", "app.conf:3: cannot embed 'aux.log': its name is that of a Windows device (CON, NUL, COM1, ...)"},
        {"9999 = x", "app.conf:3: entry 9999 is no entry the launcher reads (zorvo-build --reference lists them)"},
        {"class-path = zorvo-runtime.jar;hello.jar",
         "app.conf:3: class-path item 'zorvo-runtime.jar' needs a type letter and a flag: write A1zorvo-runtime.jar for "
         "a required jar (A0 for an optional one, D1 for a folder of classes, S0 for every jar of a folder, E0 for a "
         "variable holding paths)"},
        {"class-path = A1a.jar; A1b.jar", "app.conf:3: class-path item '\\x20A1b.jar' begins or ends with a blank; "
                                          "items are separated by ';' without blanks"},
        {"class-path = A1a.jar;X1b", "app.conf:3: class-path item 'X1b' needs a type letter and a flag: write A1X1b for "
                                     "a required jar (A0 for an optional one, D1 for a folder of classes, S0 for every "
                                     "jar of a folder, E0 for a variable holding paths)"},
        {"jvm-search-sequence = JAVA_HOME;registry", "app.conf:3: jvm-search-sequence item 'JAVA_HOME' is not one of: "
         "A or R and a Java home folder (Rjre), E and a variable holding one (EJAVA_HOME), S (the folders of PATH), Y "
         "(the registry); items are separated by ';' without blanks"},
        {"jvm-search-sequence = Rjre;y", "app.conf:3: jvm-search-sequence item 'y' is not one of: A or R and a Java "
         "home folder (Rjre), E and a variable holding one (EJAVA_HOME), S (the folders of PATH), Y (the registry); "
         "items are separated by ';' without blanks"},
        {"jvm-search-sequence = Rjre; Y", "app.conf:3: jvm-search-sequence item '\\x20Y' is not one of: A or R and a Java "
         "home folder (Rjre), E and a variable holding one (EJAVA_HOME), S (the folders of PATH), Y (the registry); "
         "items are separated by ';' without blanks"},
        {"app-arguments = --title \"My App", "app.conf:3: app-arguments has a quote without its closing quote: the "
                                            "launcher would refuse every start (message 1007)"},
        {"vm-options = -Dx='a b", "app.conf:3: vm-options has a quote without its closing quote: the launcher would "
                                 "refuse every start (message 1007)"},
        {"product-flavour = launcher", "app.conf:3: product-flavour is e (the launcher flavour) or i (the installer "
                                       "flavour), not 'launcher'"},
        {"app-type = 7", "app.conf:3: app-type is 1 (a windowed application), 5 (messages in boxes, no windowed "
                         "runtime needed) or 0 (messages on standard error), not '7'"},
        {"main-class = com.acme hello", "app.conf:3: main-class needs a class name such as com.example.Main, not "
                                        "'com.acme hello'"},
        {"main-class = com..Main", "app.conf:3: main-class needs a class name such as com.example.Main, not "
                                   "'com..Main'"},
        {"splash-status-font = Abcdefghijklmnopqrstuvwxyz012345", "app.conf:3: splash-status-font is 32 characters "
                                                                  "long; a font name has at most 31"},
        {"embedded-file-count = 1", "app.conf:3: embedded-file-count is written from the embed lines: name each file "
                                    "with embed = PATH"},
        {"app-name = Gr\xC3\xBC\xC3\x9F" "e", "app.conf:3: app-name holds characters beyond ASCII, which a launcher "
         "stores in the Windows code page of the user's system: write that code page's bytes as \\xHH (\\xE9 for "
         "\xC3\xA9 in Western Europe); only messages may be written in UTF-8"},
        {"msg-no-jvm = caf\xC3", "app.conf:3: wide value is not well-formed UTF-8 (byte 0xC3 at position 4)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseError("# comment\n\n"s + c.line + "\nmain-class = later\n"), c.error) << c.line;
    }
}

TEST(BuildToolConfig, NamesIdsAndWidePrefix) {
    AppConfig cfg;
    std::string error;
    ASSERT_TRUE(parse("main-class = a\n"
                      "122 = b\n"
                      "+101 = d\n"
                      "0010003 = e\n"
                      "20013 = narrow in the wide entry's id\n"
                      "wide:reserved-20013 = g\n"
                      "wide:20013 = h\n"
                      "wide:122 = i\n",
                      cfg, error))
        << error;
    std::vector<ConfigId> narrowIds, wideIds;
    for (const Record& r : cfg.narrow) narrowIds.push_back(r.id);
    for (const Record& r : cfg.wide) wideIds.push_back(r.id);
    EXPECT_EQ(narrowIds, (std::vector<ConfigId>{122, 122, 101, 10003, 20013}));
    EXPECT_EQ(wideIds, (std::vector<ConfigId>{20013, 20013, 122}));
    EXPECT_EQ(cfg.narrow[4].line, 5);
    // A number that no entry has makes no block the launcher could read.
    for (const char* unknown : {"-5 = c", "2147483647 = e", "-2147483648 = f", "9999 = x", "wide:5 ="})
        EXPECT_NE(parseError(std::string(unknown) + "\n").find("is no entry the launcher reads"), std::string::npos)
            << unknown;
}

TEST(BuildToolConfig, KindsAreCheckedOnlyUnderReadableNames) {
    struct Case {
        const char* line;
        bool accepted;
    };
    const Case cases[] = {
        {"splash-status-x = 1", true},
        {"splash-status-x = -3", true},
        {"splash-status-x = +7", true},
        {"splash-status-x = 2147483647", true},
        {"splash-status-x = -2147483648", true},
        {"splash-status-x =", true},
        {"splash-status-x = 2147483648", false},
        {"splash-status-x = 1.5", false},
        {"splash-status-x = 12abc", false},
        {"splash-status-x = \\x201", false},
        {"splash-status-x = -", false},
        {"10109 = 12abc", true},
        {"splash-status-color = 0,0,0", true},
        {"splash-status-color = 255, 128 ,0", true},
        {"splash-status-color = 1,2", false},
        {"splash-status-color = 1,2,3,4", false},
        {"splash-status-color = 256,0,0", false},
        {"splash-status-color = 0001,0,0", false},
        {"splash-status-color = red", false},
        {"10114 = red", true},
        {"app-name = anything 1,2", true},
    };
    for (const Case& c : cases) {
        AppConfig cfg;
        std::string error;
        EXPECT_EQ(parse(std::string(c.line) + "\n", cfg, error), c.accepted) << c.line << ": " << error;
    }
}

TEST(BuildToolConfig, ValueLengthLimit) {
    std::string error;
    AppConfig cfg;
    EXPECT_TRUE(parse("app-name = " + std::string(8191, 'a') + "\n", cfg, error)) << error;
    EXPECT_EQ(parseError("app-name = " + std::string(8192, 'a') + "\n"),
              "app.conf:1: value is 8192 bytes long; at most 8191 fit");
    // The limit is on the stored bytes, not on the written form.
    std::string escaped;
    for (int i = 0; i < 8191; ++i) escaped += "\\x41";
    EXPECT_TRUE(parse("101 = " + escaped + "\n", cfg, error)) << error;
    EXPECT_EQ(cfg.narrow[0].bytes.size(), 8191u);
    // Wide values count UTF-16 code units: 8191 two-byte characters fit.
    std::string wide;
    for (int i = 0; i < 8191; ++i) wide += "\xC3\xA9";
    EXPECT_TRUE(parse("wide:20013 = " + wide + "\n", cfg, error)) << error;
    EXPECT_EQ(parseError("wide:20013 = " + wide + "x\n"),
              "app.conf:1: value is 8192 UTF-16 code units long; at most 8191 fit");
}

TEST(BuildToolConfig, LineLayout) {
    AppConfig cfg;
    std::string error;
    // A byte order mark, CR LF line ends, indented comments, blank lines and no final line feed.
    ASSERT_TRUE(parse("\xEF\xBB\xBF" "app-name = a\r\n  # comment = x\r\n\t\r\n   \nmain-class\t=\tb", cfg, error))
        << error;
    ASSERT_EQ(cfg.narrow.size(), 2u);
    EXPECT_EQ(cfg.narrow[0].bytes, "a");
    EXPECT_EQ(cfg.narrow[1].id, 122);
    EXPECT_EQ(cfg.narrow[1].bytes, "b");
    EXPECT_EQ(cfg.narrow[1].line, 5);
    // A CR that is not part of the line end is data.
    EXPECT_EQ(narrowValue("app-name = a\rb"), "a\rb");
}

TEST(BuildToolConfig, EmbedLines) {
    AppConfig cfg;
    std::string error;
    ASSERT_TRUE(parseConfigText("app-name = x\n"
                                "embed = lib/app.jar\n"
                                "main-class = y\n"
                                "embed = /abs/data.bin\n",
                                ConfigSource{"conf/app.conf", "conf"}, cfg, error))
        << error;
    ASSERT_EQ(cfg.embeds.size(), 2u);
    EXPECT_EQ(cfg.embeds[0].path, "conf/lib/app.jar");
    EXPECT_EQ(cfg.embeds[0].name, "app.jar");
    EXPECT_EQ(cfg.embeds[1].path, "/abs/data.bin");
    EXPECT_EQ(cfg.embeds[1].name, "data.bin");
    EXPECT_EQ(cfg.embedAt, 1u);  // entries 2002 and 2003 take the place of the first embed line
    EXPECT_EQ(embeddedNamesValue(cfg.embeds), "app.jar;data.bin;");

    EXPECT_EQ(parseError("embed = a/Lib.jar\nembed = b/lib.JAR\n"),
              "app.conf:2: embedded file name 'lib.JAR' is already used on line 1");
    EXPECT_EQ(parseError("embedded-file-count = 1\nembed = a.jar\n"),
              "app.conf:1: embedded-file-count is written from the embed lines: name each file with embed = PATH");
    EXPECT_EQ(parseError("embed = a.jar\n2003 = a.jar;\n"),
              "app.conf:2: entry 2003 (embedded-file-names) is written from the embed lines (line 1); "
              "do not set it as well");

    // Entry 2003 must fit the launcher's text buffer.
    std::string many;
    size_t length = 0;
    int line = 0;
    while (length <= kMaxValueLength) {
        std::string name = "file" + std::to_string(++line) + std::string(90, 'x') + ".jar";
        many += "embed = " + name + "\n";
        length += name.size() + 1;
    }
    EXPECT_EQ(parseError(many), "app.conf:" + std::to_string(line) +
                                    ": the names of the embedded files exceed 8191 bytes in entry 2003");
}

TEST(BuildToolConfig, EmbeddedNameRules) {
    const char* plain[] = {"app.jar", "a b.txt", "x"};
    const char* refused[] = {"", ".", "..", "a\\b", "a:b", "a*b", "a?b", "a|b", "a<b", "a>b", "a\"b", "a\tb", "a;b",
                             "NUL.txt", "com1", "Lpt9.jar"};
    for (const char* name : plain) EXPECT_EQ(embeddedNameProblem(name), nullptr) << name;
    for (const char* name : refused) EXPECT_NE(embeddedNameProblem(name), nullptr) << name;
    EXPECT_TRUE(sameEmbeddedName("App.JAR", "app.jar"));
    EXPECT_FALSE(sameEmbeddedName("app.jar", "app.jar2"));
    EXPECT_FALSE(sameEmbeddedName("\xC9.jar", "\xE9.jar"));  // only ASCII letters fold
}

TEST(BuildToolConfig, EscapingRoundTrips) {
    std::string allBytes;
    for (int b = 0; b < 256; ++b) allBytes += static_cast<char>(b);
    const std::string narrow[] = {allBytes, " edge ", "\t", " ", "", "a\\x41", "\r\n"};
    for (const std::string& bytes : narrow) {
        std::string written = escapeNarrow(bytes), back, error;
        EXPECT_EQ(written.find_first_of("\r\n"), std::string::npos);
        EXPECT_TRUE(written.empty() || (written.front() != ' ' && written.back() != ' ')) << written;
        ASSERT_TRUE(unescapeNarrow(written, back, error)) << written << ": " << error;
        EXPECT_EQ(back, bytes) << written;
    }
    EXPECT_EQ(escapeNarrow("C:\\x y\x01\xE9"), "C:\\\\x y\\x01\\xE9");

    std::u16string allLow;
    for (char16_t u = 0; u < 0x100; ++u) allLow += u;
    const std::u16string wide[] = {allLow, u"\xD83D\xDE00", u"\xD800", u"\xDC00\xD800", u"a\xDBFFz", u" \u20AC ",
                                   u"\xFFFF"};
    for (const std::u16string& units : wide) {
        std::string written = escapeWide(units), error;
        std::u16string back;
        EXPECT_EQ(written.find_first_of("\r\n"), std::string::npos);
        ASSERT_TRUE(unescapeWide(written, back, error)) << written << ": " << error;
        EXPECT_EQ(back, units) << written;
    }
    EXPECT_EQ(escapeWide(u"\u00E9\xD800\xD83D\xDE00"), "\xC3\xA9\\uD800\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace buildtool
}  // namespace zorvo
