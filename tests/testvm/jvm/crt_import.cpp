// Makes jvm-needscrt.dll import the C runtime double (zrvcrt.dll), as a real
// VM library imports the C runtime of its runtime's bin directory: without it
// the library cannot be loaded.
extern "C" __declspec(dllimport) int zorvoTestVmCrt();

namespace {

const int crtPresent = zorvoTestVmCrt();

}  // namespace

extern "C" __declspec(dllexport) int zorvoTestVmCrtPresent() { return crtPresent; }
