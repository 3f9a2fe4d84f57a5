// The application's own face in its launcher's resources: icon, splash image,
// version information and manifest settings, from the build tool's
// directives, and read back for --dump. Pure code: files are read by the
// caller. Every input is untrusted: a bad file gives an error, never a crash
// or an allocation beyond the stated bounds.
#ifndef ZORVO_BUILD_APP_RESOURCES_H
#define ZORVO_BUILD_APP_RESOURCES_H

#include <stdint.h>

#include <string>
#include <vector>

#include "pe_resources.h"

namespace zorvo {
namespace buildtool {

// --- icons ---------------------------------------------------------------

constexpr size_t kMaxIconFileSize = 16u * 1024 * 1024;
constexpr size_t kMaxIconImages = 64;

// One image of an .ico file: its directory fields and its data (a DIB or a PNG).
struct IconImage {
    uint8_t width, height, colors, reserved;
    uint16_t planes, bitCount;
    std::string data;
};

// Reads an .ico file: the 6-byte header (reserved 0, type 1, a count of 1 to
// kMaxIconImages), the 16-byte entries, each image inside the file.
bool parseIconFile(const std::string& ico, std::vector<IconImage>& images, std::string& error);

// An .ico file holding these images in this order.
std::string iconFile(const std::vector<IconImage>& images);

// The launcher's icon group (RT_GROUP_ICON named ID_SPLASH_ICON, the one the
// window class and Explorer show) and its images (RT_ICON 1..n) replaced by
// `images`; every other icon resource removed.
void replaceIcon(std::vector<ResourceEntry>& entries, const std::vector<IconImage>& images);

// The images of the icon group, in group order; false when the group or one
// of its images is missing or malformed.
bool iconOfResources(const std::vector<ResourceEntry>& entries, std::vector<IconImage>& images);

// --- the splash image ----------------------------------------------------

constexpr uint16_t kSplashBitmapId = 10000;  // the bitmap the splash window shows

constexpr size_t kMaxImageFileSize = 64u * 1024 * 1024;
constexpr int kMaxImageSide = 4096;

// The splash bitmap (resource 10000) made from a PNG or BMP file: a 24-bit
// bottom-up DIB (BITMAPINFOHEADER and rows padded to 4 bytes) that the
// system's image loader reads. A BMP that is already such a DIB is taken as
// it stands; anything else is decoded, and transparent pixels are
// composited onto the splash's light-grey fill (192, 192, 192). Larger than
// kMaxImageSide either way is an error.
bool splashBitmapOfImage(const std::string& file, std::string& dib, int& width, int& height, std::string& error);

// A .bmp file (BITMAPFILEHEADER in front) holding the DIB.
std::string bmpFileOfDib(const std::string& dib);

// The size of a DIB; false when it is not one.
bool dibSize(const std::string& dib, int& width, int& height);

// --- version information -------------------------------------------------

// The string fields of the version resource, in its order; the first two
// also give the numeric versions of its fixed part.
enum class VersionField : size_t {
    FileVersion,
    ProductVersion,
    ProductName,
    CompanyName,
    FileDescription,
    Copyright,
    OriginalFilename,
    InternalName,
    Comments,
};
constexpr size_t kVersionFieldCount = static_cast<size_t>(VersionField::Comments) + 1;
constexpr size_t kMaxVersionFieldUnits = 1024;

// The standard key a field is written under ("FileVersion", "LegalCopyright").
const char* versionKey(VersionField field);

// The version information's texts, one per field (empty: not given), UTF-16.
struct VersionInfo {
    std::vector<std::u16string> values;
    VersionInfo() : values(kVersionFieldCount) {}
    std::u16string& operator[](VersionField field) { return values[static_cast<size_t>(field)]; }
    const std::u16string& operator[](VersionField field) const { return values[static_cast<size_t>(field)]; }
    bool empty() const;
};

// True for the version information the generic launcher carries (ProductName
// "zorvo", FileDescription "zorvo generic launcher", as src/res/launcher.rc
// writes them), which no directive made.
bool isGenericVersionInfo(const VersionInfo& info);

// "1.2.3.4": one to four numbers, each 0 to 65535, into the two 32-bit halves
// of VS_FIXEDFILEINFO. False for anything else.
bool parseVersionNumber(const std::u16string& text, uint32_t& high, uint32_t& low);

// A VS_VERSIONINFO resource: the fixed file info (file and product version,
// the latter defaulting to the former), a string table for language 0x0409
// with code page 1200 holding the given fields, and the translation table.
std::string versionResource(const VersionInfo& info);

// The string fields of a version resource; false when it is malformed.
bool parseVersionResource(const std::string& data, VersionInfo& info);

// --- the manifest --------------------------------------------------------

// `level`: "asInvoker", "highestAvailable" or "requireAdministrator" ("" keeps
// it); `dpi`: "unaware", "system" or "per-monitor" ("" keeps it; unaware
// writes no DPI setting). Everything else in the manifest stays.
bool editManifest(const std::string& manifest, const std::string& level, const std::string& dpi, std::string& out,
                  std::string& error);
// The settings as editManifest would take them.
void manifestSettings(const std::string& manifest, std::string& level, std::string& dpi);

}  // namespace buildtool
}  // namespace zorvo

#endif
