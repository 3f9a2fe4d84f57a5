#include "vm/java_vm_state.h"

namespace zorvo {
namespace {

CreateJavaVMFunction createEntry = nullptr;
JavaVM* volatile theVM = nullptr;
JNIEnv* theMainEnv = nullptr;
volatile bool running = false;

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
    if (theVM->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != 0) return nullptr;
    return env;
}

void detachCurrentThread() {
    if (running) theVM->DetachCurrentThread();
}

}  // namespace zorvo
