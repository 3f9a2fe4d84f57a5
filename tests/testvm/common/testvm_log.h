// JSON-lines log shared by every test double.
//
// Each record is one JSON object on one line. Strings are written with every
// character outside printable ASCII escaped as \uXXXX, so the file is plain
// ASCII and a reader sees exactly the bytes (narrow texts, read as latin-1) or
// the UTF-16 units (wide texts) that the double was given.
#ifndef ZORVO_TESTVM_LOG_H
#define ZORVO_TESTVM_LOG_H

#include <string>
#include <vector>

namespace testvm {

// A narrow text as a JSON string, each byte becoming the character of the same
// value (latin-1), so `s.encode("latin-1")` gives the original bytes back.
std::string jsonBytes(const std::string& bytes);
std::string jsonBytes(const char* bytes);  // null gives the JSON null
// UTF-16 units as a JSON string, one \uXXXX escape per unit (lone surrogates kept).
std::string jsonUnits(const std::u16string& units);
// UTF-16 units as a JSON array of numbers.
std::string jsonUnitList(const std::u16string& units);
// Already encoded JSON values joined into an array.
std::string jsonArray(const std::vector<std::string>& values);

// One log record under construction. The constructor adds the fields common to
// every record: "src" (which double), "pid", "tid", "tick" (GetTickCount) and
// "call". Fields keep the order in which they were added.
class Record {
public:
    explicit Record(const char* call);
    Record& text(const char* key, const std::string& bytes);   // latin-1 string
    Record& text(const char* key, const char* bytes);          // null allowed
    Record& units(const char* key, const std::u16string& units);
    Record& number(const char* key, long long value);
    Record& flag(const char* key, bool value);
    Record& null(const char* key);
    Record& json(const char* key, const std::string& encodedValue);
    std::string line() const;  // the record as one line, without line feed
    // Appends the record to the log file (see appendLogLine).
    void write() const;

private:
    std::string body_;
};

// Names the double that writes the records of this process ("jvm", "java",
// "javaw", "unpack200", ...). Call once before the first record.
void setLogSource(const char* source);

// Appends one line to the file named by ZORVO_TESTVM_LOG, opening the file for
// appending and closing it again for every line; does nothing when the variable
// is unset. A value starting with '/' is taken as a Linux path on drive Z:.
// Serialised within the process; whole-line appends keep processes apart.
void appendLogLine(const std::string& line);

}  // namespace testvm

#endif
