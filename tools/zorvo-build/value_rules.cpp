#include "value_rules.h"

#include <vector>

#include "common/java_version.h"
#include "common/split.h"
#include "common/string_list.h"
#include "config/entry_rules.h"
#include "value_text.h"

namespace zorvo {
namespace buildtool {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The items of a ';'-separated list, empty ones left out.
std::vector<std::string> listItems(const std::string& list) {
    std::vector<std::string> items;
    size_t start = 0;
    for (size_t end; start <= list.size(); start = end + 1) {
        end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) items.push_back(list.substr(start, end - start));
    }
    return items;
}

bool hasOuterBlank(const std::string& item) {
    return !item.empty() && (isBlank(item.front()) || isBlank(item.back()));
}

// Why a class-path item cannot be read: each is a type letter, a flag and a path or name.
std::string classPathProblem(const std::string& list) {
    for (const std::string& item : listItems(list)) {
        bool typed = item.size() >= 3 && std::string("ADSE").find(item[0]) != std::string::npos &&
                     (item[1] == '0' || item[1] == '1');
        if (hasOuterBlank(item)) {
            return "class-path item " + shownName(item) +
                   " begins or ends with a blank; items are separated by ';' without blanks";
        }
        if (!typed) {
            return "class-path item " + shownName(item) + " needs a type letter and a flag: write A1" +
                   escapeNarrow(item) +
                   " for a required jar (A0 for an optional one, D1 for a folder of classes, S0 for every jar "
                   "of a folder, E0 for a variable holding paths)";
        }
    }
    return "";
}

// Why an item of the search sequence cannot be read.
std::string searchSequenceProblem(const std::string& list) {
    for (const std::string& item : listItems(list)) {
        bool known = std::string("ARESY").find(item[0]) != std::string::npos;
        bool argued = item[0] == 'S' || item[0] == 'Y' || item.size() > 1;
        if (hasOuterBlank(item) || !known || !argued) {
            return "jvm-search-sequence item " + shownName(item) +
                   " is not one of: A or R and a Java home folder (Rjre), E and a variable holding one (EJAVA_HOME), "
                   "S (the folders of PATH), Y (the registry); items are separated by ';' without blanks";
        }
    }
    return "";
}

// A Java class name, dotted (or with '/'): parts of letters, digits, '_' and
// '$' (and characters beyond ASCII), none empty or beginning with a digit.
bool isClassName(const std::string& name) {
    size_t partLength = 0;
    for (char ch : name) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c == '.' || c == '/') {
            if (partLength == 0) return false;
            partLength = 0;
            continue;
        }
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' || c >= 0x80;
        bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && partLength > 0)) return false;
        ++partLength;
    }
    return partLength > 0;
}

// The rules of single entries, beyond their kinds.
std::string entryRuleProblem(const ConfigEntryInfo& info, const std::string& bytes) {
    const std::string name = info.name;
    switch (info.id) {
        case cfg::kClassPath: return classPathProblem(bytes);
        case cfg::kJvmSearchSequence: return searchSequenceProblem(bytes);
        case cfg::kAppArguments:
        case cfg::kVmOptions: {
            StringList split;
            bool unbalanced = false;
            splitArguments(bytes.c_str(), nullptr, SplitText::Configured, split, unbalanced);
            split.release();
            return unbalanced ? name + " has a quote without its closing quote: the launcher would refuse every start "
                                       "(message 1007)"
                              : "";
        }
        case cfg::kProductFlavour:
            return bytes == "e" || bytes == "i" ? ""
                                                : "product-flavour is e (the launcher flavour) or i (the installer "
                                                  "flavour), not " + shownName(bytes);
        case cfg::kAppType:
            return bytes == "0" || bytes == "1" || bytes == "5"
                       ? ""
                       : "app-type is 1 (a windowed application), 5 (messages in boxes, no windowed runtime needed) or "
                         "0 (messages on standard error), not " + shownName(bytes);
        case cfg::kMainClass:
            return isClassName(bytes) ? "" : "main-class needs a class name such as com.example.Main, not " + shownName(bytes);
        case cfg::kSplashStatusFont:
        case cfg::kSplashFixedFont:
            return bytes.size() <= 31 ? "" : name + " is " + std::to_string(bytes.size()) + " characters long; a font "
                                                     "name has at most 31";
        case cfg::kEmbeddedFileCount:
        case cfg::kEmbeddedFileNames: return name + " is written from the embed lines: name each file with embed = PATH";
        default: return "";
    }
}

}  // namespace

std::string valueProblem(const ConfigEntryInfo& info, const std::string& bytes) {
    if (bytes.empty()) return "";
    if (info.kind == EntryKind::Int && !isWholeNumber(bytes)) {
        return std::string(info.name) + " needs a whole number, not " + shownName(bytes);
    }
    if (info.kind == EntryKind::Color && !isColorValue(bytes)) {
        return std::string(info.name) + " needs a colour \"red,green,blue\" (each 0 to 255), not " + shownName(bytes);
    }
    if ((info.id == cfg::kMinJavaVersion || info.id == cfg::kMaxJavaVersion) && !isVersionBound(bytes.c_str())) {
        return std::string(info.name) + " needs a version such as 8, 1.8, 11 or 17.0.2 (numbers separated by dots), not " +
               shownName(bytes);
    }
    if (info.id == cfg::kDownloadUrl) {
        if (const char* problem = downloadAddressProblem(bytes.data(), bytes.size())) {
            return std::string(info.name) + " " + shownName(bytes) + " " + problem;
        }
    }
    return entryRuleProblem(info, bytes);
}

}  // namespace buildtool
}  // namespace zorvo
