// GetFullPathNameA without a current folder, for the providers that have no Windows beneath
// them: "." and ".." taken out of a code page 932 path by its text alone.
#pragma once

#include <string>
#include <string_view>

namespace cp932 {

// `path` with every "/" a backslash, empty and "." components taken out and each ".."
// taking out the component before it, never the root ("C:\", "\\server\share\", "\"); a
// trailing separator stays. A relative path stays relative, its leading ".." kept.
std::string resolveDotComponents(std::string_view path);

}  // namespace cp932
