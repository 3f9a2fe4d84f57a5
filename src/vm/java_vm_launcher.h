// Creation of the Java VM and the call of the launcher class: the JNI part,
// portable (it runs against a real VM on the host too).
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

// How an outcome other than Ran is reported: the message, and the value of
// its placeholder (the class it names: `mainClass` is the configured one,
// dotted; the internal error's number), null for none.
struct LaunchReport {
    ConfigId message;
    const char* value;
};
LaunchReport describeLaunchOutcome(LaunchOutcome outcome, const char* mainClass);

}  // namespace zorvo

#endif
