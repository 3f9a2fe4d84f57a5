// Creation of the Java VM and the call of the launcher class.
#ifndef ZORVO_WINDOWS_JAVA_VM_LAUNCHER_H
#define ZORVO_WINDOWS_JAVA_VM_LAUNCHER_H

namespace zorvo {

// Creates the VM and runs the application; false when the VM cannot be
// created or an exception escaped main.
bool runJavaApplication(const char* commandLineTail, bool destroyAtEnd);

}  // namespace zorvo

#endif
