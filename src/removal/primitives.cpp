// Folder searches, parent walks and the few registry operations the removal needs.
#include "removal/primitives.h"

#include "common/text.h"
#include "platform/operations.h"
#include "removal/characters.h"
#include "removal/leftovers.h"

namespace {

constexpr platform::DWORD pauseAfterFirstRemoval = 200;
constexpr platform::DWORD pauseAfterFailedAttempt = 500;
constexpr int folderRemovalAttempts = 10;
constexpr std::size_t keyPathCapacity = 512;
constexpr std::size_t valueNameCapacity = 260;
constexpr std::size_t valueDataCapacity = 256;
constexpr const char* uninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

bool isFolder(const platform::WIN32_FIND_DATAA& entry) {
    return (entry.dwFileAttributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isLink(platform::DWORD attributes) {
    return attributes != platform::INVALID_FILE_ATTRIBUTES &&
           (attributes & platform::FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool isDotEntry(const char* name) {
    return text::equal(name, ".") || text::equal(name, "..");
}

// "C:" alone names the current folder of drive C, but joined with a backslash it would name
// the drive's top folder: another folder than the one listed.
bool isBareDrive(const char* folder) {
    char letter = text::asciiLower(folder[0]);
    return letter >= 'a' && letter <= 'z' && folder[1] == ':' && folder[2] == '\0';
}

// folder + "\" + name in `path`; false when it does not fit, or would name another folder.
bool joinInto(char* path, const char* folder, const char* name) {
    if (isBareDrive(folder)) return false;
    if (!text::copy(path, folderPathCapacity, folder)) return false;
    return appendPathComponent(path, folderPathCapacity, name) >= 0;
}

// Calls visit(entry) for every entry of `folder`, closing the search before it returns.
template <typename Visit>
bool forEachEntry(const char* folder, Visit visit) {
    char pattern[folderPathCapacity];
    if (!joinInto(pattern, folder, "*.*")) return false;
    platform::WIN32_FIND_DATAA entry;
    platform::HANDLE search = platform::FindFirstFileA(pattern, &entry);
    if (search == platform::INVALID_HANDLE_VALUE) return false;
    do {
        visit(entry);
    } while (platform::FindNextFileA(search, &entry));
    platform::FindClose(search);
    return true;
}

}  // namespace

std::ptrdiff_t lastBackslash(const char* path) {
    std::ptrdiff_t last = -1;
    for (const char* p = path; *p != '\0'; p = nextCharacter(p)) {
        if (*p == '\\') last = p - path;
    }
    return last;
}

int appendPathComponent(char* path, std::size_t capacity, const char* name) {
    std::size_t pathLength = text::length(path);
    std::size_t nameLength = text::length(name);
    if (capacity < 2 || pathLength + nameLength > capacity - 2) return -1;
    bool endsInBackslash = pathLength > 0 && lastBackslash(path) == static_cast<std::ptrdiff_t>(pathLength) - 1;
    if (!endsInBackslash) text::append(path, capacity, "\\");
    text::append(path, capacity, name[0] == '\\' ? name + 1 : name);
    return static_cast<int>(text::length(path));
}

void removeDirectoryAndParents(const char* path) {
    char folder[folderPathCapacity];
    // Windows removes C:\A for "C:\A\B\..", so the walk starts from C:\A too: cut as text,
    // the path would lead it into C:\A\B, which is neither the folder nor a parent of it.
    platform::DWORD length = platform::GetFullPathNameA(path, folderPathCapacity, folder, nullptr);
    if (length == 0 || length >= folderPathCapacity) return;  // a cut path names another folder
    platform::RemoveDirectoryA(folder);
    platform::Sleep(pauseAfterFirstRemoval);
    for (std::ptrdiff_t cut = lastBackslash(folder); cut >= 0; cut = lastBackslash(folder)) {
        folder[cut] = '\0';
        if (!platform::RemoveDirectoryA(folder)) return;
    }
}

int emptyAndRemoveFolder(const char* folder) {
    if (folder[0] == '\0') return 0;
    int deleted = 0;
    // A link planted in place of the folder is never searched: emptying it would delete
    // the files of whatever it points to. The link itself may still be removed below.
    if (!isLink(platform::GetFileAttributesA(folder))) {
        forEachEntry(folder, [&](const platform::WIN32_FIND_DATAA& entry) {
            char file[folderPathCapacity];
            if (isFolder(entry) || !joinInto(file, folder, entry.cFileName)) return;
            platform::SetFileAttributesA(file, platform::FILE_ATTRIBUTE_NORMAL);
            if (platform::DeleteFileA(file)) ++deleted;
        });
    }
    for (int attempt = 0; attempt < folderRemovalAttempts; ++attempt) {
        if (platform::RemoveDirectoryA(folder)) break;
        platform::Sleep(pauseAfterFailedAttempt);
    }
    platform::Sleep(pauseAfterFailedAttempt);
    return deleted;
}

int removeEmptySubfolders(const char* folder) {
    if (folder[0] == '\0') return 0;
    int removed = 0;
    forEachEntry(folder, [&](const platform::WIN32_FIND_DATAA& entry) {
        char subfolder[folderPathCapacity];
        if (!isFolder(entry) || isLink(entry.dwFileAttributes) || isDotEntry(entry.cFileName)) return;
        if (!joinInto(subfolder, folder, entry.cFileName)) return;
        if (platform::RemoveDirectoryA(subfolder)) ++removed;
    });
    return removed;
}

int deleteUninstallEntry(const char* name) {
    if (name == nullptr || name[0] == '\0') return 0;
    char key[keyPathCapacity];
    text::copy(key, keyPathCapacity, uninstallKey);
    text::append(key, keyPathCapacity, "\\");
    if (!text::append(key, keyPathCapacity, name)) return 0;  // never delete a cut key path
    // The entry goes relative to the opened uninstall key: the system refuses a key path over
    // 260 characters, which the full path of a long entry name passes. What stays is still
    // named by its full path, and a missing uninstall key holds no entry to name.
    platform::HKEY uninstall = nullptr;
    platform::LONG status = platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, uninstallKey, 0,
                                                    platform::KEY_ALL_ACCESS, &uninstall);
    if (status == platform::ERROR_SUCCESS) {
        status = platform::RegDeleteKeyA(uninstall, name);
        platform::RegCloseKey(uninstall);
    }
    noteKeyDeletion(status, key);
    return status == platform::ERROR_SUCCESS ? 1 : 0;
}

bool sharedComponentInUse() {
    platform::HKEY key = nullptr;
    platform::LONG opened = platform::RegOpenKeyA(platform::HKEY_LOCAL_MACHINE, sharedApplicationKey, &key);
    // Only a key that is not there holds no registration. One that is there but cannot be
    // opened (no access, an unreadable registry) may hold any number: the shared files stay.
    if (opened == platform::ERROR_FILE_NOT_FOUND) return false;
    if (opened != platform::ERROR_SUCCESS) return true;
    char name[valueNameCapacity];
    platform::DWORD nameLength = valueNameCapacity;
    platform::DWORD type = 0;
    platform::BYTE data[valueDataCapacity];
    platform::DWORD dataLength = valueDataCapacity;
    platform::LONG result = platform::RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, data, &dataLength);
    platform::RegCloseKey(key);
    // A registration too large to be delivered is still a registration.
    return result == platform::ERROR_SUCCESS || result == platform::ERROR_MORE_DATA;
}
