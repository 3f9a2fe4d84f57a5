// The splash thread's timer: ends the splash when it is hidden or the
// application's own window shows, and polls the Java side's controller for a
// status text or the end of the splash.
#include <windows.h>

#include <jni.h>

#include "process/instance_registry.h"
#include "splash/splash.h"
#include "splash/splash_internal.h"
#include "vm/java_vm_state.h"

namespace zorvo {
namespace {

constexpr char kControllerClass[] = "com/zorvo/runtime/ZorvoController";
constexpr jint kActionClose = 1;
constexpr jint kActionNewText = 2;

// Touched by the splash thread only.
JNIEnv* pollerEnv = nullptr;
jclass controllerClass = nullptr;
jmethodID getActionMethod = nullptr;
jmethodID getTextMethod = nullptr;

// Describes and clears an exception a call left pending on this thread, so
// that the next JNI call is made on a clean thread; true when there was one.
bool clearPendingException(JNIEnv* env) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionDescribe();
    env->ExceptionClear();
    return true;
}

// Detaches from the VM and ends the splash thread, which takes the window
// and the timer with it; returns only when an error report holds the window
// for its message box (the process ends after the report).
void endSplashThread() {
    if (!markSplashEnding()) return;
    detachCurrentThread();
    ExitThread(0);
}

// Attaches the splash thread once the VM runs and looks up the controller.
// Once attached the lookup is never repeated: without the controller the
// poller stays idle.
void attachSplashPoller() {
    pollerEnv = attachCurrentThread();
    if (!pollerEnv) return;
    jclass found = pollerEnv->FindClass(kControllerClass);
    if (clearPendingException(pollerEnv) || !found) return;
    controllerClass = found;
    getActionMethod = pollerEnv->GetStaticMethodID(controllerClass, "getAction", "()I");
    if (clearPendingException(pollerEnv)) getActionMethod = nullptr;
    getTextMethod = pollerEnv->GetStaticMethodID(controllerClass, "getText", "()Ljava/lang/String;");
    if (clearPendingException(pollerEnv)) getTextMethod = nullptr;
}

// Asks for the new status text and shows it; null means no change. The
// characters are taken up to the string's length, since a Java string need
// not end in a zero character.
void showControllerText(JNIEnv* env) {
    jobject result = env->CallStaticObjectMethod(controllerClass, getTextMethod);
    if (clearPendingException(env) || !result) return;
    jstring text = static_cast<jstring>(result);
    jsize length = env->GetStringLength(text);
    const jchar* chars = env->GetStringChars(text, nullptr);
    if (chars) {
        setStatusText(chars, length > 0 ? static_cast<size_t>(length) : 0);
        env->ReleaseStringChars(text, chars);
    } else {
        clearPendingException(env);
    }
    // The thread stays attached for the splash's life: without this, every
    // text would keep its local reference until the end.
    env->DeleteLocalRef(result);
}

}  // namespace

void CALLBACK splashTimerTick(HWND, UINT, UINT_PTR, DWORD) {
    if (isSplashHeldForMessage()) return;
    HWND hwnd = splashWindow();
    if (!hwnd || !IsWindowVisible(hwnd)) return endSplashThread();
    if (closesOnApplicationWindow() && countVisibleProcessWindows(GetCurrentProcessId()) > 1) {
        hideSplash();
        return endSplashThread();
    }
    if (!pollerEnv) attachSplashPoller();
    if (!controllerClass || !getActionMethod || !getTextMethod) return;
    jint action = pollerEnv->CallStaticIntMethod(controllerClass, getActionMethod);
    if (clearPendingException(pollerEnv)) return;
    if (action == kActionClose) {
        hideSplash();
        return endSplashThread();
    }
    if (action == kActionNewText) showControllerText(pollerEnv);
}

}  // namespace zorvo
