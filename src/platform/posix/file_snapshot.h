// What a reader of a file keeps so that its parsed copy can answer later calls: the state of
// the version it read, and the rule that says when that version is provably still the one on
// disk. Shared by the profile operations and the registry file.
#pragma once

#include <cstddef>
#include <string>
#include <sys/stat.h>
#include <time.h>

namespace posix {

// The first difference found between two states of one path, in the order they are checked.
enum class FileChange {
    none,      // same file, same size, same modification and change times
    identity,  // another file (device or inode number): replaced by rename, or deleted and made again
    size,
    modified,  // modification time, to the nanosecond
    changed,   // status change time: moves on every write and every time stamp change, even
               // one that sets the modification time back
};

FileChange compareFileStates(const struct stat& before, const struct stat& after);

// The clock the kernel stamps files with: a write after this reading gets a change time no
// earlier than it.
struct timespec fileClockNow();

// True when `state` was already old when `moment` was read from fileClockNow: its change time
// lies before that moment by more than the file system's time stamp granularity, so any
// write from then on carries a later change time. Whole-second stamps (nanoseconds always 0)
// need 2 s, which covers the coarsest common file systems; finer ones 20 ms, more than a
// kernel clock tick.
bool settledBefore(const struct stat& state, const struct timespec& moment);

// The version of one file a parsed copy was made from.
//
// A version is recognised by its state alone (device, inode, size, modification and change
// time to the nanosecond) only when it had settled before it was read: a write within the
// same clock tick as the version could otherwise carry the very same state and go unseen.
// A version read or written more recently than that is, when the snapshot holds content,
// kept together with its bytes and recognised by reading the file again and comparing them:
// the parse is spared, the read is not. Without held content such a version is not kept.
class FileSnapshot {
public:
    enum class Look {
        same,     // the file is the version recorded: the copy parsed from it answers
        read,     // the file was read into `bytes`; parse them (see recorded())
        missing,  // there is no file at the path
        failed,   // the file cannot be opened or read
    };

    // `holdRecentContent`: keep the bytes of a version too recent to be recognised by state.
    explicit FileSnapshot(bool holdRecentContent) : holdRecentContent_(holdRecentContent) {}

    // Looks at the file at `path`: one open and one fstat when the recorded version has
    // settled and is still there, a whole read otherwise. After `read` the snapshot records
    // the version read when it can be recognised later, and nothing otherwise; after
    // `missing` and `failed` it records nothing.
    Look look(const std::string& path, std::string* bytes);

    // True when the file at `path` is provably the recorded version by one stat, without
    // opening it: only a settled version can be recognised so.
    bool stillCurrent(const std::string& path) const;

    // True when the recorded version is one of `path` that its state recognises (see above).
    bool recordsSettled(const std::string& path) const { return recorded_ && settled_ && path_ == path; }

    // True while a version is recorded: a copy parsed from the last bytes read, or from
    // those passed to wrote(), may be kept and will answer while look() says `same`.
    bool recorded() const { return recorded_; }

    // This program replaced the file at `path` with `bytes`: that is the version recorded.
    // Being that recent, it is recognised by content until a later read finds it settled.
    // Without held content the snapshot records nothing.
    void wrote(const std::string& path, std::string bytes);

    void forget();

    // How many times look() read the file whole.
    std::size_t reads() const { return reads_; }

private:
    bool holdRecentContent_;
    std::size_t reads_ = 0;
    bool recorded_ = false;
    bool settled_ = false;   // recognised by state; otherwise by `content_`
    std::string path_;
    struct stat state_ {};
    std::string content_;    // while not settled
};

}  // namespace posix
