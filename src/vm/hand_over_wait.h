// The native wait behind the Java side's hand-over listener
// ("com/zorvo/runtime/HandOvers"). Portable: the VM calls only.
#ifndef ZORVO_VM_HAND_OVER_WAIT_H
#define ZORVO_VM_HAND_OVER_WAIT_H

#include <jni.h>

#include <stdint.h>

namespace zorvo {

// Waits up to the given milliseconds for the next hand-over; true when one
// was signalled. Never waits longer, so a thread in it never holds up the VM.
typedef bool (*HandOverWait)(int32_t timeoutMs);

// From the main thread, right after the VM is created: binds the native
// method HandOvers.waitForSignal(int) to `wait`. False when the class or the
// method is missing (an older runtime library); nothing is left pending, and
// the Java side then looks at the file every few hundred milliseconds.
bool bindHandOverWait(JNIEnv* env, HandOverWait wait);

}  // namespace zorvo

#endif
