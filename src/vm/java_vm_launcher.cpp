// The JNI side of a launch: VM creation, the first-run hook, the launcher
// class's main and the VM's destruction. Standard C++ and jni.h only, so that
// it runs against a real VM on the host as well.
#include "vm/java_vm_launcher.h"

#include <stdlib.h>

#include "common/utf8.h"
#include "vm/java_vm_state.h"
#include "vm/splash_controller.h"

namespace zorvo {
namespace {

const char kLauncherClass[] = "com/zorvo/runtime/WinLauncher";
const char kFirstRunClass[] = "com/quenbrook/runtime/FirstRun";
const size_t kArgumentUnits = 8192;

// What the launcher class's startFailure() answers (see WinLauncher).
const jint kStartClassNotFound = 3;
const jint kStartClassNotLoadable = 4;
const jint kStartNoMainMethod = 5;

// A pending exception is described on standard error (which clears it, as
// JNI defines); true when there was one.
bool describePendingException(JNIEnv* env) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionDescribe();
    return true;
}

// A failed lookup leaves the VM's error pending; the launch reports its own
// message instead.
jclass findClass(JNIEnv* env, const char* name) {
    jclass found = env->FindClass(name);
    if (env->ExceptionCheck()) env->ExceptionClear();
    return found;
}

jmethodID findStaticMethod(JNIEnv* env, jclass cls, const char* name, const char* signature) {
    jmethodID method = env->GetStaticMethodID(cls, name, signature);
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return nullptr;
    }
    return method;
}

// The argument array; each element's local reference is deleted once the
// array holds it, so that the number of references does not grow with the
// number of arguments. Null when the VM cannot make the array or a string.
jobjectArray makeArgumentArray(JNIEnv* env, const StringList& arguments) {
    jclass stringClass = findClass(env, "java/lang/String");
    if (!stringClass) return nullptr;
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(arguments.count), stringClass, nullptr);
    env->DeleteLocalRef(stringClass);
    uint16_t* units = static_cast<uint16_t*>(malloc(kArgumentUnits * sizeof(uint16_t)));
    bool complete = array && units && !env->ExceptionCheck();
    for (size_t i = 0; complete && i < arguments.count; ++i) {
        size_t count = decodeUtf8(arguments.at(i), units, kArgumentUnits);
        jstring s = env->NewString(reinterpret_cast<const jchar*>(units), static_cast<jsize>(count));
        complete = s && !env->ExceptionCheck();
        if (complete) {
            env->SetObjectArrayElement(array, static_cast<jsize>(i), s);
            complete = !env->ExceptionCheck();
        }
        if (s) env->DeleteLocalRef(s);
    }
    free(units);
    if (complete) return array;
    if (env->ExceptionCheck()) env->ExceptionDescribe();
    if (array) env->DeleteLocalRef(array);
    return nullptr;
}

// Ran, with `start` as the hook answered (false when it threw), or why the
// hook could not be asked.
LaunchOutcome runFirstRunHook(JNIEnv* env, bool& start) {
    start = false;
    jclass firstRun = findClass(env, kFirstRunClass);
    if (!firstRun) return LaunchOutcome::FirstRunClassMissing;
    jmethodID method = findStaticMethod(env, firstRun, "firstRun", "()Z");
    LaunchOutcome outcome = LaunchOutcome::FirstRunMethodMissing;
    if (method) {
        jboolean answer = env->CallStaticBooleanMethod(firstRun, method);
        start = !describePendingException(env) && answer == JNI_TRUE;
        outcome = LaunchOutcome::Ran;
    }
    env->DeleteLocalRef(firstRun);
    return outcome;
}

// Asks the launcher class whether it could start the application. A launcher
// class without the question (an older runtime library) has reported for itself.
LaunchOutcome askStartFailure(JNIEnv* env, jclass launcher) {
    jmethodID method = findStaticMethod(env, launcher, "startFailure", "()I");
    if (!method) return LaunchOutcome::Ran;
    jint failure = env->CallStaticIntMethod(launcher, method);
    if (describePendingException(env)) return LaunchOutcome::ExceptionEscaped;
    if (failure == 0) return LaunchOutcome::Ran;
    if (failure == kStartClassNotFound || failure == kStartClassNotLoadable) return LaunchOutcome::MainClassMissing;
    if (failure == kStartNoMainMethod) return LaunchOutcome::MainMethodMissing;
    return LaunchOutcome::ArgumentsFailed;
}

// Calls main with the arguments, then asks whether the application started.
LaunchOutcome callMain(JNIEnv* env, const JavaLaunch& launch, jclass launcher, jmethodID main) {
    StringList arguments;
    launch.buildArguments(launch.ctx, arguments);
    jobjectArray array = makeArgumentArray(env, arguments);
    arguments.release();
    if (!array) return LaunchOutcome::ArgumentsFailed;
    env->CallStaticVoidMethod(launcher, main, array);
    env->DeleteLocalRef(array);
    if (describePendingException(env)) return LaunchOutcome::ExceptionEscaped;
    return askStartFailure(env, launcher);
}

LaunchOutcome callLauncherClass(JNIEnv* env, const JavaLaunch& launch) {
    jclass launcher = findClass(env, kLauncherClass);
    if (!launcher) return LaunchOutcome::LauncherClassMissing;
    jmethodID main = findStaticMethod(env, launcher, "main", "([Ljava/lang/String;)V");
    LaunchOutcome outcome = main ? callMain(env, launch, launcher, main) : LaunchOutcome::LauncherMainMissing;
    env->DeleteLocalRef(launcher);
    return outcome;
}

LaunchOutcome runApplication(JNIEnv* env, const JavaLaunch& launch) {
    if (launch.askFirstRun) {
        bool start = false;
        LaunchOutcome outcome = runFirstRunHook(env, start);
        if (outcome != LaunchOutcome::Ran || !start) return outcome;
    }
    return callLauncherClass(env, launch);
}

}  // namespace

LaunchOutcome launchJava(const JavaLaunch& launch, bool destroyAtEnd) {
    CreateJavaVMFunction create = createJavaVMEntry();
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (!create || create(&vm, reinterpret_cast<void**>(&env), launch.initArgs) != JNI_OK) {
        return LaunchOutcome::VmNotCreated;
    }
    // The hook is in place before the splash thread can attach, and before
    // any application code can start the shutdown.
    bool hooked = launch.splashPolls && installSplashShutdownHook(env);
    if (launch.handOvers) bindHandOvers(env, *launch.handOvers);
    setJavaVM(vm);
    LaunchOutcome outcome = runApplication(env, launch);
    if (outcome != LaunchOutcome::Ran) return outcome;
    // Without the hook nothing tells when the shutdown begins, and the splash
    // has nothing to poll: its VM calls end here.
    if (!hooked) closeSideCalls();
    if (destroyAtEnd) vm->DestroyJavaVM();
    abandonSideCalls();
    return LaunchOutcome::Ran;
}

LaunchReport describeLaunchOutcome(LaunchOutcome outcome, const char* mainClass) {
    switch (outcome) {
        case LaunchOutcome::LauncherClassMissing:
            return {cfg::kMsgMainClassNotFound, kLauncherClassName};
        case LaunchOutcome::LauncherMainMissing:
            return {cfg::kMsgMainMethodNotFound, kLauncherClassName};
        case LaunchOutcome::MainClassMissing:
            return {cfg::kMsgMainClassNotFound, mainClass};
        case LaunchOutcome::MainMethodMissing:
            return {cfg::kMsgMainMethodNotFound, mainClass};
        case LaunchOutcome::FirstRunClassMissing:
            return {cfg::kMsgInternalError, internalErrorCode(InternalError::FirstRunClassMissing)};
        case LaunchOutcome::FirstRunMethodMissing:
            return {cfg::kMsgInternalError, internalErrorCode(InternalError::FirstRunMethodMissing)};
        default:
            return {cfg::kMsgJvmStartFailed, nullptr};
    }
}

}  // namespace zorvo
