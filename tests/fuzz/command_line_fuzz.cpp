// Property: parsing any command line leaves both option fields terminated inside their
// buffers, each equal to what a straightforward model of the -c/-f rules gives, and
// skipping the program name never points outside the command line.
#include "frontend/command_line.h"

#include "check.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t tokenCapacity = 256;

// The rules as the program states them: only the space separates; a token too long for the
// token buffer is dropped whole; a value too long for its field is ignored; the later of
// two occurrences wins.
void model(const std::string& line, std::string& section, std::string& path) {
    section = "FILES";
    path = "ZADAvuz.ini";
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t end = line.find(' ', start);
        if (end == std::string::npos) end = line.size();
        std::string token = line.substr(start, end - start);
        start = end + 1;
        if (token.size() >= tokenCapacity || token.size() < 2 || token[0] != '-') continue;
        char letter = token[1];
        if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
        std::string value = token.substr(2);
        if (letter == 'c' && value.size() < CommandLineOptions::sectionCapacity) section = value;
        if (letter == 'f' && value.size() < CommandLineOptions::pathCapacity) path = value;
    }
}

bool terminatedWithin(const char* buffer, std::size_t capacity) {
    return std::memchr(buffer, '\0', capacity) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so a read past the terminator is caught by the address sanitizer.
    std::vector<char> line(data, data + size);
    line.push_back('\0');
    const char* text = line.data();
    const std::size_t length = std::strlen(text);

    // Fields full of non-terminator bytes first: a missing terminator would then show.
    std::memset(commandLineOptions.listSection, 'S', CommandLineOptions::sectionCapacity);
    std::memset(commandLineOptions.listFilePath, 'P', CommandLineOptions::pathCapacity);
    resetCommandLineOptions();
    parseCommandLine(text);
    fuzzcheck::require(terminatedWithin(commandLineOptions.listSection, CommandLineOptions::sectionCapacity),
                       "list section terminated inside its buffer");
    fuzzcheck::require(terminatedWithin(commandLineOptions.listFilePath, CommandLineOptions::pathCapacity),
                       "list file path terminated inside its buffer");

    std::string section;
    std::string path;
    model(std::string(text, length), section, path);
    fuzzcheck::require(section == commandLineOptions.listSection, "list section as the model gives it");
    fuzzcheck::require(path == commandLineOptions.listFilePath, "list file path as the model gives it");

    const char* rest = skipProgramName(text);
    fuzzcheck::require(rest >= text && rest <= text + length, "program name skip stays inside the line");
    return 0;
}
