// Character-wise scans and appends over text in the system code page.
#include "removal/characters.h"

#include "common/text.h"
#include "platform/operations.h"

const char* nextCharacter(const char* p) {
    return platform::IsDBCSLeadByte(static_cast<platform::BYTE>(*p)) && p[1] != '\0' ? p + 2 : p + 1;
}

bool endsInHalfCharacter(const char* text) {
    for (const char* p = text; *p != '\0'; p = nextCharacter(p)) {
        if (platform::IsDBCSLeadByte(static_cast<platform::BYTE>(*p)) && p[1] == '\0') return true;
    }
    return false;
}

bool appendWholeCharacters(char* buffer, std::size_t capacity, const char* source) {
    std::size_t used = text::length(buffer);
    std::size_t room = capacity > used ? capacity - 1 - used : 0;
    const char* end = source;
    while (*end != '\0' && static_cast<std::size_t>(nextCharacter(end) - source) <= room) end = nextCharacter(end);
    text::appendBytes(buffer, capacity, source, static_cast<std::size_t>(end - source));
    return *end == '\0';
}

void dropHalfCharacter(char* text) {
    if (endsInHalfCharacter(text)) text[text::length(text) - 1] = '\0';
}
