// Files and folders of the machine root as Windows reports them: searches, attributes,
// deletion and folder removal. A symbolic link is reported as a reparse point and is never
// followed by a search, a deletion or an attribute change. Also the executable's own path,
// pauses, memory and the lead-byte test.
#include "platform/ini/code_page_932.h"
#include "common/text.h"
#include "platform/operations.h"
#include "platform/posix/code_page.h"
#include "platform/posix/files_seam.h"
#include "platform/posix/paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

bool isDotName(std::string_view name) { return name == "." || name == ".."; }

// Windows attributes of what `path` names, by lstat (never through a link):
// folder 0x10; a symbolic link 0x400, with 0x10 as well when it leads to a folder, as Windows
// reports a folder link; read-only 0x01 when the owner may not write (never on a link, whose
// own permission bits mean nothing); hidden 0x02 for a dot name; 0x80 when nothing else applies.
DWORD attributesOf(const std::string& path, std::string_view name, const struct stat& info) {
    DWORD attributes = 0;
    if (S_ISLNK(info.st_mode)) {
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        struct stat target;
        if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else {
        if (S_ISDIR(info.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
        if ((info.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (!name.empty() && name.front() == '.' && !isDotName(name)) attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

DWORD attributesOf(const std::string& path, std::string_view name) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return INVALID_FILE_ATTRIBUTES;
    return attributesOf(path, name, info);
}

std::string_view lastName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
}

// Windows wildcard matching without regard to case: '*' any run, '?' one character. Both are
// code-page-932 text, taken a character at a time.
bool matchesWildcard(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    auto sameCharacter = [&]() {
        std::size_t length = cp932::characterLength(pattern, p);
        if (length == 1 && pattern[p] == '?') return true;
        if (cp932::characterLength(name, n) != length) return false;
        if (length == 2) return pattern.substr(p, 2) == name.substr(n, 2);
        return text::asciiLower(pattern[p]) == text::asciiLower(name[n]);
    };
    while (n < name.size()) {
        if (p < pattern.size() && sameCharacter()) {
            n += cp932::characterLength(name, n);
            p += cp932::characterLength(pattern, p);
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            starN += cp932::characterLength(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// "*.*" lists every name, those without a dot too, as it does on Windows.
bool matchesSearch(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") return true;
    return matchesWildcard(pattern, name);
}

// A found name as it is on disk and as it is given out, in code page 932.
struct FoundName {
    std::string onDisk;
    std::string windows;
};

// A search takes its list of names when it starts; each entry's attributes are read when it
// is delivered, and an entry gone by then is passed over. Deleting delivered entries
// therefore never disturbs the search, and the folder is not held open.
struct Search {
    std::string folder;
    std::vector<FoundName> names;
    std::size_t next = 0;
};

bool deliverNext(Search& search, WIN32_FIND_DATAA* entry) {
    while (search.next < search.names.size()) {
        const FoundName& name = search.names[search.next++];
        DWORD attributes = attributesOf(search.folder + "/" + name.onDisk, name.onDisk);
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        entry->dwFileAttributes = attributes;
        std::size_t length = std::min<std::size_t>(name.windows.size(), MAX_PATH - 1);
        name.windows.copy(entry->cFileName, length);
        entry->cFileName[length] = '\0';
        return true;
    }
    return false;
}

// "." and ".." first, then the names in byte order, so every run lists a folder the same way.
bool searchOrder(const FoundName& a, const FoundName& b) {
    if (isDotName(a.windows) != isDotName(b.windows)) return isDotName(a.windows);
    return a.windows < b.windows;
}

std::optional<posix::ResolvedPath> resolve(const char* path) {
    if (path == nullptr) return std::nullopt;
    return posix::resolvePath(path);
}

// The lstat of a resolved path: the one resolving took when there is one, else a new one.
bool lstatOf(const posix::ResolvedPath& resolved, struct stat& info) {
    if (resolved.hasInfo) {
        info = resolved.info;
        return true;
    }
    return ::lstat(resolved.path.c_str(), &info) == 0;
}

DWORD attributesOf(const posix::ResolvedPath& resolved) {
    struct stat info;
    if (!lstatOf(resolved, info)) return INVALID_FILE_ATTRIBUTES;
    return attributesOf(resolved.path, lastName(resolved.path), info);
}

// The file SetFileAttributesA has just dealt with, held for a DeleteFileA of the very same
// path that follows at once, as the removal does for every listed file: the deletion then
// takes the entry and its state as resolving found them a moment ago rather than resolving
// again (one lstat fewer per file). A change made elsewhere between the two calls then
// takes effect as if made during the deletion, after it looked at the file, as it could
// within one call anyway. Any other file operation drops the kept file, and it is good for
// kReuseNanoseconds only, so no deletion acts on an older view of the machine than that; it
// serves only while its folder provably still lies at its path (posix::stillLiesWhereOpened),
// so a folder moved aside meanwhile is never acted in. A deletion that fails through it is
// tried again from the path.
struct KeptFile {
    std::string windowsPath;
    std::string root;
    struct timespec keptAt{};
    posix::ResolvedPath resolved;
};

std::optional<KeptFile>& keptFile() {
    static std::optional<KeptFile> kept;
    return kept;
}

void keepFile(const char* windowsPath, posix::ResolvedPath resolved) {
    std::string root = posix::machineRoot();
    // Only a path that leads to one place whatever the current folder, in a folder opened
    // without passing a link.
    if (!resolved.folder || posix::needsCurrentFolder(windowsPath, root)) return;
    keptFile() = KeptFile{windowsPath, std::move(root), posix::monotonicNow(), std::move(resolved)};
}

// The kept file when `windowsPath` is the path it was kept for, under the same root, and it
// is still fresh; either way nothing stays kept.
std::optional<posix::ResolvedPath> takeKeptFile(const char* windowsPath) {
    std::optional<KeptFile> kept = std::exchange(keptFile(), std::nullopt);
    if (!kept || windowsPath == nullptr || kept->windowsPath != windowsPath) return std::nullopt;
    if (!posix::stillReusable(kept->keptAt) || kept->root != posix::machineRoot()) return std::nullopt;
    if (!posix::stillLiesWhereOpened(kept->resolved.folder)) return std::nullopt;
    return std::move(kept->resolved);
}

const char* lastNameIn(const posix::ResolvedPath& resolved) {
    return resolved.path.c_str() + (resolved.path.size() - lastName(resolved.path).size());
}

void (*beforeActing)() = nullptr;

// Removes the last name of `resolved` in the folder resolving opened without passing a link,
// never by its path again: a link swapped in on the way since then is not followed. What
// was checked is what goes; an entry swapped in for the name itself goes in its place, or the
// removal fails when it is of the other kind (a folder for a file, or the other way round).
BOOL removeEntry(const posix::ResolvedPath& resolved, int flags) {
    if (beforeActing != nullptr) beforeActing();
    return ::unlinkat(resolved.folder.get(), lastNameIn(resolved), flags) == 0 ? TRUE : FALSE;
}

// A failed deletion, with the error Windows gives for it.
BOOL deletionFails(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Without a holding folder the name is not there, or a folder on its way is not.
DWORD missingError(const posix::ResolvedPath& resolved) {
    std::size_t slash = resolved.path.rfind('/');
    struct stat info;
    bool folderThere = slash != std::string::npos &&
                       ::stat(resolved.path.substr(0, slash == 0 ? 1 : slash).c_str(), &info) == 0 &&
                       S_ISDIR(info.st_mode);
    return folderThere ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// Gives the last name of `resolved` the permission bits `mode`, through a descriptor of what
// the name holds now, in the folder resolving opened, taken without following a link; and
// only when that is still the file resolving looked at. A link swapped in for the name since
// is not followed, and a file put in its place never gets bits worked out for another (a
// set-user-ID bit kept, say).
BOOL changeMode(const posix::ResolvedPath& resolved, mode_t mode) {
    if (beforeActing != nullptr) beforeActing();
    int fd = ::openat(resolved.folder.get(), lastNameIn(resolved), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return FALSE;
    struct stat now;
    bool same = ::fstat(fd, &now) == 0 && !S_ISLNK(now.st_mode) && now.st_dev == resolved.info.st_dev &&
                now.st_ino == resolved.info.st_ino;
    // A path-only descriptor takes no fchmod; its entry in /proc/self/fd leads to the file it
    // holds, never to a name looked up again.
    bool changed = same && ::chmod(("/proc/self/fd/" + std::to_string(fd)).c_str(), mode) == 0;
    ::close(fd);
    return changed ? TRUE : FALSE;
}

BOOL deleteResolved(const posix::ResolvedPath& resolved) {
    // Links are never followed: a file behind one stays, for that reason and not for its
    // absence, as its attributes say it is there.
    if (resolved.throughLink) {
        return deletionFails(attributesOf(resolved) == INVALID_FILE_ATTRIBUTES ? ERROR_PATH_NOT_FOUND
                                                                              : ERROR_ACCESS_DENIED);
    }
    // What lies in a folder that may not be searched is not known to be absent.
    if (resolved.atBase || resolved.denied) return deletionFails(ERROR_ACCESS_DENIED);
    if (!resolved.folder) return deletionFails(missingError(resolved));
    DWORD attributes = attributesOf(resolved);
    if (attributes == INVALID_FILE_ATTRIBUTES) return deletionFails(ERROR_FILE_NOT_FOUND);
    // Folders (a link to one included) go with RemoveDirectoryA; a read-only file is refused,
    // as Windows refuses it.
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return deletionFails(ERROR_ACCESS_DENIED);
    }
    if (removeEntry(resolved, 0)) return TRUE;
    // Anything but a vanished name (an immutable file, a read-only file system, a folder the
    // user may not change) leaves the file there.
    return deletionFails(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
}

}  // namespace

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* entry) {
    keptFile().reset();
    if (pattern == nullptr || entry == nullptr) return INVALID_HANDLE_VALUE;
    std::string_view text = pattern;
    std::size_t cut = posix::lastSeparator(text);
    std::string folderText;
    std::string_view wildcard;
    if (cut != std::string_view::npos) {
        folderText = std::string(text.substr(0, cut + 1));
        wildcard = text.substr(cut + 1);
    } else if (text.size() >= 2 && text[1] == ':') {
        folderText = std::string(text.substr(0, 2));
        wildcard = text.substr(2);
    } else {
        folderText = ".";
        wildcard = text;
    }
    if (wildcard.empty()) return INVALID_HANDLE_VALUE;

    std::optional<posix::ResolvedPath> folder = posix::resolvePath(folderText);
    if (!folder || folder->throughLink) return INVALID_HANDLE_VALUE;
    struct stat info;
    // A search never goes through a link, not even one named as the folder to search.
    if (!lstatOf(*folder, info) || !S_ISDIR(info.st_mode)) return INVALID_HANDLE_VALUE;

    DIR* listing = ::opendir(folder->path.c_str());
    if (listing == nullptr) return INVALID_HANDLE_VALUE;
    Search* search = new (std::nothrow) Search;
    if (search == nullptr) {
        ::closedir(listing);
        return INVALID_HANDLE_VALUE;
    }
    search->folder = folder->path;
    std::string windowsName;
    while (struct dirent* item = ::readdir(listing)) {
        std::string_view name = item->d_name;
        // A drive's top folder has no "." or "..", as on Windows.
        if (folder->atBase && isDotName(name)) continue;
        // A name with no exact form in code page 932, or one no Windows folder could hold
        // (..\x, given out, would be joined to the folder and lead the caller elsewhere), is
        // passed over as if it were not there. Its folder still holds it, so that folder is
        // never taken for empty.
        if (!posix::diskNameToWindows(name, windowsName) || !posix::isWindowsName(windowsName)) continue;
        if (matchesSearch(wildcard, windowsName)) search->names.push_back(FoundName{std::string(name), windowsName});
    }
    ::closedir(listing);
    std::sort(search->names.begin(), search->names.end(), searchOrder);

    if (!deliverNext(*search, entry)) {
        delete search;
        return INVALID_HANDLE_VALUE;
    }
    return search;
}

BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* entry) {
    if (search == nullptr || search == INVALID_HANDLE_VALUE || entry == nullptr) return FALSE;
    return deliverNext(*static_cast<Search*>(search), entry) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE search) {
    if (search == nullptr || search == INVALID_HANDLE_VALUE) return FALSE;
    delete static_cast<Search*>(search);
    return TRUE;
}

DWORD GetFileAttributesA(const char* path) {
    keptFile().reset();
    std::optional<posix::ResolvedPath> resolved = resolve(path);
    if (!resolved) return INVALID_FILE_ATTRIBUTES;
    return attributesOf(*resolved);
}

BOOL SetFileAttributesA(const char* path, DWORD attributes) {
    keptFile().reset();
    std::optional<posix::ResolvedPath> resolved = resolve(path);
    // A drive's top folder, which has no folder opened above it, keeps its mode.
    if (!resolved || resolved->throughLink || !resolved->folder) return FALSE;
    struct stat info = resolved->info;
    // A link has no read-only state of its own; changing the mode would change its target.
    if (S_ISLNK(info.st_mode)) return TRUE;
    mode_t mode = info.st_mode & 07777;
    mode_t wanted = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? (mode & ~mode_t(0222)) : (mode | S_IWUSR);
    if (wanted != mode) {
        if (!changeMode(*resolved, wanted)) return FALSE;
        resolved->info.st_mode = (info.st_mode & ~mode_t(07777)) | wanted;
    }
    keepFile(path, std::move(*resolved));
    return TRUE;
}

BOOL DeleteFileA(const char* path) {
    if (std::optional<posix::ResolvedPath> kept = takeKeptFile(path)) {
        if (deleteResolved(*kept)) return TRUE;
    }
    // A path that names nothing here fails as a missing one, unless resolving says otherwise.
    SetLastError(ERROR_PATH_NOT_FOUND);
    std::optional<posix::ResolvedPath> resolved = resolve(path);
    return resolved ? deleteResolved(*resolved) : FALSE;
}

BOOL RemoveDirectoryA(const char* path) {
    keptFile().reset();
    posix::forgetOpenedFolder();
    std::optional<posix::ResolvedPath> resolved = resolve(path);
    // A drive's top folder is never removed, even when empty.
    if (!resolved || resolved->throughLink || resolved->atBase || !resolved->folder) return FALSE;
    struct stat info;
    if (!lstatOf(*resolved, info)) return FALSE;
    if (S_ISLNK(info.st_mode)) {
        // A link to a folder goes as a link; what it leads to stays untouched.
        struct stat target;
        if (::fstatat(resolved->folder.get(), lastNameIn(*resolved), &target, 0) != 0 || !S_ISDIR(target.st_mode)) {
            return FALSE;
        }
        return removeEntry(*resolved, 0);
    }
    if (!S_ISDIR(info.st_mode)) return FALSE;
    // Windows holds the process's current folder open, so it cannot be removed; here nothing
    // would stop it, and "C:" (the current folder of drive C) would go with its parents' walk.
    struct stat current;
    if (::stat(".", &current) == 0 && current.st_dev == info.st_dev && current.st_ino == info.st_ino) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    return removeEntry(*resolved, AT_REMOVEDIR);
}

}  // namespace platform

namespace posix {

void setBeforeActingHook(void (*hook)()) { platform::beforeActing = hook; }

}  // namespace posix

namespace platform {

DWORD GetModuleFileNameA(HINSTANCE, char* buffer, DWORD capacity) {
    if (buffer == nullptr || capacity == 0) return 0;
    buffer[0] = '\0';
    std::optional<std::string> path = posix::programPath();
    if (!path) return 0;
    // The path as the program's other texts are: in code page 932; a path with no exact form
    // there gives nothing rather than a look-alike, and so does one with a name no Windows
    // folder could hold, which would not lead back to this folder.
    std::string windowsPath;
    if (!posix::diskNameToWindows(*path, windowsPath)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    for (std::size_t start = 1; start < windowsPath.size();) {
        std::size_t end = std::min(cp932::find(windowsPath, '/', start), windowsPath.size());
        if (!posix::isWindowsName(std::string_view(windowsPath).substr(start, end - start))) {
            SetLastError(ERROR_INVALID_NAME);
            return 0;
        }
        start = end + 1;
    }
    // Too small a buffer gets as much as fits, terminated, and the result is the capacity.
    std::size_t take = std::min<std::size_t>(windowsPath.size(), capacity - 1);
    for (std::size_t i = 0; i < take; ++i) buffer[i] = windowsPath[i];
    buffer[take] = '\0';
    return take < windowsPath.size() ? capacity : static_cast<DWORD>(take);
}

void Sleep(DWORD milliseconds) {
    struct timespec wait;
    wait.tv_sec = static_cast<time_t>(milliseconds / 1000);
    wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

void* LocalAlloc(UINT, std::size_t bytes) {
    return std::calloc(1, bytes == 0 ? 1 : bytes);
}

// Lead bytes of code page 932, the Japanese system code page the program was written for; the
// INI engine reads names by the same table.
BOOL IsDBCSLeadByte(BYTE byte) { return cp932::isLeadByte(byte) ? TRUE : FALSE; }

}  // namespace platform
