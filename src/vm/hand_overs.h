// The natives behind the Java side's hand-overs ("com/zorvo/runtime/HandOvers")
// in a first instance: the wait of its listener and the end of hand-overs when
// the VM shuts down. Portable: the VM calls only.
#ifndef ZORVO_VM_HAND_OVERS_H
#define ZORVO_VM_HAND_OVERS_H

#include <jni.h>

#include <stdint.h>

namespace zorvo {

// What the Java side's hand-overs need from the first instance.
struct HandOverHooks {
    // Waits up to the given milliseconds for the next hand-over; true when one
    // was signalled. Never waits longer, so a thread in it never holds up the VM.
    bool (*wait)(int32_t timeoutMs);
    // Ends the hand-overs to this process; returns when later starts no
    // longer hand over to it.
    void (*stop)();
};

// From the main thread, right after the VM is created: binds the native
// methods HandOvers.waitForSignal(int) and HandOvers.stopHandOvers(), and
// installs the class's shutdown hook (installShutdownHook), which calls
// stopHandOvers as soon as the VM begins to shut down. False when the class
// or a piece of the hook is missing (an older runtime library); nothing is
// left pending. Without the wait the Java side looks at the file every few
// hundred milliseconds; without the hook the caller ends the hand-overs
// itself when the VM is gone.
bool bindHandOvers(JNIEnv* env, const HandOverHooks& hooks);

}  // namespace zorvo

#endif
