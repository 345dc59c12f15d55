// The profile operations over real INI files. Every call looks at the file itself: the parsed
// copy of the last file read answers only while a stat shows the file is provably the same
// version; otherwise the file is opened, read and parsed. A list of n entries is thus
// parsed once, not n times, and a change between two calls is always seen.
#include "platform/ini/ini.h"
#include "platform/operations.h"
#include "platform/posix/atomic_file.h"
#include "platform/posix/paths.h"
#include "platform/posix/profile_cache.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace posix {

namespace {

// The parsed copy of one file, with the state of the file it was read from.
struct KeptProfile {
    std::string path;
    struct stat state;
    ini::Document document;
};

std::optional<KeptProfile> kept;
ProfileCacheCounters counters;

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

long long nanoseconds(const struct timespec& t) {
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// The clock the kernel stamps files with: a write after this reading gets a change time no
// earlier than it.
struct timespec fileClockNow() {
    struct timespec now{};
#ifdef CLOCK_REALTIME_COARSE
    if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0) return now;
#endif
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

// A copy may be kept only when a later write cannot carry the same change time: the file's
// change time must lie clearly before the moment reading began, by more than the file
// system's time stamp granularity. Whole-second stamps (nanoseconds always 0) get 2 s, which
// covers the coarsest common file systems; finer ones 20 ms, more than a kernel clock tick.
// A file written just now is therefore parsed on each call until it has settled.
bool settledBefore(const struct stat& state, const struct timespec& readingBegan) {
    bool wholeSeconds = state.st_ctim.tv_nsec == 0 && state.st_mtim.tv_nsec == 0;
    long long margin = wholeSeconds ? 2000000000LL : 20000000LL;
    return nanoseconds(readingBegan) - nanoseconds(state.st_ctim) >= margin;
}

// The rest of an open file, or nothing on a read error.
std::optional<std::string> readAll(int fd) {
    std::string bytes;
    char block[65536];
    for (;;) {
        ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) return bytes;
        bytes.append(block, static_cast<std::size_t>(n));
    }
}

}  // namespace

FileChange compareFileStates(const struct stat& before, const struct stat& after) {
    if (before.st_dev != after.st_dev || before.st_ino != after.st_ino) return FileChange::identity;
    if (before.st_size != after.st_size) return FileChange::size;
    if (!sameTime(before.st_mtim, after.st_mtim)) return FileChange::modified;
    if (!sameTime(before.st_ctim, after.st_ctim)) return FileChange::changed;
    return FileChange::none;
}

ProfileCacheCounters profileCacheCounters() { return counters; }

void resetProfileCache() {
    kept.reset();
    counters = ProfileCacheCounters{};
}

namespace {

void forgetKeptProfile() { kept.reset(); }

// The kept copy when `path` names exactly the file it was made from, in the same state; null
// otherwise. One stat of the file, nothing else.
const ini::Document* keptCopyIfCurrent(const std::string& path) {
    if (!kept || kept->path != path) return nullptr;
    struct stat now;
    if (::stat(path.c_str(), &now) != 0 || compareFileStates(kept->state, now) != FileChange::none) return nullptr;
    ++counters.reuses;
    return &kept->document;
}

// The parsed file at `path`, or null when it cannot be opened or read. The result points
// either at the kept copy or at `fresh`, and stays valid until the next call.
const ini::Document* loadProfile(const std::string& path, std::optional<ini::Document>& fresh) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat before;
    if (::fstat(fd, &before) != 0) {
        ::close(fd);
        return nullptr;
    }
    if (kept && kept->path == path && compareFileStates(kept->state, before) == FileChange::none) {
        ::close(fd);
        ++counters.reuses;
        return &kept->document;
    }

    struct timespec readingBegan = fileClockNow();
    std::optional<std::string> bytes = readAll(fd);
    struct stat after;
    bool stable = ::fstat(fd, &after) == 0 && compareFileStates(before, after) == FileChange::none;
    ::close(fd);
    if (!bytes) return nullptr;
    ++counters.parses;

    // A file written while it was read, or too recently to be told apart from a write still
    // to come, is used for this call only.
    if (!stable || !settledBefore(after, readingBegan)) {
        kept.reset();
        fresh.emplace(std::move(*bytes));
        return &*fresh;
    }
    kept.reset();  // the old copy goes first: two large copies never live at once
    kept.emplace(KeptProfile{path, after, ini::Document(std::move(*bytes))});
    return &kept->document;
}

}  // namespace

}  // namespace posix

namespace platform {

namespace {

// A file named without any folder lives in the Windows folder, as the Win32 functions have it.
bool isBareName(const char* fileName) {
    for (const char* c = fileName; *c != '\0'; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':') return false;
    }
    return true;
}

// The Windows path of the profile `fileName` names.
std::optional<std::string> profileWindowsPath(const char* fileName) {
    if (fileName == nullptr || fileName[0] == '\0') return std::nullopt;
    return isBareName(fileName) ? std::string("C:\\windows\\") + fileName : std::string(fileName);
}

std::optional<std::string> profilePath(const char* fileName) {
    std::optional<std::string> windowsPath = profileWindowsPath(fileName);
    if (!windowsPath) return std::nullopt;
    std::optional<posix::ResolvedPath> resolved = posix::resolvePath(*windowsPath);
    if (!resolved) return std::nullopt;
    return resolved->path;
}

// The current folder matters only to a relative machine root or a relative path; the
// program names its list file by drive, so it is mostly not asked for.
std::string currentFolderFor(const std::string& windowsPath, const std::string& root) {
    bool absolutePath = (windowsPath.size() >= 2 && windowsPath[1] == ':') || windowsPath[0] == '\\' ||
                        windowsPath[0] == '/';
    if (absolutePath && !root.empty() && root[0] == '/') return "/";
    return posix::currentFolder();
}

// The parsed profile `fileName` names, or null when it cannot be read. The kept copy is
// tried first under the path as written, which is the path the name resolves to whenever
// a file is there; only otherwise are the names matched without regard to case.
const ini::Document* loadProfile(const char* fileName, std::optional<ini::Document>& fresh) {
    std::optional<std::string> windowsPath = profileWindowsPath(fileName);
    if (!windowsPath) return nullptr;
    std::string root = posix::machineRoot();
    std::optional<std::string> asWritten = posix::nativePath(*windowsPath, root, currentFolderFor(*windowsPath, root));
    if (!asWritten) return nullptr;
    if (const ini::Document* document = posix::keptCopyIfCurrent(*asWritten)) return document;
    std::optional<posix::ResolvedPath> resolved = posix::resolvePath(*windowsPath);
    return resolved ? posix::loadProfile(resolved->path, fresh) : nullptr;
}

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText, char* buffer,
                               DWORD capacity, const char* fileName) {
    if (buffer == nullptr || capacity == 0) return 0;
    // Listing every section or every key (a null section or key) is not provided.
    if (section == nullptr || key == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    const char* fallback = defaultText != nullptr ? defaultText : "";
    std::optional<ini::Document> fresh;
    const ini::Document* document = loadProfile(fileName, fresh);
    return ini::getString(document, section, key, fallback, buffer, capacity);
}

UINT GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue, const char* fileName) {
    if (section == nullptr || key == nullptr) return static_cast<UINT>(defaultValue);
    std::optional<ini::Document> fresh;
    const ini::Document* document = loadProfile(fileName, fresh);
    return ini::getInt(document, section, key, defaultValue);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName) {
    // Any write by this program forgets the kept copy, whatever file it goes to and whether
    // or not it succeeds: the next read parses the file as it then is.
    posix::forgetKeptProfile();
    // Deleting a key or a section (a null key or value) is not provided.
    if (section == nullptr || key == nullptr || value == nullptr) return FALSE;
    std::optional<std::string> path = profilePath(fileName);
    if (!path) return FALSE;

    std::string original;
    if (std::optional<std::string> bytes = posix::readWholeFile(*path)) {
        original = std::move(*bytes);
    } else if (exists(*path)) {
        return FALSE;  // there but unreadable: writing would lose what it holds
    }
    std::string updated = ini::update(original, section, key, value);
    if (updated == original && exists(*path)) return TRUE;
    return posix::replaceFile(*path, updated) ? TRUE : FALSE;
}

}  // namespace platform
