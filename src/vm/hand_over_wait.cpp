#include "vm/hand_over_wait.h"

namespace zorvo {
namespace {

constexpr char kHandOversClass[] = "com/zorvo/runtime/HandOvers";

// Set once, before the method is bound; read by the listener's thread.
HandOverWait boundWait = nullptr;

jboolean JNICALL waitForSignal(JNIEnv*, jclass, jint timeoutMs) {
    return boundWait(static_cast<int32_t>(timeoutMs)) ? JNI_TRUE : JNI_FALSE;
}

}  // namespace

bool bindHandOverWait(JNIEnv* env, HandOverWait wait) {
    jclass handOvers = env->FindClass(kHandOversClass);
    if (env->ExceptionCheck() || !handOvers) {
        env->ExceptionClear();
        return false;
    }
    boundWait = wait;
    JNINativeMethod native = {const_cast<char*>("waitForSignal"), const_cast<char*>("(I)Z"),
                              reinterpret_cast<void*>(&waitForSignal)};
    bool bound = env->RegisterNatives(handOvers, &native, 1) == JNI_OK && !env->ExceptionCheck();
    env->ExceptionClear();
    env->DeleteLocalRef(handOvers);
    return bound;
}

}  // namespace zorvo
