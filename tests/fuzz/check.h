// What every fuzz target does when its property does not hold: say which one, then abort(),
// so libFuzzer keeps the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

inline void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property violated: %s\n", property);
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzzcheck
