// The argument splitter used for VM options, "-J" arguments and application
// arguments, and the quoting of an argument for a child's command line. Pure
// code.
#ifndef ZORVO_COMMON_SPLIT_H
#define ZORVO_COMMON_SPLIT_H

#include <stddef.h>

#include "common/string_list.h"
#include "common/text.h"

namespace zorvo {

// Where a text to split comes from: the configuration (vm-options,
// app-arguments), or the user's command line, where a single quote inside a
// word is an ordinary character (O'Brien.docx, as Windows passes a dropped
// file whose path has no blank).
enum class SplitText { Configured, CommandLine };

// Appends the arguments of `text` to `out` and returns the position where
// splitting stopped. Only the blank separates. An argument starting with a
// double or single quote runs to the next same quote (the quotes are
// dropped; one blank right after is skipped). A double quote inside an
// argument starts a quoted part that joins the text before it ("-Dx="a b""
// gives -Dx=a b); so does a single quote in a configured text. With a prefix,
// splitting takes only a leading run of arguments that each begin with it
// (the prefix is dropped) and stops at the first text that does not.
// `unbalanced` is set when a quote has no closing quote; the position is then
// meaningless.
size_t splitArguments(const char* text, const char* prefix, SplitText kind, StringList& out, bool& unbalanced);

// Quotes one argument for a child's command line so that the platform's
// parser gives it back unchanged (blanks, quotes, trailing backslashes).
void appendQuotedArgument(Text<kTextSize>& commandLine, const char* argument);

}  // namespace zorvo

#endif
