// What the splash thread asks the Java side's controller
// ("com/zorvo/runtime/ZorvoController"), and the shutdown hook that ends
// those calls before the VM goes away. Portable: the VM calls only.
#ifndef ZORVO_VM_SPLASH_CONTROLLER_H
#define ZORVO_VM_SPLASH_CONTROLLER_H

#include <jni.h>

#include <stddef.h>
#include <stdint.h>

namespace zorvo {

enum class ControllerAnswer { Nothing, Close };

// Receives a new status text as UTF-16 units (not terminated).
typedef void (*StatusTextSink)(const uint16_t* units, size_t count);

// One poll, from the splash thread. Once the VM runs, the first poll attaches
// the thread as a daemon thread and looks up the controller and its methods;
// when any of them is missing the thread detaches again and the poller stays
// idle for good. Then each poll asks getAction: 1 gives Close, 2 hands the
// text of getText (null: no change) to `show` before it returns. An exception
// a call leaves pending is described on standard error and cleared. Makes no
// VM call once the VM shuts down, and then always gives Nothing.
ControllerAnswer pollSplashController(StatusTextSink show);

// Detaches the splash thread when it is attached and the VM is not shutting
// down. Called once, as the splash thread ends.
void detachSplashPoller();

// From the main thread, right after the VM is created: registers the native
// method that the controller's shutdown hook calls, and installs that hook,
// which closes the splash thread's gate (java_vm_state.h) as soon as the VM
// begins to shut down. False when the controller or a piece of the hook is
// missing (nothing pending is left behind); the splash then cannot poll, and
// the caller closes the gate itself before destroying the VM.
bool installSplashShutdownHook(JNIEnv* env);

}  // namespace zorvo

#endif
