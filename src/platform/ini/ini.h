// The INI engine: look-up and update of profile files held in memory, with the rules the
// Win32 profile functions follow. Shared by the POSIX provider and the test double.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ini {

// One file's bytes with an index of its first occurrences, so a look-up costs the same
// however large the file is.
class Document {
public:
    explicit Document(std::string bytes);

    const std::string& bytes() const { return bytes_; }

    // The value of `key` in `section`: blanks around it and one enclosing pair of matching
    // quotes removed. Empty optional when the section or the key is missing.
    std::optional<std::string_view> find(std::string_view section, std::string_view key) const;

private:
    std::string bytes_;
    // Lower-cased "section\nkey" of each first occurrence -> the value's offset and length.
    std::unordered_map<std::string, std::pair<std::size_t, std::size_t>> index_;
};

// GetPrivateProfileStringA over `document` (null when the file is missing): the value, or the
// default with its trailing spaces removed, cut to capacity - 1 bytes and terminated.
// Returns the number of bytes copied.
std::uint32_t getString(const Document* document, const char* section, const char* key,
                        const char* defaultText, char* buffer, std::uint32_t capacity);

// GetPrivateProfileIntA over `document` (null when the file is missing).
unsigned getInt(const Document* document, const char* section, const char* key, int defaultValue);

// The bytes of `original` after setting `key` of `section` to `value`: only that value
// changes (or the key or section is added); every other byte stays as it was. A found key's
// line keeps its bytes up to its first '=' and its line ending, the new value in between;
// when a reader already sees `value` there (blanks and quotes removed) nothing changes.
// A missing key follows the last non-blank line of the section's first copy, ending as that
// line does; a missing section goes at the end, in CR LF lines.
std::string update(std::string_view original, std::string_view section, std::string_view key,
                   std::string_view value);

// False when the pair cannot be written so that it reads back as given: a line break in any
// of the three, a ']' in the section name or a lead byte ending it (it would take the ']'
// for its second byte), a '=' in the key name, or a key starting with '[' on a line that
// would hold a ']'. `update` leaves the bytes unchanged for such a request.
bool storable(std::string_view section, std::string_view key, std::string_view value);

}  // namespace ini
