// The Java side as the double plays it: the launcher class with its main, the
// first-run hook and the splash controller, plus java/lang/String. What each
// method does is scripted through environment variables (see README.md).
#include "controller_script.h"
#include "main_behaviour.h"
#include "vm_state.h"

namespace testvm {
namespace {

jvalue noValue() {
    jvalue value;
    value.j = 0;
    return value;
}

// --- launcher class ---------------------------------------------------------

// What startFailure() answers: why the last main could not start the application.
jint startFailureCode = 0;  // guarded by vmLock()

// The launcher class's check of the application's main class, played through
// ZORVO_TESTVM_MISSING ("com/example/App" or "com/example/App.main"): 3 when
// the class is missing, 5 when its main is, else 0.
jint checkApplicationMain(const std::string& dotted, std::string& reason) {
    std::string slashed = dotted;
    for (char& c : slashed) c = c == '.' ? '/' : c;
    if (scriptedMissing(slashed)) {
        reason = "main class " + dotted + " not found";
        return 3;
    }
    if (scriptedMissing(slashed + ".main")) {
        reason = "class " + dotted + " has no method public static void main(String[])";
        return 5;
    }
    return 0;
}

// As the runtime library does: the reason on standard error; under the
// launcher (zorvo.moduleName set) main returns and startFailure() tells,
// otherwise the process ends like System.exit with the code.
bool refuseApplication(jint code, const std::string& reason) {
    writeStd(STD_ERROR_HANDLE, "zorvo: " + reason + "\n");
    Record("start_failure").number("code", code).text("reason", reason).write();
    {
        Guard guard(vmLock());
        startFailureCode = code;
        if (hasNonEmptyOption("-Dzorvo.moduleName=")) return true;
    }
    runShutdownHooks();
    ExitProcess(static_cast<UINT>(code));
}

jvalue startFailure(ThreadEnv&, const std::vector<jvalue>&) {
    Guard guard(vmLock());
    jvalue value = noValue();
    value.i = startFailureCode;
    return value;
}

jvalue winLauncherMain(ThreadEnv& thread, const std::vector<jvalue>& args) {
    std::string mainClass;
    {
        Guard guard(vmLock());
        startFailureCode = 0;
        Obj* array = checkObjOrNull(args[0].l, "main argument");
        Record record("main");
        if (array == nullptr) {
            record.null("args").null("argsUnits");
        } else {
            if (array->kind != ObjKind::Array) violation("main called with a non-array argument");
            std::vector<std::string> texts, unitLists;
            for (Obj* element : array->elements) {
                texts.push_back(element ? jsonUnits(element->text) : "null");
                unitLists.push_back(element ? jsonUnitList(element->text) : "null");
            }
            record.number("argc", static_cast<long long>(array->elements.size()))
                .json("args", jsonArray(texts))
                .json("argsUnits", jsonArray(unitLists));
            if (array->elements.size() > 1 && array->elements[1]) {
                mainClass = narrowForMessage(array->elements[1]->text);
            }
        }
        record.write();
    }
    std::string reason;
    jint refused = checkApplicationMain(mainClass, reason);
    if (refused != 0 && refuseApplication(refused, reason)) return noValue();
    runMainBehaviour(thread);
    return noValue();
}

// --- first-run hook -----------------------------------------------------------

jvalue firstRun(ThreadEnv& thread, const std::vector<jvalue>&) {
    std::string mode = "true";
    envNarrow("ZORVO_TESTVM_FIRSTRUN", mode);
    jvalue value = noValue();
    if (mode == "true" || mode == "1") {
        value.z = JNI_TRUE;
    } else if (mode == "false" || mode == "0") {
        value.z = JNI_FALSE;
    } else if (mode == "throw") {
        Guard guard(vmLock());
        throwNew(thread, "java.lang.IllegalStateException", u"scripted firstRun failure",
                 "com.quenbrook.runtime.FirstRun.firstRun(FirstRun.java)");
    } else {
        scriptError("ZORVO_TESTVM_FIRSTRUN must be true, false or throw, not \"" + mode + "\"");
    }
    return value;
}

// --- splash controller ----------------------------------------------------------

struct ControllerState {
    bool loaded = false;
    std::vector<ControllerStep> steps;
    size_t next = 0;
    ControllerStep current;  // the step consumed last; getText answers its text
};
ControllerState controller;

void loadControllerScript() {
    if (controller.loaded) return;
    controller.loaded = true;
    std::u16string script;
    std::string error;
    envWide("ZORVO_TESTVM_CONTROLLER", script);
    if (!parseControllerScript(script, controller.steps, error)) scriptError("ZORVO_TESTVM_CONTROLLER: " + error);
}

jvalue getAction(ThreadEnv& thread, const std::vector<jvalue>&) {
    Guard guard(vmLock());
    loadControllerScript();
    controller.current = ControllerStep();
    if (controller.next < controller.steps.size()) controller.current = controller.steps[controller.next++];
    jvalue value = noValue();
    if (controller.current.actionThrows) {
        throwNew(thread, "java.lang.IllegalStateException", u"scripted getAction failure",
                 "com.zorvo.runtime.ZorvoController.getAction(ZorvoController.java)");
        return value;
    }
    value.i = controller.current.action;
    return value;
}

jvalue getText(ThreadEnv& thread, const std::vector<jvalue>&) {
    Guard guard(vmLock());
    jvalue value = noValue();
    if (controller.current.textThrows) {
        throwNew(thread, "java.lang.IllegalStateException", u"scripted getText failure",
                 "com.zorvo.runtime.ZorvoController.getText(ZorvoController.java)");
        return value;
    }
    value.l = controller.current.hasText ? reinterpret_cast<jobject>(newString(controller.current.text)) : nullptr;
    return value;
}

// --- shutdown hooks ----------------------------------------------------------------

extern const ClassDesc kController;
extern const ClassDesc kHandOvers;
const NativeDesc kControllerNatives[] = {{"stopSplashPolling", "()V"}};
const NativeDesc kHandOversNatives[] = {{"waitForSignal", "(I)Z"}, {"stopHandOvers", "()V"}};

// A class's shutdown hook: installed by its installShutdownHook method, it
// calls the class's native method on a thread of its own when the VM shuts
// down (unbound, Java's UnsatisfiedLinkError is caught by the hook).
struct ShutdownHook {
    const ClassDesc* cls;
    const NativeDesc* native;
    const char* threadName;
    bool installed;  // guarded by vmLock()
    bool calledNative;
    DWORD ms;
};
ShutdownHook hooks[] = {
    {&kController, &kControllerNatives[0], "zorvo splash shutdown", false, false, 0},
    {&kHandOvers, &kHandOversNatives[1], "zorvo hand-over shutdown", false, false, 0},
};

jvalue installHook(ShutdownHook& hook) {
    Guard guard(vmLock());
    hook.installed = true;
    return noValue();
}

jvalue installControllerHook(ThreadEnv&, const std::vector<jvalue>&) { return installHook(hooks[0]); }
jvalue installHandOversHook(ThreadEnv&, const std::vector<jvalue>&) { return installHook(hooks[1]); }

typedef void(JNICALL* StaticNativeVoid)(JNIEnv*, jclass);

DWORD WINAPI shutdownHookThread(void* parameter) {
    ShutdownHook& hook = *static_cast<ShutdownHook*>(parameter);
    DWORD start = GetTickCount();
    ThreadEnv* thread;
    Obj* cls;
    StaticNativeVoid function;
    {
        Guard guard(vmLock());
        thread = newThreadEnv(GetCurrentThreadId(), hook.threadName, false);
        cls = newObj(ObjKind::Class);
        cls->described = hook.cls;
        function = reinterpret_cast<StaticNativeVoid>(boundNative(hook.native));
    }
    if (function) function(&thread->env, reinterpret_cast<jclass>(cls));
    Guard guard(vmLock());
    thread->attached = false;
    hook.calledNative = function != nullptr;
    hook.ms = GetTickCount() - start;
    return 0;
}

// After the hooks, a VM whose process lingers: until the scripted file exists.
void lingerAfterHooks() {
    std::string file;
    if (!envNarrow("ZORVO_TESTVM_SHUTDOWN_WAIT_FILE", file) || file.empty()) return;
    file = windowsPath(file);
    long limitMs = static_cast<long>(envInt("ZORVO_TESTVM_MAIN_WAIT_LIMIT_MS", 60000));
    DWORD start = GetTickCount();
    bool seen = false;
    while (!(seen = fileExists(file)) && static_cast<long>(GetTickCount() - start) < limitMs) Sleep(10);
    Record("shutdown_lingered").text("file", file).flag("fileSeen", seen)
        .number("ms", static_cast<long long>(GetTickCount() - start)).write();
}

// --- the hand-over listener's wait ---------------------------------------------

typedef jboolean(JNICALL* StaticNativeWait)(JNIEnv*, jclass, jint);

// --- the class table ------------------------------------------------------------

extern const ClassDesc kWinLauncher;
extern const ClassDesc kFirstRun;
extern const ClassDesc kController;

const MethodDesc kWinLauncherMethods[] = {
    {&kWinLauncher, "main", "([Ljava/lang/String;)V", winLauncherMain},
    {&kWinLauncher, "startFailure", "()I", startFailure},
};
const MethodDesc kFirstRunMethods[] = {
    {&kFirstRun, "firstRun", "()Z", firstRun},
};
const MethodDesc kControllerMethods[] = {
    {&kController, "getAction", "()I", getAction},
    {&kController, "getText", "()Ljava/lang/String;", getText},
    {&kController, "installShutdownHook", "()V", installControllerHook},
};
const MethodDesc kHandOversMethods[] = {
    {&kHandOvers, "installShutdownHook", "()V", installHandOversHook},
};

const ClassDesc kWinLauncher = {"com/zorvo/runtime/WinLauncher", kWinLauncherMethods, 2};
const ClassDesc kFirstRun = {"com/quenbrook/runtime/FirstRun", kFirstRunMethods, 1};
const ClassDesc kController = {"com/zorvo/runtime/ZorvoController", kControllerMethods, 3, kControllerNatives, 1};
const ClassDesc kHandOvers = {"com/zorvo/runtime/HandOvers", kHandOversMethods, 1, kHandOversNatives, 2};
const ClassDesc kString = {"java/lang/String", nullptr, 0};

const ClassDesc* const kClasses[] = {&kWinLauncher, &kFirstRun, &kController, &kHandOvers, &kString};

// Entries of a comma-separated list.
std::vector<std::string> listEntries(const std::string& list) {
    std::vector<std::string> entries(1);
    for (char c : list) {
        if (c == ',') {
            entries.emplace_back();
        } else if (c != ' ') {
            entries.back() += c;
        }
    }
    return entries;
}

}  // namespace

const ClassDesc* findClassDesc(const std::string& name) {
    for (const ClassDesc* cls : kClasses) {
        if (name == cls->name) return cls;
    }
    return nullptr;
}

const MethodDesc* findMethodDesc(const ClassDesc* cls, const std::string& name, const std::string& sig) {
    for (size_t i = 0; i < cls->methodCount; ++i) {
        const MethodDesc& method = cls->methods[i];
        if (name == method.name && sig == method.signature) return &method;
    }
    return nullptr;
}

bool isKnownMethod(const MethodDesc* method) {
    for (const ClassDesc* cls : kClasses) {
        for (size_t i = 0; i < cls->methodCount; ++i) {
            if (&cls->methods[i] == method) return true;
        }
    }
    return false;
}

bool callHandOverWait(ThreadEnv& thread, long timeoutMs, bool& signalled) {
    StaticNativeWait function;
    Obj* cls;
    {
        Guard guard(vmLock());
        function = reinterpret_cast<StaticNativeWait>(boundNative(&kHandOversNatives[0]));
        if (!function) return false;
        cls = newObj(ObjKind::Class);
        cls->described = &kHandOvers;
    }
    signalled = function(&thread.env, reinterpret_cast<jclass>(cls), static_cast<jint>(timeoutMs)) == JNI_TRUE;
    return true;
}

void runShutdownHooks() {
    // As Java does: every installed hook at once, each on its thread, and the
    // shutdown goes on when all have ended. A hook runs once.
    std::vector<ShutdownHook*> running;
    {
        Guard guard(vmLock());
        for (ShutdownHook& hook : hooks) {
            if (hook.installed) running.push_back(&hook);
            hook.installed = false;
        }
    }
    std::vector<HANDLE> threads;
    for (ShutdownHook* hook : running) {
        HANDLE thread = CreateThread(nullptr, 0, shutdownHookThread, hook, 0, nullptr);
        if (thread == nullptr) violation("cannot start a shutdown hook's thread");
        threads.push_back(thread);
    }
    for (size_t i = 0; i < threads.size(); ++i) {
        WaitForSingleObject(threads[i], INFINITE);
        CloseHandle(threads[i]);
        Record("shutdown_hook")
            .text("class", running[i]->cls->name)
            .number("ms", static_cast<long long>(running[i]->ms))
            .flag("calledNative", running[i]->calledNative)
            .write();
    }
    lingerAfterHooks();
}

bool scriptedMissing(const std::string& name) {
    std::string list;
    if (!envNarrow("ZORVO_TESTVM_MISSING", list)) return false;
    for (const std::string& entry : listEntries(list)) {
        if (!entry.empty() && entry == name) return true;
    }
    return false;
}

}  // namespace testvm
