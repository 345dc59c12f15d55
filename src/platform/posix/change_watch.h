// A watch that tells, without a system call, whether a file may have changed since the watch
// was set: the kernel reports every change to the file or to the folders that lead to it
// (inotify), and the report raises a flag by a signal the moment it is made. The profile
// operations ask it on every read, so the file's state is looked at again only after a report.
//
// No report says nothing changed: the file was not written, truncated, given other times,
// permissions or links, replaced by a rename, moved or deleted, and no folder on its path was
// moved or deleted. A report says only "may have changed". Writes through a shared memory
// mapping are not reported by the kernel (a stat misses them too until the pages are flushed).
//
// For the program's one thread. The signal is SIGIO, taken only when nobody else handles it.
#pragma once

#include <string>

namespace posix {

// Watches the file at native `path` (absolute, without a link on the way or as the file
// itself) from now on, dropping any other watch; a watch of this very path that has reported
// nothing yet is kept as it is. False when the file cannot be watched: nothing is watched then,
// and the same path is not tried again until another one has been watched.
bool watchFile(const std::string& path);

// True when `path` is watched and nothing has been reported since the watch was set.
bool watchedAndQuiet(const std::string& path);

void stopWatching();

}  // namespace posix
