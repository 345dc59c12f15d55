// Character-wise scans and appends over text in the system code page: the layer below the
// removal primitives and the record of what stayed, which both cut names only between characters.
#pragma once

#include <cstddef>

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

// Drops a lead byte that ends `text` with nothing after it, so the text ends between characters.
void dropHalfCharacter(char* text);
