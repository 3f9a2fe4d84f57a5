// The manifest's execution level and DPI setting.
#include "app_resources.h"

namespace zorvo {
namespace buildtool {
namespace {

const char kLevelAttribute[] = "requestedExecutionLevel level=\"";
const char kSettingsStart[] = "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n    <windowsSettings>\n";
const char kSettingsEnd[] = "    </windowsSettings>\n  </application>\n";
const char kDpiAware[] = "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">";
const char kDpiAwareness[] = "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">";

// The whole <application ...windowsSettings...> element that editManifest
// writes, or "" for none.
std::string dpiElement(const std::string& dpi) {
    if (dpi == "system") {
        return std::string(kSettingsStart) + "      " + kDpiAware + "true</dpiAware>\n" + kSettingsEnd;
    }
    if (dpi == "per-monitor") {
        return std::string(kSettingsStart) + "      " + kDpiAware + "true/pm</dpiAware>\n      " + kDpiAwareness +
               "PerMonitorV2, PerMonitor</dpiAwareness>\n" + kSettingsEnd;
    }
    return "";
}

}  // namespace

bool editManifest(const std::string& manifest, const std::string& level, const std::string& dpi, std::string& out,
                  std::string& error) {
    out = manifest;
    if (!level.empty()) {
        size_t at = out.find(kLevelAttribute);
        size_t end = at == std::string::npos ? at : out.find('"', at + sizeof(kLevelAttribute) - 1);
        if (end == std::string::npos) {
            error = "the launcher's manifest has no requestedExecutionLevel";
            return false;
        }
        at += sizeof(kLevelAttribute) - 1;
        out.replace(at, end - at, level);
    }
    if (!dpi.empty()) {
        std::string current, ignored;
        manifestSettings(out, ignored, current);
        if (current != "unaware") {
            error = "the launcher's manifest has a DPI setting already";
            return false;
        }
        size_t close = out.rfind("</assembly>");
        if (close == std::string::npos) {
            error = "the launcher's manifest has no </assembly>";
            return false;
        }
        out.insert(close, dpiElement(dpi));
    }
    return true;
}

void manifestSettings(const std::string& manifest, std::string& level, std::string& dpi) {
    level.clear();
    size_t at = manifest.find(kLevelAttribute);
    if (at != std::string::npos) {
        at += sizeof(kLevelAttribute) - 1;
        size_t end = manifest.find('"', at);
        if (end != std::string::npos) level = manifest.substr(at, end - at);
    }
    dpi = "unaware";
    static const char* const kSettings[] = {"system", "per-monitor"};
    for (const char* candidate : kSettings) {
        if (manifest.find(dpiElement(candidate)) != std::string::npos) dpi = candidate;
    }
}

}  // namespace buildtool
}  // namespace zorvo
