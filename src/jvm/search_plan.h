// The order in which candidate runtimes are tried, as a plan of steps: the
// preferred-runtime file, the items of entry 128 from left to right, the
// product flavour's variable, the installed-runtime file. Pure code: the
// Windows side (runtime_search_win.cpp) only executes the steps.
#ifndef ZORVO_JVM_SEARCH_PLAN_H
#define ZORVO_JVM_SEARCH_PLAN_H

#include "common/config_id.h"

namespace zorvo {

// How the chosen runtime was found.
enum class JvmSource { NotFound, SearchPath, DefinedPath, EnvironmentVariable, Registry };

enum class SearchStepKind {
    SearchFile,           // the first line of a search file (argument: its name below the installer folder)
    JavaHome,             // a Java home directory (items A and R)
    EnvironmentVariable,  // a variable that holds a Java home (items E, the flavour's variable)
    SearchPath,           // java.exe in the directories PATH names (item S)
    Registry,             // the registry search (item Y)
    Nothing,              // an item with any other letter: does nothing
};

struct SearchStep {
    SearchStepKind kind;
    // The step's text: the search file's name, the directory, the variable's
    // name, the item's argument (S), or the whole item (Nothing). Valid while
    // the step is visited.
    const char* argument;
    char item;          // the item's letter; '\0' for a fixed source
    bool betaAccepted;  // pre-releases accepted without entry 130
    JvmSource source;   // how a runtime accepted here is found
    // The message shown (then 1005) when the runtime accepted here has no
    // loadable VM library; 0 for none.
    ConfigId damagedMessage;
};

// The search files below the installer folder (entry 10003).
constexpr char kPreferredRuntimeFile[] = "\\.quenbrook\\pref_jre.cfg";
constexpr char kInstalledRuntimeFile[] = "\\.quenbrook\\inst_jre.cfg";

// Calls visit(context, step) for each step, in order, for the search sequence
// of entry 128 and the product flavour letter ('e': ZORVO_JAVA_HOME, 'i':
// QUENBROOK_JAVA_HOME, else none), until it returns false.
typedef bool (*SearchStepVisit)(void* context, const SearchStep& step);
void walkSearchPlan(const char* sequence, char flavour, SearchStepVisit visit, void* context);

// The same with any callable taking the step and giving true to go on.
template <typename Visit>
void forEachSearchStep(const char* sequence, char flavour, Visit visit) {
    walkSearchPlan(
        sequence, flavour, [](void* context, const SearchStep& step) { return (*static_cast<Visit*>(context))(step); },
        &visit);
}

}  // namespace zorvo

#endif
