#include "config_text.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>

#include "common/ascii.h"
#include "common/java_version.h"
#include "config/entry_rules.h"
#include "value_rules.h"
#include "value_text.h"

namespace zorvo {
namespace buildtool {
namespace {

const char kWidePrefix[] = "wide:";
const char kEmbedName[] = "embed";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trimBlanks(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// What the parser knows while it walks the lines.
struct LineContext {
    const ConfigSource& source;
    int line;
    std::string& error;

    bool fail(const std::string& message) {
        error = source.displayName + ":" + std::to_string(line) + ": " + message;
        return false;
    }
};

// The number of single-character edits that turn `a` into `b`.
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Every name a line may begin with.
std::vector<std::string> knownDirectives() {
    std::vector<std::string> names = {kEmbedName};
    for (size_t i = 0; i < kResourceDirectiveCount; ++i) names.push_back(kResourceDirectives[i].name);
    for (size_t i = 0; i < kConfigEntryCount; ++i) names.push_back(kConfigEntries[i].name);
    return names;
}

// The known directive nearest to a mistyped one, when one is near enough
// (at most a third of its letters edited); empty otherwise.
std::string nearestDirective(const std::string& name) {
    std::string best;
    size_t bestDistance = name.size() / 3 + 1;
    for (const std::string& known : knownDirectives()) {
        size_t d = editDistance(name, known);
        if (d < bestDistance) {
            best = known;
            bestDistance = d;
        }
    }
    return best;
}

bool unknownDirective(LineContext& ctx, const std::string& name) {
    std::string nearest = nearestDirective(name);
    return ctx.fail("unknown directive " + shownName(name) + (nearest.empty() ? "" : "; did you mean '" + nearest + "'?"));
}

// A ConfigId written as a decimal number (optional sign), or false.
bool parseNumericId(const std::string& name, ConfigId& id, bool& outOfRange) {
    outOfRange = false;
    size_t i = 0;
    if (i < name.size() && (name[i] == '+' || name[i] == '-')) ++i;
    if (i == name.size()) return false;
    for (size_t k = i; k < name.size(); ++k) {
        if (name[k] < '0' || name[k] > '9') return false;
    }
    if (!isWholeNumber(name)) {
        outOfRange = true;
        return true;
    }
    int64_t v = 0;
    for (size_t k = i; k < name.size(); ++k) v = v * 10 + (name[k] - '0');
    id = static_cast<ConfigId>(name[0] == '-' ? -v : v);
    return true;
}

// Resolves the name part of a line (without "wide:") to an id; `info` is the
// table row when the name was a readable one.
bool resolveName(LineContext& ctx, const std::string& name, bool wide, ConfigId& id,
                 const ConfigEntryInfo*& info) {
    info = nullptr;
    bool outOfRange;
    if (parseNumericId(name, id, outOfRange)) {
        if (outOfRange) return ctx.fail("entry id " + shownName(name) + " is outside the 32-bit range");
        if (!findConfigEntry(id))
            return ctx.fail("entry " + std::to_string(id) + " is no entry the launcher reads (zorvo-build --reference "
                            "lists them)");
        return true;
    }
    if (name.find('\0') == std::string::npos) info = findConfigEntryByName(name.c_str());
    if (!info) {
        if (name.empty()) return ctx.fail(wide ? "missing entry name after 'wide:'" : "missing entry name before '='");
        return unknownDirective(ctx, name);
    }
    bool wideEntry = info->kind == EntryKind::Wide;
    if (wideEntry && !wide) {
        return ctx.fail(shownName(name) + " is a wide entry: write it as wide:" + name);
    }
    if (!wideEntry && wide) return ctx.fail(shownName(name) + " is not a wide entry");
    id = info->id;
    return true;
}

bool checkValue(LineContext& ctx, const ConfigEntryInfo& info, const std::string& bytes) {
    std::string problem = valueProblem(info, bytes);
    return problem.empty() || ctx.fail(problem);
}

bool addEmbed(LineContext& ctx, const std::string& value, AppConfig& out) {
    std::string path;
    std::string why;
    if (!unescapeNarrow(value, path, why)) return ctx.fail(why);
    if (path.empty()) return ctx.fail("embed needs the path of a file");
    if (path.find('\0') != std::string::npos) return ctx.fail("embed path holds a NUL byte");
    std::filesystem::path p(path);
    std::string name = p.filename().string();
    if (const char* problem = embeddedNameProblem(name)) {
        return ctx.fail("cannot embed " + shownName(path) + ": " + problem);
    }
    for (const EmbedSpec& e : out.embeds) {
        if (sameEmbeddedName(e.name, name)) {
            return ctx.fail("embedded file name " + shownName(name) + " is already used on line " +
                            std::to_string(e.line));
        }
    }
    if (out.embeds.empty()) out.embedAt = out.narrow.size();
    if (!ctx.source.baseDir.empty() && p.is_relative()) p = std::filesystem::path(ctx.source.baseDir) / p;
    out.embeds.push_back(EmbedSpec{p.string(), name, ctx.line});
    // The launcher reads entry 2003 into a text buffer; names cut off there would be lost.
    if (embeddedNamesValue(out.embeds).size() > kMaxValueLength) {
        return ctx.fail("the names of the embedded files exceed " + std::to_string(kMaxValueLength) +
                        " bytes in entry 2003");
    }
    return true;
}

// A directive given a second time is an error naming the first line.
bool once(LineContext& ctx, const std::string& name, int& line) {
    if (line) return ctx.fail(name + " is given on line " + std::to_string(line) + " already");
    line = ctx.line;
    return true;
}

bool pathDirective(LineContext& ctx, const std::string& name, const std::string& value, GivenDirective& given) {
    if (!once(ctx, name, given.line)) return false;
    std::string why;
    if (!unescapeNarrow(value, given.value, why)) return ctx.fail(why);
    if (given.value.empty() || given.value.find('\0') != std::string::npos)
        return ctx.fail(name + " needs the path of a file");
    std::filesystem::path p(given.value);
    if (!ctx.source.baseDir.empty() && p.is_relative())
        given.value = (std::filesystem::path(ctx.source.baseDir) / p).string();
    return true;
}

bool choiceDirective(LineContext& ctx, const ResourceDirective& row, const std::string& value, GivenDirective& given) {
    if (!once(ctx, row.name, given.line)) return false;
    std::string list;
    for (const char* const* choice = row.choices; *choice; ++choice) {
        if (value == *choice) {
            given.value = value;
            return true;
        }
        list += list.empty() ? *choice : std::string(", ") + *choice;
    }
    return ctx.fail(std::string(row.name) + " is one of " + list + ", not " + shownName(value));
}

bool versionDirective(LineContext& ctx, const ResourceDirective& row, const std::string& value, GivenDirective& given) {
    const std::string name = row.name;
    if (!once(ctx, name, given.line)) return false;
    std::string why;
    if (!unescapeWide(value, given.units, why)) return ctx.fail(why);
    if (given.units.empty()) return ctx.fail(name + " needs a value");
    if (given.units.size() > kMaxVersionFieldUnits) {
        return ctx.fail(name + " is " + std::to_string(given.units.size()) + " UTF-16 code units long; at most " +
                        std::to_string(kMaxVersionFieldUnits) + " fit");
    }
    uint32_t high, low;
    if (row.kind == DirectiveKind::VersionNumber && !parseVersionNumber(given.units, high, low)) {
        return ctx.fail(name + " needs one to four numbers from 0 to 65535 separated by dots, not " +
                        shownName(value));
    }
    return true;
}

// True when the line was a resource directive (handled, or failed in `ok`).
bool resourceDirective(LineContext& ctx, const std::string& name, const std::string& value, ResourceSpec& spec,
                       bool& ok) {
    const ResourceDirective* row = findResourceDirective(name);
    if (!row) return false;
    GivenDirective& given = spec.given[static_cast<size_t>(row - kResourceDirectives)];
    switch (row->kind) {
        case DirectiveKind::Path: ok = pathDirective(ctx, name, value, given); break;
        case DirectiveKind::Choice: ok = choiceDirective(ctx, *row, value, given); break;
        case DirectiveKind::VersionNumber:
        case DirectiveKind::VersionText: ok = versionDirective(ctx, *row, value, given); break;
    }
    return true;
}

bool beyondAscii(const std::string& written) {
    for (char c : written) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

// A value written with characters beyond ASCII (the file is UTF-8). A
// message (or the boxes' caption) is written as a wide record too, which the
// launcher shows as it is on a system of any code page; its narrow record
// holds the text with '?' for each such character. Every other narrow text
// is stored in the system's code page, which the tool cannot know: refused.
bool utf8Message(LineContext& ctx, const ConfigEntryInfo& info, const std::string& value, AppConfig& out) {
    if (info.kind != EntryKind::Message && info.id != cfg::kMsgCaption) {
        return ctx.fail(std::string(info.name) + " holds characters beyond ASCII, which a launcher stores in the "
                        "Windows code page of the user's system: write that code page's bytes as \\xHH (\\xE9 for "
                        "\xC3\xA9 in Western Europe); only messages may be written in UTF-8");
    }
    std::u16string units;
    std::string why;
    if (!unescapeWide(value, units, why)) return ctx.fail(why);
    if (units.size() > kMaxValueLength) {
        return ctx.fail("value is " + std::to_string(units.size()) + " UTF-16 code units long; at most " +
                        std::to_string(kMaxValueLength) + " fit");
    }
    std::string stand;
    for (char16_t u : units) {
        if (u >= 0xDC00 && u < 0xE000) continue;  // the second half of a pair
        stand += u < 0x80 ? static_cast<char>(u) : '?';
    }
    out.narrow.push_back(Record{info.id, stand, ctx.line, true});
    out.wide.push_back(Record{info.id, toUtf16le(units), ctx.line, false});
    return true;
}

bool parseLine(LineContext& ctx, const std::string& text, AppConfig& out) {
    size_t eq = text.find('=');
    if (eq == std::string::npos) return ctx.fail("expected 'name = value', found no '='");
    std::string name = trimBlanks(text.substr(0, eq));
    std::string value = trimBlanks(text.substr(eq + 1));
    if (name == kEmbedName) return addEmbed(ctx, value, out);
    bool ok;
    if (resourceDirective(ctx, name, value, out.resources, ok)) return ok;

    bool wide = name.compare(0, sizeof kWidePrefix - 1, kWidePrefix) == 0;
    if (wide) name.erase(0, sizeof kWidePrefix - 1);
    ConfigId id = 0;
    const ConfigEntryInfo* info = nullptr;
    if (!resolveName(ctx, name, wide, id, info)) return false;

    std::string why;
    if (wide) {
        std::u16string units;
        if (!unescapeWide(value, units, why)) return ctx.fail(why);
        if (units.size() > kMaxValueLength) {
            return ctx.fail("value is " + std::to_string(units.size()) + " UTF-16 code units long; at most " +
                            std::to_string(kMaxValueLength) + " fit");
        }
        out.wide.push_back(Record{id, toUtf16le(units), ctx.line});
        return true;
    }
    std::string bytes;
    if (info && beyondAscii(value)) return utf8Message(ctx, *info, value, out);
    if (!unescapeNarrow(value, bytes, why)) return ctx.fail(why);
    if (bytes.size() > kMaxValueLength) {
        return ctx.fail("value is " + std::to_string(bytes.size()) + " bytes long; at most " +
                        std::to_string(kMaxValueLength) + " fit");
    }
    if (info && !checkValue(ctx, *info, bytes)) return false;
    out.narrow.push_back(Record{id, bytes, ctx.line, info != nullptr});
    return true;
}

// A minimum above the maximum admits no runtime at all: a mistake, refused
// (written under the numbers, any block can still be made).
bool checkVersionRange(const ConfigSource& source, const AppConfig& cfg, std::string& error) {
    const Record *minimum = nullptr, *maximum = nullptr;
    for (const Record& r : cfg.narrow) {
        if (r.named && r.id == cfg::kMinJavaVersion) minimum = &r;
        if (r.named && r.id == cfg::kMaxJavaVersion) maximum = &r;
    }
    if (!minimum || !maximum || !isRangeEmpty(minimum->bytes.c_str(), maximum->bytes.c_str())) return true;
    LineContext ctx{source, minimum->line, error};
    return ctx.fail("min-java-version " + minimum->bytes + " is above max-java-version " + maximum->bytes +
                    " (line " + std::to_string(maximum->line) + "): no runtime would be accepted");
}

// Entries 2002 and 2003 come from the embed lines when there are any.
bool checkEmbedEntries(const ConfigSource& source, const AppConfig& cfg, std::string& error) {
    if (cfg.embeds.empty()) return true;
    for (const Record& r : cfg.narrow) {
        if (r.id != cfg::kEmbeddedFileCount && r.id != cfg::kEmbeddedFileNames) continue;
        LineContext ctx{source, r.line, error};
        return ctx.fail("entry " + std::to_string(r.id) + " (" + findConfigEntry(r.id)->name +
                        ") is written from the embed lines (line " + std::to_string(cfg.embeds[0].line) +
                        "); do not set it as well");
    }
    return true;
}

// The generic launcher carries no picture: a splash needs the application's own.
bool checkSplashImage(const ConfigSource& source, const AppConfig& cfg, std::string& error) {
    if (cfg.resources.of("splash-image").line) return true;
    for (const Record& r : cfg.narrow) {
        if (!r.named || r.id != cfg::kShowSplash || r.bytes.empty() || strtol(r.bytes.c_str(), nullptr, 10) == 0)
            continue;
        LineContext ctx{source, r.line, error};
        return ctx.fail("show-splash needs the application's own picture: add splash-image = (a PNG or BMP file); "
                        "the generic launcher carries none");
    }
    return true;
}

}  // namespace

const char* embeddedNameProblem(const std::string& name) {
    if (name.empty()) return "names no file";
    if (name == "." || name == "..") return "names a directory";
    for (char ch : name) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20) return "its name holds a control character";
        if (c == ';') return "its name holds ';', the separator of entry 2003";
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
            c == '>' || c == '|') {
            return "its name holds a character that Windows does not allow in a file name";
        }
    }
    if (isDeviceName(name.c_str())) return "its name is that of a Windows device (CON, NUL, COM1, ...)";
    return nullptr;
}

bool sameEmbeddedName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && sameIgnoringAsciiCase(a.data(), b.data(), a.size());
}

std::string embeddedNamesValue(const std::vector<EmbedSpec>& embeds) {
    std::string names;
    for (const EmbedSpec& e : embeds) names += e.name + ";";
    return names;
}

bool parseConfigText(const std::string& text, const ConfigSource& source, AppConfig& out, std::string& error) {
    out = AppConfig{};
    size_t pos = 0;
    // A byte order mark left by an editor is not part of the first name.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    for (int line = 1; pos < text.size(); ++line) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(pos, end - pos);
        pos = end + 1;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string t = trimBlanks(raw);
        if (t.empty() || t[0] == '#') continue;
        LineContext ctx{source, line, error};
        if (!parseLine(ctx, t, out)) return false;
    }
    return checkEmbedEntries(source, out, error) && checkVersionRange(source, out, error) &&
           checkSplashImage(source, out, error);
}

}  // namespace buildtool
}  // namespace zorvo
