// Folder and registry removal primitives. All are best effort: a failure shows at most in
// the result, never as a message, and no caller stops because of one.
#pragma once

#include <cstddef>

inline constexpr std::size_t folderPathCapacity = 260;

// The offset of the last backslash of `path` that is a character of its own (the second
// byte of a double-byte character may be 0x5C: see removal/characters.h), -1 when none.
std::ptrdiff_t lastBackslash(const char* path);

// Joins `name` onto `path` (a buffer of `capacity` characters) with exactly one backslash
// between them. Returns the new length, or -1 with `path` unchanged when the result
// might not fit: the test counts the name in full and always reserves room for a separator.
int appendPathComponent(char* path, std::size_t capacity, const char* name);

// Removes the folder, pauses, then removes its parents from the deepest up, stopping at
// the first that cannot go (one that still holds something). The parents are those of the
// folder the path names once "." and ".." are taken out, not those of its text.
void removeDirectoryAndParents(const char* path);

// Deletes the files directly inside `folder` (never its subfolders) and removes the folder
// with up to ten attempts. A folder that is a link is not searched, so nothing it points to
// is deleted. Returns the number of files deleted.
int emptyAndRemoveFolder(const char* folder);

// Removes the empty direct subfolders of `folder`, leaving links alone. Returns how many went.
int removeEmptySubfolders(const char* folder);

// Deletes the application's entry under the system uninstall key; 1 when deleted, else 0.
// An entry that stays for another reason than its absence is noted as left behind.
int deleteUninstallEntry(const char* name);

// True while any application is registered with the shared component.
bool sharedComponentInUse();

inline constexpr const char* sharedComponentKey = "Software\\Vantrell\\DUZORE32";
inline constexpr const char* sharedApplicationKey = "Software\\Vantrell\\DUZORE32\\Application";
