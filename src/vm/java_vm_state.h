// The process-wide state of the one Java VM of the process: the creation
// entry of the loaded VM library, the VM once it runs, and the gate through which the splash thread makes its
// VM calls. Written by the main thread; the splash thread only attaches once
// the VM runs. Portable: no platform call.
#ifndef ZORVO_VM_JAVA_VM_STATE_H
#define ZORVO_VM_JAVA_VM_STATE_H

#include <jni.h>

namespace zorvo {

typedef jint(JNICALL* CreateJavaVMFunction)(JavaVM** vm, void** env, void* args);

// The creation entry bound from the loaded VM library (null until bound).
void setCreateJavaVM(CreateJavaVMFunction entry);
CreateJavaVMFunction createJavaVMEntry();

// Filled by the VM creation: from here on the VM runs (never cleared).
void setJavaVM(JavaVM* vm);

// Attaches the calling thread to the running VM as a daemon thread, one that
// the VM's destruction never waits for; null while the VM is not running or
// when the attach fails.
JNIEnv* attachCurrentThread();
// Detaches the calling thread when the VM runs.
void detachCurrentThread();

// The gate of the splash thread's VM calls. A VM shuts down once the
// application's last non-daemon thread has ended; from then on a thread
// other than the main thread must make no VM call at all (a real VM stops it
// for good, or worse). The splash thread wraps every run of VM calls in
// enterSideCalls / leaveSideCalls and makes none when enter gives false.
bool enterSideCalls();
void leaveSideCalls();
// Closes the gate for good and waits until a run of calls that is under way
// has left it. Called by the thread that sees the shutdown begin; never from
// inside the gate.
void closeSideCalls();
// Closes the gate for good without waiting (the VM is gone: a call under way
// may never come back).
void abandonSideCalls();

}  // namespace zorvo

#endif
