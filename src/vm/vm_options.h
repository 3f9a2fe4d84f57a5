// The VM option list and the JNI initialisation arguments. Pure code.
#ifndef ZORVO_VM_VM_OPTIONS_H
#define ZORVO_VM_VM_OPTIONS_H

#include <stdio.h>

#include <jni.h>

#include "common/string_list.h"

namespace zorvo {

// What the Java side learns about the launcher process through system properties.
struct LauncherProperties {
    const char* semaphoreName;  // null unless this is the first instance in single-instance mode
    const char* moduleName;
    const char* processCommFile;
    const char* tempDir;
};

// "-Dzorvo.semaphoreName=..." (when present), "-Dzorvo.moduleName=...",
// "-Dzorvo.processCommFile=...", "-Dzorvo.tempDir=...", in this order.
void addLauncherProperties(StringList& options, const LauncherProperties& properties);

// One option per line of the VM options file, verbatim but for trailing
// carriage returns and line feeds; an empty line gives an empty option; a
// line longer than 8191 characters arrives in pieces.
void addOptionsFileLines(StringList& options, FILE* file);

// The initialisation arguments over the list: version 1.2, the options in
// list order, unrecognised options ignored. `storage` must hold one
// JavaVMOption per option and live as long as the arguments.
void fillInitArgs(JavaVMInitArgs& args, JavaVMOption* storage, const StringList& options);

}  // namespace zorvo

#endif
