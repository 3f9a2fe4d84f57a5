// Scripted behaviour of the test programs that play a runtime's executables
// (java.exe, javaw.exe, unpack200.exe).
//
// Directives come from the file "behaviour.txt" beside the executable (one per
// line or separated by ';', '#' starts a comment) and then from an environment
// variable in the same syntax; a later directive overrides an earlier one.
//   exit N      end with exit code N (for unpack200: without unpacking)
//   sleep N     wait N milliseconds before ending
//   hang        never end (until terminated)
//   silent      write nothing (java: no version text)
//   raw         java: write the whole version.txt byte for byte, nothing else
//   stdout      java: write the version text to standard output, not error
//   default     forget every earlier directive
#ifndef ZORVO_TESTVM_BEHAVIOUR_H
#define ZORVO_TESTVM_BEHAVIOUR_H

#include <string>

namespace testvm {

struct Behaviour {
    int exitCode = 0;
    long sleepMs = 0;
    bool hang = false;
    bool silent = false;
    bool raw = false;
    bool toStdout = false;
    std::string directives;  // everything that was read, for the log
    std::string error;       // the first directive that was not understood
};

Behaviour loadBehaviour(const std::string& exeDirectory, const char* envName);

// Carries out the waiting part of a behaviour: sleep, then hang.
void waitAsScripted(const Behaviour& behaviour);

}  // namespace testvm

#endif
