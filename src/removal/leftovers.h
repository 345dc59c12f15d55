// What a removal run was told to remove and could not: every listed file and key that stays
// for another reason than its absence, and an installed flag that could not be cleared.
// Counted in full; the first few are named, so the completion message can say what stayed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/operations.h"

struct Leftovers {
    static constexpr int namedCapacity = 5;
    // The longest name: the uninstall key (51 characters), a backslash and an entry name of
    // 259; or a list file path of 259 with its remark.
    static constexpr std::size_t nameCapacity = 320;
    // Each counted item leaves a 64-bit digest of its text here while there is room, so an
    // item noted again is not counted again. Past the table an item is counted unchecked: a
    // repeat after the first 512 distinct items counts twice. Two different items with the
    // same digest would count once, at odds of about one in 2^64 for each pair.
    static constexpr int digestCapacity = 512;

    int count;
    char named[namedCapacity][nameCapacity];
    std::uint64_t digests[digestCapacity];  // the first `count` of them, up to digestCapacity
};

// Where the run under way notes what stays: set by the one who starts the run and reads the
// record afterwards (the driver keeps it on its stack, out of the program's image); while it
// is null nothing is noted.
extern Leftovers* leftoverRecord;

// Counts `name` (followed by `remark`) as left behind and keeps it while fewer than five are
// kept. A name already counted is not counted again: every section's removal tries the same
// uninstall entry, and two sections may list the same file.
void noteLeftover(const char* name, const char* remark = "");

// After DeleteFileA(file): notes the file when it stays for another reason than its absence.
// The error is asked for only when the deletion failed.
void noteFileDeletion(platform::BOOL deleted, const char* file);

// After RegDeleteKeyA of `key`: notes the key when it was neither deleted nor missing.
void noteKeyDeletion(platform::LONG status, const char* key);
