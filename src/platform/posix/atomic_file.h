// Whole-file reads and atomic replacement for the files the POSIX provider rewrites
// (profile files and the registry file): a failed write never leaves a half-written file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace posix {

// The file's bytes, or nothing when it cannot be opened or read.
std::optional<std::string> readWholeFile(const std::string& path);

// Replaces (or creates) the file at `path` with `bytes`: a temporary file in the same folder
// is written, flushed and renamed over it. On any failure the original file is untouched,
// the temporary file is gone, and the result is false.
bool replaceFile(const std::string& path, std::string_view bytes);

// Fault injection for tests: the next replaceFile fails at the given step.
enum class ReplaceStep { none, create, write, flush, rename };
void failNextReplaceAt(ReplaceStep step);

}  // namespace posix
