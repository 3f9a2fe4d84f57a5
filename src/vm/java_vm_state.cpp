#include "vm/java_vm_state.h"

#include <atomic>
#include <thread>

namespace zorvo {
namespace {

CreateJavaVMFunction createEntry = nullptr;
// Written by the main thread once the VM is created, read by the splash
// thread: the VM is published before the flag that says it runs.
std::atomic<JavaVM*> theVM{nullptr};
std::atomic<bool> running{false};

// Both sequentially consistent: a thread entering raises its count before it
// reads the closed flag, the closer raises the flag before it reads the
// count, so either the entering thread sees the gate closed or the closer
// sees it inside and waits.
std::atomic<bool> sideCallsClosed{false};
std::atomic<int> sideCallsInside{0};

}  // namespace

void setCreateJavaVM(CreateJavaVMFunction entry) { createEntry = entry; }
CreateJavaVMFunction createJavaVMEntry() { return createEntry; }

void setJavaVM(JavaVM* vm) {
    theVM = vm;
    running = true;
}

JNIEnv* attachCurrentThread() {
    if (!running) return nullptr;
    JNIEnv* env = nullptr;
    if (theVM.load()->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) return nullptr;
    return env;
}

void detachCurrentThread() {
    if (running) theVM.load()->DetachCurrentThread();
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
