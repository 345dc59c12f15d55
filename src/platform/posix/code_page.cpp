// Conversions between code page 932, the UTF-8 names on disk and the terminal's character
// set. Each iconv descriptor is opened once, on first use, and reused; text that is plain
// ASCII, the same in all three, never reaches iconv.
#include "platform/posix/code_page.h"

#include <cerrno>
#include <iconv.h>
#include <langinfo.h>

namespace posix {

namespace {

enum Direction { windowsToDisk, diskToWindows, windowsToTerminal, terminalToWindows, directionCount };

const char* const windowsCharset = "CP932";
const char* const diskCharset = "UTF-8";

iconv_t const noDescriptor = reinterpret_cast<iconv_t>(-1);

// The descriptor of one direction, opened the first time it is needed; noDescriptor when the
// C library cannot convert that way. The terminal's character set is the locale's at that
// moment (the native program sets its locale before anything is shown).
iconv_t descriptor(Direction direction) {
    static iconv_t opened[directionCount];
    static bool tried[directionCount];
    if (!tried[direction]) {
        tried[direction] = true;
        const char* terminal = nl_langinfo(CODESET);
        switch (direction) {
        case windowsToDisk: opened[direction] = iconv_open(diskCharset, windowsCharset); break;
        case diskToWindows: opened[direction] = iconv_open(windowsCharset, diskCharset); break;
        case windowsToTerminal: opened[direction] = iconv_open(terminal, windowsCharset); break;
        case terminalToWindows: opened[direction] = iconv_open(windowsCharset, terminal); break;
        case directionCount: opened[direction] = noDescriptor; break;
        }
    }
    return opened[direction];
}

bool isAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// Converts as much of `text` from `at` as converts, appending to `out`; returns where it
// stopped (text.size() when all of it converted).
std::size_t convertPart(iconv_t cd, std::string_view text, std::size_t at, std::string& out) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data() + at);
    std::size_t inLeft = text.size() - at;
    constexpr std::size_t chunkCapacity = 256;
    char chunk[chunkCapacity];
    for (;;) {
        char* produced = chunk;
        std::size_t room = chunkCapacity;
        std::size_t result = iconv(cd, &in, &inLeft, &produced, &room);
        out.append(chunk, static_cast<std::size_t>(produced - chunk));
        if (result != static_cast<std::size_t>(-1) || errno != E2BIG) break;
    }
    return text.size() - inLeft;
}

bool convertWhole(Direction direction, std::string_view text, std::string& out) {
    out.clear();
    if (isAscii(text)) {
        out.assign(text);
        return true;
    }
    iconv_t cd = descriptor(direction);
    if (cd == noDescriptor) return false;
    return convertPart(cd, text, 0, out) == text.size();
}

// Converts to code page 932 only when converting back gives `text` again, byte for byte.
bool convertExactly(Direction there, Direction back, std::string_view text, std::string& out) {
    if (!convertWhole(there, text, out)) return false;
    std::string again;
    return convertWhole(back, out, again) && again == text;
}

}  // namespace

bool windowsNameToDisk(std::string_view name, std::string& out) { return convertWhole(windowsToDisk, name, out); }

bool diskNameToWindows(std::string_view name, std::string& out) {
    return convertExactly(diskToWindows, windowsToDisk, name, out);
}

bool terminalTextToWindows(std::string_view text, std::string& out) {
    return convertExactly(terminalToWindows, windowsToTerminal, text, out);
}

std::string windowsTextForTerminal(std::string_view text) {
    std::string out;
    if (isAscii(text)) return std::string(text);
    iconv_t cd = descriptor(windowsToTerminal);
    std::size_t at = 0;
    while (at < text.size()) {
        if (cd != noDescriptor) at = convertPart(cd, text, at, out);
        if (at >= text.size()) break;
        // What does not convert, one character of it, is shown as a question mark, as
        // Windows shows a lead byte and the byte after it that make no character as one '・'.
        unsigned char byte = static_cast<unsigned char>(text[at]);
        if (cd == noDescriptor && byte < 0x80) {
            out.push_back(static_cast<char>(byte));
        } else {
            out.push_back('?');
        }
        at += cp932::characterLength(text, at);
    }
    return out;
}

}  // namespace posix

namespace platform {

namespace {

DWORD lastError = ERROR_SUCCESS;

}  // namespace

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD error) { lastError = error; }

}  // namespace platform
