// Parsing of the -c (list section) and -f (list file) options and the unattended switch.
#include "frontend/command_line.h"

#include "common/text.h"
#include "platform/operations.h"

namespace {

constexpr std::size_t tokenCapacity = 256;

bool startsWithOption(const char* token, char letter) {
    return token[0] == '-' && text::asciiLower(token[1]) == letter;
}

bool equalIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' || *b != '\0'; ++a, ++b) {
        if (text::asciiLower(*a) != text::asciiLower(*b)) return false;
    }
    return true;
}

// The spellings administrators type for other uninstallers' silent mode; the whole token
// must be one of them, so "-sfoo" stays an ignored token.
bool isUnattendedSwitch(const char* token) {
    static constexpr const char* spellings[] = {"-s", "/s", "/silent", "/verysilent", "/quiet", "/qn"};
    for (const char* spelling : spellings) {
        if (equalIgnoringCase(token, spelling)) return true;
    }
    return false;
}

// An option value that does not fit is ignored rather than cut: a cut path or section
// names something the caller never asked for.
void takeOptionValue(char* field, std::size_t capacity, const char* value) {
    if (text::length(value) < capacity) text::copy(field, capacity, value);
}

void applyToken(const char* token) {
    if (startsWithOption(token, 'c')) {
        takeOptionValue(commandLineOptions.listSection, CommandLineOptions::sectionCapacity, token + 2);
    } else if (startsWithOption(token, 'f')) {
        takeOptionValue(commandLineOptions.listFilePath, CommandLineOptions::pathCapacity, token + 2);
    } else if (isUnattendedSwitch(token)) {
        commandLineOptions.unattended = true;
    }
}

}  // namespace

void resetCommandLineOptions() {
    text::copy(commandLineOptions.listSection, CommandLineOptions::sectionCapacity, "FILES");
    text::copy(commandLineOptions.listFilePath, CommandLineOptions::pathCapacity, "ZADAvuz.ini");
    commandLineOptions.unattended = false;
}

void parseCommandLine(const char* text) {
    char token[tokenCapacity];
    std::size_t used = 0;
    bool tooLong = false;
    for (const char* p = text;; ++p) {
        if (*p != ' ' && *p != '\0') {
            if (used + 1 < tokenCapacity) {
                token[used++] = *p;
            } else {
                tooLong = true;  // a token longer than the buffer is dropped whole
            }
            continue;
        }
        token[used] = '\0';
        if (!tooLong) applyToken(token);
        used = 0;
        tooLong = false;
        if (*p == '\0') break;
    }
}

const char* skipProgramName(const char* commandLine) {
    const auto* p = reinterpret_cast<const unsigned char*>(commandLine);
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') {
            // The trail byte of a double-byte character may equal a quote; step over the pair.
            p += (platform::IsDBCSLeadByte(*p) && p[1] != '\0') ? 2 : 1;
        }
        if (*p == '"') ++p;
    } else {
        while (*p > ' ') ++p;
    }
    while (*p != '\0' && *p <= ' ') ++p;
    return reinterpret_cast<const char*>(p);
}
