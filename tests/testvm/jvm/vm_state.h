// Shared state of the jvm.dll double: threads and their environments, Java
// objects, the known classes. Everything here is guarded by vmLock().
#ifndef ZORVO_TESTVM_VM_STATE_H
#define ZORVO_TESTVM_VM_STATE_H

#include <jni.h>

#include "../common/testvm_log.h"
#include "../common/win_util.h"

#include <string>
#include <vector>

namespace testvm {

struct ClassDesc;
struct ThreadEnv;

// Handler of a Java method: gets the arguments converted from the call and
// answers the return value (ignored for void methods).
using MethodHandler = jvalue (*)(ThreadEnv& thread, const std::vector<jvalue>& args);

struct MethodDesc {
    const ClassDesc* owner;
    const char* name;
    const char* signature;
    MethodHandler handler;
};

// A native method of a known class, bound by RegisterNatives.
struct NativeDesc {
    const char* name;
    const char* signature;
};

struct ClassDesc {
    const char* name;  // slash-separated, as FindClass takes it
    const MethodDesc* methods;
    size_t methodCount;
    const NativeDesc* natives = nullptr;
    size_t nativeCount = 0;
};

enum class ObjKind { Class, String, Array, Throwable };

// A Java object. Every reference handed out is one of these; a reference that
// is not (or no longer) live is a misuse of JNI.
struct Obj {
    ObjKind kind;
    long id;                       // "ref" in the log
    bool live = true;              // false after DeleteLocalRef
    const ClassDesc* described = nullptr;  // Class: the class it stands for
    std::u16string text;           // String: the units; Throwable: the message
    std::string throwableClass;    // Throwable: dotted class name
    std::string throwableFrame;    // Throwable: where it was thrown
    const ClassDesc* elementClass = nullptr;  // Array
    std::vector<Obj*> elements;               // Array
};

// The per-thread environment. JNIEnv must stay the first member: the JNIEnv*
// handed to the caller is the address of the ThreadEnv.
struct ThreadEnv {
    JNIEnv_ env;
    DWORD tid;
    std::string name;       // Java thread name, for stack traces
    bool attached = true;   // false after DetachCurrentThread
    bool creator = false;   // the thread that created the VM
    bool daemon = false;    // attached as a daemon: DestroyJavaVM does not wait for it
    Obj* pending = nullptr; // the pending exception
};

Lock& vmLock();

// Ends the process after logging a misuse of JNI that a real VM would punish
// with a crash or undefined behaviour (exit code 98).
[[noreturn]] void violation(const std::string& what);

// Objects. newObj registers a live object; checkObj/checkClass/... validate a
// reference passed in by the caller (null allowed where the name says so) and
// end the process through violation() when it is not a live object of that kind.
Obj* newObj(ObjKind kind);
Obj* newString(const std::u16string& units);
Obj* newThrowable(const std::string& dottedClass, const std::u16string& message, const std::string& frame);
Obj* checkObjOrNull(jobject ref, const char* what);
Obj* checkKind(jobject ref, ObjKind kind, const char* what);
std::string refJson(const Obj* obj);  // the id, or null
void deleteRef(Obj* obj);

// Threads.
ThreadEnv* findThread(DWORD tid);  // attached or detached entry of a thread, or null
ThreadEnv* newThreadEnv(DWORD tid, const std::string& name, bool creator);
// The environment behind a JNIEnv* of a call, validated: known, attached, used
// on its own thread, and the VM not yet destroyed.
ThreadEnv& checkEnv(JNIEnv* env, const char* call);
std::vector<ThreadEnv*> attachedThreads();

// Builds a record for a call on an environment; marks "exceptionPending" when
// an exception was pending as the call came in.
Record envRecord(const ThreadEnv& thread, const char* call);

// A script the double does not understand: message, record, exit code 97.
[[noreturn]] void scriptError(const std::string& message);

// The exception to leave pending on a thread.
void throwNew(ThreadEnv& thread, const std::string& dottedClass, const std::u16string& message,
              const std::string& frame);

// The classes the double knows, and lookups in them.
const ClassDesc* findClassDesc(const std::string& name);
const MethodDesc* findMethodDesc(const ClassDesc* cls, const std::string& name, const std::string& sig);
bool isKnownMethod(const MethodDesc* method);
// Scripted absence: ZORVO_TESTVM_MISSING lists "Class" and "Class.method" names.
bool scriptedMissing(const std::string& name);

// Ends the process after logging a call of a JNI function the double does not
// implement (exit code 99).
[[noreturn]] void unimplementedSlot(const char* table, int slot, const char* name);

// Installs the JNI function table into a new environment.
const JNINativeInterface_* envFunctionTable();

// Lifecycle flags of the single VM.
bool vmDestroyed();
void markVmDestroyed();
size_t outstandingStringChars();

// Threads started by the application's main that DestroyJavaVM waits for.
void addApplicationThread(HANDLE thread);
std::vector<HANDLE> applicationThreads();

// The VM options of the creation, as given.
void setVmOptions(const std::vector<std::string>& options);
// True when an option starts with `prefix` and has more after it.
bool hasNonEmptyOption(const std::string& prefix);

// Native methods: the class's NativeDesc of that name and signature, or null;
// the function RegisterNatives bound to one (null while unbound).
const NativeDesc* findNativeDesc(const ClassDesc* cls, const std::string& name, const std::string& sig);
void bindNative(const NativeDesc* native, void* function);
void* boundNative(const NativeDesc* native);

// Calls the native HandOvers.waitForSignal(timeoutMs) as the listener's thread
// does; false when RegisterNatives bound none. Call without holding the VM lock.
bool callHandOverWait(ThreadEnv& thread, long timeoutMs, bool& signalled);

// The splash controller's shutdown hook, installed by its installShutdownHook
// method: run (on a thread of its own, calling the bound native method) when
// the VM shuts down, by DestroyJavaVM after its wait or by System.exit. Call
// without holding the VM lock.
void runShutdownHooks();

}  // namespace testvm

#endif
