// The parsed copy of a profile file that the profile operations keep between calls, and the
// test of whether the file on disk is still the version that copy was made from.
#pragma once

#include <cstddef>
#include <sys/stat.h>

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

// How often the profile operations parsed a file and how often they answered from the copy.
struct ProfileCacheCounters {
    std::size_t parses = 0;
    std::size_t reuses = 0;
};

ProfileCacheCounters profileCacheCounters();

// Forgets the kept copy and sets the counters to zero.
void resetProfileCache();

}  // namespace posix
