// The exported entries of the jvm.dll double and the JNI invocation interface:
// creation of the one VM, thread attach and detach, GetEnv, DestroyJavaVM.
#include "slot_names.h"
#include "vm_state.h"

#include <array>
#include <utility>

namespace testvm {
namespace {

JavaVM_ theVm;
bool created = false;
long attachFailuresLeft = -1;  // read from the environment at the first attach

HMODULE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&thisModule), &module);
    return module;
}

// The load of the library is logged, so a test sees which copy a process loaded.
struct LoadLogger {
    LoadLogger() {
        setLogSource("jvm");
        Record("dll_loaded").text("dll", modulePath(thisModule())).write();
    }
} loadLogger;

bool isSupportedVersion(jint version) {
    switch (version) {
    case JNI_VERSION_1_2:
    case JNI_VERSION_1_4:
    case JNI_VERSION_1_6:
    case JNI_VERSION_1_8:
    case JNI_VERSION_9:
    case JNI_VERSION_10:
        return true;
    default:
        return false;
    }
}

void checkVm(JavaVM* vm, const char* call) {
    if (vm != &theVm || !created) violation(std::string(call) + " with a JavaVM pointer this VM never handed out");
}

std::string tidList(const std::vector<DWORD>& tids) {
    std::vector<std::string> items;
    for (DWORD tid : tids) items.push_back(std::to_string(tid));
    return jsonArray(items);
}

bool threadHasEnded(DWORD tid) {
    HANDLE handle = OpenThread(SYNCHRONIZE, FALSE, tid);
    if (handle == nullptr) return true;
    bool ended = WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    CloseHandle(handle);
    return ended;
}

// Attached non-daemon threads other than the caller, which DestroyJavaVM
// waits for (daemon = false), or the daemon ones it leaves be.
std::vector<DWORD> otherAttachedThreads(bool daemon) {
    std::vector<DWORD> tids;
    for (ThreadEnv* thread : attachedThreads()) {
        if (thread->tid != GetCurrentThreadId() && thread->daemon == daemon) tids.push_back(thread->tid);
    }
    return tids;
}

bool applicationThreadsRunning() {
    for (HANDLE handle : applicationThreads()) {
        if (WaitForSingleObject(handle, 0) != WAIT_OBJECT_0) return true;
    }
    return false;
}

// Any use of the VM once its destruction has passed the wait for the
// application's threads and the shutdown hooks: a real VM stops such a thread
// for good, or crashes.
void checkNotDestroyed(const char* call) {
    if (vmDestroyed()) violation(std::string(call) + " called after DestroyJavaVM");
}

// As a VM does: waits, with no time limit, until every other non-daemon
// thread has detached and the application's threads have ended. A non-daemon
// thread that ended without detaching would keep a VM waiting forever: that
// is reported loudly instead.
void waitForNonDaemonThreads() {
    for (;;) {
        {
            Guard guard(vmLock());
            std::vector<DWORD> waitingFor = otherAttachedThreads(false);
            for (DWORD tid : waitingFor) {
                if (threadHasEnded(tid)) {
                    violation("thread " + std::to_string(tid) +
                              " ended without DetachCurrentThread; DestroyJavaVM would wait for it forever");
                }
            }
            if (waitingFor.empty() && !applicationThreadsRunning()) return;
        }
        Sleep(10);
    }
}

jint JNICALL DestroyJavaVM(JavaVM* vm) {
    {
        Guard guard(vmLock());
        checkVm(vm, "DestroyJavaVM");
        if (vmDestroyed()) {
            Record("DestroyJavaVM").flag("again", true).number("result", JNI_ERR).write();
            return JNI_ERR;
        }
    }
    DWORD start = GetTickCount();
    waitForNonDaemonThreads();
    DWORD waited = GetTickCount() - start;
    // Calls from daemon threads are still fine while the hooks run.
    runShutdownHooks();
    Guard guard(vmLock());
    std::vector<DWORD> daemons = otherAttachedThreads(true), dead;
    for (DWORD tid : daemons) {
        if (threadHasEnded(tid)) dead.push_back(tid);
    }
    ThreadEnv* caller = findThread(GetCurrentThreadId());
    Record("DestroyJavaVM")
        .number("waitedMs", static_cast<long long>(waited))
        .json("daemonsAttached", tidList(daemons))
        .json("endedWhileAttached", tidList(dead))
        .flag("onCreatorThread", caller && caller->creator && caller->attached)
        .number("outstandingStringChars", static_cast<long long>(outstandingStringChars()))
        .number("result", JNI_OK)
        .write();
    markVmDestroyed();
    return JNI_OK;
}

jint attachThread(JavaVM* vm, void** penv, void* args, bool daemon) {
    const char* call = daemon ? "AttachCurrentThreadAsDaemon" : "AttachCurrentThread";
    Guard guard(vmLock());
    checkVm(vm, call);
    checkNotDestroyed(call);
    if (penv == nullptr) violation(std::string(call) + " with a null place for the environment");
    Record record(call);
    if (args) {
        const JavaVMAttachArgs* attach = static_cast<const JavaVMAttachArgs*>(args);
        record.json("args", "{\"version\":" + std::to_string(attach->version) +
                                ",\"name\":" + jsonBytes(attach->name) + "}");
    } else {
        record.null("args");
    }
    if (attachFailuresLeft < 0) attachFailuresLeft = static_cast<long>(envInt("ZORVO_TESTVM_ATTACH_FAILURES", 0));
    jint result = JNI_OK;
    *penv = nullptr;
    ThreadEnv* thread = findThread(GetCurrentThreadId());
    if (thread && thread->attached) {
        // As a VM does: the thread keeps the kind it was attached as.
        record.flag("alreadyAttached", true);
        *penv = &thread->env;
    } else if (attachFailuresLeft > 0) {
        --attachFailuresLeft;
        record.flag("scriptedFailure", true);
        result = JNI_ERR;
    } else {
        std::string name = args && static_cast<const JavaVMAttachArgs*>(args)->name
                               ? static_cast<const JavaVMAttachArgs*>(args)->name
                               : "Thread-" + std::to_string(GetCurrentThreadId());
        thread = newThreadEnv(GetCurrentThreadId(), name, false);
        thread->daemon = daemon;
        *penv = &thread->env;
    }
    record.number("result", result).write();
    return result;
}

jint JNICALL AttachCurrentThread(JavaVM* vm, void** penv, void* args) { return attachThread(vm, penv, args, false); }

jint JNICALL AttachCurrentThreadAsDaemon(JavaVM* vm, void** penv, void* args) {
    return attachThread(vm, penv, args, true);
}

jint JNICALL DetachCurrentThread(JavaVM* vm) {
    Guard guard(vmLock());
    checkVm(vm, "DetachCurrentThread");
    checkNotDestroyed("DetachCurrentThread");
    ThreadEnv* thread = findThread(GetCurrentThreadId());
    bool wasAttached = thread && thread->attached;
    Record record("DetachCurrentThread");
    record.flag("wasAttached", wasAttached);
    if (wasAttached) {
        record.flag("creator", thread->creator).flag("daemon", thread->daemon);
        if (thread->pending) record.flag("exceptionPending", true);
        thread->attached = false;
    }
    record.number("result", JNI_OK).write();
    return JNI_OK;
}

jint JNICALL GetEnv(JavaVM* vm, void** penv, jint version) {
    Guard guard(vmLock());
    checkVm(vm, "GetEnv");
    checkNotDestroyed("GetEnv");
    if (penv == nullptr) violation("GetEnv with a null place for the environment");
    ThreadEnv* thread = findThread(GetCurrentThreadId());
    jint result = JNI_OK;
    *penv = nullptr;
    if (!isSupportedVersion(version)) {
        result = JNI_EVERSION;
    } else if (!thread || !thread->attached) {
        result = JNI_EDETACHED;
    } else {
        *penv = &thread->env;
    }
    Record("GetEnv").number("version", version).number("result", result).write();
    return result;
}

constexpr size_t kInvokeSlots = sizeof(JNIInvokeInterface_) / sizeof(void*);

template <size_t N>
void invokeStub() {
    unimplementedSlot("invoke", static_cast<int>(N), invokeSlotName(static_cast<int>(N)));
}

template <size_t... I>
std::array<void*, sizeof...(I)> invokeStubs(std::index_sequence<I...>) {
    return {{reinterpret_cast<void*>(&invokeStub<I>)...}};
}

JNIInvokeInterface_ buildInvokeTable() {
    JNIInvokeInterface_ table;
    std::array<void*, kInvokeSlots> stubs = invokeStubs(std::make_index_sequence<kInvokeSlots>());
    void** slots = reinterpret_cast<void**>(&table);
    for (size_t i = 0; i < kInvokeSlots; ++i) slots[i] = stubs[i];
    table.DestroyJavaVM = DestroyJavaVM;
    table.AttachCurrentThread = AttachCurrentThread;
    table.DetachCurrentThread = DetachCurrentThread;
    table.AttachCurrentThreadAsDaemon = AttachCurrentThreadAsDaemon;
    table.GetEnv = GetEnv;
    return table;
}

const JNIInvokeInterface_ invokeTable = buildInvokeTable();

std::string optionList(const JavaVMInitArgs* init, std::string& extraInfo) {
    std::vector<std::string> options, extras;
    for (jint i = 0; i < init->nOptions; ++i) {
        options.push_back(jsonBytes(init->options[i].optionString));
        extras.push_back(std::to_string(reinterpret_cast<uintptr_t>(init->options[i].extraInfo)));
    }
    extraInfo = jsonArray(extras);
    return jsonArray(options);
}

}  // namespace
}  // namespace testvm

using namespace testvm;

extern "C" {

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args) {
    long delayMs = static_cast<long>(envInt("ZORVO_TESTVM_CREATE_DELAY_MS", 0));
    if (delayMs > 0) Sleep(static_cast<DWORD>(delayMs));
    Guard guard(vmLock());
    if (pvm == nullptr || penv == nullptr || args == nullptr) {
        violation("JNI_CreateJavaVM with a null argument");
    }
    const JavaVMInitArgs* init = static_cast<const JavaVMInitArgs*>(args);
    Record record("JNI_CreateJavaVM");
    record.text("dll", modulePath(thisModule())).number("version", init->version);
    record.number("nOptions", init->nOptions);
    bool optionsReadable = init->nOptions >= 0 && (init->nOptions == 0 || init->options != nullptr);
    if (optionsReadable) {
        std::string extraInfo;
        record.json("options", optionList(init, extraInfo)).json("extraInfo", extraInfo);
    }
    record.flag("ignoreUnrecognized", init->ignoreUnrecognized != JNI_FALSE);
    jint result = static_cast<jint>(envInt("ZORVO_TESTVM_CREATE_RESULT", JNI_OK));
    if (created) {
        result = JNI_EEXIST;
    } else if (!isSupportedVersion(init->version)) {
        result = JNI_EVERSION;
    } else if (!optionsReadable) {
        result = JNI_EINVAL;
    }
    *pvm = nullptr;
    *penv = nullptr;
    if (result == JNI_OK) {
        created = true;
        std::vector<std::string> options;
        for (jint i = 0; i < init->nOptions; ++i) {
            options.push_back(init->options[i].optionString ? init->options[i].optionString : "");
        }
        setVmOptions(options);
        theVm.functions = &invokeTable;
        ThreadEnv* thread = newThreadEnv(GetCurrentThreadId(), "main", true);
        *pvm = &theVm;
        *penv = &thread->env;
    }
    record.number("result", result).write();
    return result;
}

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
    jint version = args ? static_cast<JavaVMInitArgs*>(args)->version : 0;
    jint result = isSupportedVersion(version) ? JNI_OK : JNI_EVERSION;
    Record("JNI_GetDefaultJavaVMInitArgs").number("version", version).number("result", result).write();
    return result;
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize length, jsize* count) {
    Guard guard(vmLock());
    jsize found = created && !vmDestroyed() ? 1 : 0;
    if (count) *count = found;
    if (found && vms && length > 0) vms[0] = &theVm;
    Record("JNI_GetCreatedJavaVMs").number("result", found).write();
    return JNI_OK;
}

}  // extern "C"
