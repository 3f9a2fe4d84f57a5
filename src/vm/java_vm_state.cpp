#include "vm/java_vm_state.h"

#include <atomic>
#include <thread>

namespace zorvo {
namespace {

CreateJavaVMFunction createEntry = nullptr;
JavaVM* volatile theVM = nullptr;
JNIEnv* theMainEnv = nullptr;
volatile bool running = false;

// Both sequentially consistent: a thread entering raises its count before it
// reads the closed flag, the closer raises the flag before it reads the
// count, so either the entering thread sees the gate closed or the closer
// sees it inside and waits.
std::atomic<bool> sideCallsClosed{false};
std::atomic<int> sideCallsInside{0};

}  // namespace

void setCreateJavaVM(CreateJavaVMFunction entry) { createEntry = entry; }
CreateJavaVMFunction createJavaVMEntry() { return createEntry; }

void setJavaVM(JavaVM* vm, JNIEnv* env) {
    theVM = vm;
    theMainEnv = env;
    running = true;
}

JavaVM* javaVM() { return theVM; }
JNIEnv* mainThreadEnv() { return theMainEnv; }
bool isJavaVMRunning() { return running; }

JNIEnv* attachCurrentThread() {
    if (!running) return nullptr;
    JNIEnv* env = nullptr;
    if (theVM->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) return nullptr;
    return env;
}

void detachCurrentThread() {
    if (running) theVM->DetachCurrentThread();
}

bool enterSideCalls() {
    ++sideCallsInside;
    if (!sideCallsClosed) return true;
    --sideCallsInside;
    return false;
}

void leaveSideCalls() { --sideCallsInside; }

void closeSideCalls() {
    sideCallsClosed = true;
    // A run of calls takes a poll of the controller at most: yielding until it
    // ends costs less than a timed wait would pull into the executable.
    while (sideCallsInside > 0) std::this_thread::yield();
}

void abandonSideCalls() { sideCallsClosed = true; }

}  // namespace zorvo
