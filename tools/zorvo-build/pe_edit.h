// Editing a generic launcher's image: its resource section (the fifth and
// last section) is replaced, and everything that depends on it is fixed:
// the section's virtual and raw sizes, SizeOfImage, SizeOfInitializedData
// and the resource directory (the checksum is written over the finished
// output). Pure code.
#ifndef ZORVO_BUILD_PE_EDIT_H
#define ZORVO_BUILD_PE_EDIT_H

#include <stdint.h>

#include <iosfwd>
#include <string>

namespace zorvo {
namespace buildtool {

// The contents and RVA of the image's resource section, which must be its
// last section. False with `error` otherwise.
bool readResourceSection(const std::string& image, std::string& section, uint32_t& rva, std::string& error);

// Replaces the last section's contents with `section` (padded to the file
// alignment); the image must end where that section ends.
bool replaceResourceSection(std::string& image, const std::string& section, std::string& error);

// The PE checksum of an image: 16-bit sums with carry over the whole image,
// the checksum field itself left out, plus the image's length.
uint32_t peChecksum(const std::string& image);

// The same, over a file read from its start in pieces of even length (the
// last may be odd); `field` is the offset of the checksum field.
class PeChecksum {
public:
    explicit PeChecksum(uint64_t field) : field_(field) {}
    void add(const char* bytes, size_t count);
    uint32_t value() const;

private:
    uint64_t field_;
    uint64_t at_ = 0;
    uint64_t sum_ = 0;
};

// Writes the PE checksum of the whole stream, read from its start, into its
// field at `field`. False when the stream cannot be read to its end (no
// checksum of part of a file is ever written) or the field cannot be written.
bool writeChecksumInto(std::iostream& file, uint64_t field);

// True when the image has a certificate table (it was signed).
bool isSignedImage(const std::string& image);

}  // namespace buildtool
}  // namespace zorvo

#endif
