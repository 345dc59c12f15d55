// Where the system keeps the Windows folder, the program files and the profiles, found in the
// environment and the registry, and the one rule that keeps a sweep out of them.
#include "removal/protected_folders.h"

#include "common/text.h"
#include "platform/operations.h"
#include "removal/primitives.h"

namespace {

constexpr int guardCapacity = 12;
constexpr std::size_t variableNameCapacity = 64;
constexpr std::size_t registryNameCapacity = 64;
constexpr const char* profileListKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

constexpr const char* systemFolderNames[] = {"System32", "SysWOW64"};
constexpr const char* ownFolderNames[] = {"Desktop",  "Documents", "Downloads", "Pictures",         "Music",
                                      "Videos",   "AppData",   "AppData\\Roaming", "AppData\\Local"};

// How far below a known folder the sweep is kept out.
enum class Reach {
    itself,         // a program-files folder
    systemFolders,  // the Windows folder
    ownFolders,     // a profile
    profiles,       // the users' folder: every folder in it is a profile
};

struct Guard {
    Reach reach;
    char path[folderPathCapacity];
};

struct Guards {
    int count = 0;
    Guard guard[guardCapacity];
};

bool sameCharacter(const char* a, const char* b, std::size_t length) {
    if (length == 1) return text::asciiLower(*a) == text::asciiLower(*b);
    return a[0] == b[0] && a[1] == b[1];  // a double-byte character has no case here
}

// What follows `base` in `path` after a backslash ("" when the two are the same folder), or
// null when `path` is not `base` or below it. Letter case is ignored, character by character.
const char* below(const char* path, const char* base) {
    const char* p = path;
    const char* b = base;
    for (; *b != '\0'; b = nextCharacter(b), p = nextCharacter(p)) {
        auto length = static_cast<std::size_t>(nextCharacter(b) - b);
        if (static_cast<std::size_t>(nextCharacter(p) - p) != length || !sameCharacter(p, b, length)) return nullptr;
    }
    if (*p == '\0') return p;
    return *p == '\\' ? p + 1 : nullptr;
}

bool sameName(const char* a, const char* b) {
    const char* rest = below(a, b);
    return rest != nullptr && *rest == '\0';
}

template <std::size_t N>
bool isOneOf(const char* name, const char* const (&names)[N]) {
    for (const char* candidate : names) {
        if (sameName(name, candidate)) return true;
    }
    return false;
}

bool keepsOut(const Guard& guard, const char* folder) {
    const char* rest = below(folder, guard.path);
    if (rest == nullptr) return false;
    if (*rest == '\0') return true;
    switch (guard.reach) {
    case Reach::itself: return false;
    case Reach::systemFolders: return isOneOf(rest, systemFolderNames);
    case Reach::ownFolders: return isOneOf(rest, ownFolderNames);
    case Reach::profiles: break;
    }
    const char* end = rest;
    while (*end != '\0' && *end != '\\') end = nextCharacter(end);
    return *end == '\0' || isOneOf(end + 1, ownFolderNames);
}

// A path from a drive ("C:\...") or a share ("\\server\share..."); every other one names a
// folder that depends on the current folder or drive, which may be any, the Desktop too. The
// device forms "\\?\" and "\\.\" name no share.
bool isFullPath(const char* path) {
    std::size_t root = pathRootLength(path);
    if (root == 3) return path[1] == ':';
    if (root < 3 || path[0] != '\\' || path[1] != '\\') return false;
    return !((path[2] == '?' || path[2] == '.') && path[3] == '\\');
}

// `path` resolved, without a trailing backslash past its root; false when it is no full path.
bool resolveFolder(char* folder, const char* path) {
    if (!resolveDotComponents(folder, folderPathCapacity, path) || !isFullPath(folder)) return false;
    std::size_t length = text::length(folder);
    if (length > pathRootLength(folder) && lastBackslash(folder) == static_cast<std::ptrdiff_t>(length) - 1) {
        folder[length - 1] = '\0';
    }
    return true;
}

// A top folder needs no guard of its own, and one taken for the users' folder would make
// every folder on the drive a profile.
void addGuard(Guards& guards, Reach reach, const char* path) {
    if (guards.count == guardCapacity) return;
    Guard& guard = guards.guard[guards.count];
    if (!resolveFolder(guard.path, path) || text::length(guard.path) == pathRootLength(guard.path)) return;
    guard.reach = reach;
    ++guards.count;
}

bool readVariable(const char* name, char* value, std::size_t capacity) {
    platform::DWORD length = platform::GetEnvironmentVariableA(name, value, static_cast<platform::DWORD>(capacity));
    return length > 0 && length < capacity;
}

void addVariable(Guards& guards, Reach reach, const char* name) {
    char value[folderPathCapacity];
    if (readVariable(name, value, sizeof value)) addGuard(guards, reach, value);
}

// The public profile is a profile like the others: the folder it is in holds them all.
void addPublicProfile(Guards& guards, const char* path) {
    addGuard(guards, Reach::ownFolders, path);
    char parent[folderPathCapacity];
    if (!resolveFolder(parent, path)) return;
    std::ptrdiff_t cut = lastBackslash(parent);
    if (cut < 0) return;
    parent[cut] = '\0';
    addGuard(guards, Reach::profiles, parent);
}

// Replaces each %NAME% of a REG_EXPAND_SZ value by that variable; one that is not set stays
// as written. False when the result does not fit.
bool expandVariables(const char* source, char* buffer, std::size_t capacity) {
    buffer[0] = '\0';
    for (const char* p = source; *p != '\0';) {
        const char* close = p + 1;
        while (*p == '%' && *close != '\0' && *close != '%') ++close;  // '%' is never a trail byte
        char name[variableNameCapacity] = "";
        char value[folderPathCapacity];
        if (*p == '%' && *close == '%' &&
            text::appendBytes(name, sizeof name, p + 1, static_cast<std::size_t>(close - p - 1)) &&
            readVariable(name, value, sizeof value)) {
            if (!text::append(buffer, capacity, value)) return false;
            p = close + 1;
            continue;
        }
        const char* next = nextCharacter(p);
        if (!text::appendBytes(buffer, capacity, p, static_cast<std::size_t>(next - p))) return false;
        p = next;
    }
    return true;
}

// The profile list names the users' folder (ProfilesDirectory) and, since Vista, the public
// profile, also where the environment says nothing (a program started with a bare one).
void addProfileList(Guards& guards) {
    platform::HKEY key = nullptr;
    if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, profileListKey, 0,
                                platform::KEY_READ | platform::KEY_WOW64_64KEY, &key) != platform::ERROR_SUCCESS) {
        return;
    }
    for (platform::DWORD index = 0;; ++index) {
        char name[registryNameCapacity];
        platform::DWORD nameLength = registryNameCapacity;
        platform::DWORD type = 0;
        char data[folderPathCapacity];
        platform::DWORD dataLength = folderPathCapacity - 1;  // room for a terminator it may lack
        platform::LONG status = platform::RegEnumValueA(key, index, name, &nameLength, nullptr, &type,
                                                        reinterpret_cast<platform::BYTE*>(data), &dataLength);
        if (status == platform::ERROR_MORE_DATA) continue;
        if (status != platform::ERROR_SUCCESS) break;
        if (type != platform::REG_SZ && type != platform::REG_EXPAND_SZ) continue;
        data[dataLength] = '\0';
        char path[folderPathCapacity];
        if (!expandVariables(data, path, sizeof path)) continue;
        if (sameName(name, "ProfilesDirectory")) {
            addGuard(guards, Reach::profiles, path);
        } else if (sameName(name, "Public")) {
            addPublicProfile(guards, path);
        }
    }
    platform::RegCloseKey(key);
}

void addWindowsFolder(Guards& guards) {
    char folder[folderPathCapacity];
    platform::UINT length = platform::GetWindowsDirectoryA(folder, folderPathCapacity);
    if (length > 0 && length < folderPathCapacity) addGuard(guards, Reach::systemFolders, folder);
    addVariable(guards, Reach::systemFolders, "SystemRoot");
}

// Run as SYSTEM, USERPROFILE is a folder below the Windows folder, so the users' folder is
// never taken from it; it is kept out of as a profile all the same.
void findGuards(Guards& guards) {
    addWindowsFolder(guards);
    addVariable(guards, Reach::itself, "ProgramFiles");
    addVariable(guards, Reach::itself, "ProgramFiles(x86)");
    addVariable(guards, Reach::itself, "ProgramW6432");
    addVariable(guards, Reach::ownFolders, "USERPROFILE");
    char publicProfile[folderPathCapacity];
    if (readVariable("PUBLIC", publicProfile, sizeof publicProfile)) addPublicProfile(guards, publicProfile);
    addProfileList(guards);
}

}  // namespace

bool isProtectedFolder(const char* folder) {
    char resolved[folderPathCapacity];
    if (!resolveFolder(resolved, folder)) return true;
    if (text::length(resolved) == pathRootLength(resolved)) return true;
    Guards guards;
    findGuards(guards);
    for (int i = 0; i < guards.count; ++i) {
        if (keepsOut(guards.guard[i], resolved)) return true;
    }
    return false;
}
