// The scripted answers of the splash controller (getAction / getText).
//
// ZORVO_TESTVM_CONTROLLER holds steps separated by ';'. A step is
//   [COUNT*]ACTION[:TEXT]
// Each getAction call consumes one step and answers ACTION; getText answers the
// TEXT of the step consumed last: null when the step has no text or an empty
// one, the empty string when TEXT is exactly "" (two double quotes). In TEXT,
// "\;" is a ';', "\\" a backslash and "\uXXXX" the UTF-16 unit XXXX (hex).
// COUNT repeats the step. When the steps are used up, getAction answers 0.
// ACTION "!" makes getAction throw; TEXT exactly "!" makes getText throw
// (java.lang.IllegalStateException; a text "!" is written "\u0021").
#ifndef ZORVO_TESTVM_CONTROLLER_SCRIPT_H
#define ZORVO_TESTVM_CONTROLLER_SCRIPT_H

#include <string>
#include <vector>

namespace testvm {

struct ControllerStep {
    long action = 0;
    bool actionThrows = false;
    bool textThrows = false;
    bool hasText = false;  // false: getText answers null
    std::u16string text;
};

// Parses a script; false (with a message) when a step is malformed.
bool parseControllerScript(const std::u16string& script, std::vector<ControllerStep>& steps,
                           std::string& error);

}  // namespace testvm

#endif
