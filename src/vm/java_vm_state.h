// The process-wide state of the one Java VM of the process: the creation
// entry of the loaded VM library, the VM and the main thread's environment,
// and whether the VM runs. Written by the main thread; the splash thread
// only attaches once the VM runs.
#ifndef ZORVO_VM_JAVA_VM_STATE_H
#define ZORVO_VM_JAVA_VM_STATE_H

#include <jni.h>

namespace zorvo {

typedef jint(JNICALL* CreateJavaVMFunction)(JavaVM** vm, void** env, void* args);

// The creation entry bound from the loaded VM library (null until bound).
void setCreateJavaVM(CreateJavaVMFunction entry);
CreateJavaVMFunction createJavaVMEntry();

// Filled by the VM creation; the running flag is set once and never cleared.
void setJavaVM(JavaVM* vm, JNIEnv* env);
JavaVM* javaVM();
JNIEnv* mainThreadEnv();
bool isJavaVMRunning();

// Attaches the calling thread to the running VM; null while the VM is not
// running or when the attach fails.
JNIEnv* attachCurrentThread();
// Detaches the calling thread when the VM runs.
void detachCurrentThread();

}  // namespace zorvo

#endif
