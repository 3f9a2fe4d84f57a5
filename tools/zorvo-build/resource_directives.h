// The build tool's resource directives: what changes the application's face
// in its launcher's resources (icon, splash image, version information,
// manifest settings) and the image's subsystem (a console program). One row each, in the order --dump prints them: the
// parser, the build, the dump and --help all read the table, so they cannot
// disagree.
#ifndef ZORVO_BUILD_RESOURCE_DIRECTIVES_H
#define ZORVO_BUILD_RESOURCE_DIRECTIVES_H

#include <stddef.h>

#include <ostream>
#include <string>
#include <vector>

#include "app_resources.h"
#include "pe_resources.h"

namespace zorvo {
namespace buildtool {

enum class DirectiveKind {
    Path,           // a file, relative to the configuration file
    Choice,         // one of the row's choices
    VersionNumber,  // one to four numbers 0 to 65535 separated by dots (a version text too)
    VersionText,    // a text of the version information (UTF-16)
};

// What a configuration gave for one directive (line 0: not given): a path
// (made relative to the configuration's folder) or a choice in `value`, a
// version text in `units`.
struct GivenDirective {
    std::string value;
    std::u16string units;
    int line = 0;
};

struct ResourceDirective;

// The directives one configuration gave, one per row of the table.
struct ResourceSpec {
    std::vector<GivenDirective> given;
    ResourceSpec();
    bool any() const;
    const GivenDirective& of(const char* name) const;
};

// What the rows' `apply` change: the launcher's resource tree, the version
// information they fill (written as one resource afterwards), and the size of
// a splash image (for splash-width and splash-height).
struct ResourceEdit {
    std::vector<ResourceEntry>& entries;
    VersionInfo version;
    int splashWidth = 0, splashHeight = 0;
    uint16_t subsystem = 0;  // the image's subsystem to write; 0 keeps it
};

// What the rows' `dump` read: the resource tree, its version information and
// manifest settings, and the folder the icon and the splash image are
// extracted to ("" to describe them in comments instead).
struct ResourceDump {
    std::ostream& out;
    const std::vector<ResourceEntry>& entries;
    std::string dir;
    VersionInfo version;
    bool hasVersion = false;
    std::string level, dpi;
    bool hasManifest = false;
    uint16_t subsystem = 0;  // the image's
    std::string error;
};

struct ResourceDirective {
    const char* name;
    DirectiveKind kind;
    const char* const* choices;  // Choice: the accepted values, null-ended; else null
    VersionField field;          // Version*: the field it sets
    const char* help;            // its line in --help
    // Applies a given directive; false with `error` (the caller names the line).
    bool (*apply)(const ResourceDirective& row, const GivenDirective& given, ResourceEdit& edit, std::string& error);
    // Prints the directive that made the resources as they are (or a comment
    // describing them); false with `error` when an extracted file cannot be
    // written.
    bool (*dump)(const ResourceDirective& row, ResourceDump& dump);
};

extern const ResourceDirective kResourceDirectives[];
extern const size_t kResourceDirectiveCount;

// The row of a directive's name; null when there is none.
const ResourceDirective* findResourceDirective(const std::string& name);

// The lines of --help that list the directives.
std::string resourceDirectivesHelp();

// Applies every given directive in table order, then writes the version
// information they filled. False with `error` ("app.conf:12: ...").
bool applyResourceDirectives(const ResourceSpec& spec, const std::string& configPath, const std::string& outputName,
                             ResourceEdit& edit, std::string& error);

// Prints, in table order, the directives that make the resources of `entries`.
bool dumpResourceDirectives(std::ostream& out, const std::vector<ResourceEntry>& entries, uint16_t subsystem,
                            const std::string& dir, std::string& error);

}  // namespace buildtool
}  // namespace zorvo

#endif
