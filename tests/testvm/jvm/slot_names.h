// Names of the JNI function table slots, for the messages of unimplemented
// slots. The table is generated at configure time from the installed jni.h.
#ifndef ZORVO_TESTVM_SLOT_NAMES_H
#define ZORVO_TESTVM_SLOT_NAMES_H

namespace testvm {

const char* envSlotName(int slot);     // JNINativeInterface_
const char* invokeSlotName(int slot);  // JNIInvokeInterface_

}  // namespace testvm

#endif
