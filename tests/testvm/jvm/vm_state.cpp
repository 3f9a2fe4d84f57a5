#include "vm_state.h"

#include <set>

namespace testvm {
namespace {

std::set<const Obj*> everyObject;  // objects are never freed, so pointers stay unique
long nextObjectId = 1;
std::vector<ThreadEnv*> threads;   // entries stay after detaching
bool destroyed = false;
std::vector<HANDLE> appThreads;
std::vector<std::string> vmOptions;
std::vector<std::pair<const NativeDesc*, void*>> boundNatives;

const char* kindName(ObjKind kind) {
    switch (kind) {
    case ObjKind::Class: return "class";
    case ObjKind::String: return "string";
    case ObjKind::Array: return "array";
    case ObjKind::Throwable: return "throwable";
    }
    return "?";
}

}  // namespace

Lock& vmLock() {
    static Lock lock;
    return lock;
}

void violation(const std::string& what) {
    writeStd(STD_ERROR_HANDLE, "testvm jvm.dll: JNI misuse: " + what + "\n");
    Record("violation").text("what", what).write();
    ExitProcess(98);
}

Obj* newObj(ObjKind kind) {
    Obj* obj = new Obj();
    obj->kind = kind;
    obj->id = nextObjectId++;
    everyObject.insert(obj);
    return obj;
}

Obj* newString(const std::u16string& units) {
    Obj* obj = newObj(ObjKind::String);
    obj->text = units;
    return obj;
}

Obj* newThrowable(const std::string& dottedClass, const std::u16string& message, const std::string& frame) {
    Obj* obj = newObj(ObjKind::Throwable);
    obj->throwableClass = dottedClass;
    obj->text = message;
    obj->throwableFrame = frame;
    return obj;
}

Obj* checkObjOrNull(jobject ref, const char* what) {
    if (ref == nullptr) return nullptr;
    Obj* obj = reinterpret_cast<Obj*>(ref);
    if (everyObject.count(obj) == 0) violation(std::string(what) + ": not a reference this VM handed out");
    if (!obj->live) violation(std::string(what) + ": reference used after DeleteLocalRef (ref " + std::to_string(obj->id) + ")");
    return obj;
}

Obj* checkKind(jobject ref, ObjKind kind, const char* what) {
    Obj* obj = checkObjOrNull(ref, what);
    if (obj == nullptr) violation(std::string(what) + ": null where a " + kindName(kind) + " is required");
    if (obj->kind != kind) {
        violation(std::string(what) + ": a " + kindName(obj->kind) + " where a " + kindName(kind) + " is required");
    }
    return obj;
}

std::string refJson(const Obj* obj) { return obj ? std::to_string(obj->id) : std::string("null"); }

void deleteRef(Obj* obj) {
    if (obj) obj->live = false;
}

ThreadEnv* findThread(DWORD tid) {
    ThreadEnv* found = nullptr;
    for (ThreadEnv* thread : threads) {
        if (thread->tid != tid) continue;
        if (thread->attached) return thread;
        found = thread;
    }
    return found;
}

ThreadEnv* newThreadEnv(DWORD tid, const std::string& name, bool creator) {
    ThreadEnv* thread = new ThreadEnv();
    thread->env.functions = envFunctionTable();
    thread->tid = tid;
    thread->name = name;
    thread->creator = creator;
    threads.push_back(thread);
    return thread;
}

ThreadEnv& checkEnv(JNIEnv* env, const char* call) {
    ThreadEnv* thread = nullptr;
    for (ThreadEnv* candidate : threads) {
        if (&candidate->env == env) thread = candidate;
    }
    std::string name = call;
    if (thread == nullptr) violation(name + " called with a JNIEnv pointer this VM never handed out");
    if (destroyed) violation(name + " called after DestroyJavaVM");
    if (!thread->attached) violation(name + " called with the JNIEnv of a thread that was detached");
    if (thread->tid != GetCurrentThreadId()) {
        violation(name + " called on thread " + std::to_string(GetCurrentThreadId()) +
                  " with the JNIEnv of thread " + std::to_string(thread->tid));
    }
    return *thread;
}

std::vector<ThreadEnv*> attachedThreads() {
    std::vector<ThreadEnv*> result;
    for (ThreadEnv* thread : threads) {
        if (thread->attached) result.push_back(thread);
    }
    return result;
}

Record envRecord(const ThreadEnv& thread, const char* call) {
    Record record(call);
    if (thread.pending) record.flag("exceptionPending", true);
    return record;
}

void throwNew(ThreadEnv& thread, const std::string& dottedClass, const std::u16string& message,
              const std::string& frame) {
    thread.pending = newThrowable(dottedClass, message, frame);
}

bool vmDestroyed() { return destroyed; }
void markVmDestroyed() { destroyed = true; }

void addApplicationThread(HANDLE thread) { appThreads.push_back(thread); }
std::vector<HANDLE> applicationThreads() { return appThreads; }

void setVmOptions(const std::vector<std::string>& options) { vmOptions = options; }

bool hasNonEmptyOption(const std::string& prefix) {
    for (const std::string& option : vmOptions) {
        if (option.size() > prefix.size() && option.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

const NativeDesc* findNativeDesc(const ClassDesc* cls, const std::string& name, const std::string& sig) {
    for (size_t i = 0; i < cls->nativeCount; ++i) {
        if (name == cls->natives[i].name && sig == cls->natives[i].signature) return &cls->natives[i];
    }
    return nullptr;
}

void bindNative(const NativeDesc* native, void* function) {
    for (auto& bound : boundNatives) {
        if (bound.first == native) {
            bound.second = function;
            return;
        }
    }
    boundNatives.emplace_back(native, function);
}

void* boundNative(const NativeDesc* native) {
    for (const auto& bound : boundNatives) {
        if (bound.first == native) return bound.second;
    }
    return nullptr;
}

[[noreturn]] void scriptError(const std::string& message) {
    writeStd(STD_ERROR_HANDLE, "testvm jvm.dll: bad script: " + message + "\n");
    Record("script_error").text("what", message).write();
    ExitProcess(97);
}

}  // namespace testvm
