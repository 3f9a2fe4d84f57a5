// The launch of the application as the launcher does it on Windows: what it
// gathers from the configuration, the files beside the executable and the
// environment, handed to the JNI part (java_vm_launcher.h).
#ifndef ZORVO_VM_JAVA_LAUNCH_H
#define ZORVO_VM_JAVA_LAUNCH_H

namespace zorvo {

// Builds the VM options and the arguments, creates the VM with the bound
// creation entry, runs the application through the launcher class and
// destroys the VM. True when the application ran (or the first-run hook said
// not to start); false when the VM cannot be created or an exception escaped
// main (the caller reports 1005); every other failure is reported here and
// ends the process.
bool runJavaApplication(const char* commandLineTail);

// Looks up JNI_CreateJavaVM in a loaded VM library (an HMODULE) and keeps it
// for the launch. False when the library has none.
bool bindCreateJavaVM(void* library);

}  // namespace zorvo

#endif
