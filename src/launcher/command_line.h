// The command line as the launcher sees it. Pure code.
#ifndef ZORVO_LAUNCHER_COMMAND_LINE_H
#define ZORVO_LAUNCHER_COMMAND_LINE_H

namespace zorvo {

// The prefix that switches error reports to standard error.
constexpr const char kInternalPrefix[] = "-q_qbk_internal";

// The command line after the program name: leading blanks and tabs skipped;
// a program name in double quotes runs to the next double quote (or the end),
// otherwise to the first blank or tab; then blanks and tabs skipped again.
// Returns a pointer into `commandLine`.
const char* commandLineTail(const char* commandLine);

// True when the tail begins with the 15 bytes of the internal prefix
// (case-sensitive; anything may follow).
bool hasInternalPrefix(const char* tail);

}  // namespace zorvo

#endif
