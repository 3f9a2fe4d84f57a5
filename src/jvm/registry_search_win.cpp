// The registry search: runtimes registered under the JavaSoft keys and under
// the product's located-runtime keys of both hives, then the keys that the
// installers of current runtimes write (one table, below).
#include <stdlib.h>
#include <string.h>

#include "common/on_heap.h"
#include "common/registry.h"
#include "common/string_list.h"
#include "jvm/java_runtime.h"
#include "jvm/runtime_rules.h"
#include "jvm/version_rules.h"
#include "services/trace.h"
#include "paths/paths.h"

namespace zorvo {
namespace {

// Calls `visit` with the name of every subkey, in the order the registry
// enumerates them. An entry that cannot be read is passed over; the walk is
// bounded by the number of subkeys the key reports, so a failing key cannot
// keep it going forever.
template <typename Visit>
void forEachSubkey(HKEY key, Visit visit) {
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return;
    PathText name;
    for (DWORD index = 0; index <= subkeys; ++index) {
        DWORD length = static_cast<DWORD>(name.capacity());
        LONG rc = RegEnumKeyExA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return;
        if (rc != ERROR_SUCCESS || !name.adoptPlatformResult(length)) continue;
        visit(name);
    }
}

bool validateHome(const char* home, const RuntimeCriteria& criteria, FoundJvm& found) {
    trace("search: registry: the home %s", home);
    javaExecutableOfHome(found.executable, home);
    return validateJavaExecutable(found.executable, criteria, false, found.version);
}

void traceOutOfRange(const char* hiveName, const char* key, const char* name) {
    trace("search: registry %s\\%s\\%s: outside the version range", hiveName, key, name);
}

// The CurrentVersion value of a JavaSoft key when it names a version in range;
// else empty.
void readCurrentVersion(const char* keyName, const RuntimeCriteria& criteria, char (&current)[101]) {
    if (!readRegistryText(HKEY_LOCAL_MACHINE, keyName, "CurrentVersion", current, 101)) {
        current[0] = '\0';
    } else if (!isVersionInRange(current, criteria.range)) {
        traceOutOfRange("HKLM", keyName, current);
        current[0] = '\0';
    }
}

bool searchCurrentVersion(const RuntimeCriteria& criteria, FoundJvm& found) {
    char jdk[101], jre[101];
    readCurrentVersion(kJdkKey, criteria, jdk);
    readCurrentVersion(kJreKey, criteria, jre);
    bool useJdk = compareVersions(jdk, jre) > 0;
    const char* chosen = useJdk ? jdk : jre;
    if (!chosen[0]) return false;
    PathText subkey;
    subkey.assign(useJdk ? kJdkKey : kJreKey);
    subkey.appendChar('\\');
    subkey.append(chosen);
    PathText home;
    if (subkey.truncated() || !readRegistryText(HKEY_LOCAL_MACHINE, subkey.c_str(), "JavaHome", home)) return false;
    return validateHome(home.c_str(), criteria, found);
}

bool searchJavaSoftKey(const char* keyName, const RuntimeCriteria& criteria, FoundJvm& found) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    StringList names;
    forEachSubkey(key, [&](const PathText& name) {
        if (isVersionInRange(name.c_str(), criteria.range)) {
            names.add(name.c_str());
        } else {
            traceOutOfRange("HKLM", keyName, name.c_str());
        }
    });
    sortVersions(names.items, names.count);
    bool accepted = false;
    for (size_t i = names.count; i-- > 0 && !accepted;) {
        PathText home;
        if (readRegistryText(key, names.at(i), "JavaHome", home)) {
            accepted = validateHome(home.c_str(), criteria, found);
        }
    }
    names.release();
    RegCloseKey(key);
    return accepted;
}

bool searchJavaSoft(const RuntimeCriteria& criteria, FoundJvm& found) {
    return searchCurrentVersion(criteria, found) ||
           searchJavaSoftKey(kJreKey, criteria, found) ||
           searchJavaSoftKey(kJdkKey, criteria, found);
}

// The located runtime with the strictly greatest version; among equal
// versions the first enumerated stays, and one without a version text is
// never chosen.
bool searchLocatedJvms(HKEY hive, const RuntimeCriteria& criteria, FoundJvm& best) {
    best.version.clear();
    best.executable.clear();
    HKEY key;
    if (RegOpenKeyExA(hive, kLocatedJvmsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    // Each candidate holds two 8 KB texts: it lives on the heap for the walk.
    OnHeap<FoundJvm> candidate;
    if (!candidate) {
        RegCloseKey(key);
        return false;
    }
    forEachSubkey(key, [&](const PathText& name) {
        candidate->executable = name;
        for (char* p = candidate->executable.data(); *p; ++p)
            if (*p == '/') *p = '\\';
        trace("search: registry: located runtime %s (%s)", candidate->executable.c_str(),
              hive == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU");
        if (validateJavaExecutable(candidate->executable, criteria, true, candidate->version) &&
            !candidate->version.empty() &&
            (best.version.empty() || compareVersions(candidate->version.c_str(), best.version.c_str()) > 0))
            best = *candidate;
    });
    RegCloseKey(key);
    return !best.executable.empty();
}

// The keys that the installers of current runtimes write, one subkey per
// runtime: the subkey's name (a version, or a name without one), then `below`
// it, holds the home in the string value `value`. Another vendor is one line.
struct VendorKey {
    const char* key;
    const char* below;
    const char* value;
    bool currentVersion;  // the key's "CurrentVersion" names the preferred subkey
};

const VendorKey kVendorKeys[] = {
    {"SOFTWARE\\JavaSoft\\JDK", "", "JavaHome", true},
    {"SOFTWARE\\JavaSoft\\JRE", "", "JavaHome", true},
    {"SOFTWARE\\Eclipse Adoptium\\JDK", "hotspot\\MSI", "Path", false},
    {"SOFTWARE\\Eclipse Adoptium\\JRE", "hotspot\\MSI", "Path", false},
    {"SOFTWARE\\AdoptOpenJDK\\JDK", "hotspot\\MSI", "Path", false},
    {"SOFTWARE\\AdoptOpenJDK\\JRE", "hotspot\\MSI", "Path", false},
    {"SOFTWARE\\Microsoft\\JDK", "hotspot\\MSI", "Path", false},
    {"SOFTWARE\\Semeru\\JDK", "openj9\\MSI", "Path", false},
    {"SOFTWARE\\Semeru\\JRE", "openj9\\MSI", "Path", false},
    {"SOFTWARE\\Azul Systems\\Zulu", "", "InstallationPath", false},
    {"SOFTWARE\\BellSoft\\Liberica", "", "InstallationPath", false},
};

// The home held by one subkey, wide (`home` has room for a path): a string
// value that is not empty and fits; a trailing backslash is dropped (the same
// home either way).
bool readVendorHome(HKEY key, const VendorKey& vendor, const char* name, wchar_t* home) {
    PathText subkey;
    subkey.assign(name);
    if (vendor.below[0]) {
        subkey.appendChar('\\');
        subkey.append(vendor.below);
    }
    DWORD type = 0;
    if (subkey.truncated() || !readRegistryText(key, subkey.c_str(), vendor.value, home, kTextSize, &type) ||
        type != REG_SZ)
        return false;
    size_t length = wcslen(home);
    while (length > 3 && home[length - 1] == L'\\') home[--length] = L'\0';
    return length > 0;
}

bool tryVendorSubkey(HKEY key, const VendorKey& vendor, const char* hiveName, const char* name, const RuntimeCriteria& criteria,
                     FoundJvm& found) {
    OnHeap<wchar_t> wide(kTextSize);
    PathText home, folder;
    bool read = wide && readVendorHome(key, vendor, name, &wide[0]);
    bool named = read && narrowPath(&wide[0], home, &folder);
    if (!read) {
        trace("search: registry %s\\%s\\%s: no usable \"%s\" value", hiveName, vendor.key, name, vendor.value);
        return false;
    }
    if (!named) {
        trace("search: registry %s\\%s\\%s: the home %s cannot be named: %s is outside the code page and has no "
              "short name", hiveName, vendor.key, name, home.c_str(), folder.c_str());
        return false;
    }
    trace("search: registry %s\\%s\\%s", hiveName, vendor.key, name);
    return validateHome(home.c_str(), criteria, found);
}

bool isVendorNameInRange(const char* name, const RuntimeCriteria& criteria) {
    Text<kTextSize> version;
    return !vendorNameVersion(name, version) || isVersionInRange(version.c_str(), criteria.range);
}

// One vendor key of one hive: its preferred subkey first (JavaSoft), then the
// other subkeys whose names give a version in range, highest first, then
// those whose names give none.
bool searchVendorKey(HKEY hive, const VendorKey& vendor, const RuntimeCriteria& criteria, FoundJvm& found) {
    const char* hiveName = hive == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU";
    HKEY key;
    if (RegOpenKeyExA(hive, vendor.key, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char current[101];
    bool triedCurrent = vendor.currentVersion &&
                        readRegistryText(key, "", "CurrentVersion", current, sizeof(current)) && current[0] &&
                        isVendorNameInRange(current, criteria);
    bool accepted = triedCurrent && tryVendorSubkey(key, vendor, hiveName, current, criteria, found);
    StringList versions, others;
    forEachSubkey(key, [&](const PathText& name) {
        Text<kTextSize> version;
        if (triedCurrent && _stricmp(name.c_str(), current) == 0) {
            // Tried already, as the key's current version.
        } else if (!vendorNameVersion(name.c_str(), version)) {
            others.add(name.c_str());
        } else if (isVersionInRange(version.c_str(), criteria.range)) {
            versions.add(name.c_str());
        } else {
            traceOutOfRange(hiveName, vendor.key, name.c_str());
        }
    });
    sortVendorNames(versions.items, versions.count);
    for (size_t i = versions.count; i-- > 0 && !accepted;) {
        accepted = tryVendorSubkey(key, vendor, hiveName, versions.at(i), criteria, found);
    }
    for (size_t i = 0; i < others.count && !accepted; ++i) {
        accepted = tryVendorSubkey(key, vendor, hiveName, others.at(i), criteria, found);
    }
    versions.release();
    others.release();
    RegCloseKey(key);
    return accepted;
}

bool searchVendorKeys(const RuntimeCriteria& criteria, FoundJvm& found) {
    const HKEY hives[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    for (HKEY hive : hives) {
        for (const VendorKey& vendor : kVendorKeys) {
            if (searchVendorKey(hive, vendor, criteria, found)) return true;
        }
    }
    return false;
}

}  // namespace

bool searchRegistry(const RuntimeCriteria& criteria, FoundJvm& found) {
    // FoundJvm holds two 8 KB texts: the candidates live on the heap.
    OnHeap<FoundJvm> c(4);
    if (!c) return false;
    FoundJvm &javaSoft = c[0], &user = c[1], &machine = c[2], &located = c[3];
    bool haveA = searchJavaSoft(criteria, javaSoft);
    bool haveUser = searchLocatedJvms(HKEY_CURRENT_USER, criteria, user);
    bool haveMachine = searchLocatedJvms(HKEY_LOCAL_MACHINE, criteria, machine);
    bool haveB = haveUser || haveMachine;
    if (haveUser && haveMachine)
        located = compareVersions(user.version.c_str(), machine.version.c_str()) > 0 ? user : machine;
    else if (haveB)
        located = haveUser ? user : machine;
    bool result = haveA || haveB;
    if (haveA && haveB)
        found = compareVersions(javaSoft.version.c_str(), located.version.c_str()) > 0 ? javaSoft : located;
    else if (haveA)
        found = javaSoft;
    else if (haveB)
        found = located;
    // The keys of current runtimes come after the ones above, which keep their rules.
    return result || searchVendorKeys(criteria, found);
}

}  // namespace zorvo
