#include "vm/hand_overs.h"

namespace zorvo {
namespace {

constexpr char kHandOversClass[] = "com/zorvo/runtime/HandOvers";

// Set once, before the methods are bound; read by the VM's threads.
HandOverHooks bound = {nullptr, nullptr};

jboolean JNICALL waitForSignal(JNIEnv*, jclass, jint timeoutMs) {
    return bound.wait(static_cast<int32_t>(timeoutMs)) ? JNI_TRUE : JNI_FALSE;
}

void JNICALL stopHandOvers(JNIEnv*, jclass) { bound.stop(); }

// Binds one native method; false (nothing pending) when the class lacks it.
bool registerNative(JNIEnv* env, jclass cls, const char* name, const char* signature, void* function) {
    JNINativeMethod native = {const_cast<char*>(name), const_cast<char*>(signature), function};
    bool registered = env->RegisterNatives(cls, &native, 1) == JNI_OK && !env->ExceptionCheck();
    env->ExceptionClear();
    return registered;
}

bool installShutdownHook(JNIEnv* env, jclass cls) {
    jmethodID install = env->GetStaticMethodID(cls, "installShutdownHook", "()V");
    if (env->ExceptionCheck() || !install) {
        env->ExceptionClear();
        return false;
    }
    env->CallStaticVoidMethod(cls, install);
    if (!env->ExceptionCheck()) return true;
    env->ExceptionDescribe();
    return false;
}

}  // namespace

bool bindHandOvers(JNIEnv* env, const HandOverHooks& hooks) {
    jclass handOvers = env->FindClass(kHandOversClass);
    if (env->ExceptionCheck() || !handOvers) {
        env->ExceptionClear();
        return false;
    }
    bound = hooks;
    registerNative(env, handOvers, "waitForSignal", "(I)Z", reinterpret_cast<void*>(&waitForSignal));
    bool hooked = registerNative(env, handOvers, "stopHandOvers", "()V", reinterpret_cast<void*>(&stopHandOvers)) &&
                  installShutdownHook(env, handOvers);
    env->DeleteLocalRef(handOvers);
    return hooked;
}

}  // namespace zorvo
