// jnidriver.exe: loads a jvm.dll and runs the JNI calls named on its command
// line in order, printing one line per result on standard output. It exercises
// the jvm.dll double without the launcher.
//
//   jnidriver.exe PATH\jvm.dll STEP...
//
// Steps (TEXT may hold \xHH for the byte HH):
//   opt=TEXT          add a VM option          version=N   JNI version for create
//   ignore=0|1        ignoreUnrecognized       create      JNI_CreateJavaVM
//   findclass=NAME    FindClass                method=NAME:SIG  GetStaticMethodID on the last class
//   arg=TEXT          add an argument for main, its bytes widened one to one (as mbstowcs in the C locale)
//   argu=HHHH,...     add an argument for main given as UTF-16 units in hex
//   main | mainV | mainA   build the String[] and call main through the variadic slot, the V
//                     slot (as jni.h's C++ wrappers do) or the A slot
//   firstrun          call FirstRun.firstRun
//   poll=N            N polls of the controller on this thread
//   bgpoll=N[,MS]     a second thread attaches, polls N times waiting MS (default 20) before
//                     each poll, then detaches
//   join              wait for that thread
//   bgattach          a second thread attaches and ends without detaching
//   bgdaemon=MS       a second thread attaches as a daemon, waits MS, calls FindClass, then
//                     stays attached and idle
//   hook              registers ZorvoController.stopSplashPolling (a function that prints
//                     "hook native ran", with "main thread" or "other thread") and calls
//                     ZorvoController.installShutdownHook
//   foreign           a second thread uses this thread's JNIEnv (a misuse)
//   occurred | describe | clear   ExceptionOccurred / ExceptionDescribe / ExceptionClear
//   getenv            GetEnv on this thread     destroy     DestroyJavaVM
//   slot=N | vmslot=N call slot N of the environment / invocation table
//   sleep=MS
#include "../common/win_util.h"
#include "../common/testvm_log.h"

#include <jni.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using CreateJavaVM = jint(JNICALL*)(JavaVM**, void**, void*);

struct Driver {
    CreateJavaVM create = nullptr;
    std::vector<std::string> options;
    jint version = JNI_VERSION_1_2;
    bool ignoreUnrecognized = true;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    jclass lastClass = nullptr;
    std::vector<std::u16string> mainArgs;
    HANDLE background = nullptr;
    long backgroundPolls = 0;
    long backgroundIntervalMs = 20;
};

void say(const std::string& line) { testvm::writeStd(STD_OUTPUT_HANDLE, line + "\n"); }

[[noreturn]] void quit(int code, const std::string& message) {
    testvm::writeStd(STD_ERROR_HANDLE, "jnidriver: " + message + "\n");
    ExitProcess(static_cast<UINT>(code));
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && hexDigit(text[i + 2]) >= 0 &&
            hexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::u16string unitsFromHex(const std::string& list) {
    std::u16string units;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(start, comma - start);
        if (!item.empty()) units += static_cast<char16_t>(std::strtoul(item.c_str(), nullptr, 16));
        start = comma + 1;
    }
    return units;
}

void requireVm(const Driver& d, const std::string& step) {
    if (d.env == nullptr) quit(4, "step " + step + " needs a VM: run create first");
}

std::string exceptionState(JNIEnv* env) {
    jthrowable pending = env->ExceptionOccurred();
    return pending ? "exception" : "ok";
}

// --- main ------------------------------------------------------------------

void callMain(Driver& d, char variant) {
    JNIEnv* env = d.env;
    jclass launcher = env->FindClass("com/zorvo/runtime/WinLauncher");
    if (!launcher) return say("main class-missing");
    jmethodID mainId = env->GetStaticMethodID(launcher, "main", "([Ljava/lang/String;)V");
    if (!mainId) return say("main method-missing");
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray args = env->NewObjectArray(static_cast<jsize>(d.mainArgs.size()), stringClass, nullptr);
    for (size_t i = 0; i < d.mainArgs.size(); ++i) {
        const std::u16string& units = d.mainArgs[i];
        jstring text = env->NewString(reinterpret_cast<const jchar*>(units.data()), static_cast<jsize>(units.size()));
        env->SetObjectArrayElement(args, static_cast<jsize>(i), text);
    }
    if (variant == 'A') {
        jvalue value;
        value.l = args;
        env->CallStaticVoidMethodA(launcher, mainId, &value);
    } else if (variant == 'V') {
        struct Via {
            static void call(JNIEnv* e, jclass c, jmethodID m, ...) {
                va_list list;
                va_start(list, m);
                e->CallStaticVoidMethodV(c, m, list);
                va_end(list);
            }
        };
        Via::call(env, launcher, mainId, args);
    } else {
        env->functions->CallStaticVoidMethod(env, launcher, mainId, args);  // the variadic slot itself
    }
    std::string state = exceptionState(env);
    say("main " + state);
    if (state == "exception") env->ExceptionDescribe();
}

void callFirstRun(Driver& d) {
    JNIEnv* env = d.env;
    jclass cls = env->FindClass("com/quenbrook/runtime/FirstRun");
    if (!cls) return say("firstrun class-missing");
    jmethodID id = env->GetStaticMethodID(cls, "firstRun", "()Z");
    if (!id) return say("firstrun method-missing");
    jboolean result = env->CallStaticBooleanMethod(cls, id);
    if (env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        return say("firstrun exception");
    }
    say(std::string("firstrun ") + (result ? "true" : "false"));
}

// --- controller polling ---------------------------------------------------------

void poll(JNIEnv* env, long count, long intervalMs, const std::string& prefix) {
    jclass cls = env->FindClass("com/zorvo/runtime/ZorvoController");
    if (!cls) return say(prefix + "poll class-missing");
    jmethodID getAction = env->GetStaticMethodID(cls, "getAction", "()I");
    jmethodID getText = env->GetStaticMethodID(cls, "getText", "()Ljava/lang/String;");
    if (!getAction || !getText) return say(prefix + "poll method-missing");
    for (long i = 0; i < count; ++i) {
        if (intervalMs > 0) Sleep(static_cast<DWORD>(intervalMs));  // like a timer tick
        jint action = env->CallStaticIntMethod(cls, getAction);
        std::string line = prefix + "poll " + std::to_string(action);
        if (action == 2) {
            jstring text = static_cast<jstring>(env->CallStaticObjectMethod(cls, getText));
            if (text) {
                const jchar* chars = env->GetStringChars(text, nullptr);
                std::u16string units(reinterpret_cast<const char16_t*>(chars));  // up to the zero unit
                env->ReleaseStringChars(text, chars);
                env->DeleteLocalRef(text);
                line += " " + testvm::jsonUnits(units);
            } else {
                line += " null";
            }
        }
        say(line);
    }
}

DWORD WINAPI backgroundPoller(void* parameter) {
    Driver& d = *static_cast<Driver*>(parameter);
    JNIEnv* env = nullptr;
    jint rc = d.vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr);
    say("bg attach " + std::to_string(rc));
    if (rc != JNI_OK) return 1;
    poll(env, d.backgroundPolls, d.backgroundIntervalMs, "bg ");
    say("bg detach " + std::to_string(d.vm->DetachCurrentThread()));
    return 0;
}

DWORD WINAPI attachAndEnd(void* parameter) {
    Driver& d = *static_cast<Driver*>(parameter);
    JNIEnv* env = nullptr;
    say("bgattach " + std::to_string(d.vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr)));
    return 0;  // ends without DetachCurrentThread
}

long daemonDelayMs = 0;
DWORD mainThreadId = 0;

DWORD WINAPI attachDaemon(void* parameter) {
    Driver& d = *static_cast<Driver*>(parameter);
    JNIEnv* env = nullptr;
    say("bgdaemon attach " + std::to_string(d.vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), nullptr)));
    Sleep(static_cast<DWORD>(daemonDelayMs));
    jclass found = env->FindClass("java/lang/String");
    say(std::string("bgdaemon findclass ") + (found ? "found" : "missing"));
    Sleep(INFINITE);
    return 0;
}

void JNICALL hookNative(JNIEnv*, jclass) {
    say(std::string("hook native ran on the ") + (GetCurrentThreadId() == mainThreadId ? "main" : "other") +
        " thread");
}

void installHook(Driver& d) {
    JNIEnv* env = d.env;
    jclass cls = env->FindClass("com/zorvo/runtime/ZorvoController");
    if (!cls) return say("hook class-missing");
    JNINativeMethod native = {const_cast<char*>("stopSplashPolling"), const_cast<char*>("()V"),
                              reinterpret_cast<void*>(&hookNative)};
    say("hook registered " + std::to_string(env->RegisterNatives(cls, &native, 1)));
    jmethodID install = env->GetStaticMethodID(cls, "installShutdownHook", "()V");
    if (!install) return say("hook method-missing");
    env->CallStaticVoidMethod(cls, install);
    say("hook installed");
}

DWORD WINAPI useForeignEnv(void* parameter) {
    Driver& d = *static_cast<Driver*>(parameter);
    d.env->FindClass("java/lang/String");  // the main thread's environment on this thread
    say("foreign returned");
    return 0;
}

void runThread(LPTHREAD_START_ROUTINE routine, Driver& d) {
    HANDLE thread = CreateThread(nullptr, 0, routine, &d, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

// --- steps -------------------------------------------------------------------------

void callSlot(void* const* table, long slot, void* self) {
    using Any = void(JNICALL*)(void*);
    reinterpret_cast<Any>(table[slot])(self);
}

void runStep(Driver& d, const std::string& step) {
    size_t eq = step.find('=');
    std::string name = step.substr(0, eq);
    std::string value = eq == std::string::npos ? std::string() : step.substr(eq + 1);
    long number = std::strtol(value.c_str(), nullptr, 0);
    if (name == "opt") {
        d.options.push_back(unescape(value));
    } else if (name == "version") {
        d.version = number;
    } else if (name == "ignore") {
        d.ignoreUnrecognized = number != 0;
    } else if (name == "create") {
        std::vector<JavaVMOption> options(d.options.size());
        for (size_t i = 0; i < options.size(); ++i) {
            options[i].optionString = const_cast<char*>(d.options[i].c_str());
            options[i].extraInfo = nullptr;
        }
        JavaVMInitArgs init;
        init.version = d.version;
        init.nOptions = static_cast<jint>(options.size());
        init.options = options.empty() ? nullptr : options.data();
        init.ignoreUnrecognized = d.ignoreUnrecognized ? JNI_TRUE : JNI_FALSE;
        jint rc = d.create(&d.vm, reinterpret_cast<void**>(&d.env), &init);
        say("create " + std::to_string(rc));
    } else if (name == "findclass") {
        requireVm(d, step);
        d.lastClass = d.env->FindClass(value.c_str());
        say("findclass " + value + (d.lastClass ? " found" : " missing"));
    } else if (name == "method") {
        requireVm(d, step);
        if (!d.lastClass) quit(4, "method needs a class found by findclass");
        size_t colon = value.find(':');
        std::string methodName = value.substr(0, colon);
        std::string sig = colon == std::string::npos ? std::string() : value.substr(colon + 1);
        jmethodID id = d.env->GetStaticMethodID(d.lastClass, methodName.c_str(), sig.c_str());
        say("method " + methodName + (id ? " found" : " missing"));
    } else if (name == "arg") {
        d.mainArgs.push_back(testvm::widenBytes(unescape(value)));
    } else if (name == "argu") {
        d.mainArgs.push_back(unitsFromHex(value));
    } else if (name == "main" || name == "mainV" || name == "mainA") {
        requireVm(d, step);
        callMain(d, name.size() == 5 ? name[4] : '.');
    } else if (name == "firstrun") {
        requireVm(d, step);
        callFirstRun(d);
    } else if (name == "poll") {
        requireVm(d, step);
        poll(d.env, number, 0, "");
    } else if (name == "bgpoll") {
        requireVm(d, step);
        d.backgroundPolls = number;
        size_t comma = value.find(',');
        if (comma != std::string::npos) d.backgroundIntervalMs = std::strtol(value.c_str() + comma + 1, nullptr, 10);
        d.background = CreateThread(nullptr, 0, backgroundPoller, &d, 0, nullptr);
    } else if (name == "bgattach") {
        requireVm(d, step);
        runThread(attachAndEnd, d);
    } else if (name == "bgdaemon") {
        requireVm(d, step);
        daemonDelayMs = number;
        HANDLE thread = CreateThread(nullptr, 0, attachDaemon, &d, 0, nullptr);
        CloseHandle(thread);
    } else if (name == "hook") {
        requireVm(d, step);
        installHook(d);
    } else if (name == "foreign") {
        requireVm(d, step);
        runThread(useForeignEnv, d);
    } else if (name == "join") {
        if (d.background) WaitForSingleObject(d.background, INFINITE);
        say("joined");
    } else if (name == "occurred") {
        requireVm(d, step);
        say("occurred " + exceptionState(d.env));
    } else if (name == "describe") {
        requireVm(d, step);
        d.env->ExceptionDescribe();
        say("described");
    } else if (name == "clear") {
        requireVm(d, step);
        d.env->ExceptionClear();
        say("cleared");
    } else if (name == "getenv") {
        requireVm(d, step);
        void* env = nullptr;
        jint rc = d.vm->GetEnv(&env, JNI_VERSION_1_2);
        say("getenv " + std::to_string(rc) + (env == d.env ? " same" : " other"));
    } else if (name == "destroy") {
        requireVm(d, step);
        say("destroy " + std::to_string(d.vm->DestroyJavaVM()));
    } else if (name == "slot") {
        requireVm(d, step);
        callSlot(reinterpret_cast<void* const*>(d.env->functions), number, d.env);
        say("slot returned");
    } else if (name == "vmslot") {
        requireVm(d, step);
        callSlot(reinterpret_cast<void* const*>(d.vm->functions), number, d.vm);
        say("vmslot returned");
    } else if (name == "sleep") {
        Sleep(static_cast<DWORD>(number));
    } else {
        quit(4, "unknown step " + step);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) quit(4, "usage: jnidriver.exe PATH\\jvm.dll STEP...");
    HMODULE library = LoadLibraryA(argv[1]);
    if (!library) quit(2, "cannot load " + std::string(argv[1]) + " (error " + std::to_string(GetLastError()) + ")");
    mainThreadId = GetCurrentThreadId();
    Driver driver;
    driver.create = reinterpret_cast<CreateJavaVM>(reinterpret_cast<void*>(GetProcAddress(library, "JNI_CreateJavaVM")));
    if (!driver.create) quit(3, "JNI_CreateJavaVM is not exported by " + std::string(argv[1]));
    for (int i = 2; i < argc; ++i) runStep(driver, argv[i]);
    say("done");
    return 0;
}
