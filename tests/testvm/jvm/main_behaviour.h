// What the launcher class's main does once it has logged its arguments.
#ifndef ZORVO_TESTVM_MAIN_BEHAVIOUR_H
#define ZORVO_TESTVM_MAIN_BEHAVIOUR_H

#include "vm_state.h"

namespace testvm {

// In this order, each only when scripted: raise an exception that only the
// thread's top-level filter handles (it walks through the caller's frames),
// wait once for a hand-over through the bound HandOvers.waitForSignal,
// report GUI resources, start an
// application thread, show a window, block (sleep / wait for a file, pumping
// the window's messages), close the window, report GUI resources again, end
// the process like System.exit, leave an exception pending.
// Runs without holding the VM lock.
void runMainBehaviour(ThreadEnv& thread);

}  // namespace testvm

#endif
