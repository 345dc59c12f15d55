// The version of a file a parsed copy was made from, and how it is recognised again.
#include "platform/posix/file_snapshot.h"

#include "platform/posix/atomic_file.h"

#include <cerrno>
#include <optional>
#include <unistd.h>
#include <utility>

namespace posix {

namespace {

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

long long nanoseconds(const struct timespec& t) {
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

}  // namespace

FileChange compareFileStates(const struct stat& before, const struct stat& after) {
    if (before.st_dev != after.st_dev || before.st_ino != after.st_ino) return FileChange::identity;
    if (before.st_size != after.st_size) return FileChange::size;
    if (!sameTime(before.st_mtim, after.st_mtim)) return FileChange::modified;
    if (!sameTime(before.st_ctim, after.st_ctim)) return FileChange::changed;
    return FileChange::none;
}

struct timespec fileClockNow() {
    struct timespec now{};
#ifdef CLOCK_REALTIME_COARSE
    if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0) return now;
#endif
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

bool settledBefore(const struct stat& state, const struct timespec& moment) {
    bool wholeSeconds = state.st_ctim.tv_nsec == 0 && state.st_mtim.tv_nsec == 0;
    long long margin = wholeSeconds ? 2000000000LL : 20000000LL;
    return nanoseconds(moment) - nanoseconds(state.st_ctim) >= margin;
}

FileSnapshot::Look FileSnapshot::look(const std::string& path, std::string* bytes) {
    // Only a regular file of a size that can be held is read; anything else fails to read.
    struct stat before;
    int fd = openReadableFile(path, &before);
    if (fd < 0) {
        bool missing = errno == ENOENT;
        forget();
        return missing ? Look::missing : Look::failed;
    }
    bool samePath = recorded_ && path_ == path;
    if (samePath && settled_ && compareFileStates(state_, before) == FileChange::none) {
        ::close(fd);
        return Look::same;
    }

    struct timespec readingBegan = fileClockNow();
    ++reads_;
    std::optional<std::string> read = readRest(fd);
    struct stat after;
    bool stable = ::fstat(fd, &after) == 0 && compareFileStates(before, after) == FileChange::none;
    ::close(fd);
    if (!read) {
        forget();
        return Look::failed;
    }
    // A version read whole after it had settled is recognised by state from now on; a later
    // write carries a later change time than the one recorded.
    bool settled = stable && settledBefore(after, readingBegan);

    if (samePath && !settled_ && *read == content_) {
        // The bytes the parsed copy was made from: it answers, and is known by state once
        // the file has settled.
        state_ = after;
        if (settled) {
            settled_ = true;
            std::string().swap(content_);
        }
        return Look::same;
    }

    forget();
    if (settled || holdRecentContent_) {
        recorded_ = true;
        settled_ = settled;
        path_ = path;
        state_ = after;
        if (!settled) content_ = *read;
    }
    *bytes = std::move(*read);
    return Look::read;
}

bool FileSnapshot::stillCurrent(const std::string& path) const {
    if (!recordsSettled(path)) return false;
    struct stat now;
    return ::stat(path.c_str(), &now) == 0 && compareFileStates(state_, now) == FileChange::none;
}

void FileSnapshot::wrote(const std::string& path, std::string bytes) {
    forget();
    if (!holdRecentContent_) return;
    recorded_ = true;
    path_ = path;
    content_ = std::move(bytes);
}

void FileSnapshot::forget() {
    recorded_ = false;
    settled_ = false;
    path_.clear();
    state_ = {};
    std::string().swap(content_);
}

}  // namespace posix
