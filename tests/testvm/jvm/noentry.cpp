// A VM library without JNI_CreateJavaVM: it loads, logs its load and offers
// nothing else, for tests of a runtime whose library lacks the creation entry.
#include "../common/testvm_log.h"
#include "../common/win_util.h"

namespace {

struct LoadLogger {
    LoadLogger() {
        testvm::setLogSource("jvm-noentry");
        testvm::Record("dll_loaded").text("dll", testvm::ownModulePath()).write();
    }
} loadLogger;

}  // namespace

extern "C" __declspec(dllexport) int zorvoTestVmNoEntry() { return 0; }
