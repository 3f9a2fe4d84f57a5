#include "cli.h"

#include <exception>
#include <sstream>

#include "app_launcher.h"
#include "block_dump.h"
#include "entry_reference.h"
#include "file_access.h"
#include "resource_directives.h"
#include "zorvo_version.h"

namespace zorvo {
namespace buildtool {
namespace {

const char kHelp[] =
    "Usage:\n"
    "  zorvo-build --launcher GENERIC.exe --config APP.conf --out APP.exe [--append-raw FILE]...\n"
    "      Copy the generic launcher to APP.exe and append the configuration block\n"
    "      built from APP.conf and the files named by its embed lines. --append-raw\n"
    "      appends a file's bytes as they stand behind them (for hand-made streams).\n"
    "  zorvo-build --dump APP.exe [--extract DIR]\n"
    "      Print the block of an application's launcher in the configuration format.\n"
    "      With --extract, write its embedded files into DIR and print embed lines\n"
    "      naming them, so that building from the output gives the same file.\n"
    "  zorvo-build --reference\n"
    "      Print the Markdown reference of every configuration entry.\n"
    "  zorvo-build --version\n"
    "      Print the release's version.\n"
    "  zorvo-build --help\n"
    "      Print this help.\n"
    "\n"
    "Configuration file: one entry per line, NAME = VALUE, where NAME is an entry's\n"
    "readable name (see --reference) or its numeric id; wide:NAME for a wide entry\n"
    "(value in UTF-8); embed = PATH for a file to embed (relative to the file).\n"
    "Lines whose first non-blank is # are comments. Blanks around names and values\n"
    "are layout. Escapes in values: \\r \\n \\t \\\\ \\xHH, and \\uHHHH in wide values.\n"
    "Messages 1000 to 1011 and 1015 get their default texts unless the file sets them.\n"
    "\n"
    "Resource directives (the application's face; each at most once):\n";

const char kHelpEnd[] =
    "\n"
    "Exit code: 0 on success, 2 on any error.\n";

struct Options {
    std::string launcher, config, out, dump, extract;
    std::vector<std::string> appendRaw;
    bool reference = false;
    bool help = false;
    bool version = false;
};

// The option a value belongs to, or null when `name` takes no value.
std::string* valueSlot(Options& o, const std::string& name) {
    if (name == "--launcher") return &o.launcher;
    if (name == "--config") return &o.config;
    if (name == "--out") return &o.out;
    if (name == "--dump") return &o.dump;
    if (name == "--extract") return &o.extract;
    return nullptr;
}

bool parseOptions(const std::vector<std::string>& args, Options& o, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        bool inlineValue = false;
        size_t eq = name.find('=');
        if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--version" && !inlineValue) {
            o.version = true;
            continue;
        }
        if (name == "--reference" && !inlineValue) {
            o.reference = true;
            continue;
        }
        std::string* slot = valueSlot(o, name);
        bool raw = name == "--append-raw";
        if (!slot && !raw) {
            error = "unknown option or argument '" + args[i] + "'";
            return false;
        }
        if (!inlineValue) {
            if (i + 1 == args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (value.empty()) {
            error = name + " needs a non-empty value";
            return false;
        }
        if (raw) {
            o.appendRaw.push_back(value);
        } else if (!slot->empty()) {
            error = name + " given twice";
            return false;
        } else {
            *slot = value;
        }
    }
    return true;
}

// Which of the three jobs the options ask for; false on a contradiction.
bool checkCombination(const Options& o, std::string& error) {
    bool build = !o.launcher.empty() || !o.config.empty() || !o.out.empty() || !o.appendRaw.empty();
    int jobs = (build ? 1 : 0) + (o.dump.empty() ? 0 : 1) + (o.reference ? 1 : 0);
    if (!o.extract.empty() && o.dump.empty()) {
        error = "--extract works only with --dump";
        return false;
    }
    if (jobs == 0) {
        error = "nothing to do";
        return false;
    }
    if (jobs > 1) {
        error = "building, --dump and --reference cannot be combined";
        return false;
    }
    if (build) {
        const char* missing = o.launcher.empty() ? "--launcher" : o.config.empty() ? "--config"
                              : o.out.empty()    ? "--out"
                                                 : nullptr;
        if (missing) {
            error = std::string("building needs ") + missing;
            return false;
        }
    }
    return true;
}

int runDump(const Options& o, std::ostream& out, std::ostream& err) {
    InputFile file;
    std::string error;
    if (!file.open(o.dump, error)) {
        err << o.dump << ": " << error << "\n";
        return kExitError;
    }
    std::ostringstream text;
    if (!dumpLauncher(file.source(), DumpOptions{o.dump, o.extract}, text, error)) {
        err << error << "\n";
        return kExitError;
    }
    out << text.str();
    out.flush();
    return kExitOk;
}

int runOptions(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.reference) {
        out << entryReferenceMarkdown();
        out.flush();
        return kExitOk;
    }
    if (!o.dump.empty()) return runDump(o, out, err);
    std::string error;
    if (!buildApplicationLauncher(BuildRequest{o.launcher, o.config, o.out, o.appendRaw}, error)) {
        err << error << "\n";
        return kExitError;
    }
    return kExitOk;
}

}  // namespace

int runZorvoBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        Options o;
        std::string error;
        if (!parseOptions(args, o, error) || (!o.help && !o.version && !checkCombination(o, error))) {
            err << "zorvo-build: " << error << " (see zorvo-build --help)\n";
            return kExitError;
        }
        if (o.help || o.version) {
            out << (o.help ? kHelp + resourceDirectivesHelp() + kHelpEnd : "zorvo-build " ZORVO_VERSION "\n");
            out.flush();
            return kExitOk;
        }
        return runOptions(o, out, err);
    } catch (const std::exception& e) {
        err << "zorvo-build: " << e.what() << "\n";
    } catch (...) {
        err << "zorvo-build: unexpected failure\n";
    }
    return kExitError;
}

}  // namespace buildtool
}  // namespace zorvo
