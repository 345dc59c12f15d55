// Where the system keeps the Windows folder, the program files and the profiles, as the
// program's environment names them, and the one rule that keeps a sweep out of them.
#include "removal/protected_folders.h"

#include "common/text.h"
#include "platform/operations.h"
#include "removal/characters.h"
#include "removal/primitives.h"

namespace {

// Lists of names, each ended by its terminator, the list by an empty name.
constexpr const char systemFolderNames[] = "System32\0SysWOW64\0";
constexpr const char ownFolderNames[] =
    "Desktop\0Documents\0Downloads\0Pictures\0Music\0Videos\0AppData\0AppData\\Roaming\0AppData\\Local\0";

// How far below a folder the environment names the sweep is kept out.
enum class Reach {
    itself,          // a program-files folder
    systemFolders,   // the Windows folder
    ownFolders,      // a profile
    profilesBeside,  // the public profile: the folder it is in holds every profile
};

struct KnownFolder {
    const char* variable;
    Reach reach;
};

// The users' folder is where the public profile is (PUBLIC; ALLUSERSPROFILE before Vista),
// wherever the machine keeps its profiles. It is never taken from USERPROFILE: run as
// SYSTEM, that is a folder below the Windows folder. Since Vista ALLUSERSPROFILE is
// C:\ProgramData, whose parent is a drive's top folder and so holds no profiles.
constexpr KnownFolder knownFolders[] = {
    {"SystemRoot", Reach::systemFolders}, {"ProgramFiles", Reach::itself},
    {"ProgramFiles(x86)", Reach::itself},  {"ProgramW6432", Reach::itself},
    {"USERPROFILE", Reach::ownFolders},    {"PUBLIC", Reach::profilesBeside},
    {"ALLUSERSPROFILE", Reach::profilesBeside},
};

// What follows `base` in `path` after a backslash ("" when the two are the same folder), or
// null when `path` is not `base` or below it. ASCII letter case is ignored byte by byte: a
// lead byte is never a letter, so both texts keep their characters in step, and a trail byte
// taken for a letter can only make a folder look known that is not, which keeps more out.
const char* below(const char* path, const char* base) {
    std::size_t i = 0;
    for (; base[i] != '\0'; ++i) {
        if (text::asciiLower(path[i]) != text::asciiLower(base[i])) return nullptr;
    }
    if (path[i] == '\0') return path + i;
    return path[i] == '\\' ? path + i + 1 : nullptr;
}

bool sameName(const char* a, const char* b) {
    const char* rest = below(a, b);
    return rest != nullptr && *rest == '\0';
}

bool isOneOf(const char* name, const char* names) {
    for (const char* candidate = names; *candidate != '\0'; candidate += text::length(candidate) + 1) {
        if (sameName(name, candidate)) return true;
    }
    return false;
}

// How much of `path` is its root, the top folder of a drive or share: "C:\" of a full path,
// "\\server\share\" of a network path, "\" of one from the top of the current drive, "C:" of
// one relative to drive C's current folder, nothing of a relative path.
std::size_t pathRootLength(const char* path) {
    if (path[0] == '\\' && path[1] == '\\') {
        const char* p = path + 2;
        for (int part = 0; part < 2 && *p != '\0'; ++part) {  // the server, then the share
            while (*p != '\0' && *p != '\\') p = nextCharacter(p);
            if (*p != '\0') ++p;
        }
        return static_cast<std::size_t>(p - path);
    }
    if (path[0] == '\\') return 1;
    char letter = text::asciiLower(path[0]);
    if (letter < 'a' || letter > 'z' || path[1] != ':') return 0;
    return path[2] == '\\' ? 3 : 2;
}

// A path from a drive ("C:\...") or a share ("\\server\share..."). Windows makes every path
// full; a provider without Windows beneath it leaves a relative one relative, and what it
// names depends on a current folder, which may be any, the Desktop too. The device forms
// "\\?\" and "\\.\" name no share.
bool isFullPath(const char* path) {
    std::size_t root = pathRootLength(path);
    if (root == 3) return path[1] == ':';
    if (root < 3 || path[0] != '\\' || path[1] != '\\') return false;
    return !((path[2] == '?' || path[2] == '.') && path[3] == '\\');
}

// `path` made full and without what Windows drops at its end: the dots and spaces ("Desktop."
// is the Desktop) and a backslash. False when it is no full path. Neither '.' nor ' ' is ever
// a trail byte; a backslash may be one, so that is looked for character by character.
bool resolveFolder(char* folder, const char* path) {
    platform::DWORD full = platform::GetFullPathNameA(path, folderPathCapacity, folder, nullptr);
    if (full == 0 || full >= folderPathCapacity || !isFullPath(folder)) return false;
    std::size_t root = pathRootLength(folder);
    for (std::size_t length = text::length(folder); length > root; --length) {
        char last = folder[length - 1];
        bool backslash = lastBackslash(folder) == static_cast<std::ptrdiff_t>(length) - 1;
        if (last != '.' && last != ' ' && !backslash) break;
        folder[length - 1] = '\0';
    }
    return true;
}

bool isRoot(const char* folder) {
    return text::length(folder) == pathRootLength(folder);
}

// Every folder in the users' folder is a profile, and keeps its own folders; "" is the users'
// folder itself.
bool isProfileOrItsOwn(const char* rest) {
    const char* end = rest;
    while (*end != '\0' && *end != '\\') end = nextCharacter(end);
    return *end == '\0' || isOneOf(end + 1, ownFolderNames);
}

bool keepsOut(Reach reach, char* known, const char* folder) {
    if (reach == Reach::profilesBeside) {
        std::ptrdiff_t cut = lastBackslash(known);
        if (cut < 0) return false;
        known[cut] = '\0';
        if (isRoot(known)) return false;
    }
    const char* rest = below(folder, known);
    if (rest == nullptr || *rest == '\0') return rest != nullptr;
    switch (reach) {
    case Reach::itself: return false;
    case Reach::systemFolders: return isOneOf(rest, systemFolderNames);
    case Reach::ownFolders: return isOneOf(rest, ownFolderNames);
    case Reach::profilesBeside: break;
    }
    return isProfileOrItsOwn(rest);
}

// The full folder a variable names; false when it names none, or a drive's top folder, which
// needs no variable to be kept out.
bool readKnownFolder(const char* variable, char* folder) {
    char value[folderPathCapacity];
    platform::DWORD length = platform::GetEnvironmentVariableA(variable, value, folderPathCapacity);
    if (length == 0 || length >= folderPathCapacity) return false;
    return resolveFolder(folder, value) && !isRoot(folder);
}

}  // namespace

bool isProtectedFolder(const char* folder) {
    char resolved[folderPathCapacity];
    if (!resolveFolder(resolved, folder) || isRoot(resolved)) return true;
    for (const KnownFolder& known : knownFolders) {
        char knownFolder[folderPathCapacity];
        if (readKnownFolder(known.variable, knownFolder) && keepsOut(known.reach, knownFolder, resolved)) return true;
    }
    return false;
}
