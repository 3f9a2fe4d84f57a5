#include "resource_directives.h"

#include <filesystem>

#include "config/pe_image.h"
#include "file_access.h"
#include "value_text.h"

namespace zorvo {
namespace buildtool {
namespace {

// --- icon ------------------------------------------------------------------------------

bool applyIcon(const ResourceDirective&, const GivenDirective& given, ResourceEdit& edit, std::string& error) {
    std::string ico, why;
    std::vector<IconImage> images;
    if (!readWholeFile(given.value, kMaxIconFileSize, ico, why) || !parseIconFile(ico, images, why)) {
        error = "cannot use icon '" + given.value + "': " + why;
        return false;
    }
    replaceIcon(edit.entries, images);
    return true;
}

bool dumpIcon(const ResourceDirective& row, ResourceDump& d) {
    std::vector<IconImage> icon;
    if (!iconOfResources(d.entries, icon)) return true;
    if (d.dir.empty()) {
        d.out << "# icon: " << icon.size() << (icon.size() == 1 ? " image" : " images")
              << " (not carried by this dump: with --extract DIR it is written there and named)\n";
        return true;
    }
    std::string path = extractedPath(d.dir, "icon.ico");
    if (!writeWholeFile(path, iconFile(icon), d.error)) return false;
    d.out << row.name << " = " << escapeNarrow(path) << "\n";
    return true;
}

// --- splash image ----------------------------------------------------------------------

bool applySplashImage(const ResourceDirective&, const GivenDirective& given, ResourceEdit& edit,
                      std::string& error) {
    std::string file, dib, why;
    if (!readWholeFile(given.value, kMaxImageFileSize, file, why) ||
        !splashBitmapOfImage(file, dib, edit.splashWidth, edit.splashHeight, why)) {
        error = "cannot use splash image '" + given.value + "': " + why;
        return false;
    }
    const ResourceEntry* old =
        findResource(edit.entries, ResourceId::number(kResourceBitmap), ResourceId::number(kSplashBitmapId));
    ResourceEntry bitmap;
    bitmap.type = ResourceId::number(kResourceBitmap);
    bitmap.name = ResourceId::number(kSplashBitmapId);
    bitmap.language = old ? old->language : 0x0409;
    bitmap.data = dib;
    edit.entries.push_back(bitmap);
    return true;
}

bool dumpSplashImage(const ResourceDirective& row, ResourceDump& d) {
    const ResourceEntry* bitmap =
        findResource(d.entries, ResourceId::number(kResourceBitmap), ResourceId::number(kSplashBitmapId));
    int width = 0, height = 0;
    if (!bitmap || !dibSize(bitmap->data, width, height)) return true;
    if (d.dir.empty()) {
        d.out << "# splash image: " << width << " x " << height
              << " (not carried by this dump: with --extract DIR it is written there and named)\n";
        return true;
    }
    std::string path = extractedPath(d.dir, "splash.bmp");
    if (!writeWholeFile(path, bmpFileOfDib(bitmap->data), d.error)) return false;
    d.out << row.name << " = " << escapeNarrow(path) << "\n";
    return true;
}

// --- version information ---------------------------------------------------------------

bool applyVersionField(const ResourceDirective& row, const GivenDirective& given, ResourceEdit& edit, std::string&) {
    edit.version[row.field] = given.units;
    return true;
}

// The fields of version information a directive made; the generic launcher's
// own (which no directive made, and a build from the dump keeps) as a comment
// in place of the first field.
bool dumpVersionField(const ResourceDirective& row, ResourceDump& d) {
    if (!d.hasVersion) return true;
    if (isGenericVersionInfo(d.version)) {
        if (row.field == VersionField::FileVersion) {
            d.out << "# version information: the generic launcher's ("
                  << escapeWide(d.version[VersionField::ProductName]) << " "
                  << escapeWide(d.version[VersionField::FileVersion]) << ")\n";
        }
        return true;
    }
    if (!d.version[row.field].empty()) d.out << row.name << " = " << escapeWide(d.version[row.field]) << "\n";
    return true;
}

// --- manifest settings -----------------------------------------------------------------

bool isExecutionLevel(const ResourceDirective& row) { return std::string(row.name) == "execution-level"; }

bool applyManifestSetting(const ResourceDirective& row, const GivenDirective& given, ResourceEdit& edit,
                          std::string& error) {
    // Both settings edit the one manifest in place.
    std::vector<ResourceEntry*> manifests;
    for (ResourceEntry& e : edit.entries) {
        if (e.type == ResourceId::number(kResourceManifest)) manifests.push_back(&e);
    }
    if (manifests.size() != 1) {
        error = "the generic launcher has no single manifest to change";
        return false;
    }
    bool level = isExecutionLevel(row);
    std::string changed;
    if (!editManifest(manifests[0]->data, level ? given.value : "", level ? "" : given.value, changed, error))
        return false;
    manifests[0]->data = changed;
    return true;
}

bool dumpManifestSetting(const ResourceDirective& row, ResourceDump& d) {
    if (!d.hasManifest) return true;
    // The DPI setting is always one of its choices ("unaware" when none is written).
    const std::string& value = isExecutionLevel(row) ? d.level : d.dpi;
    if (!value.empty()) d.out << row.name << " = " << value << "\n";
    return true;
}

// --- the subsystem ---------------------------------------------------------------------

bool applySubsystem(const ResourceDirective&, const GivenDirective& given, ResourceEdit& edit, std::string&) {
    edit.subsystem = given.value == "console" ? kSubsystemConsole : kSubsystemWindows;
    return true;
}

// Only a console program says so: a windowed one is the generic launcher's own.
bool dumpSubsystem(const ResourceDirective& row, ResourceDump& d) {
    if (d.subsystem == kSubsystemConsole) d.out << row.name << " = console\n";
    return true;
}

// --- the table -------------------------------------------------------------------------

const char* const kLevels[] = {"asInvoker", "highestAvailable", "requireAdministrator", nullptr};
const char* const kDpiModes[] = {"unaware", "system", "per-monitor", nullptr};
const char* const kSubsystems[] = {"windows", "console", nullptr};

#define ZORVO_VERSION_ROW(name, kind, field, help) \
    {name, DirectiveKind::kind, nullptr, VersionField::field, help, applyVersionField, dumpVersionField}

}  // namespace

const ResourceDirective kResourceDirectives[] = {
    {"icon", DirectiveKind::Path, nullptr, VersionField::FileVersion, "an .ico file: the executable's icon",
     applyIcon, dumpIcon},
    {"splash-image", DirectiveKind::Path, nullptr, VersionField::FileVersion,
     "a PNG or BMP (at most 4096 x 4096): the splash picture", applySplashImage, dumpSplashImage},
    ZORVO_VERSION_ROW("file-version", VersionNumber, FileVersion, "1 to 4 numbers, e.g. 2.4.1.0"),
    ZORVO_VERSION_ROW("product-version", VersionNumber, ProductVersion, "the same; default: file-version"),
    ZORVO_VERSION_ROW("product-name", VersionText, ProductName, "text"),
    ZORVO_VERSION_ROW("company-name", VersionText, CompanyName, "text"),
    ZORVO_VERSION_ROW("file-description", VersionText, FileDescription, "text"),
    ZORVO_VERSION_ROW("copyright", VersionText, Copyright, "text"),
    ZORVO_VERSION_ROW("original-filename", VersionText, OriginalFilename, "text; default: the output's name"),
    ZORVO_VERSION_ROW("internal-name", VersionText, InternalName, "text"),
    ZORVO_VERSION_ROW("comments", VersionText, Comments, "text"),
    {"execution-level", DirectiveKind::Choice, kLevels, VersionField::FileVersion, "what the manifest asks for",
     applyManifestSetting, dumpManifestSetting},
    {"dpi-aware", DirectiveKind::Choice, kDpiModes, VersionField::FileVersion, "the manifest's DPI awareness",
     applyManifestSetting, dumpManifestSetting},
    {"subsystem", DirectiveKind::Choice, kSubsystems, VersionField::FileVersion,
     "console: a command-line tool that the console waits for", applySubsystem, dumpSubsystem},
};
const size_t kResourceDirectiveCount = sizeof(kResourceDirectives) / sizeof(kResourceDirectives[0]);

#undef ZORVO_VERSION_ROW

ResourceSpec::ResourceSpec() : given(kResourceDirectiveCount) {}

bool ResourceSpec::any() const {
    for (const GivenDirective& g : given) {
        if (g.line) return true;
    }
    return false;
}

const GivenDirective& ResourceSpec::of(const char* name) const {
    return given[static_cast<size_t>(findResourceDirective(name) - kResourceDirectives)];
}

const ResourceDirective* findResourceDirective(const std::string& name) {
    for (const ResourceDirective& row : kResourceDirectives) {
        if (name == row.name) return &row;
    }
    return nullptr;
}

std::string resourceDirectivesHelp() {
    std::string help;
    for (const ResourceDirective& row : kResourceDirectives) {
        std::string value = row.kind == DirectiveKind::Path ? "PATH" : "VALUE";
        if (row.choices) {
            value.clear();
            for (const char* const* c = row.choices; *c; ++c) value += (value.empty() ? "" : "|") + std::string(*c);
        }
        std::string line = "  " + std::string(row.name) + " = " + value;
        if (line.size() < 40) line.resize(40, ' ');
        help += line + " " + row.help + "\n";
    }
    return help;
}

bool applyResourceDirectives(const ResourceSpec& spec, const std::string& configPath, const std::string& outputName,
                             ResourceEdit& edit, std::string& error) {
    for (size_t i = 0; i < kResourceDirectiveCount; ++i) {
        const GivenDirective& given = spec.given[i];
        std::string why;
        if (given.line && !kResourceDirectives[i].apply(kResourceDirectives[i], given, edit, why)) {
            error = configPath + ":" + std::to_string(given.line) + ": " + why;
            return false;
        }
    }
    if (edit.version.empty()) return true;
    VersionInfo info = edit.version;
    std::u16string& original = info[VersionField::OriginalFilename];
    if (original.empty()) original = std::filesystem::path(outputName).filename().u16string();
    ResourceEntry version;
    version.type = ResourceId::number(kResourceVersion);
    version.name = ResourceId::number(1);
    version.language = 0x0409;
    version.data = versionResource(info);
    removeResources(edit.entries, version.type);
    edit.entries.push_back(version);
    return true;
}

bool dumpResourceDirectives(std::ostream& out, const std::vector<ResourceEntry>& entries, uint16_t subsystem,
                            const std::string& dir, std::string& error) {
    ResourceDump d{out, entries, dir, VersionInfo(), false, "", "", false, subsystem, ""};
    const ResourceEntry* version = findResource(entries, ResourceId::number(kResourceVersion), ResourceId::number(1));
    d.hasVersion = version && parseVersionResource(version->data, d.version);
    std::vector<const ResourceEntry*> manifests = findResources(entries, ResourceId::number(kResourceManifest));
    d.hasManifest = manifests.size() == 1;
    if (d.hasManifest) manifestSettings(manifests[0]->data, d.level, d.dpi);
    for (const ResourceDirective& row : kResourceDirectives) {
        if (!row.dump(row, d)) {
            error = d.error;
            return false;
        }
    }
    return true;
}

}  // namespace buildtool
}  // namespace zorvo
