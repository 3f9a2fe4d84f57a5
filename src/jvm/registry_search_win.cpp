// The registry search: runtimes registered under the JavaSoft keys and under
// the product's located-runtime keys of both hives.
#include <stdlib.h>
#include <string.h>

#include <new>

#include "common/string_list.h"
#include "jvm/java_runtime.h"
#include "jvm/runtime_rules.h"
#include "jvm/version_rules.h"

namespace zorvo {
namespace {

// Reads a string value into `text`; false when missing, unreadable or too long.
bool readString(HKEY key, const char* subkey, const char* name, char* buffer, DWORD capacity) {
    HKEY opened;
    if (RegOpenKeyExA(key, subkey, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    DWORD size = capacity;
    LONG rc = RegQueryValueExA(opened, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(opened);
    if (rc != ERROR_SUCCESS || size >= capacity) return false;
    buffer[size] = '\0';
    return true;
}

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

bool validateHome(const char* home, const char* minimum, const char* maximum, FoundJvm& found) {
    javaExecutableOfHome(found.executable, home);
    return validateJavaExecutable(found.executable, minimum, maximum, false, found.version);
}

bool searchCurrentVersion(const char* minimum, const char* maximum, FoundJvm& found) {
    char jdk[101], jre[101];
    if (!readString(HKEY_LOCAL_MACHINE, kJdkKey, "CurrentVersion", jdk, 101) ||
        !isVersionInRange(jdk, minimum, maximum))
        jdk[0] = '\0';
    if (!readString(HKEY_LOCAL_MACHINE, kJreKey, "CurrentVersion", jre, 101) ||
        !isVersionInRange(jre, minimum, maximum))
        jre[0] = '\0';
    bool useJdk = compareVersionTexts(jdk, jre) > 0;
    const char* chosen = useJdk ? jdk : jre;
    if (!chosen[0]) return false;
    PathText subkey;
    subkey.assign(useJdk ? kJdkKey : kJreKey);
    subkey.appendChar('\\');
    subkey.append(chosen);
    PathText home;
    if (subkey.truncated() ||
        !readString(HKEY_LOCAL_MACHINE, subkey.c_str(), "JavaHome", home.data(), static_cast<DWORD>(home.capacity())))
        return false;
    home.refresh();
    return validateHome(home.c_str(), minimum, maximum, found);
}

bool searchJavaSoftKey(const char* keyName, const char* minimum, const char* maximum, FoundJvm& found) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    StringList names;
    forEachSubkey(key, [&](const PathText& name) {
        if (isVersionInRange(name.c_str(), minimum, maximum)) names.add(name.c_str());
    });
    sortTexts(names.items, names.count);
    bool accepted = false;
    for (size_t i = names.count; i-- > 0 && !accepted;) {
        PathText home;
        if (readString(key, names.at(i), "JavaHome", home.data(), static_cast<DWORD>(home.capacity()))) {
            home.refresh();
            accepted = validateHome(home.c_str(), minimum, maximum, found);
        }
    }
    names.release();
    RegCloseKey(key);
    return accepted;
}

bool searchJavaSoft(const char* minimum, const char* maximum, FoundJvm& found) {
    return searchCurrentVersion(minimum, maximum, found) ||
           searchJavaSoftKey(kJreKey, minimum, maximum, found) ||
           searchJavaSoftKey(kJdkKey, minimum, maximum, found);
}

// The located runtime with the strictly greatest version; among equal
// versions the first enumerated stays, and an empty version never wins.
bool searchLocatedJvms(HKEY hive, const char* minimum, const char* maximum, FoundJvm& best) {
    best.version.clear();
    best.executable.clear();
    HKEY key;
    if (RegOpenKeyExA(hive, kLocatedJvmsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    // Each candidate holds two 8 KB texts: it lives on the heap for the walk.
    FoundJvm* candidate = static_cast<FoundJvm*>(malloc(sizeof(FoundJvm)));
    if (!candidate) {
        RegCloseKey(key);
        return false;
    }
    new (candidate) FoundJvm();
    forEachSubkey(key, [&](const PathText& name) {
        candidate->executable = name;
        for (char* p = candidate->executable.data(); *p; ++p)
            if (*p == '/') *p = '\\';
        if (validateJavaExecutable(candidate->executable, minimum, maximum, true, candidate->version) &&
            compareVersionTexts(candidate->version.c_str(), best.version.c_str()) > 0)
            best = *candidate;
    });
    free(candidate);
    RegCloseKey(key);
    return !best.executable.empty();
}

}  // namespace

bool searchRegistry(const char* minimum, const char* maximum, FoundJvm& found) {
    // FoundJvm holds two 8 KB texts: the candidates live on the heap.
    FoundJvm* c = static_cast<FoundJvm*>(malloc(4 * sizeof(FoundJvm)));
    if (!c) return false;
    FoundJvm &javaSoft = *new (&c[0]) FoundJvm(), &user = *new (&c[1]) FoundJvm(),
             &machine = *new (&c[2]) FoundJvm(), &located = *new (&c[3]) FoundJvm();
    bool haveA = searchJavaSoft(minimum, maximum, javaSoft);
    bool haveUser = searchLocatedJvms(HKEY_CURRENT_USER, minimum, maximum, user);
    bool haveMachine = searchLocatedJvms(HKEY_LOCAL_MACHINE, minimum, maximum, machine);
    bool haveB = haveUser || haveMachine;
    if (haveUser && haveMachine)
        located = compareVersionTexts(user.version.c_str(), machine.version.c_str()) > 0 ? user : machine;
    else if (haveB)
        located = haveUser ? user : machine;
    bool result = haveA || haveB;
    if (haveA && haveB)
        found = compareVersionTexts(javaSoft.version.c_str(), located.version.c_str()) > 0 ? javaSoft : located;
    else if (haveA)
        found = javaSoft;
    else if (haveB)
        found = located;
    free(c);
    return result;
}

}  // namespace zorvo
