// Gathers what a launch needs from the configuration, the files beside the
// executable and the environment, then hands over to the JNI part.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <new>

#include "common/code_page.h"
#include "common/grow_text.h"
#include "config/launcher_config.h"
#include "services/report.h"
#include "paths/paths.h"
#include "process/instance_registry.h"
#include "process/process_environment.h"
#include "tempfiles/embedded_files.h"
#include "vm/class_path.h"
#include "common/split.h"
#include "vm/substitution.h"
#include "vm/vm_options.h"
#include "vm/java_launch.h"
#include "vm/java_vm_launcher.h"
#include "vm/java_vm_state.h"
#include "services/trace.h"

namespace zorvo {
namespace {

void substituteConfigured(PathText& text) {
    PathText exeDir;
    resolveAgainstExeDir(exeDir, "");
    char* environment = GetEnvironmentStrings();
    substituteVariables(text, exeDir.c_str(), extractionDirectory().c_str(), environment);
    if (environment) FreeEnvironmentStringsA(environment);
}

// Splits `text` into `list`; an unbalanced quote ends the process (1007).
size_t splitOrExit(const char* text, const char* prefix, SplitText kind, StringList& list) {
    bool unbalanced = false;
    size_t stopped = splitArguments(text, prefix, kind, list, unbalanced);
    if (unbalanced) errorExit(cfg::kMsgWrongParameter);
    return stopped;
}

typedef char* (*Conversion)(const char*);

// Appends `text` converted with `convert`; as it stands should the conversion
// find no memory, so that no argument ever moves to another position.
void addConverted(StringList& to, const char* text, Conversion convert) {
    char* converted = convert(text);
    to.add(converted ? converted : text);
    free(converted);
}

void addAllConverted(StringList& to, const StringList& from, Conversion convert) {
    for (size_t i = 0; i < from.count; ++i) addConverted(to, from.at(i), convert);
}

// Splits a text of the code page into arguments of main (UTF-8).
void splitIntoArguments(const char* text, StringList& arguments) {
    StringList split;
    splitOrExit(text, nullptr, SplitText::Configured, split);
    addAllConverted(arguments, split, codePageToUtf8);
    split.release();
}

void addInUtf8(StringList& arguments, const char* text) { addConverted(arguments, text, codePageToUtf8); }

// --- the class path's view of the system ---
bool hostExists(void*, const char* path) { return pathExists(path); }
int hostListFiles(void*, const char* dir, const char* ext, char*** names) { return listFiles(dir, ext, names); }
bool hostGetVariable(void*, const char* name, PathText& value, bool& undefined) {
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.capacity()));
    undefined = n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND;
    if (n == 0 || !value.adoptPlatformResult(n)) {
        value.clear();
        return false;
    }
    return true;
}
void hostSubstitute(void*, PathText& text) { substituteConfigured(text); }
void hostResolve(void*, PathText& dst, const char* path) { resolveAgainstExeDir(dst, path); }

char* buildClassPath() {
    const ClassPathHost host{nullptr, hostExists, hostListFiles, hostGetVariable, hostSubstitute, hostResolve};
    PathText installerJar, entries, failed;
    const char* installer = nullptr;
    if (productFlavour() == 'i' && installerFilePath(installerJar, "\\.quenbrook\\qbkruntime.jar"))
        installer = installerJar.c_str();
    getConfigText(cfg::kClassPath, entries);
    GrowText option;
    ClassPathFailure failure =
        buildClassPathOption(option, extractionDirectory().c_str(), installer, entries.c_str(), host, failed);
    if (failure == ClassPathFailure::MissingVariable) errorExit(cfg::kMsgEnvVarUndefined, failed.c_str());
    if (failure == ClassPathFailure::MissingFile) errorExit(cfg::kMsgFileNotFound, failed.c_str());
    return option.release();
}

// The VM options file: the executable's long path + ".vmoptions".
void addOptionsFile(StringList& options) {
    PathText path;
    if (!getOptionsFilePath(path)) return;
    FILE* file = fopen(path.c_str(), "rt");
    if (!file) return;
    addOptionsFileLines(options, file);
    fclose(file);
}

// The option list in its fixed order; returns where the application's part
// of the command line begins.
const char* buildOptions(StringList& options, const char* tail) {
    PathText moduleName, commFile;
    getModuleName(moduleName);
    processCommFileName(commFile, GetCurrentProcessId());
    addLauncherProperties(options, LauncherProperties{instanceSemaphoreName(), moduleName.c_str(), commFile.c_str(),
                                                      extractionDirectory().c_str()});
    addOptionsFile(options);
    char* classPath = buildClassPath();
    options.add(classPath);
    free(classPath);
    PathText configured;
    getConfigText(cfg::kVmOptions, configured);
    substituteConfigured(configured);
    splitOrExit(configured.c_str(), nullptr, SplitText::Configured, options);
    if (getConfigInt(cfg::kAllowJOptions) == 0) return tail;
    // The command line is UTF-8; the VM reads its options in the code page.
    StringList commandLineOptions;
    size_t stopped = splitOrExit(tail, "-J", SplitText::CommandLine, commandLineOptions);
    addAllConverted(options, commandLineOptions, utf8ToCodePage);
    commandLineOptions.release();
    return tail + stopped;
}

struct ArgumentSource {
    const char* applicationCommandLine;
};

void addFilePath(StringList& arguments, ConfigId flag, ConfigId file) {
    PathText path;
    if (getConfigInt(flag) != 0) {
        PathText configured;
        getConfigText(file, configured);
        getFullPath(path, configured.c_str(), true);
    }
    addInUtf8(arguments, path.c_str());
}

void buildArguments(void* ctx, StringList& arguments) {
    const ArgumentSource* source = static_cast<const ArgumentSource*>(ctx);
    PathText text;
    arguments.add(getConfigInt(cfg::kAppType) == 1 ? "true" : "false");
    getConfigText(cfg::kMainClass, text);
    addInUtf8(arguments, text.c_str());
    addFilePath(arguments, cfg::kPassFile1, cfg::kFile1);
    addFilePath(arguments, cfg::kPassFile2, cfg::kFile2);
    arguments.add(getConfigInt(cfg::kFifthArgument) != 0 ? "true" : "false");
    getConfigText(cfg::kAppArguments, text);
    substituteConfigured(text);
    splitIntoArguments(text.c_str(), arguments);
    // The command line is UTF-8 already.
    splitOrExit(source->applicationCommandLine, nullptr, SplitText::CommandLine, arguments);
    traceUtf8List("arguments of com.zorvo.runtime.WinLauncher.main:", arguments.items, arguments.count);
}

bool firstRunMarkerExists() {
    PathText marker;
    return productFlavour() == 'i' && installerFilePath(marker, "\\.quenbrook\\firstrun") &&
           pathExists(marker.c_str());
}

}  // namespace

bool bindCreateJavaVM(void* library) {
    CreateJavaVMFunction entry = reinterpret_cast<CreateJavaVMFunction>(
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), "JNI_CreateJavaVM")));
    if (!entry) return false;
    setCreateJavaVM(entry);
    return true;
}

bool runJavaApplication(const char* commandLineTail) {
    // The option strings and their array stay alive until the process ends.
    StringList options;
    ArgumentSource source{buildOptions(options, commandLineTail)};
    JavaVMOption* storage = static_cast<JavaVMOption*>(malloc((options.count + 1) * sizeof(JavaVMOption)));
    JavaVMInitArgs* args = static_cast<JavaVMInitArgs*>(malloc(sizeof(JavaVMInitArgs)));
    if (!storage || !args) return false;
    fillInitArgs(*args, storage, options);
    traceList("VM options:", options.items, options.count);
    static const HandOverHooks handOvers{waitForHandOver, stopHandOvers};
    JavaLaunch launch{args, firstRunMarkerExists(), getConfigInt(cfg::kShowSplash) != 0,
                      instanceSemaphoreName() ? &handOvers : nullptr, buildArguments, &source};
    LaunchOutcome outcome = launchJava(launch, true);
    if (outcome == LaunchOutcome::Ran) {
        trace("the application has ended and the VM is destroyed");
        return true;
    }
    if (outcome == LaunchOutcome::VmNotCreated || outcome == LaunchOutcome::ExceptionEscaped) return false;
    PathText mainClass;
    getConfigText(cfg::kMainClass, mainClass);
    LaunchReport report = describeLaunchOutcome(outcome, mainClass.c_str());
    errorExit(report.message, report.value);
}

}  // namespace zorvo
