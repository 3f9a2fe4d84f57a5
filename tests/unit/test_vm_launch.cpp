// Splitting, substitution, the class path option and the option list.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/grow_text.h"
#include "vm/class_path.h"
#include "common/split.h"
#include "vm/substitution.h"
#include "vm/vm_options.h"
#include "paths/path_rules.h"

namespace zorvo {
namespace {

struct Split {
    std::vector<std::string> args;
    std::string rest;
    bool unbalanced;
};

Split split(const char* text, const char* prefix = nullptr, SplitText kind = SplitText::CommandLine) {
    StringList list;
    bool unbalanced = false;
    size_t pos = splitArguments(text, prefix, kind, list, unbalanced);
    Split s{{}, unbalanced ? "" : std::string(text + pos), unbalanced};
    for (size_t i = 0; i < list.count; ++i) s.args.push_back(list.at(i));
    list.release();
    return s;
}

using Args = std::vector<std::string>;

// One bracketed field of a line of tests/data/split_cases.txt, from `at`;
// false when there is none.
bool readField(const std::string& line, size_t& at, std::string& field) {
    while (at < line.size() && line[at] == ' ') ++at;
    if (at >= line.size() || line[at] != '[') return false;
    field.clear();
    for (++at; at < line.size() && line[at] != ']'; ++at) {
        char c = line[at];
        if (c == '\\' && at + 1 < line.size()) c = line[++at] == 't' ? '\t' : line[at];
        field += c;
    }
    ++at;
    return true;
}

// The cases the Java side's splitter (the command line's rule) is tested with
// too: a case for both kinds of text, or marked for one of them.
TEST(Split, SharedCasesAgreeWithTheJavaSide) {
    std::ifstream file(std::string(ZORVO_SOURCE_DIR) + "/tests/data/split_cases.txt");
    ASSERT_TRUE(file.good());
    std::string line, input, field;
    int cases = 0;
    while (std::getline(file, line)) {
        std::vector<SplitText> kinds = {SplitText::Configured, SplitText::CommandLine};
        size_t at = 0;
        if (line.compare(0, 11, "configured ") == 0) {
            kinds = {SplitText::Configured};
            at = 11;
        } else if (line.compare(0, 13, "command-line ") == 0) {
            kinds = {SplitText::CommandLine};
            at = 13;
        }
        if (!readField(line, at, input)) continue;
        size_t arrow = line.find("->", at);
        ASSERT_NE(arrow, std::string::npos) << line;
        for (SplitText kind : kinds) {
            Split s = split(input.c_str(), nullptr, kind);
            if (line.find("unbalanced", arrow) != std::string::npos) {
                EXPECT_TRUE(s.unbalanced) << line;
            } else {
                Args expected;
                for (size_t from = arrow + 2; readField(line, from, field);) expected.push_back(field);
                EXPECT_FALSE(s.unbalanced) << line;
                EXPECT_EQ(s.args, expected) << line;
            }
        }
        ++cases;
    }
    EXPECT_GE(cases, 20);
}

TEST(Split, LeadingRunOfPrefixedArguments) {
    const struct {
        const char* text;
        Args args;
        const char* rest;
    } cases[] = {
        {"-J-Xmx512m -J-Dfoo=bar app1 app2", {"-Xmx512m", "-Dfoo=bar"}, "app1 app2"},
        // Two blanks, or an argument without the prefix, end the run.
        {"-Ja  -Jb", {"a"}, " -Jb"},
        {"x -Ja", {}, "x -Ja"},
        // "-J" and a blank add nothing; the run goes on only with another "-J".
        {"-J -Jb c", {"b"}, "c"},
        {"-J -Xb", {}, "-Xb"},
        // "-J" at the very end gives an empty option.
        {"-Ja -J", {"a", ""}, ""},
        {"-J\"-Dx=a b\" app", {"-Dx=a b"}, "app"},
    };
    for (const auto& c : cases) {
        Split s = split(c.text, "-J");
        EXPECT_EQ(s.args, c.args) << c.text;
        EXPECT_EQ(s.rest, c.rest) << c.text;
    }
}

std::string substituted(const char* text, const char* env = nullptr, const char* exeDir = "c:\\app\\",
                        const char* tempDir = "c:\\t\\zrv1.tmp_dir5") {
    PathText t(text);
    substituteVariables(t, exeDir, tempDir, env);
    return t.c_str();
}

TEST(Substitution, LauncherVariablesInBothForms) {
    EXPECT_EQ(substituted("%ZORVO_EXEDIR%lib\\a.jar"), "c:\\app\\lib\\a.jar");
    EXPECT_EQ(substituted("${QUENBROOK_EXEDIR}x;%ZORVO_TEMPDIR%\\y"), "c:\\app\\x;c:\\t\\zrv1.tmp_dir5\\y");
    EXPECT_EQ(substituted("a%ZORVO_PATHLIST_SEPARATOR%b${QUENBROOK_PATHLIST_SEPARATOR}c"), "a;b;c");
    EXPECT_EQ(substituted("%PATH% %zorvo_exedir% ${ZORVO_EXEDIR"), "%PATH% %zorvo_exedir% ${ZORVO_EXEDIR");
    EXPECT_EQ(substituted(""), "");
    EXPECT_EQ(substituted("%ZORVO_TEMPDIR%", nullptr, "c:\\app\\", ""), "");
}

TEST(Substitution, EnvironmentBlockOrderAndCase) {
    // Blocks: entries separated by NULs, ending with an empty entry.
    const char env[] = "=C:=C:\\work\0Path=c:\\bin\0A=${B}\0B=bee\0C=${A}\0\0";
    EXPECT_EQ(substituted("${Path} ${PATH} ${path}", env), "c:\\bin c:\\bin ${path}");
    // A value naming a later variable is expanded further, an earlier one is not.
    EXPECT_EQ(substituted("${A}", env), "bee");
    EXPECT_EQ(substituted("${C}", env), "${A}");
    // Entries beginning with "=" have an empty name.
    EXPECT_EQ(substituted("x${}y", env), "xC:=C:\\worky");
    EXPECT_EQ(substituted("${NOPE}", env), "${NOPE}");
    // Launcher variables come first: one inside an environment value stays as
    // it is, while a variable reference inside a launcher variable's value is
    // expanded afterwards.
    const char env2[] = "X=%ZORVO_EXEDIR%\0Y=${ZORVO_TEMPDIR}\0B=bee\0\0";
    EXPECT_EQ(substituted("${X}|${Y}", env2), "%ZORVO_EXEDIR%|${ZORVO_TEMPDIR}");
    EXPECT_EQ(substituted("%ZORVO_EXEDIR%", env2, "c:\\${B}\\"), "c:\\bee\\");
}

TEST(Substitution, ValuesContainingThePatternDoNotLoop) {
    PathText t("a ${X} b ${X}");
    EXPECT_TRUE(replaceAll(t, "${X}", "<${X}>"));
    EXPECT_STREQ(t.c_str(), "a <${X}> b <${X}>");
}

TEST(Substitution, AReplacementThatWouldNotFitLeavesTheRestUnchanged) {
    const std::string value(40, 'v');
    // The first replacement makes the text exactly 8191 characters long; the
    // second would pass the bound, so it and everything after it stay.
    std::string base(8191 - (40 + 1 + 14), 'x');
    PathText t((base + "%ZORVO_EXEDIR%|%ZORVO_EXEDIR%").c_str());
    ASSERT_FALSE(t.truncated());
    EXPECT_FALSE(replaceAll(t, "%ZORVO_EXEDIR%", value.c_str()));
    std::string result = t.c_str();
    EXPECT_EQ(result.size(), 8191u);
    EXPECT_TRUE(result == base + value + "|%ZORVO_EXEDIR%") << result.substr(base.size());
    // Substitution stops there: later patterns are not applied either.
    const std::string shorter(25, 'w');
    std::string base2(8121, 'x');
    PathText u((base2 + "%ZORVO_EXEDIR%|%ZORVO_EXEDIR%${ZORVO_PATHLIST_SEPARATOR}").c_str());
    ASSERT_FALSE(u.truncated());
    substituteVariables(u, shorter.c_str(), "", nullptr);
    EXPECT_TRUE(std::string(u.c_str()) == base2 + shorter + "|%ZORVO_EXEDIR%${ZORVO_PATHLIST_SEPARATOR}");
}

// A file system and environment for the class path, in memory.
struct FakeHost {
    std::map<std::string, std::vector<std::string>> dirs;  // directory -> files
    std::vector<std::string> files;
    std::map<std::string, std::string> vars;
    std::vector<std::string> listed;  // directory\*.ext patterns asked for
};

bool fakeExists(void* ctx, const char* path) {
    FakeHost* h = static_cast<FakeHost*>(ctx);
    if (h->dirs.count(path)) return true;
    for (const auto& f : h->files)
        if (f == path) return true;
    return false;
}

int fakeList(void* ctx, const char* dir, const char* ext, char*** names) {
    FakeHost* h = static_cast<FakeHost*>(ctx);
    h->listed.push_back(std::string(dir) + "|" + ext);
    std::vector<std::string> match;
    for (const auto& f : h->dirs[dir]) {
        std::string suffix = std::string(".") + ext;
        if (f.size() > suffix.size() && f.compare(f.size() - suffix.size(), suffix.size(), suffix) == 0)
            match.push_back(f);
    }
    if (match.empty()) return 0;
    *names = static_cast<char**>(malloc(match.size() * sizeof(char*)));
    for (size_t i = 0; i < match.size(); ++i) (*names)[i] = strdup(match[i].c_str());
    return static_cast<int>(match.size());
}

bool fakeVariable(void* ctx, const char* name, PathText& value, bool& undefined) {
    FakeHost* h = static_cast<FakeHost*>(ctx);
    auto it = h->vars.find(name);
    undefined = it == h->vars.end();
    value.assign(undefined ? "" : it->second.c_str());
    return !undefined && !it->second.empty();
}

void fakeSubstitute(void*, PathText& text) { substituteVariables(text, "c:\\app\\", "", nullptr); }

void fakeResolve(void*, PathText& dst, const char* path) {
    dst.assign(isRelativePath(path) ? "c:\\app\\" : "");
    dst.append(path);
    collapseBackslashes(dst.data());
    dst.refresh();
}

struct ClassPathResult {
    std::string option;
    ClassPathFailure failure;
    std::string failed;
};

ClassPathResult classPath(FakeHost& host, const char* entries, const char* tempDir = "",
                          const char* installer = nullptr) {
    ClassPathHost h{&host, fakeExists, fakeList, fakeVariable, fakeSubstitute, fakeResolve};
    GrowText option;
    PathText failed;
    ClassPathFailure f = buildClassPathOption(option, tempDir, installer, entries, h, failed);
    return {option.c_str(), f, failed.c_str()};
}

TEST(ClassPath, EmptyConfigurationGivesTheBareOption) {
    FakeHost host;
    EXPECT_EQ(classPath(host, "").option, "-Djava.class.path=\";\"");
    EXPECT_EQ(classPath(host, ";;").option, "-Djava.class.path=\";\"");
}

TEST(ClassPath, ExtractedArchivesFirstThenInstallerJarThenEntries) {
    FakeHost host;
    host.dirs["c:\\t\\zrv1.tmp_dir5"] = {"b.jar", "a.zip", "c.jar", "notes.txt"};
    host.dirs["c:\\app\\lib"] = {"x.zip", "y.jar"};
    host.files = {"c:\\app\\main.jar"};
    host.vars["CP"] = "\"d:\\ext\\e.jar;d:\\ext\\f.jar;\"";
    ClassPathResult r = classPath(host, "A1main.jar;;S0lib;E1CP;Dxclasses\\;Z1ignored", "c:\\t\\zrv1.tmp_dir5",
                                  "c:\\app\\.quenbrook\\qbkruntime.jar");
    EXPECT_EQ(r.failure, ClassPathFailure::None);
    EXPECT_EQ(r.option,
              "-Djava.class.path=\";c:\\t\\zrv1.tmp_dir5\\b.jar;c:\\t\\zrv1.tmp_dir5\\c.jar;c:\\t\\zrv1.tmp_dir5\\a.zip;"
              "c:\\app\\.quenbrook\\qbkruntime.jar;c:\\app\\main.jar;c:\\app\\lib\\y.jar;c:\\app\\lib\\x.zip;"
              "d:\\ext\\e.jar;d:\\ext\\f.jar;c:\\app\\classes\\;\"");
}

TEST(ClassPath, MandatoryEntriesThatAreMissing) {
    FakeHost host;
    host.dirs["c:\\app\\empty"] = {};
    // An existing but empty scanned directory is found.
    EXPECT_EQ(classPath(host, "S1empty").failure, ClassPathFailure::None);
    // Optional missing entries: an A path is still added, an S directory adds nothing.
    EXPECT_EQ(classPath(host, "A0gone.jar;S0nodir;E0NOVAR").option, "-Djava.class.path=\";c:\\app\\gone.jar;\"");
    ClassPathResult r = classPath(host, "A0ok.jar;A1%ZORVO_EXEDIR%gone.jar;A1never.jar");
    EXPECT_EQ(r.failure, ClassPathFailure::MissingFile);
    EXPECT_EQ(r.failed, "c:\\app\\gone.jar");  // the text after substitution
    r = classPath(host, "S1nodir");
    EXPECT_EQ(r.failure, ClassPathFailure::MissingFile);
    EXPECT_EQ(r.failed, "nodir");
    r = classPath(host, "E1MISSING_VAR");
    EXPECT_EQ(r.failure, ClassPathFailure::MissingVariable);
    EXPECT_EQ(r.failed, "MISSING_VAR");
}

TEST(ClassPath, ClassPathGrowsBeyondTheTextBound) {
    FakeHost host;
    std::vector<std::string> many;
    for (int i = 0; i < 400; ++i) many.push_back("library-with-a-long-name-" + std::to_string(i) + ".jar");
    host.dirs["c:\\app\\lib"] = many;
    ClassPathResult r = classPath(host, "S1lib");
    EXPECT_GT(r.option.size(), 16000u);
    EXPECT_EQ(r.option.substr(r.option.size() - 2), ";\"");
    EXPECT_NE(r.option.find("library-with-a-long-name-399.jar;"), std::string::npos);
}

TEST(VmOptions, PropertiesFileLinesAndInitArgs) {
    StringList options;
    addLauncherProperties(options, LauncherProperties{nullptr, "C:\\app\\app.exe", "C:\\t\\zrv_p7.tmp", ""});
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    fputs("-Xmx1g\r\n\n  spaced  \r\r\n-Dlast", f);
    rewind(f);
    addOptionsFileLines(options, f);
    fclose(f);
    std::vector<std::string> got;
    for (size_t i = 0; i < options.count; ++i) got.push_back(options.at(i));
    EXPECT_EQ(got, (Args{"-Dzorvo.moduleName=C:\\app\\app.exe", "-Dzorvo.processCommFile=C:\\t\\zrv_p7.tmp",
                         "-Dzorvo.tempDir=", "-Xmx1g", "", "  spaced  ", "-Dlast"}));
    std::vector<JavaVMOption> storage(options.count);
    JavaVMInitArgs args;
    fillInitArgs(args, storage.data(), options);
    EXPECT_EQ(args.version, 0x00010002);
    EXPECT_EQ(args.nOptions, 7);
    EXPECT_EQ(args.ignoreUnrecognized, JNI_TRUE);
    EXPECT_STREQ(args.options[3].optionString, "-Xmx1g");
    EXPECT_EQ(args.options[3].extraInfo, nullptr);
    options.release();

    StringList single;
    addLauncherProperties(single, LauncherProperties{"c:_app_app.exe", "m", "p", "t"});
    EXPECT_STREQ(single.at(0), "-Dzorvo.semaphoreName=c:_app_app.exe");
    EXPECT_EQ(single.count, 4u);
    single.release();
}

}  // namespace
}  // namespace zorvo
