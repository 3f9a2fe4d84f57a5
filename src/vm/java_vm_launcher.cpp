// The JNI side of a launch: VM creation, the first-run hook, the launcher
// class's main and the VM's destruction. Standard C++ and jni.h only.
#include "vm/java_vm_launcher.h"

#include <stdlib.h>

#include "config/config_ids.h"
#include "launcher/error_report.h"
#include "vm/java_vm_state.h"

namespace zorvo {
namespace {

const char kLauncherClass[] = "com/zorvo/runtime/WinLauncher";
const char kFirstRunClass[] = "com/quenbrook/runtime/FirstRun";

// Each argument becomes a Java string of the same bytes: without a locale
// set, every byte maps to the code unit of the same value. At most 8192 units.
jobjectArray makeArgumentArray(JNIEnv* env, const StringList& arguments) {
    jclass stringClass = env->FindClass("java/lang/String");
    if (!stringClass) return nullptr;
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(arguments.count), stringClass, nullptr);
    if (!array) return nullptr;
    const size_t capacity = 8192;
    wchar_t* wide = static_cast<wchar_t*>(malloc(capacity * sizeof(wchar_t)));
    if (!wide) return nullptr;
    for (size_t i = 0; i < arguments.count && array; ++i) {
        size_t units = mbstowcs(wide, arguments.at(i), capacity);
        if (units == static_cast<size_t>(-1)) units = 0;
        jstring s = env->NewString(reinterpret_cast<const jchar*>(wide), static_cast<jsize>(units));
        if (s) {
            env->SetObjectArrayElement(array, static_cast<jsize>(i), s);
        } else {
            array = nullptr;
        }
    }
    free(wide);
    return array;
}

// True when the application is to start.
bool runFirstRunHook(JNIEnv* env) {
    jclass firstRun = env->FindClass(kFirstRunClass);
    if (!firstRun) errorExit(cfg::kMsgInternalError, "%ERROR_CODE%", "14");
    jmethodID method = env->GetStaticMethodID(firstRun, "firstRun", "()Z");
    if (!method) errorExit(cfg::kMsgInternalError, "%ERROR_CODE%", "15");
    jboolean start = env->CallStaticBooleanMethod(firstRun, method);
    if (env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        return false;
    }
    return start == JNI_TRUE;
}

// False when an exception escaped main.
bool runApplication(JNIEnv* env, const JavaLaunch& launch) {
    if (launch.askFirstRun && !runFirstRunHook(env)) return true;
    jclass launcher = env->FindClass(kLauncherClass);
    if (!launcher) errorExit(cfg::kMsgMainClassNotFound);
    jmethodID main = env->GetStaticMethodID(launcher, "main", "([Ljava/lang/String;)V");
    if (!main) errorExit(cfg::kMsgMainMethodNotFound);
    StringList arguments;
    launch.buildArguments(launch.ctx, arguments);
    jobjectArray array = makeArgumentArray(env, arguments);
    arguments.release();
    // A VM that cannot make the array or its strings cannot run main.
    if (!array) errorExit(cfg::kMsgJvmStartFailed);
    env->CallStaticVoidMethod(launcher, main, array);
    if (env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        return false;
    }
    return true;
}

}  // namespace

bool launchJava(const JavaLaunch& launch, bool destroyAtEnd) {
    CreateJavaVMFunction create = createJavaVMEntry();
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (!create || create(&vm, reinterpret_cast<void**>(&env), launch.initArgs) != 0) return false;
    setJavaVM(vm, env);
    if (!runApplication(env, launch)) return false;
    if (destroyAtEnd) vm->DestroyJavaVM();
    return true;
}

}  // namespace zorvo
