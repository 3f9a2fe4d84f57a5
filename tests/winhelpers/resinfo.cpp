// resinfo FILE: what Windows reads from an executable's resources, one
// "key=value" line each (UTF-8): the version information through
// GetFileVersionInfo / VerQueryValue (the fixed file and product versions and
// every string of the 040904B0 table), the sizes of the icon group
// ID_SPLASH_ICON, the size and depth of bitmap 10000 through LoadImage (as
// a DIB section, so the depth is the stored one), and the
// manifest's execution level and DPI setting. Exit code 1 when the file
// cannot be loaded as a data file.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

namespace {

std::string utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

void printVersion(const wchar_t* file) {
    DWORD ignored = 0, size = GetFileVersionInfoSizeW(file, &ignored);
    if (size == 0) {
        printf("version=none\n");
        return;
    }
    std::string data(size, '\0');
    if (!GetFileVersionInfoW(file, 0, size, &data[0])) return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(&data[0], L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        printf("version.fixed=%lu.%lu.%lu.%lu product=%lu.%lu.%lu.%lu type=%lu os=%#lx\n",
               fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16,
               fixed->dwFileVersionLS & 0xFFFF, fixed->dwProductVersionMS >> 16, fixed->dwProductVersionMS & 0xFFFF,
               fixed->dwProductVersionLS >> 16, fixed->dwProductVersionLS & 0xFFFF, fixed->dwFileType,
               fixed->dwFileOS);
    }
    DWORD* translation = nullptr;
    if (VerQueryValueW(&data[0], L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
        length >= 4) {
        printf("version.translation=%04lx%04lx\n", translation[0] & 0xFFFF, translation[0] >> 16);
    }
    const wchar_t* keys[] = {L"FileVersion", L"ProductVersion", L"ProductName", L"CompanyName", L"FileDescription",
                             L"LegalCopyright", L"OriginalFilename", L"InternalName", L"Comments"};
    for (const wchar_t* key : keys) {
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        wchar_t* value = nullptr;
        if (VerQueryValueW(&data[0], query.c_str(), reinterpret_cast<void**>(&value), &length) && value) {
            printf("version.%s=%s\n", utf8(key).c_str(), utf8(value).c_str());
        }
    }
}

void printIcon(HMODULE module) {
    HRSRC found = FindResourceW(module, L"ID_SPLASH_ICON", reinterpret_cast<LPCWSTR>(RT_GROUP_ICON));
    const unsigned char* group = found ? static_cast<const unsigned char*>(LockResource(LoadResource(module, found)))
                                       : nullptr;
    if (!group) {
        printf("icon=none\n");
        return;
    }
    unsigned count = group[4] | group[5] << 8;
    std::string sizes;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned char* e = group + 6 + 14 * i;
        unsigned width = e[0] ? e[0] : 256, height = e[1] ? e[1] : 256, bits = e[6] | e[7] << 8;
        unsigned id = e[12] | e[13] << 8;
        HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_ICON));
        char item[64];
        snprintf(item, sizeof item, "%s%ux%ux%u%s", sizes.empty() ? "" : ",", width, height, bits,
                 image ? "" : "(missing)");
        sizes += item;
    }
    printf("icon=%s\n", sizes.c_str());
}

void printBitmap(HMODULE module) {
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(10000), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP info;
    if (bitmap && GetObjectW(bitmap, sizeof info, &info)) {
        printf("bitmap=%ldx%ld bits=%u\n", info.bmWidth, info.bmHeight, info.bmBitsPixel);
    } else {
        printf("bitmap=none\n");
    }
}

void printManifest(HMODULE module) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), reinterpret_cast<LPCWSTR>(RT_MANIFEST));
    const char* text = found ? static_cast<const char*>(LockResource(LoadResource(module, found))) : nullptr;
    if (!text) {
        printf("manifest=none\n");
        return;
    }
    std::string manifest(text, SizeofResource(module, found));
    size_t at = manifest.find("requestedExecutionLevel level=\"");
    if (at != std::string::npos) {
        at += 31;
        printf("manifest.level=%s\n", manifest.substr(at, manifest.find('"', at) - at).c_str());
    }
    at = manifest.find("<dpiAware");
    if (at != std::string::npos) {
        at = manifest.find('>', at) + 1;
        printf("manifest.dpiAware=%s\n", manifest.substr(at, manifest.find('<', at) - at).c_str());
    }
    at = manifest.find("<dpiAwareness");
    if (at != std::string::npos) {
        at = manifest.find('>', at) + 1;
        printf("manifest.dpiAwareness=%s\n", manifest.substr(at, manifest.find('<', at) - at).c_str());
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: resinfo FILE\n");
        return 2;
    }
    printVersion(argv[1]);
    HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        printf("load=failed %lu\n", GetLastError());
        return 1;
    }
    printIcon(module);
    printBitmap(module);
    printManifest(module);
    return 0;
}
