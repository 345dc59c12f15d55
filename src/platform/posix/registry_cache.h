// The parsed registry file that the registry operations keep between calls. It answers while
// a FileSnapshot shows <root>/hklm.reg is still the version it describes: the one last read,
// or the one last written by these operations.
#pragma once

#include <cstddef>

namespace posix {

// How often the registry operations parsed the file, how often the kept copy answered instead
// (recognised by the file's state, or by reading the file and finding the same bytes), and
// how often the file was read whole (for a parse or for such a comparison).
struct RegistryCacheCounters {
    std::size_t parses = 0;
    std::size_t reuses = 0;
    std::size_t reads = 0;
};

RegistryCacheCounters registryCacheCounters();

// Forgets the kept copy and sets the counters to zero.
void resetRegistryCache();

}  // namespace posix
