// Whole-file reads and atomic replacement: the new bytes go to a temporary file beside the
// original, are flushed to disk and only then renamed over it, so a reader (or a crash) sees
// either the old file or the new one, never a mixture. The folder, which makes the rename
// itself durable, is flushed once for all replacements: at exit, or when asked.
#include "platform/posix/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace posix {

namespace {

ReplaceStep pendingFailure = ReplaceStep::none;

// Consumes the injected failure: true when this replacement is to fail at `step`.
bool injectedFailureAt(ReplaceStep armed, ReplaceStep step) {
    return armed != ReplaceStep::none && armed == step;
}

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a replacement of `path` replaces, with its state when it exists: a link to the
// file is kept, and the file it names is the one replaced.
std::string fileBehindLink(const std::string& path, struct stat* info, bool* exists) {
    *exists = ::lstat(path.c_str(), info) == 0;
    if (!*exists || !S_ISLNK(info->st_mode)) return path;
    std::string target = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    *exists = ::stat(target.c_str(), info) == 0;
    return target;
}

// The permission bits a fresh file gets: 0666 less the process's umask.
mode_t permissionsForNewFile() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: the rename is done either way
    ::close(fd);
}

// The folders whose entries were renamed since they were last flushed.
std::vector<std::string>& unsyncedFolders() {
    static std::vector<std::string> folders;
    return folders;
}

void syncFoldersAtExit() { syncReplacedFolders(); }

void noteUnsyncedFolder(const std::string& folder) {
    std::vector<std::string>& folders = unsyncedFolders();
    for (const std::string& known : folders) {
        if (known == folder) return;
    }
    // Registered after the list is made, so it runs before the list is destroyed.
    static bool registered = std::atexit(syncFoldersAtExit) == 0;
    (void)registered;
    folders.push_back(folder);
}

// Where the folder cannot take a temporary file but the file itself may be written (Windows
// writes profile files in place), a change that keeps the file's length and lies within one
// disk sector is written over the bytes that differ and flushed: the flag's "1" becoming "0"
// is one byte, on disk whole or not at all. Anything larger could be torn by a crash, so the
// file is left as it is and the result is false.
bool overwriteWithinOneSector(const std::string& target, std::string_view bytes) {
    constexpr std::size_t sector = 512;
    int fd = ::open(target.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    std::optional<std::string> old;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) == bytes.size()) {
        old = readRest(fd);
    }
    bool ok = old && old->size() == bytes.size();
    std::size_t first = 0;
    std::size_t last = bytes.size();
    if (ok) {
        while (first < last && (*old)[first] == bytes[first]) ++first;
        while (last > first && (*old)[last - 1] == bytes[last - 1]) --last;
        ok = first == last || first / sector == (last - 1) / sector;
    }
    if (ok && first < last) {
        std::string_view changed = bytes.substr(first, last - first);
        ok = ::pwrite(fd, changed.data(), changed.size(), static_cast<off_t>(first)) ==
                 static_cast<ssize_t>(changed.size()) &&
             ::fsync(fd) == 0;
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}

}  // namespace

void failNextReplaceAt(ReplaceStep step) { pendingFailure = step; }

int openReadableFile(const std::string& path, struct stat* info) {
    // Without O_NONBLOCK opening a FIFO waits for a writer; O_NOCTTY keeps a terminal named
    // here from becoming the program's own. Neither changes how a regular file is read.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::fstat(fd, info) != 0 || !S_ISREG(info->st_mode) ||
        static_cast<unsigned long long>(info->st_size) > kLargestReadableFile) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

std::optional<std::string> readRest(int fd) {
    std::string bytes;
    char block[65536];
    for (;;) {
        ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) return bytes;
        // A file that grows past the bound while it is read is refused too.
        if (static_cast<std::size_t>(n) > kLargestReadableFile - bytes.size()) return std::nullopt;
        bytes.append(block, static_cast<std::size_t>(n));
    }
}

std::optional<std::string> readWholeFile(const std::string& path) {
    struct stat info;
    int fd = openReadableFile(path, &info);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> bytes = readRest(fd);
    ::close(fd);
    return bytes;
}

bool replaceFile(const std::string& path, std::string_view bytes) {
    ReplaceStep armed = pendingFailure;
    pendingFailure = ReplaceStep::none;

    struct stat info;
    bool exists = false;
    std::string target = fileBehindLink(path, &info, &exists);
    if (exists && !S_ISREG(info.st_mode)) return false;
    mode_t mode = exists ? (info.st_mode & 07777) : permissionsForNewFile();

    if (injectedFailureAt(armed, ReplaceStep::create)) return false;
    std::string folder = folderOf(target);
    std::string temporary = folder + "/." + nameOf(target) + ".XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) return exists && (errno == EACCES || errno == EPERM) && overwriteWithinOneSector(target, bytes);

    // The replacement takes the original's owner, then its permission bits (a change of owner
    // clears set-user-ID bits). A file this process may not give its owner to (another user's
    // file that all may write) is never handed to a new owner: it takes only the change that
    // cannot be torn, in place, as in a folder that takes no new file.
    if (exists && ::fchown(fd, info.st_uid, info.st_gid) != 0) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return overwriteWithinOneSector(target, bytes);
    }
    bool ok = ::fchmod(fd, mode) == 0;
    if (ok) ok = !injectedFailureAt(armed, ReplaceStep::write) && writeAll(fd, bytes);
    if (ok) ok = !injectedFailureAt(armed, ReplaceStep::flush) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = !injectedFailureAt(armed, ReplaceStep::rename) && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    noteUnsyncedFolder(folder);
    return true;
}

std::size_t unsyncedFolderCount() { return unsyncedFolders().size(); }

void syncReplacedFolders() {
    std::vector<std::string>& folders = unsyncedFolders();
    for (const std::string& folder : folders) syncFolder(folder);
    folders.clear();
}

}  // namespace posix
