// The mapping of Windows paths onto the machine root, and the case-insensitive resolution of
// their names against the real folders.
#include "platform/posix/paths.h"

#include "common/text.h"
#include "platform/operations.h"
#include "platform/posix/change_watch.h"
#include "platform/posix/code_page.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#if defined(__linux__) && __has_include(<linux/openat2.h>) && __has_include(<sys/syscall.h>)
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

namespace posix {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Appends the names of native `text` (split at either separator) to `names`, dropping "."
// and empty names; ".." takes one name off, but never more than there are.
void appendNames(std::string_view text, std::vector<std::string>& names) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = start;
        while (end < text.size() && !isSeparator(text[end])) ++end;
        std::string_view name = text.substr(start, end - start);
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.emplace_back(name);
        }
        start = end + 1;
    }
}

// The same for Windows `text` in code page 932: a separator inside a double-byte character
// separates nothing, and each name is added as it is written on disk. False when a name is
// no code-page-932 text (`names` is then unspecified).
bool appendWindowsNames(std::string_view text, std::vector<std::string>& names) {
    std::size_t start = 0;
    std::string onDisk;
    while (start <= text.size()) {
        std::size_t end = start;
        while (end < text.size() && !isSeparator(text[end])) end += cp932::characterLength(text, end);
        std::string_view name = text.substr(start, end - start);
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            if (!isWindowsName(name)) {
                platform::SetLastError(platform::ERROR_INVALID_NAME);
                return false;
            }
            if (!windowsNameToDisk(name, onDisk)) {
                platform::SetLastError(platform::ERROR_NO_UNICODE_TRANSLATION);
                return false;
            }
            names.push_back(onDisk);
        }
        start = end + 1;
    }
    return true;
}

// Appends "/name" to a native path; "/" itself takes just the name.
void appendChild(std::string& path, std::string_view name) {
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
}

std::string joinNames(const std::vector<std::string>& names) {
    std::string path = "/";
    for (const std::string& name : names) appendChild(path, name);
    return path;
}

// A native folder made absolute and lexically tidy, as a list of names below "/".
std::vector<std::string> absoluteNames(std::string_view folder, std::string_view currentFolder) {
    std::vector<std::string> names;
    if (folder.empty() || folder.front() != '/') appendNames(currentFolder, names);
    appendNames(folder, names);
    return names;
}

// True when `names` starts with all of `prefix`.
bool startsWith(const std::vector<std::string>& names, const std::vector<std::string>& prefix) {
    if (names.size() < prefix.size()) return false;
    return std::equal(prefix.begin(), prefix.end(), names.begin());
}

// The plan of drive `letter`, with the native names `below` its folder and then the names of
// the Windows text `rest`; empty when a name of `rest` cannot be written on disk.
std::optional<PathPlan> drivePlan(const std::vector<std::string>& rootNames, char letter,
                                  std::vector<std::string> below, std::string_view rest) {
    PathPlan plan;
    plan.base = joinNames(rootNames);
    appendChild(plan.base, "drive_");
    plan.base += text::asciiLower(letter);
    plan.matchCase = true;
    plan.names = std::move(below);
    if (!appendWindowsNames(rest, plan.names)) return std::nullopt;
    return plan;
}

// The current folder as a drive of the machine root sees it: the drive's letter and the
// names below its folder; empty when the current folder lies on no drive of the root.
struct DriveFolder {
    char letter;
    std::vector<std::string> below;
};

std::optional<DriveFolder> currentDriveFolder(const std::vector<std::string>& rootNames,
                                              std::string_view currentFolder) {
    std::vector<std::string> current = absoluteNames(currentFolder, "/");
    if (!startsWith(current, rootNames) || current.size() <= rootNames.size()) return std::nullopt;
    const std::string& drive = current[rootNames.size()];
    if (drive.size() != 7 || drive.compare(0, 6, "drive_") != 0 || !isDriveLetter(drive[6])) return std::nullopt;
    char letter = drive[6];
    current.erase(current.begin(), current.begin() + static_cast<std::ptrdiff_t>(rootNames.size()) + 1);
    return DriveFolder{letter, std::move(current)};
}

// A relative path continues the current folder. When that folder lies on a drive of the
// machine root, the drive folder is the floor `..` stops at, as on Windows.
std::optional<PathPlan> relativePlan(const std::vector<std::string>& rootNames, std::string_view windowsPath,
                                     std::string_view currentFolder) {
    if (std::optional<DriveFolder> drive = currentDriveFolder(rootNames, currentFolder)) {
        return drivePlan(rootNames, drive->letter, std::move(drive->below), windowsPath);
    }
    std::vector<std::string> current = absoluteNames(currentFolder, "/");
    PathPlan plan;
    plan.base = "/";
    plan.matchCase = true;
    plan.names = std::move(current);
    if (!appendWindowsNames(windowsPath, plan.names)) return std::nullopt;
    return plan;
}

bool isLink(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// 0 when `path` is there as written, else why not (errno of its lstat).
int lookUpAsWritten(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 ? 0 : errno;
}

// ASCII letters match either case. Names on disk are UTF-8, whose bytes from 0x80 up are
// never ASCII letters: the other characters of a name must match exactly.
bool sameDiskNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (text::asciiLower(a[i]) != text::asciiLower(b[i])) return false;
    }
    return true;
}

// The name in `folder` equal to `name` without regard to case; the smallest one in byte order
// when several are, so the choice does not depend on the order the folder lists them in.
// `denied` is set when the folder may not be listed.
std::optional<std::string> findIgnoringCase(const std::string& folder, const std::string& name, bool& denied) {
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        denied = denied || errno == EACCES;
        return std::nullopt;
    }
    std::optional<std::string> best;
    while (struct dirent* entry = ::readdir(listing)) {
        std::string_view candidate = entry->d_name;
        if (!sameDiskNameIgnoringCase(candidate, name)) continue;
        if (!best || candidate < *best) best = std::string(candidate);
    }
    ::closedir(listing);
    return best;
}

std::string childOf(const std::string& folder, std::string_view name) {
    std::string child = folder;
    appendChild(child, name);
    return child;
}

// The folder the last quick resolution opened, with the native path it was opened by, and
// whether the folder watch watched that path from before the folder was opened.
struct OpenedFolder {
    std::string path;
    FolderHandle handle;
    struct timespec openedAt{};
    bool watched = false;
};

std::optional<OpenedFolder>& openedFolder() {
    static std::optional<OpenedFolder> opened;
    return opened;
}

// True when the folder opened last still serves `path`: it was opened by that path, not long
// ago (kReuseNanoseconds, a bound for what the watch cannot see), and the watch set on that
// path before it was opened has reported no move or deletion of the folder or of any folder
// above it since. The test takes no system call.
bool stillServes(const OpenedFolder& opened, const std::string& path) {
    return opened.path == path && opened.watched && stillReusable(opened.openedAt) &&
           watchedAndQuiet(Watch::folder, path);
}

// The folder at native `path`, opened with openat2 and RESOLVE_NO_SYMLINKS: only when no link
// at all is on its path (a link in the base included). The folder opened last serves the same
// path again while it provably still lies there (see stillServes), so a run of files in one
// folder opens it once or twice; a folder asked for a second time in a row is watched from
// then on, and opened again after the watch is set. What is done through it happens in the
// folder that was opened without passing a link, whatever is swapped in on the way meanwhile.
FolderHandle openFolderWithoutLinks(const std::string& path) {
#if defined(SYS_openat2) && defined(RESOLVE_NO_SYMLINKS)
    std::optional<OpenedFolder>& opened = openedFolder();
    if (opened && stillServes(*opened, path)) return opened->handle;
    bool askedAgain = opened && opened->path == path;
    opened.reset();
    bool watched = watchedAndQuiet(Watch::folder, path) || (askedAgain && watchPath(Watch::folder, path));
    struct open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS;
    long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd < 0) return FolderHandle();
    opened = OpenedFolder{path, FolderHandle(static_cast<int>(fd)), monotonicNow(), watched};
    return opened->handle;
#else
    (void)path;
    return FolderHandle();
#endif
}

// The common case in two system calls, or one while the folder is still open: every folder
// on the way exists as written and none is a link (see openFolderWithoutLinks), and the last
// name exists as written. The lstat of the last name and the open folder come along with the
// path, so callers need neither take it again nor walk the path again. Any name written in
// another case takes the long way. Empty when the quick way does not apply.
std::optional<ResolvedPath> resolveAsWritten(const PathPlan& plan) {
    if (plan.names.empty()) return std::nullopt;
    std::string folder = plan.base;
    for (std::size_t i = 0; i + 1 < plan.names.size(); ++i) appendChild(folder, plan.names[i]);
    FolderHandle opened = openFolderWithoutLinks(folder);
    if (!opened) return std::nullopt;
    struct stat info;
    if (::fstatat(opened.get(), plan.names.back().c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    ResolvedPath resolved;
    resolved.path = childOf(folder, plan.names.back());
    resolved.hasInfo = true;
    resolved.info = info;
    resolved.folder = std::move(opened);
    return resolved;
}

// For a path resolved the long way: opens the folder holding its last name and takes that
// name's lstat there, as the quick way does. Below a drive the folders are opened one name at
// a time and none may be a link, so what is done through the folder later happens where the
// resolution looked, even if a link is swapped in on the way meanwhile; a native path may pass
// links (see resolvePlan) and its folder is opened as written. Leaves `resolved` as it is when
// the folder or the name is not there.
void openHoldingFolder(const PathPlan& plan, ResolvedPath& resolved) {
    std::size_t slash = resolved.path.rfind('/');
    int fd = -1;
    if (plan.base == "/") {
        fd = ::open(slash == 0 ? "/" : resolved.path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    } else {
        fd = ::open(plan.base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        std::size_t start = plan.base.size() + 1;
        while (fd >= 0 && start < slash + 1) {
            std::size_t end = resolved.path.find('/', start);
            std::string name = resolved.path.substr(start, end - start);
            int next = ::openat(fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            ::close(fd);
            fd = next;
            start = end + 1;
        }
    }
    FolderHandle folder(fd);
    struct stat info;
    if (!folder || ::fstatat(folder.get(), resolved.path.c_str() + slash + 1, &info, AT_SYMLINK_NOFOLLOW) != 0) return;
    resolved.hasInfo = true;
    resolved.info = info;
    resolved.folder = std::move(folder);
}

}  // namespace

// Only a relative root or a relative path needs the current folder; "C:name" is relative too.
bool needsCurrentFolder(std::string_view windowsPath, std::string_view root) {
    bool absolutePath = !windowsPath.empty() && (windowsPath.front() == '/' || windowsPath.front() == '\\' ||
                                                 (windowsPath.size() >= 3 && isDriveLetter(windowsPath[0]) &&
                                                  windowsPath[1] == ':' && isSeparator(windowsPath[2])));
    return !absolutePath || root.empty() || root.front() != '/';
}

FolderHandle::FolderHandle(int descriptor) {
    if (descriptor < 0) return;
    opened_ = new (std::nothrow) Opened{descriptor, 1};
    if (opened_ == nullptr) ::close(descriptor);
}

FolderHandle::~FolderHandle() {
    if (opened_ == nullptr || --opened_->holders > 0) return;
    ::close(opened_->descriptor);
    delete opened_;
}

void forgetOpenedFolder() {
    openedFolder().reset();
    stopWatching(Watch::folder);
}

bool stillLiesWhereOpened(const FolderHandle& folder) {
    const std::optional<OpenedFolder>& opened = openedFolder();
    return folder && opened && opened->handle.get() == folder.get() && stillServes(*opened, opened->path);
}

struct timespec monotonicNow() {
    struct timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

bool stillReusable(const struct timespec& since) {
    struct timespec now = monotonicNow();
    long long age = (static_cast<long long>(now.tv_sec) - since.tv_sec) * 1000000000LL + (now.tv_nsec - since.tv_nsec);
    return age >= 0 && age <= kReuseNanoseconds;
}

std::optional<PathPlan> planPath(std::string_view windowsPath, std::string_view root, std::string_view currentFolder) {
    if (windowsPath.empty()) return std::nullopt;
    std::vector<std::string> rootNames = absoluteNames(root.empty() ? currentFolder : root, currentFolder);

    if (windowsPath.size() >= 2 && isDriveLetter(windowsPath[0]) && windowsPath[1] == ':') {
        std::string_view rest = windowsPath.substr(2);
        // "C:name" (and "C:" alone) continues the current folder of drive C: the process's
        // current folder when that lies on drive C, the drive's top folder otherwise, as
        // GetFullPathNameA reads it.
        if (rest.empty() || !isSeparator(rest.front())) {
            std::optional<DriveFolder> drive = currentDriveFolder(rootNames, currentFolder);
            if (drive && text::asciiLower(drive->letter) == text::asciiLower(windowsPath[0])) {
                return drivePlan(rootNames, windowsPath[0], std::move(drive->below), rest);
            }
        }
        return drivePlan(rootNames, windowsPath[0], {}, rest);
    }
    if (windowsPath.front() == '/') {
        PathPlan plan;
        plan.base = "/";
        if (!appendWindowsNames(windowsPath, plan.names)) return std::nullopt;
        return plan;
    }
    if (windowsPath.front() == '\\') {
        // "\\server\share" and "\\?\" paths name other machines or namespaces: not mapped.
        if (windowsPath.size() >= 2 && isSeparator(windowsPath[1])) return std::nullopt;
        return drivePlan(rootNames, 'c', {}, windowsPath);
    }
    return relativePlan(rootNames, windowsPath, currentFolder);
}

std::string joinPlan(const PathPlan& plan) {
    std::string path = plan.base;
    for (const std::string& name : plan.names) appendChild(path, name);
    return path;
}

std::optional<std::string> nativePath(std::string_view windowsPath, std::string_view root,
                                      std::string_view currentFolder) {
    std::optional<PathPlan> plan = planPath(windowsPath, root, currentFolder);
    if (!plan) return std::nullopt;
    return joinPlan(*plan);
}

ResolvedPath resolvePlan(const PathPlan& plan) {
    if (std::optional<ResolvedPath> quick = resolveAsWritten(plan)) return std::move(*quick);
    ResolvedPath resolved;
    resolved.path = plan.base;
    resolved.atBase = plan.names.empty();
    bool folderExists = true;  // once a folder is missing, nothing below it can be found
    for (std::size_t i = 0; i < plan.names.size(); ++i) {
        const std::string& name = plan.names[i];
        std::string next = childOf(resolved.path, name);
        int error = folderExists && plan.matchCase ? lookUpAsWritten(next) : 0;
        if (error != 0) {
            // A folder that may not be searched or listed may hold the name all the same.
            resolved.denied = resolved.denied || error == EACCES;
            std::optional<std::string> found = findIgnoringCase(resolved.path, name, resolved.denied);
            if (found) {
                next = childOf(resolved.path, *found);
            } else {
                folderExists = false;
            }
        }
        resolved.path = next;
        bool last = i + 1 == plan.names.size();
        // Links are only looked for on a drive: a native base may well sit behind one.
        if (plan.base != "/" && !last && folderExists && isLink(next)) resolved.throughLink = true;
    }
    if (!resolved.atBase && !resolved.throughLink && folderExists) openHoldingFolder(plan, resolved);
    return resolved;
}

std::string currentFolder() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return "/";
    return buffer;
}

std::optional<std::string> programPath() {
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return std::nullopt;
    return std::string(path, static_cast<std::size_t>(length));
}

bool isWindowsName(std::string_view name) {
    for (std::size_t i = 0; i < name.size(); i += cp932::characterLength(name, i)) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 32 || std::string_view("<>:\"/\\|?*").find(name[i]) != std::string_view::npos) return false;
    }
    return true;
}

std::string machineRoot() {
    const char* root = std::getenv("UNINST_ROOT");
    if (root == nullptr || root[0] == '\0') return currentFolder();
    return root;
}

std::optional<ResolvedPath> resolvePath(std::string_view windowsPath) {
    std::string root = machineRoot();
    std::string current = needsCurrentFolder(windowsPath, root) ? currentFolder() : std::string("/");
    std::optional<PathPlan> plan = planPath(windowsPath, root, current);
    if (!plan) return std::nullopt;
    platform::SetLastError(platform::ERROR_SUCCESS);
    return resolvePlan(*plan);
}

}  // namespace posix
