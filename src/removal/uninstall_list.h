// Reading the list file: the sections and keys that name what to remove, and the one
// flag written back. Every look-up goes to the file; nothing is cached here.
#pragma once

#include <cstddef>

#include "common/text.h"

namespace UninstallList {

// Capacities (terminator included) of the values read from the list file.
inline constexpr std::size_t entryCapacity = 128;  // FILE, PATH and REGPATH entries
inline constexpr std::size_t longCapacity = 260;   // install path, extra folders, uninstall key
inline constexpr std::size_t sectionNameCapacity = 256;
inline constexpr std::size_t installSectionCapacity = 128;

enum class Value {
    missing,   // absent or empty
    fits,      // in the buffer whole
    unusable,  // present, but longer than the buffer holds, holding a NUL byte or ending in half a
               // character; the buffer is left empty
};

// Reads `key` of `section`. A value that does not fit, that a NUL byte would cut short, or that
// ends in a lead byte with no second byte, is reported and never handed on: it names a
// different file than the list does.
Value readString(const char* section, const char* key, char* buffer, std::size_t capacity);

// The integer value of `key`, 0 when missing.
int readFlag(const char* section, const char* key);

// Writes "0" to `key` of section "Utility"; false when the write failed.
bool clearFlag(const char* key);

// The paths section of a removal section: its name with the first four characters
// replaced by "Path" ("Files_Deliv" gives "Paths_Deliv").
void pathsSectionOf(const char* section, char* name, std::size_t capacity);

// "UNINSTALL_" followed by the list section.
void installPathSection(char* name, std::size_t capacity);

// Builds the numbered key prefix + index ("FILE" and 7 give "FILE07", 100 gives "FILE100").
void numberedKey(const char* prefix, unsigned index, char* key, std::size_t capacity);

// Walks prefix+"00", prefix+"01", ... of `section`, calling visit(value, usable) for each
// present value in order: `usable` is false for a value that cannot be acted on, which still
// counts. Stops at the first missing or empty value and returns how many it visited.
template <typename Visit>
int enumerate(const char* section, const char* prefix, std::size_t capacity, Visit visit) {
    char value[longCapacity];
    int visited = 0;
    for (unsigned index = 0;; ++index) {
        char key[64];
        numberedKey(prefix, index, key, sizeof key);
        Value found = readString(section, key, value, capacity < sizeof value ? capacity : sizeof value);
        if (found == Value::missing) return visited;
        visit(static_cast<const char*>(value), found == Value::fits);
        ++visited;
    }
}

}  // namespace UninstallList
