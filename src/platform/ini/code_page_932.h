// Text in code page 932 (Shift-JIS), the system code page of the Japanese Windows that the
// POSIX provider and the test double stand for, and the one way below the logic to step
// through it. A lead byte and the byte after it are one character, whatever that byte is:
// it may have the value of a backslash, a slash, a ']', a '=' or an ASCII letter, and is none
// of them. Only a lead byte at the very end stands alone. Windows steps so (CharNextA pairs a
// lead byte with any byte but the terminator, and MultiByteToWideChar turns a lead byte and a
// byte that is no trail byte into one '・' together), and so does the logic with
// IsDBCSLeadByte: no separator, ']' or '=' is found here where they see part of a character.
#pragma once

#include <cstddef>
#include <string_view>

#include "common/text.h"

namespace cp932 {

inline bool isLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// The length of the character of `text` that starts at `at`: 2 for a lead byte with a byte
// after it, else 1 (a lead byte at the end stands alone).
inline std::size_t characterLength(std::string_view text, std::size_t at) {
    return isLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

// The position of the first character `c` of `text` from `from` on, never the second byte of
// a double-byte character; npos when there is none.
inline std::size_t find(std::string_view text, char c, std::size_t from = 0) {
    for (std::size_t i = from; i < text.size(); i += characterLength(text, i)) {
        if (text[i] == c) return i;
    }
    return std::string_view::npos;
}

// The position of the last character of `text` that is one of `characters` (single-byte
// characters), never the second byte of a double-byte character; npos when there is none.
inline std::size_t findLastOf(std::string_view text, std::string_view characters) {
    std::size_t last = std::string_view::npos;
    for (std::size_t i = 0; i < text.size(); i += characterLength(text, i)) {
        if (characters.find(text[i]) != std::string_view::npos) last = i;
    }
    return last;
}

// True when `text` ends in a lead byte with nothing after it: half a character, which takes
// whatever is put after it (a separator, a ']', a '=') for its second byte.
inline bool endsInLoneLeadByte(std::string_view text) {
    std::size_t last = 0;
    for (std::size_t at = 0; at < text.size(); at += characterLength(text, at)) last = at;
    return !text.empty() && last + 1 == text.size() && isLeadByte(static_cast<unsigned char>(text[last]));
}

// Equality as Windows compares names: ASCII letters in either case, the second byte of a
// double-byte character exactly (83 41 and 83 61 are two katakana, not one letter twice).
inline bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); i += characterLength(a, i)) {
        if (text::asciiLower(a[i]) != text::asciiLower(b[i])) return false;
        if (characterLength(a, i) == 2 && a[i + 1] != b[i + 1]) return false;
    }
    return true;
}

}  // namespace cp932
