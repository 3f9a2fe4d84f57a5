// The written form of configuration values: escapes, UTF-8 for wide values,
// and the checks a value given under a readable entry name must pass.
//
// Narrow values are bytes (the system ANSI code page) and are written as
// they stand, with C-style escapes for the rest: \r \n \t \\ and \xHH (exactly
// two hex digits, one byte). Wide values are written in UTF-8 with the same
// escapes, where \xHH is the character U+00HH, plus \uHHHH for one UTF-16
// code unit (so even a lone surrogate can be written).
#ifndef ZORVO_BUILD_VALUE_TEXT_H
#define ZORVO_BUILD_VALUE_TEXT_H

#include <stdint.h>

#include <string>

namespace zorvo {
namespace buildtool {

// The launcher's text buffers hold 8191 characters and the terminator; a
// longer narrow value (bytes) or wide value (UTF-16 code units) is refused.
constexpr size_t kMaxValueLength = 8191;

// Written form -> bytes. False on an unknown escape, a \x without two hex
// digits or a backslash at the end; `error` then says which (no location).
bool unescapeNarrow(const std::string& written, std::string& bytes, std::string& error);

// Written form (UTF-8 and escapes) -> UTF-16 code units. False on a bad
// escape or on bytes that are not well-formed UTF-8.
bool unescapeWide(const std::string& written, std::u16string& units, std::string& error);

// The written form that the two functions above turn back into exactly the
// given bytes or units. Printable ASCII stays as it is (except the
// backslash); a blank at either end becomes \x20, since blanks around a value
// are layout. The result never holds a line break.
std::string escapeNarrow(const std::string& bytes);
std::string escapeWide(const std::u16string& units);

// A name or value as a message shows it: quoted, non-printables escaped ('a\x01b').
std::string shownName(const std::string& s);

// UTF-16 code units <-> their little-endian bytes as stored in the block.
std::string toUtf16le(const std::u16string& units);
std::u16string fromUtf16le(const std::string& bytes);  // an odd last byte is ignored

// A whole number in the 32-bit signed range: an optional sign and decimal
// digits, nothing else.
bool isWholeNumber(const std::string& value);

// A colour "red,green,blue": three decimal components 0 to 255 separated by
// commas, blanks allowed around each component.
bool isColorValue(const std::string& value);

}  // namespace buildtool
}  // namespace zorvo

#endif
