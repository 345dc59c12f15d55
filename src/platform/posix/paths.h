// Windows paths on a POSIX machine root: drive X: is <root>/drive_x, a leading backslash
// means drive C, a leading slash is a native path, anything else is relative to the current
// folder ("X:name" too, when the current folder lies on drive X). Names compare without
// regard to ASCII case, as on Windows. A Windows path is text of code page 932 (a backslash
// in a double-byte character separates nothing); its names are written on disk in UTF-8. The
// machine root and the current folder are native as they are.
#pragma once

#include "platform/ini/code_page_932.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <time.h>
#include <utility>
#include <vector>

namespace posix {

// A path split into a base that is used exactly as written and the names below it.
// `..` has already been applied and never climbs above the base.
struct PathPlan {
    std::string base;                // native folder, absolute, without a trailing slash ("/" for the top)
    std::vector<std::string> names;  // names below the base, neither "." nor ".." nor empty
    bool matchCase = false;          // names are matched without regard to case when not found as written
};

// The plan for `windowsPath` with the given machine root and current folder (both native;
// a relative root is taken from the current folder). No file system access.
// Empty when the path names nothing this provider maps (empty text, a "\\server" path), when
// a name in it is no code-page-932 text (the last error is then ERROR_NO_UNICODE_TRANSLATION),
// or when a name holds a character no Windows name can (ERROR_INVALID_NAME).
std::optional<PathPlan> planPath(std::string_view windowsPath, std::string_view root, std::string_view currentFolder);

// The plan's native path, names as written.
std::string joinPlan(const PathPlan& plan);

// planPath and joinPlan in one: the native path before any case matching.
std::optional<std::string> nativePath(std::string_view windowsPath, std::string_view root,
                                      std::string_view currentFolder);

// An open folder (a path-only descriptor), closed when the last of its holders goes: the
// resolution keeps the folder it opened last, and hands it to the next path in that folder.
class FolderHandle {
public:
    FolderHandle() = default;
    explicit FolderHandle(int descriptor);
    FolderHandle(const FolderHandle& other) : opened_(other.opened_) {
        if (opened_ != nullptr) ++opened_->holders;
    }
    FolderHandle(FolderHandle&& other) noexcept : opened_(std::exchange(other.opened_, nullptr)) {}
    FolderHandle& operator=(FolderHandle other) noexcept {
        std::swap(opened_, other.opened_);
        return *this;
    }
    ~FolderHandle();

    int get() const { return opened_ != nullptr ? opened_->descriptor : -1; }
    explicit operator bool() const { return opened_ != nullptr; }

private:
    struct Opened {
        int descriptor;
        long holders;
    };
    Opened* opened_ = nullptr;
};

// A path resolved against the real file system.
struct ResolvedPath {
    std::string path;          // native path, with each name as found on disk
    bool throughLink = false;  // a folder on the way below the base is a symbolic link
    bool atBase = false;       // the path names the base itself (a drive folder, or "/")
    bool denied = false;       // a folder on the way may not be searched, or listed for a name's case
    // The lstat of the last name, when resolving already took it (never through a link).
    // Taken afresh by each resolution, so it is as current as the path itself.
    bool hasInfo = false;
    struct stat info{};
    // With hasInfo: the folder holding the last name, opened without passing any link, so
    // the name can be acted on there without walking the whole path again.
    FolderHandle folder;
};

// The native path of `windowsPath` on this machine: root from UNINST_ROOT (default the
// current folder); each name is used as written when it exists, else the first
// case-insensitive match in its folder.
std::optional<ResolvedPath> resolvePath(std::string_view windowsPath);

// Resolves the names of a plan against the file system (see resolvePath).
ResolvedPath resolvePlan(const PathPlan& plan);

// Closes the folder the last resolution kept open for the next one, and stops watching it.
// Called whenever this program removes a folder, which may lie on the way to the kept one.
void forgetOpenedFolder();

// True when `folder` is the folder kept open for the next resolution and still provably lies
// at the path it was opened by (no move or deletion of it or above it was reported since),
// so a name there is still the name of that path. No system call.
bool stillLiesWhereOpened(const FolderHandle& folder);

// How long a folder opened by a resolution, or a file an attribute change resolved, may serve
// a later call without the path being walked again, at most: a change made elsewhere in the
// meantime that no watch reports then takes effect as if made just after that call looked.
inline constexpr long long kReuseNanoseconds = 10 * 1000 * 1000LL;

// The monotonic clock, and whether `since` lies at most kReuseNanoseconds back on it.
struct timespec monotonicNow();
bool stillReusable(const struct timespec& since);

// True when where `windowsPath` leads depends on the current folder: a relative path, or
// any path under a relative machine root.
bool needsCurrentFolder(std::string_view windowsPath, std::string_view root);

// The machine root folder: UNINST_ROOT, or the current folder when unset or empty.
std::string machineRoot();

// The process's current folder, "/" when it cannot be read.
std::string currentFolder();

// The native path of the running program; empty when it cannot be read.
std::optional<std::string> programPath();

// True when `name` (code page 932) is one a Windows folder can hold: none of its characters is
// a control character (1 to 31) or one of < > : " / \ | ? *. A name on disk that is not is
// never given out, and a path naming one names nothing: on Windows it could not be there, and
// a backslash in it would lead the caller somewhere else.
bool isWindowsName(std::string_view name);

// The position of the last separator (backslash or slash) of a Windows path that is one,
// not the second byte of a double-byte character; npos when there is none.
inline std::size_t lastSeparator(std::string_view windowsPath) { return cp932::findLastOf(windowsPath, "\\/"); }

}  // namespace posix
