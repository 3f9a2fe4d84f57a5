// Where this process looks for DLLs: never in the current directory, and, once
// a runtime's VM library is loaded, in that runtime's bin directory.
#ifndef ZORVO_PROCESS_DLL_SEARCH_H
#define ZORVO_PROCESS_DLL_SEARCH_H

namespace zorvo {

// Takes the current directory out of the DLL search of this process and puts
// the file search (SearchPath) in its safe order, the current directory after
// the system's directories. A user who opens a document from a downloads
// folder starts the application there: a DLL planted in that folder must
// never be loaded. Called before anything else is loaded.
void restrictDllSearch();

// Makes `directory` the one extra directory of the DLL search, in place of the
// current directory; it stays in force for the process, so that the libraries
// the VM and the application load later find the same DLLs. nullptr drops it
// again (the current directory stays out).
void searchDllsIn(const char* directory);

}  // namespace zorvo

#endif
