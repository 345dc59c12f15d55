// Whole-file reads and atomic replacement for the files the POSIX provider rewrites
// (profile files and the registry file): a failed write never leaves a half-written file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace posix {

// The largest file read whole. The list, message and registry files are a few megabytes at
// most; anything larger is taken as unreadable rather than risk running out of memory.
inline constexpr std::size_t kLargestReadableFile = 64 * 1024 * 1024;

// Opens `path` for reading when it is a regular file of at most kLargestReadableFile bytes,
// and gives its state in `info`. A FIFO, device or folder is refused without waiting on it
// or reading from it: -1, with errno ENOENT only when nothing is there.
int openReadableFile(const std::string& path, struct stat* info);

// The file's bytes, or nothing when it cannot be opened or read (see openReadableFile).
std::optional<std::string> readWholeFile(const std::string& path);

// The rest of an open file, or nothing on a read error or beyond kLargestReadableFile bytes;
// the descriptor stays open.
std::optional<std::string> readRest(int fd);

// Replaces (or creates) the file at `path` with `bytes`: a temporary file in the same folder
// is written, flushed and renamed over it, with the original's owner and permission bits. On
// any failure (a failed write, say) the original file is untouched, the temporary file is
// gone, and the result is false. The path names a new file afterwards: another hard link to
// the old one keeps the old bytes.
// A folder that may not take the temporary file, or a file whose owner cannot be given to it,
// leaves one way: a change that keeps the file's length and lies within one disk sector, such
// as a flag's "1" becoming "0", is written over the file in place; any other change is refused
// (false) and the file stays as it was.
//
// The rename is atomic at once, and the new file's bytes are on disk before it, so after a
// crash the path holds the old file or the new one, whole. That the rename itself survives a
// crash takes a flush of the folder, which is left to syncReplacedFolders: one flush per
// folder at the end rather than one per replacement, the registry's changes being made in
// quick succession. A crash before it may thus bring back an earlier version, never a torn one.
bool replaceFile(const std::string& path, std::string_view bytes);

// Flushes every folder a replacement renamed a file into since the last call, making those
// renames durable. Runs by itself when the process exits normally.
void syncReplacedFolders();

// How many folders hold renames not yet flushed.
std::size_t unsyncedFolderCount();

// Fault injection for tests: the next replaceFile fails at the given step.
enum class ReplaceStep { none, create, write, flush, rename };
void failNextReplaceAt(ReplaceStep step);

}  // namespace posix
