// Creation of the Java VM and the call of the launcher class.
#ifndef ZORVO_VM_JAVA_VM_LAUNCHER_H
#define ZORVO_VM_JAVA_VM_LAUNCHER_H

#include <jni.h>

#include <stddef.h>

#include "common/string_list.h"
#include "config/config_ids.h"
#include "vm/hand_overs.h"

namespace zorvo {

// The launcher class in the dotted form a message names it by.
constexpr char kLauncherClassName[] = "com.zorvo.runtime.WinLauncher";

// Builds the VM options and the arguments, creates the VM with the bound
// creation entry and runs the application through the launcher class. True
// when the application ran (or the first-run hook said not to start); false
// when the VM cannot be created or an exception escaped main (the caller
// reports 1005); every other failure is reported here and ends the process.
// Defined in java_launch_win.cpp.
bool runJavaApplication(const char* commandLineTail, bool destroyAtEnd);

// Looks up JNI_CreateJavaVM in a loaded VM library (an HMODULE) and keeps it
// for the launch. False when the library has none. Defined in java_launch_win.cpp.
bool bindCreateJavaVM(void* library);

// What the JNI part needs; it makes no platform call of its own.
struct JavaLaunch {
    JavaVMInitArgs* initArgs;
    // The installer flavour's first-run marker exists: ask the first-run hook.
    bool askFirstRun;
    // A splash thread may poll the Java side: its VM calls must end when the
    // VM shuts down.
    bool splashPolls;
    // What the Java side's hand-overs need (a first instance in
    // single-instance mode); null: not bound.
    const HandOverHooks* handOvers;
    // Fills the arguments of main, each in UTF-8 (called after the launcher
    // class and its main method were found); may end the process.
    void (*buildArguments)(void* ctx, StringList& arguments);
    void* ctx;
};

enum class LaunchOutcome {
    Ran,                    // main returned (or the first-run hook said not to start)
    VmNotCreated,           // JNI_CreateJavaVM failed
    ExceptionEscaped,       // an exception escaped main; it has been printed
    ArgumentsFailed,        // the VM could not make the argument array
    LauncherClassMissing,   // no launcher class
    LauncherMainMissing,    // the launcher class has no main
    FirstRunClassMissing,   // installer flavour, marker present, no first-run class
    FirstRunMethodMissing,  // the first-run class has no firstRun
    MainClassMissing,       // the launcher class found no application main class
    MainMethodMissing,      // the application's main class has no usable main
};

// Creates the VM, runs the first-run hook when asked, calls the launcher
// class's main and, when it ran and `destroyAtEnd`, destroys the VM (which
// waits for the application's last non-daemon thread). After any other
// outcome the VM is left running for the report.
LaunchOutcome launchJava(const JavaLaunch& launch, bool destroyAtEnd);

// How an outcome other than Ran is reported: the message, and the class its
// "%CLASS_NAME%" names (`mainClass` is the configured one, dotted).
struct LaunchReport {
    ConfigId message;
    const char* placeholder;  // null when the message has none
    const char* value;
};
LaunchReport describeLaunchOutcome(LaunchOutcome outcome, const char* mainClass);

}  // namespace zorvo

#endif
