// The parsed copy of a profile file that the profile operations keep between calls. Whether
// the file on disk is still the version that copy was made from is decided by a FileSnapshot.
#pragma once

#include <cstddef>

#include "platform/posix/file_snapshot.h"

namespace posix {

// How often the profile operations parsed a file and how often they answered from the copy.
struct ProfileCacheCounters {
    std::size_t parses = 0;
    std::size_t reuses = 0;
};

ProfileCacheCounters profileCacheCounters();

// Forgets the kept copy and sets the counters to zero.
void resetProfileCache();

}  // namespace posix
