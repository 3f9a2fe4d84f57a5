// The text configuration of an application's launcher, as the build tool
// reads it: one entry per line, `name = value`.
//
//   # a comment (a line whose first non-blank is #); blank lines are ignored
//   main-class = com.example.Main        readable name from the entry table
//   122 = com.example.Main               or the numeric ConfigId
//   wide:reserved-20013 = text           a wide (UTF-16) record; value in UTF-8
//   embed = lib/app.jar                  a file to embed (relative to this file)
//   icon = app.ico                       the application's own resources (see
//   splash-image = splash.png            resource_directives.h); none of them:
//   file-version = 1.2.3.4               the launcher's resources stay as they are
//
// Blanks around the name and the value are layout; escapes are those of
// value_text.h. A value given under a readable name is checked against the
// entry's kind (int: a whole number; colour: "red,green,blue") and the
// entry's own rules (see valueProblem in value_rules.h); a value given under the number of an
// entry is written unchecked, so that blocks the tool would refuse can still
// be made for tests; a number that no entry has is refused.
// Pure code: reads no file (embedded files are only named here).
#ifndef ZORVO_BUILD_CONFIG_TEXT_H
#define ZORVO_BUILD_CONFIG_TEXT_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "resource_directives.h"
#include "config/config_ids.h"

namespace zorvo {
namespace buildtool {

// One record of the block. Narrow records hold the text bytes, wide records
// the UTF-16LE bytes. `line` is the configuration line it came from, 0 for a
// record the tool writes itself.
struct Record {
    ConfigId id;
    std::string bytes;
    int line;
    bool named = false;  // given under its readable name (and so checked)
};

// A file named by an `embed` line.
struct EmbedSpec {
    std::string path;  // as opened: relative to the configuration file's directory
    std::string name;  // the base name stored in entry 2003
    int line;
    uint64_t size = 0;  // filled by statEmbeddedFiles
};

struct AppConfig {
    std::vector<Record> narrow;  // in the order of the file
    std::vector<Record> wide;
    std::vector<EmbedSpec> embeds;
    ResourceSpec resources;
    // Where entries 2002 and 2003 go among `narrow`: the place of the first
    // embed line (before narrow[embedAt]).
    size_t embedAt = 0;
};

struct ConfigSource {
    std::string displayName;  // for messages: "app.conf:12: ..."
    std::string baseDir;      // directory of the file; empty for the current one
};

// Parses the whole text. On the first error returns false with `error`
// holding one line such as "app.conf:12: main-class is given ..." or, for a
// name no entry or directive has, "app.conf:12: unknown directive
// 'mian-class'; did you mean 'main-class'?".
bool parseConfigText(const std::string& text, const ConfigSource& source, AppConfig& out, std::string& error);

// Why `name` cannot be the name of an embedded file (it must be a plain file
// name on Windows, since the launcher writes it into a directory as it
// stands), or null when it can.
const char* embeddedNameProblem(const std::string& name);

// True when two embedded names would be the same file on Windows (ASCII
// letters compare without case).
bool sameEmbeddedName(const std::string& a, const std::string& b);

// Entry 2003 as written for these files: each name followed by ";".
std::string embeddedNamesValue(const std::vector<EmbedSpec>& embeds);

}  // namespace buildtool
}  // namespace zorvo

#endif
