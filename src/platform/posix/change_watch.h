// Watches that tell, without a system call, whether a file or a folder may have changed since
// the watch was set: the kernel reports every change to the file or to the folders that lead
// to it (inotify), and the report raises a flag by a signal the moment it is made. The profile
// operations ask the list file's watch on every read, so the file's state is looked at again
// only after a report; the file operations ask the kept folder's watch before each use of it.
//
// No report says nothing changed that goes through the watched names: the file was not
// written, truncated, given other times, permissions or links, replaced by a rename, moved or
// deleted, and no folder on its path (the watched folder included) was moved or deleted. A
// report says only "may have changed". What does not go through those names is not reported:
// writes through a shared memory mapping (a stat misses them too until the pages are
// flushed), and a file system mounted over the file, its folder or a folder above it (a bind
// mount, say), which shows other files under the same names without touching the watched ones.
//
// For the program's one thread. The signal is SIGIO, taken only when nobody else handles it;
// it cannot tell the watches apart, so a report raises the flag of every watch.
#pragma once

#include <string>

namespace posix {

enum class Watch { profile, folder };

// Watches from now on the file at native `path` (Watch::profile) or the folder at `path`
// (Watch::folder: its name in the folder holding it, for a move or deletion), absolute and
// without a link on the way, dropping what that watch watched before; a watch of this very path that has reported nothing yet is kept as it is.
// False when the path cannot be watched: the watch is then off, and the same path is not tried
// again until another one has been watched.
bool watchPath(Watch which, const std::string& path);

// True when `path` is what `which` watches and nothing has been reported since it was set.
bool watchedAndQuiet(Watch which, const std::string& path);

void stopWatching(Watch which);

// The list file's watch, as the profile operations use it.
inline bool watchFile(const std::string& path) { return watchPath(Watch::profile, path); }
inline bool watchedAndQuiet(const std::string& path) { return watchedAndQuiet(Watch::profile, path); }
inline void stopWatching() { stopWatching(Watch::profile); }

}  // namespace posix
