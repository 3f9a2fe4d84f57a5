// Version rules, version lines, command-line quoting and runtime path rules.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "jvm/runtime_rules.h"
#include "common/split.h"
#include "jvm/search_plan.h"
#include "jvm/version_rules.h"

namespace zorvo {
namespace {

TEST(VersionRules, AcceptedVersionsAreComparedAsFarAsTheBoundHasParts) {
    struct {
        const char* version;
        const char* min;
        const char* max;
        bool accepted;
    } cases[] = {
        {"1.4.0", "1.4", "1.4", true},       {"1.4.2_05", "1.4", "1.4", true},   {"1.3.1_09", "1.4", "1.4", false},
        {"1.5.0", "1.4", "1.4", false},      {"1.10", "1.4", "", false},         {"1.4.2", "", "", true},
        {"1.4", "1.4.2", "", false},         {"1.4.2", "1.4.2", "1.4.2", true},  {"", "", "", true},
        {"", "1", "", false},                {"17.0.2", "1.8", "", true},        {"17.0.2", "1.8", "21", true},
        {"9", "1.8", "1.8", false},          {"1.8.0_202", "1.8", "1.8", true},  {"2", "10", "", false},
        {"17.0.2", "8", "", true},           {"1.4", "1", "1", true},            {"17", "1", "1", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isVersionAccepted(c.version, parseVersionRange(c.min, c.max), true, false), c.accepted)
            << c.version << " in [" << c.min << ", " << c.max << "]";
}

TEST(VersionRules, BetaNeedsPermissionFromTheSourceOrEntry130) {
    EXPECT_FALSE(isVersionAccepted("1.5.0-beta", parseVersionRange("", ""), false, false));
    EXPECT_TRUE(isVersionAccepted("1.5.0-beta", parseVersionRange("", ""), true, false));
    EXPECT_TRUE(isVersionAccepted("1.5.0-beta", parseVersionRange("", ""), false, true));
    EXPECT_TRUE(isVersionAccepted("1.5.0-Beta", parseVersionRange("", ""), false, false));  // case-sensitive
    EXPECT_FALSE(isVersionAccepted("beta", parseVersionRange("", ""), false, false));
    // Permission does not lift the range.
    EXPECT_FALSE(isVersionAccepted("1.5.0-beta", parseVersionRange("1.4", "1.4"), true, true));
}

// Every runtime of the releases people meet against every bound in use, as
// a minimum and as a maximum: 'y' where the runtime is accepted.
TEST(VersionRules, RealReleasesAgainstTheBoundsInUse) {
    const char* const bounds[] = {"1.6", "1.8", "8", "9", "11", "17", "21"};
    const struct {
        const char* runtime;
        const char* asMinimum;  // one letter per bound above
        const char* asMaximum;
    } table[] = {
        {"1.4.2", "nnnnnnn", "yyyyyyy"},     {"1.6.0_45", "ynnnnnn", "yyyyyyy"}, {"1.8.0_392", "yyynnnn", "nyyyyyy"},
        {"9.0.4", "yyyynnn", "nnnyyyy"},     {"10.0.2", "yyyynnn", "nnnnyyy"},   {"11.0.21", "yyyyynn", "nnnnyyy"},
        {"17.0.9", "yyyyyyn", "nnnnnyy"},    {"21.0.1", "yyyyyyy", "nnnnnny"},   {"25", "yyyyyyy", "nnnnnnn"},
        {"22-ea", "yyyyyyy", "nnnnnnn"},
    };
    for (const auto& row : table) {
        for (size_t i = 0; i < 7; ++i) {
            EXPECT_EQ(isVersionAccepted(row.runtime, parseVersionRange(bounds[i], ""), true, false), row.asMinimum[i] == 'y')
                << row.runtime << " with the minimum " << bounds[i];
            EXPECT_EQ(isVersionAccepted(row.runtime, parseVersionRange("", bounds[i]), true, false), row.asMaximum[i] == 'y')
                << row.runtime << " with the maximum " << bounds[i];
        }
    }
    // A pre-release of today says -ea, as an older one said beta: accepted only where a beta is.
    EXPECT_FALSE(isVersionAccepted("22-ea", parseVersionRange("17", ""), false, false));
    EXPECT_TRUE(isVersionAccepted("22-ea", parseVersionRange("17", ""), false, true));
}

// The registry's candidates are chosen by their numbers, never by their text.
TEST(VersionRules, RuntimeVersionsCompareByTheirNumbers) {
    struct Case {
        const char* a;
        const char* b;
        int order;
    } cases[] = {{"1.8.0_392", "1.8.0_45", 1}, {"17.0.10", "17.0.9", 1}, {"17.0.9", "9.0.4", 1},
                 {"1.8.0_392", "8.0.392", 0},  {"17", "17.0.0", 0},    {"21.0.1", "21.0.1+12", 0},
                 {"21-ea", "21", -1},          {"1.5.0-beta", "1.5.0", -1}, {"", "1.4", -1}};
    for (const Case& c : cases) {
        EXPECT_EQ(compareVersions(c.a, c.b), c.order) << c.a << " vs " << c.b;
        EXPECT_EQ(compareVersions(c.b, c.a), -c.order) << c.b << " vs " << c.a;
    }
}

TEST(VersionRules, BoundsAreVersionsAndARangeMayBeEmpty) {
    for (const char* bound : {"8", "1.8", "17.0.2", "1.8.0_392", "21"}) EXPECT_TRUE(isVersionBound(bound)) << bound;
    for (const char* bound : {"java8", "17+", ">=11", "1..8", "8.", ".8", "", "17 ", "1.8.0-ea"})
        EXPECT_FALSE(isVersionBound(bound)) << bound;
    for (auto [min, max, empty] : {std::tuple{"17", "11", true}, {"11", "1.8", true}, {"17.0.2", "17", false},
                                   {"8", "1.8", false}, {"17", "", false}})
        EXPECT_EQ(isRangeEmpty(min, max), empty) << min << " to " << max;
}

TEST(VersionRules, RegistryNamesCompareOverThePartsBothHave) {
    struct {
        const char* name;
        const char* min;
        const char* max;
        bool inRange;
    } cases[] = {
        {"1.4", "1.4.2", "", true},  {"1.3", "1.4", "", false},   {"1.4.2", "1.4", "", true},
        {"1.5", "", "1.4", false},   {"1.4.2_05", "", "1.4", true}, {"1", "1.4", "1.4", true},
        {"", "1.4", "1.4", true},    {"1.10", "1.4", "", false},  {"2.0", "1.4", "1.8", false},
        {"8.0.392.8", "", "1.8", true}, {"1.8.0.392.8", "", "1.8", true}, {"1.8.0.392.8", "11", "", false},
        {"17.0.2", "8", "11", false}, {"9.0.4", "", "17", true},   {"10", "11", "17", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isVersionInRange(c.name, parseVersionRange(c.min, c.max)), c.inRange) << c.name << " in [" << c.min << ", " << c.max << "]";
}

TEST(VersionRules, VersionLinesOldAndNewForms) {
    struct {
        const char* line;
        const char* version;  // null: rejected
    } cases[] = {
        {"java version \"1.4.2_05\"\n", "1.4.2_05"},
        {"java version \"1.4.2_05\"", "1.4.2_05"},
        {"openjdk version \"17.0.2\" 2022-01-18\n", "17.0.2"},
        {"java version \"11.0.2\" 2019-01-15 LTS\n", "11.0.2"},
        {"openjdk version \"1.8.0_392\"\n", "1.8.0_392"},
        {"java version \"\"\n", ""},
        {"java version 1.4.2\n", nullptr},
        {"java version \"1.4.2\n", nullptr},
        {"Java version \"1.4.2\"\n", nullptr},
        {"  java version \"1.4.2\"\n", nullptr},
        {"Error: could not find java.dll\n", nullptr},
        {"", nullptr},
        {"openjdk version\"17\"\n", nullptr},
    };
    for (const auto& c : cases) {
        Text<kTextSize> v;
        bool ok = parseVersionLine(c.line, v);
        EXPECT_EQ(ok, c.version != nullptr) << c.line;
        if (c.version && ok) {
            EXPECT_STREQ(v.c_str(), c.version) << c.line;
        }
    }
}

// What `parse` makes of `input`: `version`, or a refusal and an empty text when it is null.
void expectVersion(bool (*parse)(const char*, Text<kTextSize>&), const char* input, const char* version) {
    Text<kTextSize> v;
    EXPECT_EQ(parse(input, v), version != nullptr) << input;
    EXPECT_STREQ(v.c_str(), version ? version : "") << input;
}

TEST(VersionRules, TheVersionLineAmongOtherLinesOfTheOutput) {
    struct Case {
        const char* output;
        const char* version;  // null: none
    } cases[] = {
        {"Picked up JAVA_TOOL_OPTIONS: -Dhttps.proxyHost=proxy -Xmx1g\r\n"
         "openjdk version \"17.0.9\" 2023-10-17\r\nOpenJDK Runtime Environment\r\n", "17.0.9"},
        {"Picked up _JAVA_OPTIONS: -Djava.net.preferIPv4Stack=true\njava version \"1.8.0_392\"\n", "1.8.0_392"},
        {"NOTE: Picked up JDK_JAVA_OPTIONS: --add-opens=a/b=ALL-UNNAMED\nPicked up JAVA_TOOL_OPTIONS: -x\n"
         "openjdk version \"21\" 2023-09-19\n", "21"},
        {"java version \"1.4.2_05\"", "1.4.2_05"},
        {"1\n2\n3\n4\n5\n6\n7\njava version \"1.6\"\n", "1.6"},       // the eighth line
        {"1\n2\n3\n4\n5\n6\n7\n8\njava version \"1.6\"\n", nullptr},  // the ninth: too late
        {"Error: could not find java.dll\r\nError: could not find Java SE Runtime Environment.\r\n", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) expectVersion(parseVersionOutput, c.output, c.version);
}

TEST(VersionRules, TheVersionOfAReleaseFile) {
    struct Case {
        const char* release;
        const char* version;
    } cases[] = {
        {"IMPLEMENTOR=\"Eclipse Adoptium\"\nJAVA_VERSION=\"17.0.9\"\nJAVA_VERSION_DATE=\"2023-10-17\"\n", "17.0.9"},
        {"JAVA_VERSION=\"1.8.0_392\"\r\nOS_NAME=\"Windows\"\r\n", "1.8.0_392"},
        {"JAVA_VERSION = \"21.0.1\"", "21.0.1"},
        {"JAVA_VERSION_DATE=\"2023-10-17\"\nJAVA_VERSION=\"11.0.21\"\n", "11.0.21"},
        {"JAVA_VERSION=\"\"\n", nullptr},
        {"JAVA_VERSION=\"17.0.9\nOS_NAME=\"x\"\n", nullptr},
        {"JAVA_VERSION=17.0.9\n", nullptr},
        {"IMPLEMENTOR=\"x\"\n", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) expectVersion(parseReleaseVersion, c.release, c.version);
}

// The names in the order `compare` puts them.
std::vector<std::string> sortedBy(int (*compare)(const char*, const char*), std::vector<std::string> names) {
    std::sort(names.begin(), names.end(),
              [compare](const std::string& a, const std::string& b) { return compare(a.c_str(), b.c_str()) < 0; });
    return names;
}

TEST(VersionRules, RegistryVersionNamesSortByTheirNumbers) {
    EXPECT_EQ(sortedBy(compareVersionNames, {"8.0.392.8", "21", "17.0.2", "17.0.10", "1.8.0_392", "1.8.0_45", "21.0.1",
                                             "11", "17", "017.0.3"}),
              (std::vector<std::string>{"1.8.0_45", "1.8.0_392", "8.0.392.8", "11", "17", "17.0.2", "017.0.3",
                                        "17.0.10", "21", "21.0.1"}));
    EXPECT_EQ(compareVersionNames("17.0.2", "17.0.2"), 0);
    EXPECT_LT(compareVersionNames("17.0.2", "17.0.2.1"), 0);
}

// The version each vendor's subkey name stands for; Java 8 and before as the
// runtime itself calls them.
TEST(VersionRules, VendorSubkeyNamesNameTheirRuntimesVersion) {
    const struct {
        const char* name;
        const char* version;  // null: no version
    } cases[] = {
        {"17.0.2", "17.0.2"},          {"21", "21"},       {"8.0.392.8", "1.8.0.392.8"}, {"7.0.352.8", "1.7.0.352.8"},
        {"1.8.0_392", "1.8.0_392"},    {"9.0.4", "9.0.4"}, {"zulu-17", "17"},            {"zulu-8", "1.8"},
        {"Liberica JDK 17 Full", "17"}, {"Liberica JDK 8", "1.8"}, {"Liberica JDK", nullptr}, {"", nullptr},
    };
    for (const auto& c : cases) expectVersion(vendorNameVersion, c.name, c.version);
    EXPECT_EQ(sortedBy(compareVendorNames, {"zulu-11", "zulu-8", "zulu-17", "zulu-21"}),
              (std::vector<std::string>{"zulu-8", "zulu-11", "zulu-17", "zulu-21"}));
}

// Splits a command line the way the platform's parser does (for the checks).
std::vector<std::string> splitLikeThePlatform(const std::string& line) {
    std::vector<std::string> args;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
            if (i < line.size() && line[i] == '"') {
                arg.append(backslashes / 2, '\\');
                if (backslashes % 2) {
                    arg += '"';
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(backslashes, '\\');
                if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

TEST(CommandLineQuoting, ArgumentsSurviveThePlatformParser) {
    const char* arguments[] = {
        "c:\\program files\\java\\bin\\java.exe", "plain", "", "trailing\\", "two\\\\", "quote\"inside",
        "back\\\"slash", "c:\\a b\\lib\\rt.jar.pack", "\\\\server\\share\\x y", "tab\there",
    };
    for (const char* a : arguments) {
        Text<kTextSize> line;
        appendQuotedArgument(line, a);
        line.append(" -version");
        std::vector<std::string> parsed = splitLikeThePlatform(line.c_str());
        ASSERT_EQ(parsed.size(), 2u) << line.c_str();
        EXPECT_EQ(parsed[0], a) << line.c_str();
        EXPECT_EQ(parsed[1], "-version");
    }
}

TEST(RuntimeRules, RegistryKeysHoldThePathAsOneName) {
    PathText key;
    EXPECT_TRUE(registryKeyOfPath(key, "SOFTWARE\\tallgrass-works\\zorvo\\jvms\\", "c:\\j2re\\bin\\java.exe"));
    EXPECT_STREQ(key.c_str(), "SOFTWARE\\tallgrass-works\\zorvo\\jvms\\c:/j2re/bin/java.exe");
    std::string huge(9000, 'x');
    EXPECT_FALSE(registryKeyOfPath(key, "base\\", huge.c_str()));
}

TEST(RuntimeRules, ExecutableDirectoryAndLibraryPaths) {
    PathText dir, lib;
    ASSERT_TRUE(executableDirectoryOf(dir, "c:\\j2sdk\\bin\\java.exe"));
    EXPECT_STREQ(dir.c_str(), "c:\\j2sdk\\bin\\");
    ASSERT_TRUE(executableDirectoryOf(dir, "c:\\j2sdk\\bin\\javaw.exe"));
    EXPECT_STREQ(dir.c_str(), "c:\\j2sdk\\bin\\");
    // Not exactly "javaw.exe": eight characters go, whatever they are.
    ASSERT_TRUE(executableDirectoryOf(dir, "c:\\x\\JAVAW.EXE"));
    EXPECT_STREQ(dir.c_str(), "c:\\x\\J");
    EXPECT_FALSE(executableDirectoryOf(dir, "a.exe"));
    ASSERT_TRUE(executableDirectoryOf(dir, "c:\\j2sdk\\bin\\../jre/bin/java.exe"));
    ASSERT_TRUE(vmLibraryPath(lib, dir.c_str(), "client"));
    EXPECT_STREQ(lib.c_str(), "c:\\j2sdk\\bin\\../jre/bin/client\\jvm.dll");
}

// The release file lies above a folder named bin, and nowhere else.
TEST(RuntimeRules, OnlyAFolderOfThatNameCounts) {
    for (auto [dir, folder] : {std::pair{"c:\\jdk\\bin\\", "bin"}, {"c:\\jdk\\BIN\\", "bin"}, {"c:\\jdk\\jre\\", "jre"}})
        EXPECT_TRUE(endsWithFolder(dir, folder)) << dir;
    for (const char* dir : {"c:\\jdk\\mybin\\", "bin\\", "c:\\jdk\\bin", "c:\\jdk\\bins\\", "c:\\java\\", ""})
        EXPECT_FALSE(endsWithFolder(dir, "bin")) << dir;
}

TEST(RuntimeRules, WindowedExecutableAndSorting) {
    PathText p("c:\\jre\\bin\\java.exe");
    ASSERT_TRUE(windowedExecutableOf(p));
    EXPECT_STREQ(p.c_str(), "c:\\jre\\bin\\javaw.exe");
    PathText q("c:\\jre\\bin\\java");
    EXPECT_FALSE(windowedExecutableOf(q));
    std::vector<std::string> names = {"17.0.10", "1.4.2", "1.8.0_392", "1.3", "1.4", "9.0.4", "1.8.0_45", "1.4.2_05",
                                      "10", "17.0.9"};
    std::vector<char*> ptrs;
    for (auto& n : names) ptrs.push_back(n.data());
    sortVersions(ptrs.data(), ptrs.size());
    std::vector<std::string> sorted(ptrs.begin(), ptrs.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"1.3", "1.4", "1.4.2", "1.4.2_05", "1.8.0_45", "1.8.0_392", "9.0.4",
                                                "10", "17.0.9", "17.0.10"}));
}

// The order of the search, with what each step accepts and reports.
TEST(SearchPlan, FilesItemsAndTheFlavoursVariableInTheirOrder) {
    auto plan = [](const char* sequence, char flavour, size_t stopAfter = 100) {
        std::vector<std::string> steps;
        forEachSearchStep(sequence, flavour, [&](const SearchStep& step) {
            steps.push_back(std::to_string(static_cast<int>(step.kind)) + " " + step.argument + " " +
                            (step.betaAccepted ? "beta " : "") + std::to_string(step.damagedMessage));
            return steps.size() < stopAfter;
        });
        return steps;
    };
    // Kinds: 0 file, 1 home, 2 variable, 3 PATH, 4 registry, 5 nothing.
    EXPECT_EQ(plan("R.\\java;EJAVA_HOME;;S x;Y;a dir;Ahome", 'e'),
              (std::vector<std::string>{"0 \\.quenbrook\\pref_jre.cfg beta 1004", "1 .\\java beta 1004",
                                        "2 JAVA_HOME 1003", "3  x 1002", "4  0", "5 a dir 0", "1 home beta 1004",
                                        "2 ZORVO_JAVA_HOME 1003", "0 \\.quenbrook\\inst_jre.cfg beta 1004"}));
    EXPECT_EQ(plan("", 'i'), (std::vector<std::string>{"0 \\.quenbrook\\pref_jre.cfg beta 1004",
                                                        "2 QUENBROOK_JAVA_HOME 1003",
                                                        "0 \\.quenbrook\\inst_jre.cfg beta 1004"}));
    EXPECT_EQ(plan("Y", '\0').size(), 3u) << "no variable for any other flavour";
    EXPECT_EQ(plan("Y;S;Rjre", 'e', 2).size(), 2u) << "the walk stops when a step is accepted";
}

}  // namespace
}  // namespace zorvo
