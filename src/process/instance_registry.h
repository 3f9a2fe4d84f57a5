// Single-instance mode.
#ifndef ZORVO_PROCESS_INSTANCE_REGISTRY_H
#define ZORVO_PROCESS_INSTANCE_REGISTRY_H

namespace zorvo {

// Returns when this process is to go on; ends it with exit code 0 when a
// running instance of the same executable takes over.
void enforceSingleInstance(bool check, const char* commandLineTail);

}  // namespace zorvo

#endif
