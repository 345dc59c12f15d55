// Parsing of the -c (list section) and -f (list file) options.
#include "frontend/command_line.h"

#include "common/text.h"
#include "platform/operations.h"

namespace {

constexpr std::size_t tokenCapacity = 256;

bool startsWithOption(const char* token, char letter) {
    return token[0] == '-' && text::asciiLower(token[1]) == letter;
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
    }
}

}  // namespace

void resetCommandLineOptions() {
    text::copy(commandLineOptions.listSection, CommandLineOptions::sectionCapacity, "FILES");
    text::copy(commandLineOptions.listFilePath, CommandLineOptions::pathCapacity, "ZADAvuz.ini");
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
