// Creation of the Java VM and the call of the launcher class.
#ifndef ZORVO_VM_JAVA_VM_LAUNCHER_H
#define ZORVO_VM_JAVA_VM_LAUNCHER_H

#include <jni.h>

#include "common/string_list.h"

namespace zorvo {

// Builds the VM options and the arguments, creates the VM with the bound
// creation entry and runs the application through the launcher class. False
// when the VM cannot be created or an exception escaped main.
bool runJavaApplication(const char* commandLineTail, bool destroyAtEnd);

// What the JNI part needs; it makes no platform call of its own.
struct JavaLaunch {
    JavaVMInitArgs* initArgs;
    // The installer flavour's first-run marker exists: ask the first-run hook.
    bool askFirstRun;
    // Fills the arguments of main (called after the launcher class and its
    // main method were found); may end the process.
    void (*buildArguments)(void* ctx, StringList& arguments);
    void* ctx;
};

bool launchJava(const JavaLaunch& launch, bool destroyAtEnd);

}  // namespace zorvo

#endif
