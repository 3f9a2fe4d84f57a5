#include "vm/splash_controller.h"

#include "vm/java_vm_state.h"

namespace zorvo {
namespace {

constexpr char kControllerClass[] = "com/zorvo/runtime/ZorvoController";
constexpr jint kActionClose = 1;
constexpr jint kActionNewText = 2;

// Waiting: not attached yet (the VM may not run yet). Polling: attached, the
// controller known. Idle: given up for good (controller missing), detached.
// Ended: detached as the splash thread ends.
enum class PollerState { Waiting, Polling, Idle, Ended };

// Touched by the splash thread only.
PollerState pollerState = PollerState::Waiting;
JNIEnv* pollerEnv = nullptr;
jclass controllerClass = nullptr;
jmethodID getActionMethod = nullptr;
jmethodID getTextMethod = nullptr;

// Describes and clears an exception a call left pending on this thread, so
// that the next VM call is made on a clean thread; true when there was one.
bool clearPendingException(JNIEnv* env) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionDescribe();
    env->ExceptionClear();
    return true;
}

jmethodID findStaticMethod(JNIEnv* env, jclass cls, const char* name, const char* signature) {
    jmethodID method = env->GetStaticMethodID(cls, name, signature);
    return clearPendingException(env) ? nullptr : method;
}

// Attaches once the VM runs and looks up the controller; without it (or one
// of its methods) the thread detaches and the lookup is never repeated.
void attachSplashPoller() {
    pollerEnv = attachCurrentThread();
    if (!pollerEnv) return;
    jclass found = pollerEnv->FindClass(kControllerClass);
    if (!clearPendingException(pollerEnv) && found) {
        controllerClass = found;
        getActionMethod = findStaticMethod(pollerEnv, found, "getAction", "()I");
        getTextMethod = findStaticMethod(pollerEnv, found, "getText", "()Ljava/lang/String;");
        if (getActionMethod && getTextMethod) {
            pollerState = PollerState::Polling;
            return;
        }
    }
    if (found) pollerEnv->DeleteLocalRef(found);
    controllerClass = nullptr;
    detachCurrentThread();
    pollerEnv = nullptr;
    pollerState = PollerState::Idle;
}

// Asks for the new status text and shows it; null means no change. The
// characters are taken up to the string's length, since a Java string need
// not end in a zero character.
void showControllerText(JNIEnv* env, StatusTextSink show) {
    jobject result = env->CallStaticObjectMethod(controllerClass, getTextMethod);
    if (clearPendingException(env) || !result) return;
    jstring text = static_cast<jstring>(result);
    jsize length = env->GetStringLength(text);
    const jchar* chars = env->GetStringChars(text, nullptr);
    if (chars) {
        show(chars, length > 0 ? static_cast<size_t>(length) : 0);
        env->ReleaseStringChars(text, chars);
    } else {
        clearPendingException(env);
    }
    // The thread stays attached for the splash's life: without this, every
    // text would keep its local reference until the end.
    env->DeleteLocalRef(result);
}

ControllerAnswer askController(StatusTextSink show) {
    if (pollerState == PollerState::Waiting) attachSplashPoller();
    if (pollerState != PollerState::Polling) return ControllerAnswer::Nothing;
    jint action = pollerEnv->CallStaticIntMethod(controllerClass, getActionMethod);
    if (clearPendingException(pollerEnv)) return ControllerAnswer::Nothing;
    if (action == kActionClose) return ControllerAnswer::Close;
    if (action == kActionNewText) showControllerText(pollerEnv, show);
    return ControllerAnswer::Nothing;
}

// The native method of the controller's shutdown hook: from here on the
// splash thread makes no VM call. Runs on the hook's thread, while the VM
// still runs; returns once a poll under way has finished.
void JNICALL stopSplashPolling(JNIEnv*, jclass) { closeSideCalls(); }

}  // namespace

ControllerAnswer pollSplashController(StatusTextSink show) {
    if (pollerState == PollerState::Idle || pollerState == PollerState::Ended) return ControllerAnswer::Nothing;
    if (!enterSideCalls()) return ControllerAnswer::Nothing;
    ControllerAnswer answer = askController(show);
    leaveSideCalls();
    return answer;
}

void detachSplashPoller() {
    if (pollerState != PollerState::Polling) return;
    pollerState = PollerState::Ended;
    if (!enterSideCalls()) return;
    detachCurrentThread();
    leaveSideCalls();
}

bool installSplashShutdownHook(JNIEnv* env) {
    jclass controller = env->FindClass(kControllerClass);
    if (env->ExceptionCheck() || !controller) {
        env->ExceptionClear();
        return false;
    }
    JNINativeMethod native = {const_cast<char*>("stopSplashPolling"), const_cast<char*>("()V"),
                              reinterpret_cast<void*>(&stopSplashPolling)};
    bool installed = false;
    if (env->RegisterNatives(controller, &native, 1) == JNI_OK && !env->ExceptionCheck()) {
        jmethodID install = env->GetStaticMethodID(controller, "installShutdownHook", "()V");
        if (install && !env->ExceptionCheck()) {
            env->CallStaticVoidMethod(controller, install);
            installed = !env->ExceptionCheck();
        }
    }
    env->ExceptionClear();
    env->DeleteLocalRef(controller);
    return installed;
}

}  // namespace zorvo
