// Bounded text helpers: the only way text enters a fixed-size buffer in this program.
// Each takes the buffer's capacity (terminator included), never writes past it, always
// leaves the buffer terminated, and returns false when the text had to be cut to fit.
#pragma once

#include <cstddef>

namespace text {

inline std::size_t length(const char* s) {
    std::size_t n = 0;
    while (s[n] != '\0') ++n;
    return n;
}

// Copies at most `count` bytes of `source` to the end of `buffer`; false when cut.
inline bool appendBytes(char* buffer, std::size_t capacity, const char* source, std::size_t count) {
    if (capacity == 0) return count == 0;
    std::size_t used = length(buffer);
    std::size_t room = capacity - 1 - used;
    std::size_t take = count < room ? count : room;
    for (std::size_t i = 0; i < take; ++i) buffer[used + i] = source[i];
    buffer[used + take] = '\0';
    return take == count;
}

inline bool append(char* buffer, std::size_t capacity, const char* source) {
    return appendBytes(buffer, capacity, source, length(source));
}

inline bool copy(char* buffer, std::size_t capacity, const char* source) {
    if (capacity == 0) return source[0] == '\0';
    buffer[0] = '\0';
    return append(buffer, capacity, source);
}

// Appends `value` in decimal, zero-filled to at least `minimumDigits` (at most 10) digits.
inline bool appendNumber(char* buffer, std::size_t capacity, unsigned value, std::size_t minimumDigits = 1) {
    char digits[12];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n < minimumDigits && n < 10) digits[n++] = '0';
    char forward[12];
    for (std::size_t i = 0; i < n; ++i) forward[i] = digits[n - 1 - i];
    return appendBytes(buffer, capacity, forward, n);
}

// The "%02d" of numbered keys: at least two digits.
inline bool appendIndex(char* buffer, std::size_t capacity, unsigned value) {
    return appendNumber(buffer, capacity, value, 2);
}

inline bool equal(const char* a, const char* b) {
    std::size_t i = 0;
    while (a[i] != '\0' && a[i] == b[i]) ++i;
    return a[i] == b[i];
}

inline char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace text
