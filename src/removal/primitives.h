// Folder and registry removal primitives. All are best effort: a failure shows at most in
// the result, never as a message, and no caller stops because of one.
#pragma once

#include <cstddef>

inline constexpr std::size_t folderPathCapacity = 260;

// Paths are text in the system code page, where the second byte of a double-byte character
// may be 0x5C, the byte of the backslash (the 表 of 一覧表 is 95 5C). Only a byte that is a
// character of its own is a backslash, so every scan for one goes character by character.

// The character after the one at `p`: a lead byte takes its trail byte with it; a lead
// byte just before the terminator stands alone.
const char* nextCharacter(const char* p);

// True when `text` ends in a lead byte with nothing after it: half a character, which would
// take whatever is appended next (a backslash) as its second byte.
bool endsInHalfCharacter(const char* text);

// Appends as much of `source` to `buffer` (a buffer of `capacity` characters) as fits
// without splitting a double-byte character; false when it had to be cut.
bool appendWholeCharacters(char* buffer, std::size_t capacity, const char* source);

// The offset of the last backslash of `path` that is a character of its own, -1 when none.
std::ptrdiff_t lastBackslash(const char* path);

// Joins `name` onto `path` (a buffer of `capacity` characters) with exactly one backslash
// between them. Returns the new length, or -1 with `path` unchanged when the result
// might not fit: the test counts the name in full and always reserves room for a separator.
int appendPathComponent(char* path, std::size_t capacity, const char* name);

// Removes the folder, pauses, then removes its parents from the deepest up, stopping at
// the first that cannot go (one that still holds something).
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
